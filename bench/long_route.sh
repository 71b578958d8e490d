#!/usr/bin/env bash
# The long route from a clip to a stream, for timing against vicclip: the README's ffmpeg command for the
# pictures, soundtrack on the clip, frameconv. Run from the build directory's programs:
#   bench/long_route.sh BUILD CLIP STREAM [frameconv options...]
# vicclip CLIP STREAM --force [the same settings] makes the same stream.
set -euo pipefail
build=$1 clip=$2 stream=$3; shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/frames"
ffmpeg -nostdin -v error -i "$clip" \
  -vf "fps=4,scale=320:200:force_original_aspect_ratio=decrease,pad=320:200:(ow-iw)/2:(oh-ih)/2,scale=160:200" \
  -pix_fmt bgr24 "$work/frames/frame%05d.bmp"
"$build/soundtrack" "$clip" "$work/clip.raw" >/dev/null
"$build/frameconv" "$work/frames" "$stream" /c /ir4 /af "$work/clip.raw" /ar7843 /y /v0 "$@"
