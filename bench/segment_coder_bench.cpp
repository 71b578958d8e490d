// Coding a full-screen frame (9024 bytes at 0x1C00, the first buffer of a ring of three) against memory
// that holds the three earlier frames of a moving picture, and the first frame of a video into empty
// memory: the production coder and the literal exhaustive one it must agree with.
#include "frameconv/video/segment_coder.h"
#include "tests/frameconv/video/reference_segment_coder.h"
#include "tests/frameconv/video/region_samples.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

using namespace zov;

constexpr std::uint32_t kRegionStart = 0x1C00;
constexpr std::uint32_t kRegionLength = 9024;

struct Scene {
    TargetMemory memory;
    std::vector<std::uint8_t> newBytes;
    explicit Scene(bool firstFrame) {
        memory.allocate();
        if (firstFrame) {
            newBytes = samples::fullScreenRegion(samples::makeBitmapFrame(11, 0));
        } else {
            samples::fillRing(memory, 11, 0);  // frames 0, 1, 2 in the three buffers
            newBytes = samples::fullScreenRegion(samples::makeBitmapFrame(11, 3));
        }
    }
};

template <typename Code>
void codeFrames(benchmark::State& state, Code code) {
    Scene scene(state.range(0) != 0);
    TargetMemory work;
    work.allocate();
    int coded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), scene.memory.data(), kTargetImageSize);
        state.ResumeTiming();
        coded = code(work, scene.newBytes.data());
        benchmark::DoNotOptimize(coded);
    }
    state.counters["coded_bytes"] = coded;
}

void BM_SegmentCoder(benchmark::State& state) {
    SegmentCoder coder;
    codeFrames(state, [&coder](TargetMemory& memory, const std::uint8_t* bytes) {
        return coder.code(memory, kRegionStart, kRegionLength, bytes, FrameMarks{0x78, 3, 0});
    });
}
BENCHMARK(BM_SegmentCoder)->ArgName("firstFrame")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ExhaustiveSegmentCoder(benchmark::State& state) {
    reference::ReferenceSegmentCoder coder;
    codeFrames(state, [&coder](TargetMemory& memory, const std::uint8_t* bytes) {
        return coder.code(memory, kRegionStart, kRegionLength, bytes, 0x78, 3, 0);
    });
}
BENCHMARK(BM_ExhaustiveSegmentCoder)->ArgName("firstFrame")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
