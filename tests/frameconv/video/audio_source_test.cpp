#include "common/platform/memory_platform.h"
#include "frameconv/video/audio_source.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace zov {
namespace {

std::vector<unsigned char> counting(std::size_t n) {
    std::vector<unsigned char> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

struct OpenCase {
    const char* what;
    const char* path;
    double rate;
    double bytesPerSample;
    bool twoChannels;
    int expected;
};

TEST(AudioSource, OpenCountsSamplesOrRefuses) {
    MemoryFileSystem fs;
    fs.addFile("in/a.raw", counting(1000));
    fs.addFile("in/odd.raw", counting(3));
    fs.addFile("in/empty.raw", counting(0));
    PlatformOverride use(&fs, nullptr);
    const OpenCase cases[] = {
        {"four 2-bit samples per byte", "in/a.raw", 7843, 0.25, false, 4000},
        {"two channels halve the samples", "in/a.raw", 7843, 0.25, true, 2000},
        {"two channels of an odd length", "in/odd.raw", 7843, 0.25, true, 6},
        {"empty file", "in/empty.raw", 7843, 0.25, false, 0},
        {"missing file", "in/none.raw", 7843, 0.25, false, 0},
        {"zero rate", "in/a.raw", 0, 0.25, false, 0},
        {"negative rate", "in/a.raw", -5, 0.25, false, 0},
        {"zero bytes per sample", "in/a.raw", 7843, 0, false, 0},
    };
    for (const OpenCase& c : cases) {
        AudioSource audio;
        EXPECT_EQ(audio.open(c.path, c.rate, c.bytesPerSample, c.twoChannels), c.expected) << c.what;
        EXPECT_EQ(audio.samplesLeft, c.expected) << c.what;
    }
}

TEST(AudioSource, ReopenIsRefusedWhileSamplesRemain) {
    MemoryFileSystem fs;
    fs.addFile("in/a.raw", counting(1000));
    fs.addFile("in/b.raw", counting(10));
    PlatformOverride use(&fs, nullptr);
    AudioSource audio;
    ASSERT_EQ(audio.open("in/a.raw", 7843, 0.25, false), 4000);
    EXPECT_EQ(audio.open("in/b.raw", 7843, 0.25, false), -4000);
    std::vector<std::uint8_t> sink(1000);
    EXPECT_EQ(audio.read(sink.data(), 1000), 1000);
    // Used up: the next open replaces the file and starts the model afresh.
    EXPECT_EQ(audio.open("in/b.raw", 8000, 0.25, false), 40);
    EXPECT_EQ(audio.level, 0.0);
    EXPECT_EQ(audio.sampleRate, 8000.0);
}

TEST(AudioSource, ReadingFillsAndPlayingDrainsTheModelledBuffer) {
    MemoryFileSystem fs;
    const auto file = counting(1000);
    fs.addFile("in/a.raw", file);
    PlatformOverride use(&fs, nullptr);
    AudioSource audio;
    ASSERT_EQ(audio.open("in/a.raw", 7843, 0.25, false), 4000);

    std::vector<std::uint8_t> bytes(2000, 0xEE);
    ASSERT_EQ(audio.read(bytes.data(), 100), 100);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 100, file.begin()));
    EXPECT_EQ(audio.level, 100.0);
    EXPECT_EQ(audio.samplesLeft, 3600);

    // A quarter second plays 1960.75 × 0.25 bytes; the buffer may run below empty.
    EXPECT_EQ(audio.credit(0.25), 4486);
    EXPECT_DOUBLE_EQ(audio.level, 100 - 490.1875);
    EXPECT_EQ(audio.credit(0), 4486);
    EXPECT_EQ(audio.credit(-3), 4486);
    EXPECT_DOUBLE_EQ(audio.bytesFor(2.0), 3921.5);

    // A read is cut to what is left, and nothing more comes after the end.
    EXPECT_EQ(audio.read(bytes.data() + 100, 5000), 900);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 1000, file.begin()));
    EXPECT_EQ(bytes[1000], 0xEE);
    EXPECT_EQ(audio.samplesLeft, 0);
    double level = audio.level;
    EXPECT_EQ(audio.read(bytes.data(), 10), 0);
    EXPECT_EQ(audio.level, level);
    EXPECT_FALSE(audio.hasSamples());
}

TEST(AudioSource, FreeSpaceSaturatesInsteadOfOverflowing) {
    MemoryFileSystem fs;
    fs.addFile("in/a.raw", counting(10));
    PlatformOverride use(&fs, nullptr);
    AudioSource audio;
    ASSERT_EQ(audio.open("in/a.raw", 1e300, 0.25, false), 40);
    EXPECT_EQ(audio.credit(1e10), 2147483647);
}

}  // namespace
}  // namespace zov
