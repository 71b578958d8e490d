#!/usr/bin/env bash
# Measures the levels behind vicpack's volume tables again, on both chip models: runs the stepping program
# (level_steps.s) in the emulator for each model while it records, and prints the levels in the form of
# vicpack/sid_levels.cpp, with how far they lie from the levels there on standard error.
#
#   tools/sid_levels/measure.sh [BUILD_DIR [WORK_DIR]]
#
# Needs BUILD_DIR/sid_level_meter (build/ by default; cmake --build build --target sid_level_meter) and the
# emulator's x64sc on the PATH. The emulator runs in real time (it drops sound in warp
# mode), the two models side by side: about 10 seconds. The recordings stay in WORK_DIR when it is given.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
meter=$build/sid_level_meter
[ -x "$meter" ] || { echo "no $meter: cmake --build $build --target sid_level_meter" >&2; exit 1; }

# x64sc itself, or (in a copy of the emulator's folder that lost its links) the launcher beside its name.
x64sc=()
IFS=: read -ra folders <<< "${PATH:-}"
for folder in "${folders[@]}"; do
  [ -n "$folder" ] || continue
  if [ -f "$folder/x64sc" ] && [ -x "$folder/x64sc" ]; then x64sc=("$folder/x64sc"); break; fi
  if [ -f "$folder/x64sc" ] && [ -x "$folder/launch" ]; then x64sc=("$folder/launch" x64sc); break; fi
done
[ ${#x64sc[@]} -gt 0 ] || { echo "x64sc is not on the PATH: install VICE" >&2; exit 1; }

if [ $# -ge 2 ]; then
  mkdir -p "$2"; work=$2
else
  work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
fi

# Start-up and autostart take about 3 s of machine time, the steps with the silence around them 6.7 s.
cycles=11000000
pids=()
for model in 6581 8580; do
  "$meter" program "$model" "$work/steps$model.prg"
  sidmodel=$([ "$model" = 6581 ] && echo 0 || echo 1)
  "${x64sc[@]}" -default -autostartprgmode 1 -limitcycles "$cycles" -soundbufsize 1000 -sounddev wav \
    -soundarg "$work/steps$model.wav" -sidmodel "$sidmodel" -autostart "$work/steps$model.prg" \
    >"$work/steps$model.log" 2>&1 &
  pids+=($!)
done
# The emulator ends with exit code 1 when it reaches the cycle limit.
for pid in "${pids[@]}"; do wait "$pid" || [ $? -eq 1 ] || { echo "the emulator failed: see $work" >&2; exit 1; }; done

for model in 6581 8580; do
  "$meter" levels "$model" "$work/steps$model.wav"
  echo
done
