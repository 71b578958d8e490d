// The whole-program compile benchmark that the clip benchmarks share: frameconv compiles a directory of
// pictures drawn by code into a ZOVF stream, every file kept in memory; and the drawn clip with a tone track
// that the players' benchmarks play.
#pragma once

#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "tests/support/picture_files.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zov {

/// Picture i of a 160 × 200 clip with motion: the camera pans slowly over hills under a sky, a ball bounces
/// and a box slides across.
inline picture_files::RgbGrid panningLandscape(int i) {
    auto clampByte = [](double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    const double pan = i * 1.5;
    const double ballX = 20 + i * 1.4, ballY = 150 - std::fabs(std::sin(i * 0.21)) * 80;
    const int boxX = 150 - i;
    return picture_files::RgbGrid::generate(160, 200, [&](int x, int y) {
        double wx = x + pan;
        double dx = x - ballX, dy = y - ballY;
        if (dx * dx * 4 + dy * dy < 110) return picture_files::Rgb{250, 250, 250};
        if (x >= boxX && x < boxX + 16 && y >= 120 && y < 150) return picture_files::Rgb{210, 40, 40};
        double hill = 110 + 18 * std::sin(wx * 0.05) + 9 * std::sin(wx * 0.13 + 1);
        if (y < hill) return picture_files::Rgb{clampByte(60 + y * 0.8), clampByte(100 + y * 0.6), 230};
        double shade = 0.6 + 0.4 * std::sin(wx * 0.3 + y * 0.2);
        return picture_files::Rgb{clampByte(40 * shade), clampByte(150 * shade + 40), clampByte(30 * shade)};
    });
}

/// Draws `frames` pictures with frameOf(i) into DIRECTORY/, then times `frameconv DIRECTORY STREAM /c /y /v0
/// OPTIONS...`; reports frames per second and the stream's size.
template <typename FrameOf>
void benchmarkCompile(benchmark::State& state, const std::string& directory, int frames, FrameOf&& frameOf,
                      const std::vector<std::string>& options) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    for (int i = 0; i < frames; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s/f%03d.bmp", directory.c_str(), i);
        fs.addFile(name, picture_files::bmp(frameOf(i)));
    }
    const std::string stream = directory + ".zov";
    std::vector<std::string> args{"frameconv", directory, stream, "/c", "/y", "/v0"};
    args.insert(args.end(), options.begin(), options.end());
    for (auto _ : state) {
        if (runFrameconv(args) != 0) state.SkipWithError("compile failed");
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * frames, benchmark::Counter::kIsRate);
    state.counters["stream bytes"] = static_cast<double>(fs.contents(stream).size());
}

/// A raw 2-bit track of tones at 7843 Hz, `seconds` long.
inline std::vector<std::uint8_t> toneTrack(double seconds) {
    std::vector<std::uint8_t> track(static_cast<std::size_t>(7843 * seconds / 4), 0);
    for (std::size_t n = 0; n < 4 * track.size(); ++n) {
        const double t = static_cast<double>(n) / 7843;
        const int level = static_cast<int>(std::lround(1.5 + 1.5 * std::sin(2 * M_PI * (400 + 300 * std::sin(t)) * t)));
        track[n / 4] = static_cast<std::uint8_t>(track[n / 4] | level << (6 - 2 * (n % 4)));
    }
    return track;
}

/// The drawn clip as a stream: the panning landscape, 24 of its steps a second, at `fps` pictures a second
/// with the tone track, compiled at a bandwidth (empty when the compile fails).
inline std::vector<std::uint8_t> drawnClipStream(int bandwidth, double seconds, double fps) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    for (int i = 0; i < seconds * fps; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/clip/f%04d.bmp", i);
        fs.addFile(name, picture_files::bmp(panningLandscape(static_cast<int>(24 / fps * i))));
    }
    const std::vector<std::uint8_t> track = toneTrack(seconds);
    fs.addFile("/clip.raw", MemoryFileSystem::Bytes(track.begin(), track.end()));
    char rate[32];
    std::snprintf(rate, sizeof rate, "/ir%g", fps);
    if (runFrameconv({"frameconv", "/clip", "/clip.zov", "/c", "/v0", rate, "/af", "/clip.raw", "/ar7843",
                      "/bw" + std::to_string(bandwidth)}) != 0)
        return {};
    const MemoryFileSystem::Bytes stream = fs.contents("/clip.zov");
    return std::vector<std::uint8_t>(stream.begin(), stream.end());
}

}  // namespace zov
