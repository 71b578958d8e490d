// The whole-program compile benchmark that the clip benchmarks share: frameconv compiles a directory of
// pictures drawn by code into a ZOVF stream, every file kept in memory.
#pragma once

#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "tests/support/picture_files.h"

#include <benchmark/benchmark.h>

#include <cmath>
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

}  // namespace zov
