// Whole-program throughput of frameconv compiling a 90-frame 160 × 200 multicolour clip with motion (a
// panning landscape with moving objects) into a ZOVF stream, files kept in memory.
#include "bench/compile_bench.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace zov;
using picture_files::Rgb;
using picture_files::RgbGrid;

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Frame i: the camera pans slowly over hills under a sky, a ball bounces and a box slides across.
RgbGrid clipFrame(int i) {
    const double pan = i * 1.5;
    const double ballX = 20 + i * 1.4, ballY = 150 - std::fabs(std::sin(i * 0.21)) * 80;
    const int boxX = 150 - i;
    return RgbGrid::generate(160, 200, [&](int x, int y) {
        double wx = x + pan;
        double dx = x - ballX, dy = y - ballY;
        if (dx * dx * 4 + dy * dy < 110) return Rgb{250, 250, 250};
        if (x >= boxX && x < boxX + 16 && y >= 120 && y < 150) return Rgb{210, 40, 40};
        double hill = 110 + 18 * std::sin(wx * 0.05) + 9 * std::sin(wx * 0.13 + 1);
        if (y < hill) return Rgb{clampByte(60 + y * 0.8), clampByte(100 + y * 0.6), 230};
        double shade = 0.6 + 0.4 * std::sin(wx * 0.3 + y * 0.2);
        return Rgb{clampByte(40 * shade), clampByte(150 * shade + 40), clampByte(30 * shade)};
    });
}

void BM_CompileClip(benchmark::State& state) { benchmarkCompile(state, "clip", 90, clipFrame, {"/ir25", "/bw20000"}); }
BENCHMARK(BM_CompileClip)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
