# The Debian package: `cpack -G DEB` in the build directory writes zovtools_VERSION_ARCH.deb with what
# `cmake --install` installs. Its version is the project's, the one --version prints.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Pictures, video and sound for the VIC-II home computer")
set(CPACK_PACKAGE_DESCRIPTION "frameconv turns pictures into VIC-II bitmap files or a ZOVF video stream, soundconv \
turns WAVE files into ZOV sound files, soundtrack writes the raw 2-bit sound track of a video, vicview shows \
and plays what the target machine will show or play, and vicpack makes pictures and sounds into programs that \
the machine loads and runs.")
set(CPACK_PACKAGE_CONTACT "zovtools maintainers <maintainers@users.noreply.c-seed-1c2b6b6f.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # zovtools_VERSION_ARCH.deb
# The package depends on what the programs link, as dpkg-shlibdeps finds it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Programs that our own programs start: vicview's films are made by ffmpeg, vicpack's disk images by cc1541.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg, cc1541")
set(CPACK_STRIP_FILES ON)
include(CPack)
