#!/usr/bin/env bash
# Installs what is missing, builds, draws the sample inputs and runs every program on them.
set -euo pipefail
cd "$(dirname "$0")"
. tools/setup.sh
zov_install_missing
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(zov_jobs)" --target frameconv soundconv soundtrack vicview vicpack vicclip make_samples >/dev/null

out=demo-out
rm -rf "$out"
mkdir -p "$out/samples"
./build/make_samples "$out/samples"
echo "Samples drawn in $out/samples: a still scene, a 16-frame clip with its sound (WAVE), a WAVE chirp."

run() { echo; echo "\$ $*"; "$@" || echo "(exit code $?)"; }

echo; echo "== frameconv: a wrong command line prints the usage =="
run ./build/frameconv "$out/samples/scene.bmp" "$out/scene.bin" /s0 /m2 > "$out/usage.txt"
head -n 4 "$out/usage.txt"; echo "  ... (the usage text goes on)"

echo; echo "== frameconv: one picture (multicolour and hi-res), then a whole directory =="
run ./build/frameconv "$out/samples/scene.bmp" "$out/scene.BIN" /v2
run ./build/frameconv "$out/samples/scene_hires.ppm" "$out/scene_hires.BIN" /m1
run ./build/frameconv "$out/samples/clip" "$out/bitmaps" /j2 /f3
echo "Bitmap files: $out/scene.BIN (multicolour), $out/scene_hires.BIN (hi-res), $out/bitmaps/"

echo; echo "== soundtrack: the clip's sound as the video's raw 2-bit track =="
run ./build/soundtrack "$out/samples/clip.wav" "$out/clip.raw"

echo; echo "== frameconv: the clip with its sound track compiled into a ZOVF video stream =="
run ./build/frameconv "$out/samples/clip" "$out/clip.zov" /af "$out/clip.raw" /ar7843 /bw6000 /v1
echo "Video stream: $out/clip.zov"

echo; echo "== vicclip: a video clip (made here from the samples with ffmpeg) to a stream in one command =="
ffmpeg -nostdin -v error -y -framerate 4 -i "$out/samples/clip/frame%02d.bmp" -i "$out/samples/clip.wav" \
  -vf "scale=320:240,format=yuv420p" -c:v libx264 -c:a aac -shortest "$out/samples/clip_video.mp4"
run ./build/vicclip "$out/samples/clip_video.mp4" "$out/vicclip.zov" --bw 6000 --film "$out/vicclip.mp4" --force
echo "Video stream: $out/vicclip.zov, its film: $out/vicclip.mp4"

echo; echo "== soundconv: a WAVE chirp =="
run ./build/soundconv "$out/samples/chirp.wav" "$out/chirp.zov" /v
echo "Sound file: $out/chirp.zov"

echo; echo "== vicview: what the target machine will show and play =="
run ./build/vicview "$out/scene.BIN" "$out/scene.png" --border
run ./build/vicview "$out/scene_hires.BIN" "$out/scene_hires.png" --hires
run ./build/vicview "$out/clip.zov" "$out/preview" --wav "$out/preview.wav" --timeline --bw 6000
run ./build/vicview "$out/chirp.zov" "$out/chirp_check.wav"
run ./build/vicview "$out/clip.zov" "$out/clip.mp4"
run ./build/vicview "$out/clip.zov" "$out/clip.gif"
run ./build/vicview "$out/clip.raw" "$out/clip_track.wav" --rate 7843
echo
echo "Previews: $out/scene.png, $out/scene_hires.png, $out/preview/contact.png (every frame of the stream,"
echo "          one PNG each in $out/preview/), $out/preview.wav (the stream's audio), $out/chirp_check.wav,"
echo "          $out/clip_track.wav (the sound track as frameconv reads it)"
echo "Films:    $out/clip.mp4 (the stream as the target plays it, with its sound), $out/clip.gif (looping, silent)"
echo "Chart:    $out/preview/timeline.svg (bytes per picture against the bandwidth; the table in timeline.csv)"

echo; echo "== vicpack: programs that the target machine loads and runs =="
frame=$(ls "$out/bitmaps" | head -n 1)
run ./build/vicpack "$out/scene.BIN" "$out/scene.prg"
run ./build/vicpack "$out/chirp.zov" "$out/chirp.prg"
run ./build/vicpack "$out/scene.BIN" "$out/bitmaps/$frame" "$out/chirp.zov" "$out/zov.d64"
echo; echo "== vicpack: the clip's stream as a program for the C64, and for the C128, each with its REU image =="
run ./build/vicpack "$out/clip.zov" "$out/clip.prg"
run ./build/vicpack "$out/clip.zov" "$out/clip128.prg" --c128
echo; echo "== vicpack: 25 s of speech, longer than the memory holds, plays from an REU image =="
speech=""
if command -v espeak-ng >/dev/null 2>&1; then
  espeak-ng -w "$out/samples/speech.wav" "This sound is longer than the memory of the machine holds. It plays from \
a RAM expansion unit, which copies the samples into memory in small pieces while the sound plays, one byte a \
cycle. The player checks that the unit holds the image of this sound, then plays it at its own rate through the \
volume register of the sound chip, with the level tables made for each chip model. A key press ends it early; \
then BASIC is back, ready for the next program."
  run ./build/soundconv "$out/samples/speech.wav" "$out/speech.zov" /n 8
  run ./build/vicpack "$out/speech.zov" "$out/speech.prg"
  [ -f "$out/speech.reu" ] && speech=yes
else
  echo "(espeak-ng is not installed: tools/setup.sh installs it)"
fi
echo
echo "Programs: $out/scene.prg (the picture until a key is pressed), $out/chirp.prg (the chirp on either SID),"
echo "          $out/zov.d64 (both pictures and the chirp: LOAD\"*\",8 and RUN on the machine). In the VICE"
echo "          emulator, its x64sc on the PATH (a run ends with exit status 1 at its cycle limit; sound needs"
echo "          real time, so no -warp):"
echo "  x64sc -default -warp -autostartprgmode 1 -limitcycles 12000000 -exitscreenshot shot.png -autostart $out/scene.prg"
echo "  x64sc -default -autostartprgmode 1 -limitcycles 9000000 -soundbufsize 1000 -sounddev wav -soundarg chirp.wav -sidmodel 1 -autostart $out/chirp.prg"
echo "  x64sc -default -warp -limitcycles 60000000 -exitscreenshot disk.png -autostart $out/zov.d64"
if [ -n "$speech" ]; then
  echo "          $out/speech.prg with $out/speech.reu (the speech from an REU of the size vicpack names):"
  echo "  x64sc -default -autostartprgmode 1 -limitcycles 30000000 -reu -reusize $(( $(stat -c %s "$out/speech.reu") / 1024 )) -reuimage $out/speech.reu -soundbufsize 1000 -sounddev wav -soundarg speech.wav -autostart $out/speech.prg"
fi
echo "          $out/clip.prg with $out/clip.reu (the clip's stream on a C64 with an REU of the size vicpack names),"
echo "          $out/clip128.prg with $out/clip128.reu (the same on a C128 in its native mode):"
echo "  x64sc -reu -reusize $(( $(stat -c %s "$out/clip.reu") / 1024 )) -reuimage $out/clip.reu -autostart $out/clip.prg"
echo "  x128 -40col -reu -reusize $(( $(stat -c %s "$out/clip128.reu") / 1024 )) -reuimage $out/clip128.reu -autostart $out/clip128.prg"
command -v x64sc >/dev/null 2>&1 ||
  echo "          (x64sc and x128 are not on the PATH: VICE comes from the VICE project, https://vice-emu.sourceforge.io/)"
