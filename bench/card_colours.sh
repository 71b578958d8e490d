#!/usr/bin/env bash
# How closely vicclip's pictures follow their sources with each colour choice: every PICTURE to a bitmap
# file with --colours picture and --colours card, shown as the machine shows it (vicview, the Pepto
# palette; multicolour pixels double wide), against the source scaled to 320 x 200 the same way (bicubic,
# cropped to the screen's shape). Prints the colour (RGB) and luminance PSNR of each (build/picture_psnr).
#
#   bench/card_colours.sh [--hires] [--keep DIR] PICTURE...
#
# Needs build/vicclip, build/vicview, build/picture_psnr (configure with -DZOV_BENCH=ON) and ffmpeg. With
# --keep, DIR gets each picture's reference and both results as PNG, and contact.png with them side by side.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=() keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --hires) mode=(--hires); shift ;;
    --keep) keep=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: bench/card_colours.sh [--hires] [--keep DIR] PICTURE..." >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -z "$keep" ] || mkdir -p "$keep"
rows=()
for picture in "$@"; do
  name=$(basename "${picture%.*}")
  ffmpeg -v error -y -i "$picture" -vf "scale=320:200:force_original_aspect_ratio=increase,crop=320:200" \
    -sws_flags bicubic -pix_fmt rgb24 -frames:v 1 "$work/$name-source.ppm"
  for colours in picture card; do
    ./build/vicclip "$picture" "$work/$name-$colours.BIN" --crop --colours "$colours" "${mode[@]}" --force >/dev/null
    ./build/vicview "$work/$name-$colours.BIN" "$work/$name-$colours.png" "${mode[@]}" >/dev/null
    ffmpeg -v error -y -i "$work/$name-$colours.png" -pix_fmt rgb24 "$work/$name-$colours.ppm"
  done
  ./build/picture_psnr "$work/$name-source.ppm" "$work/$name-picture.ppm" "$work/$name-card.ppm" | sed "s|$work/||"
  if [ -n "$keep" ]; then
    ffmpeg -v error -y -i "$work/$name-source.ppm" "$keep/$name-source.png"
    cp "$work/$name-picture.png" "$work/$name-card.png" "$keep/"
    rows+=("$name")
  fi
done
if [ -n "$keep" ]; then
  inputs=() filter="" n=0
  for name in "${rows[@]}"; do
    inputs+=(-i "$keep/$name-source.png" -i "$keep/$name-picture.png" -i "$keep/$name-card.png")
    filter+="[$n][$((n + 1))][$((n + 2))]hstack=3[r$((n / 3))];"
    n=$((n + 3))
  done
  for ((k = 0; k < n / 3; k++)); do filter+="[r$k]"; done
  ffmpeg -v error -y "${inputs[@]}" -filter_complex "${filter}vstack=$((n / 3))" "$keep/contact.png"
fi
