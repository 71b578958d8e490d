#!/usr/bin/env bash
# Runs every program of two builds over the same inputs and compares what they write and print, byte for
# byte: a change that should leave the behaviour alone is checked against the build before it.
#
#   tools/compare_builds.sh BEFORE_BUILD AFTER_BUILD WORK_DIR
#
# The inputs are the demo's samples (make_samples of the BEFORE build) and the two benchmark clips (the
# 90-frame colour and grey clips that bench/compile_bench.h and bench/grey_clip_bench.cpp draw),
# written to disk once, with two video clips that ffmpeg makes of them for vicclip. Each build runs the same
# list of commands in a directory of its own under
# WORK_DIR, with relative paths so that the console texts match; every command's standard output, error
# output and exit code is kept beside the files it writes. Then every file of the two trees is compared
# with cmp. Exit code 0 when the trees are identical.
set -uo pipefail
if [ $# -ne 3 ]; then
    echo "usage: $0 BEFORE_BUILD AFTER_BUILD WORK_DIR" >&2
    exit 2
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
before=$(cd "$1" && pwd); after=$(cd "$2" && pwd)
mkdir -p "$3"; work=$(cd "$3" && pwd)

# ---- inputs, made once ----------------------------------------------------------------------------------
inputs=$work/inputs
if [ ! -f "$inputs/done" ]; then
    rm -rf "$inputs"; mkdir -p "$inputs"
    "$before/make_samples" "$inputs/samples" >/dev/null || exit 1
    # The benchmark clips: their drawing functions, taken from the benchmark sources, write BMP files.
    {
        echo '#include "tests/support/picture_files.h"'
        echo '#include <cmath>'
        echo '#include <cstdio>'
        echo '#include <string>'
        echo 'using namespace zov; using picture_files::Rgb; using picture_files::RgbGrid; using picture_files::GreyGrid;'
        echo 'namespace {'
        sed -n '/^inline picture_files::RgbGrid panningLandscape/,/^}/p' "$source_dir/bench/compile_bench.h"
        sed -n '/^std::uint8_t clampByte/p' "$source_dir/bench/grey_clip_bench.cpp"
        sed -n '/^GreyGrid greyFrame/,/^}/p' "$source_dir/bench/grey_clip_bench.cpp"
        cat <<'EOF'
bool save(const std::string& path, const picture_files::Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
}  // namespace
int main(int, char** argv) {
    std::string dir = argv[1];
    for (int i = 0; i < 90; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/clip/f%03d.bmp", i);
        if (!save(dir + name, picture_files::bmp(panningLandscape(i)))) return 1;
        std::snprintf(name, sizeof name, "/grey/f%03d.bmp", i);
        if (!save(dir + name, picture_files::bmp(greyFrame(i)))) return 1;
    }
    return 0;
}
EOF
    } >"$work/bench_clips.cpp"
    g++ -std=c++20 -O1 -I"$source_dir" "$work/bench_clips.cpp" -o "$work/bench_clips" || exit 1
    mkdir -p "$inputs/clip" "$inputs/grey"
    "$work/bench_clips" "$inputs" || exit 1
    # vicclip's clips: the demo's, and the colour benchmark clip, made by ffmpeg from those pictures.
    ffmpeg -nostdin -v error -y -framerate 4 -i "$inputs/samples/clip/frame%02d.bmp" -i "$inputs/samples/clip.wav" \
        -vf "scale=320:240,format=yuv420p" -c:v libx264 -c:a aac -shortest "$inputs/clip_video.mp4" || exit 1
    ffmpeg -nostdin -v error -y -framerate 25 -i "$inputs/clip/f%03d.bmp" -c:v libx264 -pix_fmt yuv420p \
        "$inputs/bench_clip.mp4" || exit 1
    touch "$inputs/done"
fi

# ---- the commands -----------------------------------------------------------------------------------------
# One line a command: a name for its console texts, then the program and its arguments ($B is the build).
commands() {
    cat <<'EOF'
fc_usage           $B/frameconv in/samples/scene.bmp out/x.bin /s0 /m2
fc_scene_v3        $B/frameconv in/samples/scene.bmp out/scene.BIN /v3
fc_scene_adjusted  $B/frameconv in/samples/scene.bmp out/scene_adj.BIN /v3 /s120 /b-10 /ks80 /kb5 /h30 /kpa90 /kpz150 /kpy120 /kpr60
fc_scene_c0        $B/frameconv in/samples/scene.bmp out/scene_c0.BIN /c0 /v2
fc_scene_c1        $B/frameconv in/samples/scene.bmp out/scene_c1.BIN /c1 /v2
fc_scene_c2        $B/frameconv in/samples/scene.bmp out/scene_c2.BIN /c2 /v2
fc_hires_v3        $B/frameconv in/samples/scene_hires.ppm out/scene_hires.BIN /m1 /v3
fc_hires_c2        $B/frameconv in/samples/scene_hires.ppm out/scene_hires_c2.BIN /m1 /c2 /v2 /h-40
fc_dir             $B/frameconv in/samples/clip out/bitmaps /j2 /f3 /v2
fc_dir_recursive   $B/frameconv in out/tree /r /v1
fc_dir_again       $B/frameconv in/samples/clip out/bitmaps /j2 /f3
fc_dir_yes         $B/frameconv in/samples/clip out/bitmaps /j2 /f3 /y
fc_bad_quantity    $B/frameconv in/samples/scene.bmp out/bad.BIN /s-5 /c9 /f0
fc_missing         $B/frameconv in/none.bmp out/none.BIN
st_track           $B/soundtrack in/samples/clip.wav out/clip.raw
st_track_tpdf      $B/soundtrack in/samples/chirp.wav out/chirp_tpdf.raw --dither tpdf --rate 7812 --start 0.3 --length 1.2
st_track_shaped    $B/soundtrack in/samples/chirp.wav out/chirp_shaped.raw --dither shaped --gain -3
st_track_exists    $B/soundtrack in/samples/clip.wav out/clip.raw
fc_compile_audio   $B/frameconv in/samples/clip out/clip.zov /af out/clip.raw /ar7843 /bw6000 /v3
fc_compile_hires   $B/frameconv in/samples/clip out/clip_hires.zov /m1 /c /v2 /ir8 /r4 /bw3000
fc_compile_indiv   $B/frameconv in/samples/clip out/clip_i.zov /c /i /v1 /f10 /j1
fc_bench_clip      $B/frameconv in/clip out/bench_clip.zov /c /y /v3 /ir25 /bw20000
fc_bench_clip_af   $B/frameconv in/clip out/bench_clip_af.zov /af out/clip.raw /ar7843 /ir25 /bw9000 /v2
fc_bench_grey      $B/frameconv in/grey out/bench_grey.zov /c /y /v3 /m1
fc_bench_grey_mc   $B/frameconv in/grey out/bench_grey_mc.zov /c /y /v1 /bw2500 /ir12
fc_bench_stills    $B/frameconv in/clip out/bench_stills /v1 /j40 /f6
fc_grey_stills     $B/frameconv in/grey out/grey_stills /m1 /v2 /j80 /f4
sc_chirp           $B/soundconv in/samples/chirp.wav out/chirp.zov /v
sc_bad_bits        $B/soundconv in/samples/chirp.wav out/bad8.zov /n8 /v
sc_chirp_8bit      $B/soundconv in/samples/chirp.wav out/chirp8.zov /n 8 /f 11025 /s 80 /b 5 /v
sc_clip_cut        $B/soundconv in/samples/clip.wav out/clip_cut.zov /j 0.5 /c 1 /l 2 /v /i
sc_dir             $B/soundconv in/samples out/sounds /v
sc_exists          $B/soundconv in/samples/chirp.wav out/chirp.zov
sc_usage           $B/soundconv in/samples/chirp.wav
vv_scene           $B/vicview out/scene.BIN out/scene.png --border
vv_scene_plain     $B/vicview out/scene.BIN out/scene_plain.png --palette colodore
vv_scene_c0        $B/vicview out/scene_c0.BIN out/scene_c0.png
vv_scene_c1        $B/vicview out/scene_c1.BIN out/scene_c1.png --border=6
vv_scene_c2        $B/vicview out/scene_c2.BIN out/scene_c2.png
vv_hires           $B/vicview out/scene_hires.BIN out/scene_hires.png --hires
vv_hires_c2        $B/vicview out/scene_hires_c2.BIN out/scene_hires_c2.png --hires --border
vv_stream          $B/vicview out/clip.zov out/preview --wav out/preview.wav --timeline --bw 6000
vv_stream_crop     $B/vicview out/clip_hires.zov out/preview_hires --crop --fps 8 --timeline
vv_bench_stream    $B/vicview out/bench_clip.zov out/bench_preview --fg 2 --timeline --bw 20000
vv_bench_af        $B/vicview out/bench_clip_af.zov out/bench_af_preview --wav out/bench_af.wav
vv_grey_stream     $B/vicview out/bench_grey.zov out/grey_preview
vv_sound           $B/vicview out/chirp.zov out/chirp_check.wav
vv_sound8          $B/vicview out/chirp8.zov out/chirp8_check.wav
vv_raw             $B/vicview out/clip.raw out/clip_track.wav --rate 7843
vv_gif             $B/vicview out/clip.zov out/clip.gif
vv_mp4             $B/vicview out/clip.zov out/clip.mp4 --scale 2
vv_bad_input       $B/vicview in/samples/clip.wav out/bad.png
vv_help            $B/vicview --help
st_help            $B/soundtrack --help
vp_scene           $B/vicpack out/scene.BIN out/scene.prg
vp_hires           $B/vicpack out/scene_hires.BIN out/scene_hires.prg --hires --border 3
vp_sound           $B/vicpack out/chirp.zov out/chirp.prg
vp_sound8_cut      $B/vicpack out/chirp8.zov out/chirp8.prg --length 1
vp_raw             $B/vicpack out/clip.raw out/clip_raw.prg --rate 7843
vp_disk            $B/vicpack out/scene.BIN out/scene_c0.BIN out/chirp.zov out/zov.d64
vp_stream          $B/vicpack out/clip.zov out/stream.prg
vp_stream_c128     $B/vicpack out/clip.zov out/stream128.prg --c128
vc_demo            $B/vicclip in/clip_video.mp4 out/vicclip.zov --bw 6000 --film out/vicclip.mp4
vc_demo_advice     $B/vicclip in/clip_video.mp4 out/vicclip_advice.zov --bw 3000 --verbose 1
vc_bench_settings  $B/vicclip in/bench_clip.mp4 out/vc_bench.zov --hires --crop --fps 8 --start 0.5 --length 2 --contrast 120 --hue -20 --colour-arrays 2 --bw 9000
vc_bench_advice    $B/vicclip in/bench_clip.mp4 out/vc_bench_advice.zov --bw 2500
vc_exists          $B/vicclip in/clip_video.mp4 out/vicclip.zov
vc_help            $B/vicclip --help
vc_clip_hires      $B/vicclip in/clip_video.mp4 out/vicclip_hires.zov --hires --crop --bw 3000
vc_program         $B/vicclip in/clip_video.mp4 out/vicclip.prg --bw 6000
EOF
}

run_build() {  # build directory, run directory
    local B=$1 dir=$2 name command
    rm -rf "$dir"; mkdir -p "$dir/out" "$dir/console"
    # A copy each: /i writes its bitmap files beside the pictures.
    cp -r "$inputs" "$dir/in"
    (
        cd "$dir" || exit 1
        while read -r name command; do
            eval "set -- ${command//\$B/$B}"
            "$@" </dev/null >"console/$name.out" 2>"console/$name.err"
            echo $? >"console/$name.exit"
        done < <(commands)
    )
}

run_build "$before" "$work/before"
run_build "$after" "$work/after"

# Program paths in the texts would differ between the builds: none is printed, so nothing is masked.
differences=0 files=0
while IFS= read -r -d '' file; do
    relative=${file#"$work/before/"}
    files=$((files + 1))
    if [ ! -f "$work/after/$relative" ]; then
        echo "only before: $relative"; differences=$((differences + 1))
    elif ! cmp -s "$file" "$work/after/$relative"; then
        echo "differs: $relative"; differences=$((differences + 1))
    fi
done < <(find "$work/before" -type f -print0)
while IFS= read -r -d '' file; do
    relative=${file#"$work/after/"}
    [ -f "$work/before/$relative" ] || { echo "only after: $relative"; differences=$((differences + 1)); }
done < <(find "$work/after" -type f -print0)
echo "compared $files files ($(commands | wc -l) commands): $differences differ"
[ $differences -eq 0 ]
