// Helpers for the vicpack tests: vicpack (and the tools that make its inputs) run on an in-memory disk, and
// hand-made inputs: bitmap files, ZOV sound files.
#pragma once

#include "common/platform/memory_platform.h"
#include "formats/little_endian.h"
#include "formats/sound_header.h"
#include "vicpack/vicpack_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace zov {

using Bytes = std::vector<std::uint8_t>;

/// A multicolour bitmap file of layout COLOR 3 whose bytes all differ from their neighbours'.
inline Bytes fullBitmapFile(int background = 6) {
    Bytes file{0x00, 0x20};
    for (int i = 0; i < 8000; ++i) file.push_back(static_cast<std::uint8_t>(i * 7 + i / 320));
    for (int i = 0; i < 1000; ++i) file.push_back(static_cast<std::uint8_t>(i * 37 + 0x5A));
    for (int i = 0; i < 1000; ++i) file.push_back(static_cast<std::uint8_t>(0xF0 | (i * 5 + 1) % 16));
    file.push_back(static_cast<std::uint8_t>(background));
    return file;
}

/// A ZOV sound file of bits (4 or 8) per sample at a rate, holding the given sample bytes.
inline Bytes zovSound(int bits, unsigned rate, const Bytes& samples) {
    const auto header = soundFileHeader(rate, bits);
    Bytes file(header.begin(), header.end());
    file.resize(file.size() + samples.size());
    std::copy(samples.begin(), samples.end(), file.begin() + kSoundHeaderSize);
    putLe32(&file[kLengthFieldOffset], static_cast<std::uint32_t>(file.size() - kFileHeadLength));
    return file;
}

/// Runs vicpack with a command line of words on the test's disk and console.
class PackRun : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use{&fs, &console};

    int run(const std::string& line) {
        std::vector<std::string> args{"vicpack"};
        std::istringstream in(line);
        for (std::string word; in >> word;) args.push_back(word);
        console.clear();
        return runVicpack(args);
    }
    Bytes file(const std::string& path) const {
        MemoryFileSystem::Bytes content = fs.contents(path);
        return Bytes(content.begin(), content.end());
    }
    void put(const std::string& path, const Bytes& content) {
        fs.addFile(path, MemoryFileSystem::Bytes(content.begin(), content.end()));
    }
    const std::string& output() const { return console.output(); }
};

}  // namespace zov
