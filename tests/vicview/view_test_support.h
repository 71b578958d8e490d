// Helpers for the vicview tests: running the program on an in-memory disk and reading its PNG and WAVE
// outputs back.
#pragma once

#include "common/console/console.h"
#include "common/platform/memory_platform.h"
#include "vicview/rgb_image.h"
#include "vicview/vicview_app.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace zov {

using Bytes = std::vector<std::uint8_t>;

/// Decodes a PNG file with libpng into 8-bit RGB; an empty picture when it is not a readable PNG.
inline RgbImage decodePng(const Bytes& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    RgbImage picture(static_cast<int>(image.width), static_cast<int>(image.height));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            std::size_t at = (static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)) * 3;
            picture.set(x, y, {rgb[at], rgb[at + 1], rgb[at + 2]});
        }
    return picture;
}

struct WaveContent {
    bool valid = false;
    unsigned channels = 0, rate = 0, bits = 0;
    std::vector<std::int16_t> samples;
};

/// Reads a canonical 44-byte-head PCM WAVE file.
inline WaveContent decodeWave(const Bytes& file) {
    WaveContent wave;
    auto u16 = [&](std::size_t at) { return unsigned(file[at] | file[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    auto tag = [&](std::size_t at, const char* text) { return std::string(file.begin() + long(at), file.begin() + long(at) + 4) == text; };
    if (file.size() < 44 || !tag(0, "RIFF") || !tag(8, "WAVE") || !tag(12, "fmt ") || !tag(36, "data")) return wave;
    if (u32(4) != file.size() - 8 || u32(16) != 16 || u16(20) != 1 || u32(40) != file.size() - 44) return wave;
    wave.channels = u16(22);
    wave.rate = u32(24);
    wave.bits = u16(34);
    if (u32(28) != wave.rate * wave.channels * wave.bits / 8 || u16(32) != wave.channels * wave.bits / 8) return wave;
    for (std::size_t at = 44; at + 1 < file.size(); at += 2) wave.samples.push_back(static_cast<std::int16_t>(u16(at)));
    wave.valid = true;
    return wave;
}

/// Runs vicview with a command line of words on the test's disk and console.
class ViewRun : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use{&fs, &console};

    int run(const std::string& line) {
        std::vector<std::string> args{"vicview"};
        std::istringstream in(line);
        for (std::string word; in >> word;) args.push_back(word);
        console.clear();
        return runVicview(args);
    }

    Bytes file(const std::string& path) const {
        MemoryFileSystem::Bytes content = fs.contents(path);
        return Bytes(content.begin(), content.end());
    }
    void put(const std::string& path, const Bytes& content) {
        fs.addFile(path, MemoryFileSystem::Bytes(content.begin(), content.end()));
    }
    RgbImage png(const std::string& path) const { return decodePng(file(path)); }
};

}  // namespace zov
