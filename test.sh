#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in an optimised build, which is then also
# installed into a temporary prefix and packaged (tools/check_install.sh), once with AddressSanitizer and
# UndefinedBehaviorSanitizer, followed by a short run of every fuzz target (clang, libFuzzer, the same
# sanitizers; ZOV_FUZZ_SECONDS per target, 12 by default). Every build treats a compiler warning as an
# error. The last line sums it up.
set -uo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
zov_install_missing || exit 1
jobs=$(zov_jobs)

run_suite() {  # name, build directory, cmake flags...
  local name=$1 dir=$2; shift 2
  echo "== $name build =="
  cmake -S . -B "$dir" -DZOV_WERROR=ON "$@" >/dev/null || return 1
  cmake --build "$dir" -j "$jobs" || return 1
  echo "== $name tests =="
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure 2>&1 | tee "$dir/ctest.log"
  return "${PIPESTATUS[0]}"
}

run_fuzz() {  # builds the fuzz targets and runs each for a while on its seed corpus; new inputs stay in the build
  echo "== Fuzz build =="
  cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOV_FUZZ=ON \
    -DZOV_TESTS=OFF -DZOV_WERROR=ON >/dev/null || return 1
  cmake --build build-fuzz -j "$jobs" || return 1
  echo "== Fuzz runs (${fuzz_seconds}s each) =="
  local failed=0 corpus target
  for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    mkdir -p "build-fuzz/found/$target"
    if "build-fuzz/$target" -max_total_time="$fuzz_seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/ "build-fuzz/found/$target" "$corpus" >"build-fuzz/$target.log" 2>&1; then
      echo "$target: $(grep -o 'number_of_executed_units: [0-9]*' "build-fuzz/$target.log" | grep -o '[0-9]*') inputs, no findings"
      fuzzed=$((fuzzed + 1))
    else
      echo "$target: FAILED (build-fuzz/$target.log)"; tail -n 30 "build-fuzz/$target.log"; failed=1
    fi
  done
  return $failed
}

summary_of() {  # the ctest summary line of a log, or a note that the suite did not run
  grep -E 'tests passed, [0-9]+ tests? failed out of' "$1/ctest.log" 2>/dev/null | tail -n 1 || true
}

run_suite "Release" build -DCMAKE_BUILD_TYPE=Release -DZOV_BENCH=ON; release=$?
echo "== Install and package =="
tools/check_install.sh build 2>&1 | tee build/install.log; install=${PIPESTATUS[0]}
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "Sanitizer" build-sanitize -DCMAKE_BUILD_TYPE=Debug -DZOV_SANITIZE=ON; sanitize=$?
fuzz_seconds=${ZOV_FUZZ_SECONDS:-12}; fuzzed=0
run_fuzz; fuzz=$?

r=$(summary_of build); s=$(summary_of build-sanitize)
f="$fuzzed of $(ls -d fuzz/corpus/*/ | wc -l) targets without findings"
i=$(sed -n 's/^Install: //p' build/install.log 2>/dev/null | tail -n 1)
echo "Release: ${r:-did not run}; Sanitizers: ${s:-did not run}; Fuzz: $f; Install: ${i:-did not run}"
[ $release -eq 0 ] && [ $install -eq 0 ] && [ $sanitize -eq 0 ] && [ $fuzz -eq 0 ]
