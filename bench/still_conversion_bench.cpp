// Whole-program throughput of frameconv on a 160 × 200 colour picture: reading the file, choosing the
// colours, dithering, exporting and writing the bitmap file; also with the colours chosen per card.
#include "common/platform/memory_platform.h"
#include "common/platform/temporary_directory.h"
#include "frameconv/app/frameconv_app.h"
#include "tests/support/picture_files.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace zov;
using picture_files::Rgb;
using picture_files::RgbGrid;

// A photographic-looking frame: smooth colour gradients with some texture.
RgbGrid scene() {
    return RgbGrid::generate(160, 200, [](int x, int y) {
        double t = y / 200.0;
        auto c = [](double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
        if (y < 110) return Rgb{c(60 + 120 * t), c(100 + 100 * t), c(230 - 40 * t)};
        double shade = 0.6 + 0.4 * std::sin(x * 0.3 + y * 0.2);
        if (x > 100 && y < 150) return Rgb{c(200 * shade), c(40 * shade), c(30)};
        return Rgb{c(40 * shade), c(150 * shade + 40), c(30 * shade)};
    });
}

// The conversion in memory; perCard: every card's colours chosen for it (vicclip --colours card), the
// background chosen too.
void convertInMemory(benchmark::State& state, bool perCard) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    fs.addFile("in.bmp", picture_files::bmp(scene()));
    const std::vector<std::string> args{"frameconv", "in.bmp", "out.bin", "/y", "/v0"};
    for (auto _ : state) {
        FrameconvApp app;
        if (perCard) app.chooseColoursPerCard(CardColourSettings{});
        if (app.run(args) != 0) state.SkipWithError("conversion failed");
    }
    state.counters["pictures/s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
}

void BM_ConvertPictureToBitmapFile(benchmark::State& state) { convertInMemory(state, false); }
BENCHMARK(BM_ConvertPictureToBitmapFile)->Unit(benchmark::kMillisecond);

void BM_ConvertPictureWithColoursPerCard(benchmark::State& state) { convertInMemory(state, true); }
BENCHMARK(BM_ConvertPictureWithColoursPerCard)->Unit(benchmark::kMillisecond);

void BM_ConvertPictureOnDisk(benchmark::State& state) {
    TemporaryDirectory dir(realFileSystem(), "frameconv-bench");
    if (!dir.made() || !dir.put("in.bmp", picture_files::bmp(scene())).empty()) {
        state.SkipWithError("cannot write the input to a temporary directory");
        return;
    }
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    const std::vector<std::string> args{"frameconv", dir.path("in.bmp"), dir.path("out.bin"), "/y", "/v0"};
    for (auto _ : state) {
        if (runFrameconv(args) != 0) state.SkipWithError("conversion failed");
    }
    state.counters["pictures/s"] = benchmark::Counter(state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertPictureOnDisk)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
