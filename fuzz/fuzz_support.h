// What the fuzz targets share: an in-memory disk with a console that keeps everything printed, command lines
// cut from the input, and a check that stops the run (so that libFuzzer keeps the input) when a property
// of the tools does not hold.
#pragma once

#include "common/platform/memory_platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace zov::fuzz {

using Bytes = std::vector<unsigned char>;

/// An in-memory disk and a capturing console, in place while the object lives; no other program is on its
/// PATH, so no input ever starts one.
struct QuietPlatform {
    MemoryFileSystem files;
    StringConsole console;
    MemoryPrograms programs{files};
    PlatformOverride use{&files, &console, &programs};
};

/// The input cut into arguments at its line feeds; a line feed at the very end ends the last argument.
inline std::vector<std::string> linesOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            if (i + 1 < size) lines.emplace_back();
        } else {
            lines.back().push_back(static_cast<char>(data[i]));
        }
    }
    if (size == 0) lines.clear();
    return lines;
}

/// Stops with the failed property and what the tool printed.
inline void require(bool holds, const char* property, const StringConsole& console) {
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\n--- console ---\n%s\n---\n", property, console.output().c_str());
    std::abort();
}

}  // namespace zov::fuzz
