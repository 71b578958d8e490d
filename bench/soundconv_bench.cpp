// Conversion throughput of soundconv in input bytes per second: ten seconds of 44.1 kHz 16-bit stereo
// converted with the default settings (7812 Hz, 4 bits), on an in-memory disk and on the real one.
//
// `soundconv_bench --write-wave=PATH [--wave-seconds=N]` also saves the source WAVE file (N seconds of it,
// 10 by default), so that the program and other tools can be timed on the same input.
#include "common/platform/memory_platform.h"
#include "common/platform/temporary_directory.h"
#include "formats/little_endian.h"
#include "formats/wave_file.h"
#include "soundconv/soundconv_app.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace zov {
namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kBenchSeconds = 10;

// A sweep from 100 Hz to 4 kHz on the left channel and a steady 440 Hz tone on the right.
Bytes sourceWave(std::uint32_t seconds) {
    const std::uint32_t frames = kRate * seconds;
    Bytes out = pcmWaveHead(pcmFormat(2, kRate, 16), frames * 4);
    const double pi = 3.14159265358979323846;
    for (std::uint32_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / kRate;
        double sweep = std::sin(2 * pi * (100 * t + (3900.0 / (2 * seconds)) * t * t));
        double tone = std::sin(2 * pi * 440 * t);
        appendLe16(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(sweep * 30000)));
        appendLe16(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(tone * 20000)));
    }
    return out;
}

const Bytes& source() {
    static const Bytes wave = sourceWave(kBenchSeconds);
    return wave;
}

SoundOptions defaults() {
    SoundOptions options;
    options.yes = true;  // every iteration overwrites the output of the one before
    return options;
}

void BM_ConvertInMemory(benchmark::State& state) {
    MemoryFileSystem disk;
    StringConsole console;
    PlatformOverride use(&disk, &console);
    disk.addFile("in.wav", source());
    SoundOptions options = defaults();
    for (auto _ : state) {
        if (!convertSoundFile("in.wav", "out.bin", options)) state.SkipWithError("conversion failed");
        console.clear();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source().size()));
}
BENCHMARK(BM_ConvertInMemory)->Unit(benchmark::kMillisecond);

void BM_ConvertRealFile(benchmark::State& state) {
    TemporaryDirectory dir(realFileSystem(), "soundconv-bench");
    if (!dir.made() || !dir.put("in.wav", source()).empty()) {
        state.SkipWithError("no temporary directory for the files");
        return;
    }
    const std::string in = dir.path("in.wav"), outPath = dir.path("out.bin");
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    SoundOptions options = defaults();
    for (auto _ : state) {
        if (!convertSoundFile(in, outPath, options)) state.SkipWithError("conversion failed");
        console.clear();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source().size()));
}
BENCHMARK(BM_ConvertRealFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zov

int main(int argc, char** argv) {
    std::vector<char*> args;
    std::string wavePath;
    unsigned long seconds = zov::kBenchSeconds;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--write-wave=", 0) == 0) {
            wavePath = arg.substr(13);
        } else if (arg.rfind("--wave-seconds=", 0) == 0) {
            seconds = std::min(std::max(std::strtoul(arg.c_str() + 15, nullptr, 10), 1ul), 3600ul);
        } else {
            args.push_back(argv[i]);
        }
    }
    if (!wavePath.empty()) {
        zov::Bytes wave = zov::sourceWave(static_cast<std::uint32_t>(seconds));
        FILE* f = std::fopen(wavePath.c_str(), "wb");
        bool written = f && std::fwrite(wave.data(), 1, wave.size(), f) == wave.size();
        if (f) std::fclose(f);
        if (!written) {
            std::fprintf(stderr, "could not write %s\n", wavePath.c_str());
            return 1;
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
