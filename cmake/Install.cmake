# Installation like any Unix tool: programs into bin, one manual page each into man1, the README into the
# documents of the package. The programs are those of cmake/programs.list.
include(GNUInstallDirs)

set(ZOV_PROGRAM_LIST ${CMAKE_CURRENT_LIST_DIR}/programs.list)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZOV_PROGRAM_LIST})

# Calls FUNCTION(NAME PAGE ARGUMENTS...) for every listed program whose target exists; ARGUMENTS make it
# print its options.
function(zov_for_each_program function)
  file(STRINGS ${ZOV_PROGRAM_LIST} lines REGEX "^[a-z]")
  foreach(line IN LISTS lines)
    separate_arguments(words UNIX_COMMAND "${line}")
    list(POP_FRONT words name)
    if(TARGET ${name})
      cmake_language(CALL ${function} ${name} ${PROJECT_SOURCE_DIR}/${name}/${name}.1 ${words})
    endif()
  endforeach()
endfunction()

# Installs a program and its page, once however often it is asked.
function(zov_install_program target page)
  get_property(done GLOBAL PROPERTY ZOV_INSTALLED_PROGRAMS)
  if(NOT target IN_LIST done)
    set_property(GLOBAL APPEND PROPERTY ZOV_INSTALLED_PROGRAMS ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endfunction()
