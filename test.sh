#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in an optimised build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer. The last line sums both runs up.
set -uo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
zov_install_missing || exit 1
jobs=$(zov_jobs)

run_suite() {  # name, build directory, cmake flags...
  local name=$1 dir=$2; shift 2
  echo "== $name build =="
  cmake -S . -B "$dir" "$@" >/dev/null || return 1
  cmake --build "$dir" -j "$jobs" || return 1
  echo "== $name tests =="
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure 2>&1 | tee "$dir/ctest.log"
  return "${PIPESTATUS[0]}"
}

summary_of() {  # the ctest summary line of a log, or a note that the suite did not run
  grep -E 'tests passed, [0-9]+ tests? failed out of' "$1/ctest.log" 2>/dev/null | tail -n 1 || true
}

run_suite "Release" build -DCMAKE_BUILD_TYPE=Release -DZOV_BENCH=ON; release=$?
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "Sanitizer" build-sanitize -DCMAKE_BUILD_TYPE=Debug -DZOV_SANITIZE=ON; sanitize=$?

r=$(summary_of build); s=$(summary_of build-sanitize)
echo "Release: ${r:-did not run}; Sanitizers: ${s:-did not run}"
[ $release -eq 0 ] && [ $sanitize -eq 0 ]
