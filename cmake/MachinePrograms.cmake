include_guard(GLOBAL)
# Programs for the target machine, assembled by the build from 6502 sources with ca65 and ld65 (Debian's
# cc65). Each program's settings (the labels of its SETTINGS segment, which the C++ side fills in) reach C++
# as a generated header of file offsets and sizes taken from the linker's debug information, so that an
# offset is written once, in the assembly source, and a setting that moves or goes is a build error.
find_program(ZOV_CA65 ca65 REQUIRED)
find_program(ZOV_LD65 ld65 REQUIRED)
set(ZOV_MACHINE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/machine_settings.cmake CACHE INTERNAL "writes a program's settings header")
set(ZOV_MACHINE_NAMES ${CMAKE_CURRENT_LIST_DIR}/capitalised.cmake CACHE INTERNAL "the C++ names made from a program's names")

# zov_machine_program(NAME SOURCE CONFIG cfg INCLUDE dir [DEPENDS files...] [DEFINES -D X=1 ...])
# Assembles SOURCE into NAME.prg in the current binary directory and writes NAME_settings.h beside it: a
# struct NameSettings with one MachineSetting (file offset, size) per label of the SETTINGS segment.
# Sets NAME_PROGRAM and NAME_SETTINGS_HEADER in the caller's scope.
function(zov_machine_program name source)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "CONFIG;INCLUDE" "DEPENDS;DEFINES")
  set(program ${CMAKE_CURRENT_BINARY_DIR}/${name}.prg)
  set(header ${CMAKE_CURRENT_BINARY_DIR}/${name}_settings.h)
  add_custom_command(
    OUTPUT ${program} ${header}
    COMMAND ${ZOV_CA65} -g -I ${arg_INCLUDE} ${arg_DEFINES} -o ${name}.o ${source}
    COMMAND ${ZOV_LD65} -C ${arg_CONFIG} --dbgfile ${name}.dbg -o ${name}.prg ${name}.o
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DDEBUG_INFO=${name}.dbg -DHEADER=${header}
            -P ${ZOV_MACHINE_SCRIPT}
    DEPENDS ${source} ${arg_CONFIG} ${arg_DEPENDS} ${ZOV_MACHINE_SCRIPT} ${ZOV_MACHINE_NAMES}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "Assembling the ${name} program for the target machine"
    VERBATIM)
  set(${name}_PROGRAM ${program} PARENT_SCOPE)
  set(${name}_SETTINGS_HEADER ${header} PARENT_SCOPE)
endfunction()
