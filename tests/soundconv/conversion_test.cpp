// Whole conversions of WAVE files built in memory: sample bytes, header, statistics and write errors.
#include "soundconv/sound_packer.h"
#include "soundconv/wave_reader.h"
#include "wave_builder.h"

#include <gtest/gtest.h>

#include <limits>

namespace zov::test {
namespace {

const std::string kStatsPrefix = "out.bin stats: max vol ";

WaveBuilder eightBit(Bytes samples, std::uint32_t rate = 8000) {
    WaveBuilder wave;
    wave.sampleRate = rate;
    wave.samples = std::move(samples);
    return wave;
}

TEST(SoundConversion, EightBitAtTheSourceRateGivesItsOwnBytes) {
    SoundRun run;
    Bytes source = {0, 1, 64, 127, 128, 129, 200, 254, 255};
    EXPECT_EQ(run.run(eightBit(source).build(), {"/f", "8000", "/n", "8"}), 0);
    EXPECT_EQ(run.output(), concat(zovHeader(20 + 9, 8000, 8), source));
    EXPECT_EQ(run.text(), kStatsPrefix + "255, clipped 0, silent 0 seconds.\n");
}

TEST(SoundConversion, FourBitValuesPackEarlierSampleLowAndAnOddLastSampleTwice) {
    struct Case {
        Bytes source;
        Bytes packed;
    } cases[] = {
        {{0, 100, 127, 128, 255}, {0x60, 0x87, 0xFF}},  // 0, 6, 7, 8, 15
        {{0, 255}, {0xF0}},
        {{255}, {0xFF}},
        {{128, 0, 255}, {0x08, 0xFF}},
    };
    for (const Case& c : cases) {
        SoundRun run;
        EXPECT_EQ(run.run(eightBit(c.source).build(), {"/f", "8000"}), 0);
        auto length = static_cast<std::uint32_t>(20 + c.packed.size());
        EXPECT_EQ(run.output(), concat(zovHeader(length, 8000), c.packed));
    }
}

TEST(SoundConversion, LoudInputIsClippedAndCountedWhileMaxVolShowsTheUnclippedValue) {
    SoundRun run;
    // At /s 200 the gain is 2: -128, -64, 0, 64, 127 become -128, 0, 128, 256, 382.
    EXPECT_EQ(run.run(eightBit({0, 64, 128, 192, 255}).build(), {"/f", "8000", "/n", "8", "/s", "200"}), 0);
    EXPECT_EQ(run.samples(), (Bytes{0, 0, 128, 255, 255}));
    EXPECT_EQ(run.text(), kStatsPrefix + "382, clipped 3, silent 0 seconds.\n");
}

TEST(SoundConversion, SilenceCountsEveryOutputSampleButTheFirstTwo) {
    SoundRun run;
    EXPECT_EQ(run.run(eightBit(Bytes(10, 128)).build(), {"/f", "8000"}), 0);
    EXPECT_EQ(run.samples(), Bytes(5, 0x88));
    EXPECT_EQ(run.text(), kStatsPrefix + "8, clipped 0, silent 0.001 seconds.\n");
}

TEST(SoundConversion, NoSoundDataGivesTheBareHeader) {
    SoundRun run;
    EXPECT_EQ(run.run(eightBit({}).build()), 0);
    EXPECT_EQ(run.output(), zovHeader(20));
    EXPECT_EQ(run.text(), kStatsPrefix + "-2147483648, clipped 0, silent 0 seconds.\n");
}

TEST(SoundConversion, SampleBytesGoOutInBlocksOf1024) {
    // Writes: the header, each full block, the rest, and the length field.
    for (auto [count, writes] : {std::pair{1023, 3}, {1024, 3}, {1025, 4}, {2048, 4}}) {
        SoundRun run;
        Bytes source(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) source[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i * 7);
        EXPECT_EQ(run.run(eightBit(source).build(), {"/f", "8000", "/n", "8"}), 0);
        EXPECT_EQ(run.output(), concat(zovHeader(static_cast<std::uint32_t>(20 + count), 8000, 8), source));
        EXPECT_EQ(run.disk.calls(FileOp::Write), writes) << count;
    }
}

TEST(SoundConversion, VerboseRunPrintsTheFileInformationAndTheWriteReport) {
    SoundRun run;
    EXPECT_EQ(run.run(eightBit(Bytes(4096, 128), 8192).build(), {"/f", "8192", "/v"}), 0);
    EXPECT_EQ(run.text(),
              "WAVE info: 01 00 01 00 00 20 00 00 00 20 00 00 01 00 08 00\n"
              "Format type: 1 PCM\n"
              "Number of channels: 1\n"
              "Sample frequency: 8192Hz; Byte align: 1; Sample size: 8 bits\n"
              "Data length: 4096 bytes; File length: 4140\n"
              "in.wav is 0.5 seconds.\n"
              "out.bin stats: max vol 8, clipped 0, silent 0.499756 seconds.\n"
              "Wrote 2048 sample bytes (0.5 seconds); 20 byte overhead; 9 blocks\n");
}

TEST(SoundConversion, HeaderHoldsTheIntegerPartOfTheFrequency) {
    struct Case {
        double freq;
        unsigned char low, high;
    } cases[] = {{7812, 0x84, 0x1E}, {7812.9, 0x84, 0x1E}, {255.99, 0xFF, 0}, {65536 + 258, 2, 1},
                 {1e300, 0, 0},     {std::numeric_limits<double>::infinity(), 0, 0}};
    for (const Case& c : cases) {
        auto header = soundFileHeader(c.freq, 8);
        EXPECT_EQ(header[16], c.low) << c.freq;
        EXPECT_EQ(header[17], c.high) << c.freq;
        EXPECT_EQ(header[15], 'U');
    }
    EXPECT_EQ(soundFileHeader(7812, 4)[15], 'L');
}

TEST(SoundConversion, ChannelsAreMixedToTheirMeanTruncatedTowardsZero) {
    struct Case {
        Bytes frame;
        int channels, bytesPerSample;
        std::int32_t mono;
    } cases[] = {
        {{0}, 1, 1, -128},
        {{128}, 1, 1, 0},
        {{255}, 1, 1, 127},
        {{0xFD, 0xFF, 0, 0}, 2, 2, -1},                        // -3 and 0
        {{0x00, 0x80, 0xFF, 0x7F}, 2, 2, 0},                   // -32768 and 32767
        {{1, 0, 2, 0, 4, 0}, 3, 2, 2},                         // 7 / 3
        {{0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}, 2, 3, 0},       // 24-bit extremes
        {{0x00, 0x00, 0x40}, 1, 3, 0x400000},
        {{0, 0, 0, 0x80, 0, 0, 0, 0x80}, 2, 4, INT32_MIN},     // the sum leaves the 32-bit range
        {{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}, 2, 4, INT32_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(mixFrame(c.frame.data(), c.channels, c.bytesPerSample), c.mono);
}

TEST(SoundConversion, WideAndMultiChannelSourcesReachTheFullOutputRange) {
    struct Case {
        std::uint16_t bits, channels;
        std::initializer_list<std::int64_t> values;
        Bytes expected;
    } cases[] = {
        {16, 2, {32767, 32767, -32768, -32768, -32768, 32767, -3, 0}, {255, 0, 128, 127}},
        {24, 1, {0x7FFFFF, 0x800000, 0x400000, 0}, {255, 0, 192, 128}},
        {32, 1, {0x7FFFFFFF, 0x80000000, 0x40000000, 0}, {255, 0, 192, 128}},
    };
    for (const Case& c : cases) {
        WaveBuilder wave;
        wave.bits = c.bits;
        wave.channels = c.channels;
        wave.add(c.values);
        SoundRun run;
        EXPECT_EQ(run.run(wave.build(), {"/f", "8000", "/n", "8"}), 0) << run.text();
        EXPECT_EQ(run.samples(), c.expected) << c.bits;
    }
}

TEST(SoundConversion, HigherOutputRateProducesEveryDueSampleBetweenTheInputs) {
    SoundRun run;
    // A ramp of 0, 2, 4, 6: at twice the rate each input is followed by a value between it and the next
    // (the first one with only two samples known, so its slope is flatter).
    EXPECT_EQ(run.run(eightBit({128, 130, 132, 134}).build(), {"/f", "16000", "/n", "8"}), 0);
    EXPECT_EQ(run.output(), concat(zovHeader(20 + 7, 16000, 8), {128, 128, 130, 131, 132, 133, 134}));
}

TEST(SoundConversion, InterpolationMayOvershootThe32BitRangeBeforeItIsClipped) {
    WaveBuilder wave;
    wave.bits = 32;
    wave.add({0, 0x7FFFFFFF, 0x7FFFFFFF});
    SoundRun run;
    EXPECT_EQ(run.run(wave.build(), {"/f", "16000", "/n", "8"}), 0);
    // Between the two full-scale inputs the curve still rises with the slope it came with: 1.125 × full
    // scale, which is 271 before clipping.
    EXPECT_EQ(run.samples(), (Bytes{128, 175, 255, 255, 255}));
    EXPECT_EQ(run.text(), kStatsPrefix + "271, clipped 1, silent 0 seconds.\n");
}

TEST(SoundConversion, InfiniteVolumeAndFrequencyStillGiveOneOutputPerInput) {
    SoundRun run;
    EXPECT_EQ(run.run(eightBit({0, 128, 255, 1}).build(), {"/f", "1e999", "/s", "1e999", "/n", "8"}), 0);
    EXPECT_EQ(run.samples().size(), 4u);
    EXPECT_EQ(run.output()[16], 0);
    EXPECT_EQ(run.output()[17], 0);
}

TEST(SoundConversion, LowerOutputRateTakesTheInputsThatFallOnOutputTimes) {
    SoundRun run;
    EXPECT_EQ(run.run(eightBit({10, 20, 30, 40, 50}, 16000).build(), {"/f", "8000", "/n", "8"}), 0);
    EXPECT_EQ(run.samples(), (Bytes{10, 30, 50}));
}

TEST(SoundConversion, BiasShiftsEverySampleByItsShareOfFullScale) {
    SoundRun run;
    // /b 50 adds 64 input units to each 8-bit sample.
    EXPECT_EQ(run.run(eightBit({0, 128, 190, 255}).build(), {"/f", "8000", "/n", "8", "/b", "50"}), 0);
    EXPECT_EQ(run.samples(), (Bytes{64, 192, 254, 255}));
}

TEST(SoundConversion, OverwritingALongerFileLeavesExactlyTheNewFile) {
    SoundRun run;
    run.disk.addFile("out.bin", Bytes(5000, 0xAA));
    EXPECT_EQ(run.run(eightBit({1, 2, 3}).build(), {"/f", "8000", "/n", "8", "/y"}), 0);
    EXPECT_EQ(run.output(), concat(zovHeader(23, 8000, 8), {1, 2, 3}));
    EXPECT_EQ(run.text(), "out.bin already exists, and will be overwritten.\n" + kStatsPrefix +
                              "3, clipped 0, silent 0 seconds.\n");
}

TEST(SoundConversion, WriteErrorsAreReportedAndTheFileIsEndedInOrder) {
    const std::string error = "\r\nWrite error: No space left on device\n";
    const std::string stats = kStatsPrefix + "255, clipped 0, silent 0 seconds.\n";
    Bytes source(1025, 255);
    struct Case {
        int failingWrite;
        std::string text;
        Bytes file;
    } cases[] = {
        // The header write fails: nothing is converted and nothing is written afterwards.
        {0, error, {}},
        // The first full block fails: no statistics, but the header gets its length field.
        {1, error, zovHeader(20, 8000, 8)},
        // The last flush fails.
        {2, error, concat(zovHeader(20 + 1024, 8000, 8), Bytes(1024, 255))},
        // The length field fails after everything else was written.
        {3, stats + error, concat(zovHeader(8, 8000, 8), Bytes(1025, 255))},  // length field still 0
    };
    for (const Case& c : cases) {
        SoundRun run;
        run.disk.failAt(FileOp::Write, c.failingWrite);
        EXPECT_EQ(run.run(eightBit(source).build(), {"/f", "8000", "/n", "8"}), 2);
        EXPECT_EQ(run.text(), c.text) << c.failingWrite;
        EXPECT_EQ(run.output(), c.file) << c.failingWrite;
    }
}

TEST(SoundConversion, DestinationThatDoesNotOpenStopsTheRun) {
    SoundRun run;
    run.disk.failAt(FileOp::Create, 0);
    EXPECT_EQ(run.run(eightBit({1, 2}).build()), 2);
    EXPECT_EQ(run.text(), "\r\nCouldn't open destination: out.bin\n");
    EXPECT_FALSE(run.disk.exists("out.bin"));
}

}  // namespace
}  // namespace zov::test
