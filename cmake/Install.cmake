# Installation like any Unix tool: programs into bin, one manual page each into man1, the README into the
# documents of the package. Each program's directory names its own program and page.
include(GNUInstallDirs)

function(zov_install_program target page)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
