// Helpers for the vicview tests: running the program on an in-memory disk and reading its PNG and WAVE
// outputs back.
#pragma once

#include "common/console/console.h"
#include "common/platform/memory_platform.h"
#include "formats/little_endian.h"
#include "formats/wave_file.h"
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

/// Reads a PCM WAVE file of the usual 44-byte head, its lengths and rates agreeing with its size and fields.
inline WaveContent decodeWave(const Bytes& file) {
    WaveContent wave;
    constexpr std::size_t kDataAt = kPcmWaveHeadLength - kWaveChunkHeadLength;
    if (file.size() < kPcmWaveHeadLength || !hasWaveTag(&file[0], kRiffTag) || !hasWaveTag(&file[kWaveTagAt], kWaveTag) ||
        !hasWaveTag(&file[kFormatChunkAt], kFormatChunkTag) || !hasWaveTag(&file[kDataAt], kDataChunkTag))
        return wave;
    const WaveFormatFields format = readFormatFields(&file[kFormatPayloadAt]);
    const auto lengthAt = [&](std::size_t chunk) { return readLe32(&file[chunk + kWaveChunkLengthAt]); };
    if (lengthAt(0) != file.size() - kWaveChunkHeadLength || lengthAt(kFormatChunkAt) != kFormatFieldsLength ||
        lengthAt(kDataAt) != file.size() - kPcmWaveHeadLength || format.formatTag != kPcmFormatTag)
        return wave;
    wave.channels = format.channels;
    wave.rate = format.sampleRate;
    wave.bits = format.bitsPerSample;
    if (format.byteRate != wave.rate * wave.channels * wave.bits / 8 || format.blockAlign != wave.channels * wave.bits / 8)
        return wave;
    for (std::size_t at = kPcmWaveHeadLength; at + 1 < file.size(); at += 2)
        wave.samples.push_back(static_cast<std::int16_t>(readLe16(&file[at])));
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
