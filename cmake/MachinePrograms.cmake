include_guard(GLOBAL)
# Programs for the target machine, assembled by the build from 6502 sources with ca65 and ld65 (Debian's
# cc65). Each program's settings (the labels of its SETTINGS segment, which the C++ side fills in) reach C++
# as a generated header of file offsets and sizes taken from the linker's debug information, so that an
# offset is written once, in the assembly source, and a setting that moves or goes is a build error. The
# numbers that both sides know go the other way, from formats/machine_numbers.h to the include
# machine_numbers.inc that configuring writes. Every program reads its includes from vicpack/machine
# (registers.inc names the machine's registers) and the generated machine_numbers.inc; ca65's own list of
# the files it read makes the dependencies.
find_program(ZOV_CA65 ca65 REQUIRED)
find_program(ZOV_LD65 ld65 REQUIRED)
set(ZOV_MACHINE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/machine_settings.cmake CACHE INTERNAL "writes a program's settings header")
set(ZOV_MACHINE_NAMES ${CMAKE_CURRENT_LIST_DIR}/capitalised.cmake CACHE INTERNAL "the C++ names made from a program's names")
set(ZOV_MACHINE_SOURCES ${PROJECT_SOURCE_DIR}/vicpack/machine CACHE INTERNAL "the machine programs' shared sources")
set(ZOV_MACHINE_NUMBERS ${PROJECT_BINARY_DIR}/machine_numbers CACHE INTERNAL "where machine_numbers.inc is written")

include(${CMAKE_CURRENT_LIST_DIR}/machine_numbers.cmake)
zov_machine_numbers(${PROJECT_SOURCE_DIR}/formats/machine_numbers.h ${ZOV_MACHINE_NUMBERS}/machine_numbers.inc)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/formats/machine_numbers.h ${CMAKE_CURRENT_LIST_DIR}/machine_numbers.cmake)

# zov_assemble(OBJECT SOURCE [ca65 arguments...]): assembles SOURCE into OBJECT (a path) with debug
# information, depending on every file that ca65 read (its dependency file).
function(zov_assemble object source)
  get_filename_component(object_name ${object} NAME)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${ZOV_CA65} -g -I ${ZOV_MACHINE_SOURCES} -I ${ZOV_MACHINE_NUMBERS} ${ARGN}
            --create-dep ${object}.d -o ${object} ${source}
    DEPENDS ${source}
    DEPFILE ${object}.d
    COMMENT "Assembling ${object_name}"
    VERBATIM)
endfunction()

# zov_machine_program(NAME SOURCE CONFIG cfg [DEFINES -D X=1 ...])
# Assembles SOURCE into NAME.prg in the current binary directory and writes NAME_settings.h beside it: a
# struct NameSettings with one MachineSetting (file offset, size) per label of the SETTINGS segment.
# Sets NAME_PROGRAM and NAME_SETTINGS_HEADER in the caller's scope.
function(zov_machine_program name source)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "CONFIG" "DEFINES")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zov_machine_program(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS} (the includes "
                        "are found in vicpack/machine and the dependencies taken from ca65)")
  endif()
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${name}.o)
  set(program ${CMAKE_CURRENT_BINARY_DIR}/${name}.prg)
  set(header ${CMAKE_CURRENT_BINARY_DIR}/${name}_settings.h)
  zov_assemble(${object} ${source} ${arg_DEFINES})
  add_custom_command(
    OUTPUT ${program} ${header}
    COMMAND ${ZOV_LD65} -C ${arg_CONFIG} --dbgfile ${name}.dbg -o ${name}.prg ${object}
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DDEBUG_INFO=${name}.dbg -DHEADER=${header}
            -P ${ZOV_MACHINE_SCRIPT}
    DEPENDS ${object} ${arg_CONFIG} ${ZOV_MACHINE_SCRIPT} ${ZOV_MACHINE_NAMES}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "Linking the ${name} program for the target machine"
    VERBATIM)
  set(${name}_PROGRAM ${program} PARENT_SCOPE)
  set(${name}_SETTINGS_HEADER ${header} PARENT_SCOPE)
endfunction()
