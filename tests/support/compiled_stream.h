// A stream that frameconv compiles in memory from pictures that change (a ball moving over bands of colour),
// for the tests of the players' interpreters and of the translation of a stream's commands.
#pragma once

#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace zov::testing {

/// The stream of pictures of a size, compiled with frameconv's options (a string of them).
inline std::vector<std::uint8_t> compiledStream(const std::string& options, int width, int height, int pictures) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    for (int i = 0; i < pictures; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/clip/p%03d.bmp", i + 1);
        fs.addFile(name, picture_files::bmp(picture_files::RgbGrid::generate(width, height, [=](int x, int y) {
            const int dx = x - width / 4 - i * 5, dy = y - height / 2 + i * 3;
            if (dx * dx + dy * dy < 300) return picture_files::Rgb{240, 240, 230};
            return picture_files::Rgb{static_cast<std::uint8_t>((x * 5 + i * 11) % 256), static_cast<std::uint8_t>((y * 3 + x) % 256),
                                      static_cast<std::uint8_t>(y < height / 3 ? 200 : 40 + i * 7)};
        })));
    }
    std::vector<std::string> args{"frameconv", "/clip", "/clip.zov", "/c", "/v0"};
    std::istringstream extra(options);
    for (std::string word; extra >> word;) args.push_back(word);
    EXPECT_EQ(runFrameconv(args), 0) << console.output();
    MemoryFileSystem::Bytes content = fs.contents("/clip.zov");
    return std::vector<std::uint8_t>(content.begin(), content.end());
}

}  // namespace zov::testing
