# Installs what the build needs on a fresh Debian machine when it is missing (sourced by test.sh and demo.sh).
zov_install_missing() {
  local missing=()
  command -v g++ >/dev/null 2>&1 || missing+=(g++)
  command -v cmake >/dev/null 2>&1 || missing+=(cmake)
  command -v make >/dev/null 2>&1 || missing+=(make)
  [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
  [ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
  [ -f /usr/include/png.h ] || missing+=(libpng-dev)
  [ -f /usr/include/CLI/CLI.hpp ] || missing+=(libcli11-dev)
  command -v pkg-config >/dev/null 2>&1 || missing+=(pkg-config)
  local lib
  for lib in avformat avcodec avfilter swresample swscale avutil; do  # FFmpeg's libraries: sound and pictures of clips
    [ -f "/usr/include/$(gcc -print-multiarch 2>/dev/null)/lib$lib/version.h" ] || [ -f "/usr/include/lib$lib/version.h" ] ||
      missing+=("lib$lib-dev")
  done
  [ -f /usr/include/soxr.h ] || missing+=(libsoxr-dev)
  [ -f /usr/include/gif_lib.h ] || missing+=(libgif-dev)
  command -v ffmpeg >/dev/null 2>&1 || missing+=(ffmpeg)
  command -v ca65 >/dev/null 2>&1 || missing+=(cc65)         # assembles vicpack's programs for the machine
  command -v cc1541 >/dev/null 2>&1 || missing+=(cc1541)     # writes vicpack's disk images
  command -v espeak-ng >/dev/null 2>&1 || missing+=(espeak-ng)  # speech for the tests of sound on the machine
  command -v mandoc >/dev/null 2>&1 || missing+=(mandoc)
  command -v dpkg-shlibdeps >/dev/null 2>&1 || missing+=(dpkg-dev)
  command -v file >/dev/null 2>&1 || missing+=(file)  # cpack finds the programs to scan for libraries with it
  command -v clang++ >/dev/null 2>&1 || missing+=(clang)
  [ -f "$(clang++ --print-runtime-dir 2>/dev/null)/libclang_rt.fuzzer-$(uname -m).a" ] || missing+=(libclang-rt-dev)
  if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" = 0 ]; then
      echo "Installing: ${missing[*]}"
      apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    else
      echo "Missing packages: ${missing[*]} (run as root, or install them, then try again)" >&2
      return 1
    fi
  fi
}

zov_jobs() { nproc 2>/dev/null || echo 2; }
