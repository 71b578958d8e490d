// The whole-program compile benchmark that the clip benchmarks share: frameconv compiles a directory of
// pictures drawn by code into a ZOVF stream, every file kept in memory.
#pragma once

#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "tests/support/picture_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zov {

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
