// The WAVE header checks, the search for the sound data and its narrowing by JUMP, CUT and LEN.
#include "soundconv/wave_reader.h"
#include "wave_builder.h"

#include <gtest/gtest.h>

#include <functional>

namespace zov::test {
namespace {

const std::string kInvalid = "Invalid WAVE file; skipping in.wav\n";

WaveBuilder someSound() {
    WaveBuilder wave;
    wave.samples = {100, 120, 140, 160};
    return wave;
}

Bytes listChunk(std::size_t size) {
    constexpr WaveTag kListTag = {'L', 'I', 'S', 'T'};
    Bytes chunk;
    appendChunkHead(chunk, kListTag, static_cast<std::uint32_t>(size));
    chunk.resize(kWaveChunkHeadLength + size, 'x');
    return chunk;
}

struct RejectCase {
    const char* name;
    std::function<void(WaveBuilder&)> change;
    std::vector<std::string> options;
    std::string text;
};

TEST(WaveHeader, BadHeadersAreRejectedWithTheirMessages) {
    auto longerThanTheFile = [](WaveBuilder& w) {
        w.samples = Bytes(10, 128);
        w.dataLength = 11;
    };
    const RejectCase cases[] = {
        {"20-byte format chunk", [](WaveBuilder& w) { w.formatExtra = {0, 0, 1, 2}; }, {},
         "Unexpected WAVE fmt size" + kInvalid},
        {"20-byte format chunk, verbose", [](WaveBuilder& w) { w.formatExtra = {0, 0, 1, 2}; }, {"/v"},
         "Unexpected WAVE fmt size (20)" + kInvalid},
        {"not PCM", [](WaveBuilder& w) { w.formatTag = 3; }, {}, kInvalid},
        {"not PCM, verbose", [](WaveBuilder& w) { w.formatTag = 3; }, {"/v"},
         "WAVE info: 03 00 01 00 40 1f 00 00 40 1f 00 00 01 00 08 00\nFormat type: 3 not PCM\n" + kInvalid},
        {"no channels", [](WaveBuilder& w) { w.channels = 0; }, {}, "No audio channels!\n" + kInvalid},
        {"no rate", [](WaveBuilder& w) { w.sampleRate = 0; }, {}, "Zero sample rate!\n" + kInvalid},
        {"no bits",
         [](WaveBuilder& w) {
             w.bits = 0;
             w.blockAlign = 1;
         },
         {}, "Zero bytes/sample!\n" + kInvalid},
        {"40 bits", [](WaveBuilder& w) { w.bits = 40; }, {}, "Over 32 bits/sample!\n" + kInvalid},
        {"33 bits", [](WaveBuilder& w) { w.bits = 33; }, {},
         "Not integer #bytes/sample in in.wav; result may be corrupt.\nOver 32 bits/sample!\n" + kInvalid},
        {"block align of one channel only",
         [](WaveBuilder& w) {
             w.channels = 2;
             w.blockAlign = 1;
         },
         {}, kInvalid},
        {"block align 0", [](WaveBuilder& w) { w.blockAlign = 0; }, {}, kInvalid},
        {"data tag beyond the first read", [](WaveBuilder& w) { w.betweenChunks = listChunk(1000); }, {},
         "\nNo DATA packet found in in.wav ...skipping.\n"},
        {"stored length beyond the file", longerThanTheFile, {},
         "\r\nBad DATA size in in.wav\n ...skipping.\n"},
        {"stored length beyond the file, verbose", longerThanTheFile, {"/v"},
         "WAVE info: 01 00 01 00 40 1f 00 00 40 1f 00 00 01 00 08 00\nFormat type: 1 PCM\n"
         "Number of channels: 1\nSample frequency: 8000Hz; Byte align: 1; Sample size: 8 bits\n"
         "Data length: 11 bytes; File length: 54\n\r\nBad DATA size in in.wav (11 bytes)\n ...skipping.\n"},
        {"stored length beyond a file that ends with its data tag",
         [](WaveBuilder& w) {
             w.samples = {1, 2, 3};
             w.dataLength = 9;
         },
         {}, "\r\nBad DATA size in in.wav\n\nNo DATA packet found in in.wav ...skipping.\n"},
    };
    for (const RejectCase& c : cases) {
        WaveBuilder wave = someSound();
        c.change(wave);
        SoundRun run;
        EXPECT_EQ(run.run(wave.build(), c.options), 2) << c.name;
        EXPECT_EQ(run.text(), c.text) << c.name;
        EXPECT_FALSE(run.disk.exists("out.bin")) << c.name;
    }
}

TEST(WaveHeader, ShortOrForeignFilesAreInvalid) {
    Bytes full = someSound().build();
    Bytes riff = full;
    riff[0] = 'R', riff[1] = 'I', riff[2] = 'F', riff[3] = 'X';
    Bytes fmt = full;
    fmt[15] = '_';
    for (const Bytes& file : {Bytes{}, Bytes(full.begin(), full.begin() + 35), riff, fmt}) {
        SoundRun run;
        EXPECT_EQ(run.run(file), 2);
        EXPECT_EQ(run.text(), kInvalid);
    }
    // A longer format chunk whose extra count lies beyond the bytes read cannot be checked.
    Bytes extended = Bytes(full.begin(), full.begin() + 36);
    extended[16] = 18;
    SoundRun run;
    EXPECT_EQ(run.run(extended), 2);
    EXPECT_EQ(run.text(), "Unexpected WAVE fmt size" + kInvalid);
}

TEST(WaveHeader, FormatChunkWithAnnouncedExtraBytesIsAccepted) {
    for (bool verbose : {false, true}) {
        WaveBuilder wave = someSound();
        wave.formatExtra = {0, 0};  // the search for the data tag starts behind these two bytes
        SoundRun run;
        EXPECT_EQ(run.run(wave.build(), {"/f", "8000", "/n", "8", verbose ? "/v" : "/y"}), 0);
        std::string expected = verbose ? "Unexpected WAVE fmt size (18); assuming first 16 bytes valid.\n"
                                       : "Unexpected WAVE fmt size; assuming first 16 bytes valid.\n";
        EXPECT_EQ(run.text().substr(0, expected.size()), expected);
        EXPECT_EQ(run.samples(), wave.samples);
    }
}

// The extensible format chunk: 40 bytes, with the valid bits, a channel mask and the sub-format.
WaveBuilder extensible(WaveBuilder wave, std::uint16_t validBits, std::uint8_t subFormat = 1) {
    wave.formatTag = 0xFFFE;
    wave.formatExtra.clear();
    putLe(wave.formatExtra, 22, 2);
    putLe(wave.formatExtra, validBits, 2);
    putLe(wave.formatExtra, 3, 4);
    wave.formatExtra.insert(wave.formatExtra.end(), {subFormat, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    return wave;
}

TEST(WaveHeader, ExtensiblePcmReadsLikeItsFormatOneTwin) {
    WaveBuilder twin;
    twin.channels = 2;
    twin.sampleRate = 11025;
    twin.bits = 24;
    // Sixteen levels, in the top four bits of each sample.
    for (int i = 0; i < 600; ++i) twin.add({(i * 7919 % 16 - 8) << 20, (i * 104729 % 16 - 8) << 20});
    SoundRun plain;
    ASSERT_EQ(plain.run(twin.build(), {"/n", "8"}), 0);

    SoundRun run;
    EXPECT_EQ(run.run(extensible(twin, 24).build(), {"/n", "8"}), 0);
    EXPECT_EQ(run.output(), plain.output());
    EXPECT_EQ(run.text(), plain.text());  // no line about the size of its format chunk

    // Only the valid bits count: the padding below them reads as 0.
    WaveBuilder padded = extensible(twin, 4);
    for (std::size_t i = 0; i < padded.samples.size(); i += 3) {
        padded.samples[i] = padded.samples[i + 1] = 0xFF;
        padded.samples[i + 2] |= 0x0F;
    }
    SoundRun run4;
    EXPECT_EQ(run4.run(padded.build(), {"/n", "8", "/v"}), 0);
    EXPECT_EQ(run4.output(), plain.output());
    EXPECT_NE(run4.text().find("WAVE info: fe ff 02 00 11 2b 00 00 66 02 01 00 06 00 18 00\n"
                               "Format type: 65534 extensible PCM (4 valid bits)\nNumber of channels: 2\n"),
              std::string::npos) << run4.text();

    // Any other sub-format is not PCM, as any other tag.
    SoundRun floats;
    EXPECT_EQ(floats.run(extensible(twin, 24, 3).build(), {"/v"}), 2);
    EXPECT_NE(floats.text().find("Unexpected WAVE fmt size (40); assuming first 16 bytes valid.\n"
                                 "WAVE info: fe ff"), std::string::npos) << floats.text();
    EXPECT_NE(floats.text().find("Format type: 65534 not PCM\n" + kInvalid), std::string::npos) << floats.text();
}

TEST(WaveHeader, OtherChunksBeforeTheDataArePassedOver) {
    WaveBuilder wave = someSound();
    wave.betweenChunks = listChunk(900);
    SoundRun run;
    EXPECT_EQ(run.run(wave.build(), {"/f", "8000", "/n", "8"}), 0);
    EXPECT_EQ(run.samples(), wave.samples);
}

TEST(WaveHeader, TwelveBitSamplesAreReadAsTwoBytesWithAWarning) {
    WaveBuilder wave;
    wave.bits = 12;
    wave.add({0x7FF0, -0x8000, 0});
    SoundRun run;
    EXPECT_EQ(run.run(wave.build(), {"/f", "8000", "/n", "8"}), 0);
    EXPECT_EQ(run.text().substr(0, 60), "Not integer #bytes/sample in in.wav; result may be corrupt.\n");
    EXPECT_EQ(run.samples(), (Bytes{255, 0, 128}));
}

TEST(WaveData, StoredLengthShorterThanTheFileIsKeptUnlessIgnored) {
    WaveBuilder wave = someSound();
    wave.trailer = {7, 8, 9};
    for (bool ignore : {false, true}) {
        SoundRun run;
        std::vector<std::string> options = {"/f", "8000", "/n", "8"};
        if (ignore) options.push_back("/i");
        EXPECT_EQ(run.run(wave.build(), options), 0);
        EXPECT_EQ(run.text().substr(0, 29), "\r\nBad DATA size in in.wav\n" + std::string(ignore ? "Wil" : "out"));
        Bytes expected = wave.samples;
        if (ignore) expected.insert(expected.end(), wave.trailer.begin(), wave.trailer.end());
        EXPECT_EQ(run.samples(), expected);
    }
    SoundRun verbose;
    wave.dataLength = 99;  // a truncated file with /i takes what is there
    EXPECT_EQ(verbose.run(wave.build(), {"/i", "/v"}), 0);
    EXPECT_NE(verbose.text().find("Data length: 99 bytes; File length: 51\n"
                                  "\r\nBad DATA size in in.wav (99 bytes)\n"
                                  "Will use remaining file length (7 bytes)\n"
                                  "in.wav is 0.000875 seconds.\n"),
              std::string::npos)
        << verbose.text();
}

TEST(WaveData, PartialFramesAreCarriedAcrossReadsAndDroppedAtTheEnd) {
    // Three 16-bit channels make 6-byte frames that straddle the 1024-byte reads; each frame's mean is
    // v × 256, which comes out as v + 128.
    WaveBuilder wave;
    wave.bits = 16;
    wave.channels = 3;
    Bytes expected;
    for (int i = 0; i < 1500; ++i) {
        std::int64_t v = i % 251 - 125;
        wave.add({v * 256 - 300, v * 256, v * 256 + 300});
        expected.push_back(static_cast<unsigned char>(v + 128));
    }
    wave.samples.push_back(0x55);  // a partial frame at the end
    wave.dataLength = static_cast<std::int64_t>(wave.samples.size());
    SoundRun run;
    EXPECT_EQ(run.run(wave.build(), {"/f", "8000", "/n", "8"}), 0) << run.text();
    EXPECT_EQ(run.samples(), expected);
}

TEST(WaveData, FramesLargerThanOneReadAreAssembledWhole) {
    WaveBuilder wave;
    wave.bits = 32;
    wave.channels = 600;  // 2400-byte frames
    for (std::int64_t v : {0x40000000LL, -0x80000000LL}) {
        for (int c = 0; c < 600; ++c) wave.add({v});
    }
    SoundRun run;
    EXPECT_EQ(run.run(wave.build(), {"/f", "8000", "/n", "8"}), 0) << run.text();
    EXPECT_EQ(run.samples(), (Bytes{192, 0}));
}

struct RangeCase {
    std::vector<std::string> options;
    int exitCode;
    std::string message;   // a line that the output contains ("" for none beyond the statistics)
    std::size_t firstFrame, frameCount;
};

TEST(WaveData, JumpCutAndLengthSelectWholeFramesOfTheData) {
    // Two seconds at 11025 Hz, 16-bit stereo.
    WaveBuilder wave;
    wave.sampleRate = 11025;
    wave.bits = 16;
    wave.channels = 2;
    std::vector<int> mono;
    for (int i = 0; i < 22050; ++i) {
        int v = (i * 37) % 255 - 127;
        wave.add({v * 256, v * 256});
        mono.push_back(v + 128);
    }
    const RangeCase cases[] = {
        {{"/j", "1.5", "/v"}, 0, "JUMP past first 16537 samples (1.5 seconds).\n", 16537, 22050 - 16537},
        {{"/c", "0.5", "/v"}, 0, "CUT final 5512 samples (0.5 seconds).\n", 0, 22050 - 5512},
        {{"/l", "0.25", "/j", "1", "/v"}, 0, "LENGTH to record: 2756 samples (0.25 seconds).\n", 11025, 2756},
        {{"/l", "2"}, 0, "", 0, 22050},
        {{"/l", "1.5", "/j", "1"}, 0, "\r\nLENGTH > (remaining) file time in in.wav ...processing all data.\n",
         11025, 11025},
        {{"/l", "1e300"}, 0, "\r\nLENGTH > (remaining) file time in in.wav ...processing all data.\n", 0, 22050},
        {{"/j", "2"}, 2, "\r\nJUMP past all data in in.wav ...skipping.\n", 0, 0},
        {{"/j", "1e300", "/v"}, 2,
         "JUMP past first 18446744073709551615 samples (1e+300 seconds).\n\r\nJUMP past all data in in.wav "
         "...skipping.\n",
         0, 0},
        {{"/j", "1e999"}, 2, "\r\nJUMP past all data in in.wav ...skipping.\n", 0, 0},
        {{"/c", "2"}, 2, "\r\nCUT all data in in.wav ...skipping.\n", 0, 0},
        {{"/c", "1e300", "/j", "0.5"}, 2, "\r\nCUT all data in in.wav ...skipping.\n", 0, 0},
    };
    Bytes file = wave.build();
    for (const RangeCase& c : cases) {
        SoundRun run;
        std::vector<std::string> options = {"/f", "11025", "/n", "8"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        EXPECT_EQ(run.run(file, options), c.exitCode) << c.options[1];
        EXPECT_NE(run.text().find(c.message), std::string::npos) << c.options[1] << "\n" << run.text();
        if (c.exitCode != 0) {
            EXPECT_FALSE(run.disk.exists("out.bin"));
            continue;
        }
        Bytes expected(mono.begin() + static_cast<long>(c.firstFrame),
                       mono.begin() + static_cast<long>(c.firstFrame + c.frameCount));
        EXPECT_EQ(run.samples(), expected) << c.options[1];
    }
}

TEST(WaveData, FrameCountsSaturateInsteadOfOverflowing) {
    EXPECT_EQ(framesIn(1.5, 11025), 16537u);
    EXPECT_EQ(framesIn(-1, 11025), 0u);
    EXPECT_EQ(framesIn(1e300, 4000000000u), UINT64_MAX);
    EXPECT_EQ(bytesOf(UINT64_MAX / 3, 4), UINT64_MAX);
    EXPECT_EQ(bytesOf(UINT64_MAX / 4, 4), UINT64_MAX / 4 * 4);
}

}  // namespace
}  // namespace zov::test
