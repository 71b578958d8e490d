// soundconv at the edges: data lengths near 4 GiB stored in the header of a small file, the widest frame a
// header can describe, and output rates far above the source's.
#include "wave_builder.h"

#include <gtest/gtest.h>

namespace zov::test {
namespace {

Bytes rising(int count) {
    Bytes bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<unsigned char>(i * 5));
    return bytes;
}

TEST(SoundLimits, DataLengthNearFourGibibytesInASmallFile) {
    struct Case {
        std::vector<std::string> options;
        int exitCode;
        std::string message;  // found in the console output
        std::size_t samples;  // sample bytes written (8 bits each)
    };
    const Case cases[] = {
        {{}, 2, "\r\nBad DATA size in in.wav\n ...skipping.\n", 0},
        {{"/v"}, 2, "Data length: 4294967295 bytes; File length: 144\n\r\nBad DATA size in in.wav (4294967295 bytes)\n", 0},
        {{"/i"}, 0, "Will use remaining file length\n", 100},
        {{"/i", "/j", "0.005"}, 0, "", 60},
        {{"/i", "/c", "1e300"}, 2, "\r\nCUT all data in in.wav ...skipping.\n", 0},
        {{"/i", "/j", "1e300"}, 2, "\r\nJUMP past all data in in.wav ...skipping.\n", 0},
        {{"/i", "/l", "1e300"}, 0, "\r\nLENGTH > (remaining) file time in in.wav ...processing all data.\n", 100},
    };
    for (std::uint32_t stored : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x80000000u}) {
        WaveBuilder wave;
        wave.samples = rising(100);
        wave.dataLength = stored;
        for (const Case& c : cases) {
            std::string trace = std::to_string(stored);
            for (const std::string& option : c.options) trace += " " + option;
            SCOPED_TRACE(trace);
            SoundRun run;
            std::vector<std::string> options = {"/f", "8000", "/n", "8"};
            options.insert(options.end(), c.options.begin(), c.options.end());
            EXPECT_EQ(run.run(wave.build(), options), c.exitCode);
            if (stored == 0xFFFFFFFFu) {
                EXPECT_NE(run.text().find(c.message), std::string::npos) << run.text();
            }
            EXPECT_EQ(run.samples().size(), c.samples);
            EXPECT_EQ(run.disk.exists("out.bin"), c.exitCode == 0);
        }
    }
}

TEST(SoundLimits, WidestFrameIsMixedWhole) {
    // 65535 channels of one byte each: every frame is larger than a read.
    WaveBuilder wave;
    wave.channels = 65535;
    for (int frame = 0; frame < 3; ++frame)
        for (int channel = 0; channel < 65535; ++channel)
            wave.samples.push_back(static_cast<unsigned char>(channel % 2 == 0 ? 128 + 60 * frame : 128));
    SoundRun run;
    EXPECT_EQ(run.run(wave.build(), {"/f", "8000", "/n", "8"}), 0) << run.text();
    // The mean of 32768 channels at 128 + d and 32767 at 128 is d × 32768 / 65535, truncated.
    EXPECT_EQ(run.samples(), (Bytes{128, 128 + 30, 128 + 60}));
}

TEST(SoundLimits, HugeOutputRatesEndWithOneOutputPerInput) {
    WaveBuilder wave;
    wave.samples = rising(300);
    struct Case {
        const char* freq;
        std::size_t samples;
    };
    // Up to 65535 Hz several outputs follow each input; above it, where the header cannot state the rate,
    // every input gives one.
    const Case cases[] = {{"65535", 2450}, {"65536", 300}, {"1e300", 300}, {"1e999", 300}};
    for (const Case& c : cases) {
        SoundRun run;
        EXPECT_EQ(run.run(wave.build(), {"/f", c.freq, "/n", "8"}), 0) << c.freq;
        EXPECT_EQ(run.samples().size(), c.samples) << c.freq;
    }
}

}  // namespace
}  // namespace zov::test
