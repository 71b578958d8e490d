#include "formats/sound_header.h"
#include "view_test_support.h"

namespace zov {
namespace {

// A sound file as the sound converter writes it: header, then the packed samples.
Bytes soundFile(int bits, unsigned rate, const Bytes& sampleBytes) {
    const auto header = soundFileHeader(rate, bits);
    Bytes bytes(header.begin(), header.end());
    // Byte by byte: GCC 12 warns of an out-of-bounds copy when an empty range is inserted (-Warray-bounds).
    for (std::uint8_t b : sampleBytes) bytes.push_back(b);
    putLe32(&bytes[kLengthFieldOffset], static_cast<std::uint32_t>(bytes.size() - kFileHeadLength));
    return bytes;
}

// The unsigned value a 16-bit sample came from, at the given width.
int narrowed(std::int16_t sample, int bits) { return sample / (65536 >> bits) + (1 << (bits - 1)); }

TEST_F(ViewRun, SoundFilesBecomeTheWaveSamplesTheyHold) {
    struct Case {
        int bits;
        unsigned rate;
        Bytes sampleBytes;
        std::vector<int> values;  // in playing order
    };
    Bytes everyByte(256);
    std::vector<int> everyValue(256);
    for (int v = 0; v < 256; ++v) everyByte[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v), everyValue[static_cast<std::size_t>(v)] = v;
    const Case cases[] = {
        {8, 7812, everyByte, everyValue},
        {8, 22050, {128, 128, 0}, {128, 128, 0}},
        // The earlier sample is in the low nibble.
        {4, 7812, {0x80, 0xF7, 0x3C}, {0, 8, 7, 15, 12, 3}},
        // An odd count ends in a byte that holds its last sample twice.
        {4, 4000, {0x21, 0x55}, {1, 2, 5, 5}},
        {4, 8000, {}, {}},
    };
    for (const Case& c : cases) {
        put("snd.zov", soundFile(c.bits, c.rate, c.sampleBytes));
        ASSERT_EQ(run("snd.zov snd.wav"), kViewDone) << console.output();
        EXPECT_EQ(console.output(), formatted("snd.wav: %zu samples of %d bits at %u Hz as 16-bit WAVE\n", c.values.size(), c.bits, c.rate));
        WaveContent wave = decodeWave(file("snd.wav"));
        ASSERT_TRUE(wave.valid);
        EXPECT_EQ(wave.channels, 1u);
        EXPECT_EQ(wave.bits, 16u);
        EXPECT_EQ(wave.rate, c.rate);
        std::vector<int> back;
        for (std::int16_t sample : wave.samples) back.push_back(narrowed(sample, c.bits));
        EXPECT_EQ(back, c.values) << c.bits << " bits";
    }
}

TEST_F(ViewRun, WaveSamplesSpanTheFullRangeAroundSilence) {
    put("snd.zov", soundFile(4, 7812, {0x80, 0xFF}));
    ASSERT_EQ(run("snd.zov snd.wav"), kViewDone);
    EXPECT_EQ(decodeWave(file("snd.wav")).samples, (std::vector<std::int16_t>{-32768, 0, 28672, 28672}));
    put("snd.zov", soundFile(8, 7812, {0, 128, 255}));
    ASSERT_EQ(run("snd.zov snd.wav"), kViewDone);
    EXPECT_EQ(decodeWave(file("snd.wav")).samples, (std::vector<std::int16_t>{-32768, 0, 32512}));
}

TEST_F(ViewRun, MalformedSoundFilesAreReportedWithTheirOffset) {
    Bytes good = soundFile(8, 7812, {1, 2, 3});
    struct Case {
        std::size_t at;
        std::uint8_t value;
        const char* message;
    };
    const Case cases[] = {
        {4, 0x10, "offset 4: the length field says 16 bytes follow it, the file has 15"},
        {18, 4, "offset 18: 4 bits per sample under a 8-bit format tag"},
        {15, 'L', "offset 18: 8 bits per sample under a 4-bit format tag"},
        {19, 2, "offset 19: 2 channels; sound files have one"},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        bad[c.at] = c.value;
        put("snd.zov", bad);
        EXPECT_EQ(run("snd.zov snd.wav"), kViewMalformedInput) << c.message;
        EXPECT_EQ(console.output(), std::string("snd.zov: malformed sound file at ") + c.message + "\n");
        EXPECT_FALSE(fs.exists("snd.wav"));
    }
    Bytes silent = good;
    silent[16] = silent[17] = 0;
    put("snd.zov", silent);
    EXPECT_EQ(run("snd.zov snd.wav"), kViewMalformedInput);
    EXPECT_EQ(console.output(), "snd.zov: malformed sound file at offset 16: a sample rate of 0 Hz\n");
}

}  // namespace
}  // namespace zov
