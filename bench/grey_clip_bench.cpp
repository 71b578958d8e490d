// Whole-program throughput of frameconv compiling a 90-frame 320 × 200 grey clip in hi-res mode (/m1) into
// a ZOVF stream, files kept in memory: a panning grey landscape with a moving disc and a sliding bar, drawn
// with fine grain so that the reference conversion has real work in every card.
#include "bench/compile_bench.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace zov;
using picture_files::GreyGrid;

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Frame i: hills under a brightening sky pan by, a disc circles and a bar slides down.
GreyGrid greyFrame(int i) {
    const double pan = i * 2.0;
    const double discX = 160 + 90 * std::cos(i * 0.09), discY = 100 + 60 * std::sin(i * 0.09);
    const int barY = (i * 2) % 200;
    return GreyGrid::generate(320, 200, [&](int x, int y) {
        const double wx = x + pan;
        const int grain = static_cast<int>((static_cast<unsigned>(x * 7919 + y * 104729 + i * 31) >> 3) % 9) - 4;
        const double dx = x - discX, dy = y - discY;
        if (dx * dx + dy * dy < 600) return clampByte(235 + grain);
        if (y >= barY && y < barY + 6 && x > 40 && x < 280) return clampByte(20 + grain);
        const double hill = 120 + 25 * std::sin(wx * 0.03) + 10 * std::sin(wx * 0.11 + 1);
        if (y < hill) return clampByte(90 + y * 0.7 + grain);
        return clampByte(60 + 50 * std::sin(wx * 0.2 + y * 0.15) + grain);
    });
}

void BM_CompileGreyHiResClip(benchmark::State& state) { benchmarkCompile(state, "grey", 90, greyFrame, {"/m1"}); }
BENCHMARK(BM_CompileGreyHiResClip)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
