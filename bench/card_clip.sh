#!/usr/bin/env bash
# How closely a stream's frames follow the clip's pictures with each colour choice: CLIP compiled by vicclip
# (--crop, with its sound, at --bw 4000 unless OPTIONS say otherwise) with --colours picture and --colours
# card, its frames drawn by vicview (the Pepto palette), each against the clip's picture of the same number
# scaled to 320 x 200 the same way. Prints the pictures kept and the mean colour and luminance PSNR of the
# kept frames, and of what is on screen at every picture's time (a dropped picture shows the frame before;
# before the first frame the screen is black), plain and with both pictures blurred (build/picture_psnr).
#
#   bench/card_clip.sh CLIP [VICCLIP OPTIONS...]
#
# Needs build/vicclip, build/vicview, build/picture_psnr (configure with -DZOV_BENCH=ON) and ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || { echo "usage: bench/card_clip.sh CLIP [VICCLIP OPTIONS...]" >&2; exit 1; }
clip=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/source"
# Before its first frame the screen is black (the player clears the memory).
ffmpeg -v error -f lavfi -i color=black:size=320x200 -frames:v 1 -pix_fmt rgb24 "$work/black.ppm"
ffmpeg -v error -i "$clip" -vf "fps=4,scale=320:200:force_original_aspect_ratio=increase,crop=320:200" \
  -sws_flags bicubic -pix_fmt rgb24 "$work/source/%05d.ppm"
for colours in picture card; do
  ./build/vicclip "$clip" "$work/$colours.zov" --crop --colours "$colours" --force "$@" | sed "s|$work/||"
  ./build/vicview "$work/$colours.zov" "$work/$colours" >/dev/null
  shownFrame="$work/black.ppm"
  for source in "$work"/source/*.ppm; do
    number=$(basename "$source" .ppm)
    if [ -f "$work/$colours/frame$number.png" ]; then
      ffmpeg -v error -y -i "$work/$colours/frame$number.png" -pix_fmt rgb24 "$work/$colours/$number.ppm"
      shownFrame="$work/$colours/$number.ppm"
      ./build/picture_psnr "$source" "$shownFrame" >>"$work/$colours-kept.txt"
    fi
    ./build/picture_psnr "$source" "$shownFrame" >>"$work/$colours-shown.txt"
  done
  for what in kept shown; do
    awk -v label="--colours $colours, $what frames" \
      '{c += $2; l += $5; bc += $8; bl += $11; n++}
       END {printf "%s: %d, colour %.2f dB, luminance %.2f dB, blurred %.2f dB / %.2f dB\n", label, n, c / n, l / n, bc / n, bl / n}' \
      "$work/$colours-$what.txt"
  done
done
