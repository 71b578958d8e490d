// Conversion throughput of soundtrack in input bytes per second: ten seconds of 44.1 kHz 16-bit stereo (a
// sweep and a tone) made into the 7843 Hz 2-bit track on an in-memory disk, once per --dither setting, and
// the rounding alone. The whole program against another tool on a real file is timed from outside (see
// bench/README.md).
#include "common/platform/memory_platform.h"
#include "soundtrack/quantiser.h"
#include "soundtrack/soundtrack_app.h"
#include "formats/little_endian.h"
#include "formats/wave_file.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace zov {
namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kSeconds = 10;

const Bytes& source() {
    static const Bytes wave = [] {
        const std::uint32_t frames = kRate * kSeconds;
        Bytes out = pcmWaveHead(pcmFormat(2, kRate, 16), frames * 4);
        for (std::uint32_t i = 0; i < frames; ++i) {
            double t = static_cast<double>(i) / kRate;
            double sweep = std::sin(2 * M_PI * (100 * t + 3900.0 / (2 * kSeconds) * t * t));
            appendLe16(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(sweep * 30000)));
            appendLe16(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::sin(2 * M_PI * 440 * t) * 8000)));
        }
        return out;
    }();
    return wave;
}

void BM_TrackInMemory(benchmark::State& state, const char* dither) {
    MemoryFileSystem disk;
    StringConsole console;
    PlatformOverride use(&disk, &console);
    disk.addFile("in.wav", source());
    for (auto _ : state) {
        if (runSoundtrack({"soundtrack", "in.wav", "out.raw", "--force", "--dither", dither}) != kTrackDone)
            state.SkipWithError("conversion failed");
        console.clear();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source().size()));
}
BENCHMARK_CAPTURE(BM_TrackInMemory, none, "none")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TrackInMemory, tpdf, "tpdf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TrackInMemory, shaped, "shaped")->Unit(benchmark::kMillisecond);

// Ten seconds at 7843 Hz rounded to the four levels and packed.
void BM_RoundAndPack(benchmark::State& state) {
    std::vector<double> samples(7843 * kSeconds);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(static_cast<double>(i) * 0.3) * 0.8;
    const auto dither = static_cast<Dither>(state.range(0));
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes = packLevels(quantiseTrack(samples, 1.2, dither).levels);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples.size()));
}
BENCHMARK(BM_RoundAndPack)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zov

BENCHMARK_MAIN();
