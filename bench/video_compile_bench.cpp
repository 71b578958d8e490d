// Whole-program throughput of frameconv compiling a 90-frame 160 × 200 multicolour clip with motion (a
// panning landscape with moving objects) into a ZOVF stream, files kept in memory.
#include "bench/compile_bench.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace zov;

void BM_CompileClip(benchmark::State& state) { benchmarkCompile(state, "clip", 90, panningLandscape, {"/ir25", "/bw20000"}); }
BENCHMARK(BM_CompileClip)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
