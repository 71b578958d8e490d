#!/usr/bin/env bash
# The quality of soundtrack's 2-bit tracks next to the usual route (an 8-bit resample by sox or ffmpeg, then
# its top two bits), as the SNR of each decoded track against the source resampled to the same rate.
#
#   bench/soundtrack_quality.sh [--rate HZ] AUDIO...
#
# Needs build/soundtrack and build/soundtrack_quality (configure with -DZOV_BENCH=ON), and ffmpeg; sox is
# measured too when it is installed. Prints one table per AUDIO file.
set -euo pipefail
cd "$(dirname "$0")/.."
rate=7843
if [ "${1:-}" = --rate ]; then rate=$2; shift 2; fi
[ $# -gt 0 ] || { echo "usage: bench/soundtrack_quality.sh [--rate HZ] AUDIO..." >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for audio in "$@"; do
  echo "== $audio at $rate Hz =="
  tracks=()
  for dither in none tpdf shaped; do
    ./build/soundtrack "$audio" "$work/soundtrack-$dither.raw" --rate "$rate" --dither "$dither" --force |
      sed -e 's/; frameconv takes it.*//' -e "s|$work/||"
    tracks+=("$work/soundtrack-$dither.raw")
  done
  ffmpeg -v error -y -i "$audio" -ac 1 -ar "$rate" -f u8 "$work/ffmpeg-8bit.raw"
  tracks+=("u8:$work/ffmpeg-8bit.raw")
  if command -v sox >/dev/null 2>&1; then
    sox "$audio" -r "$rate" -b 8 -e unsigned -c 1 "$work/sox-8bit.raw"
    tracks+=("u8:$work/sox-8bit.raw")
  fi
  ./build/soundtrack_quality "$audio" "$rate" "${tracks[@]}" | sed "s|$work/||"
done
