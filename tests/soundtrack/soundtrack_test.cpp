#include "common/console/console.h"
#include "common/platform/memory_platform.h"
#include "soundconv/wave_builder.h"
#include "soundtrack/quantiser.h"
#include "soundtrack/resampler.h"
#include "soundtrack/soundtrack_app.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace zov {
namespace {

using test::Bytes;
using test::WaveBuilder;

/// A 16-bit PCM WAVE file of the given samples (full scale ±1), the same in every channel.
Bytes pcmWave(unsigned rate, const std::vector<double>& samples, std::uint16_t channels = 1) {
    WaveBuilder wave;
    wave.sampleRate = rate;
    wave.channels = channels;
    wave.bits = 16;
    for (double s : samples)
        for (int c = 0; c < channels; ++c) wave.add({static_cast<std::int16_t>(std::lround(s * 32767))});
    return wave.build();
}

std::vector<double> sine(unsigned rate, double seconds, double hertz, double amplitude, double silentSeconds = 0) {
    std::vector<double> samples(static_cast<std::size_t>(std::lround(seconds * rate)));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        samples[i] = t < silentSeconds ? 0.0 : amplitude * std::sin(2 * M_PI * hertz * (t - silentSeconds));
    }
    return samples;
}

/// The levels of a track in playing order: four a byte, the first in bits 7-6.
std::vector<unsigned> levelsOf(const MemoryFileSystem::Bytes& track) {
    std::vector<unsigned> levels;
    for (unsigned char byte : track)
        for (int shift = 6; shift >= 0; shift -= 2) levels.push_back((byte >> shift) & 3u);
    return levels;
}

class TrackRun : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use{&fs, &console};

    int run(const std::string& line) {
        std::vector<std::string> args{"soundtrack"};
        std::istringstream in(line);
        for (std::string word; in >> word;) args.push_back(word);
        console.clear();
        return runSoundtrack(args);
    }
    void put(const std::string& path, const Bytes& content) { fs.addFile(path, content); }
    std::size_t lines() const { return static_cast<std::size_t>(std::count(console.output().begin(), console.output().end(), '\n')); }
};

TEST(TrackPacking, FirstSampleInTheTopBitsAndTheLastBytePaddedWithTheMiddleLevel) {
    EXPECT_EQ(packLevels({0, 1, 2, 3, 3}), (std::vector<std::uint8_t>{0x1B, 0xEA}));
    EXPECT_EQ(packLevels({3, 0, 0, 1}), (std::vector<std::uint8_t>{0xC1}));
    EXPECT_TRUE(packLevels({}).empty());
}

// A sound at 1 Hz makes 7843 samples a sample at 7843 Hz: however few samples a block holds, they come out
// in bounded pieces, all of them, so that memory stays flat whatever the rates.
TEST(TrackResampling, OutputComesInBoundedPiecesWhateverTheRatio) {
    Resampler resampler;
    std::string problem;
    ASSERT_TRUE(resampler.start(1, 7843, problem)) << problem;
    std::size_t made = 0, largest = 0;
    const Resampler::Output count = [&](const double*, std::size_t n) {
        made += n;
        largest = std::max(largest, n);
        return true;
    };
    for (int block = 0; block < 50; ++block) ASSERT_TRUE(resampler.push(std::vector<double>(8, 0.25), count));
    ASSERT_TRUE(resampler.finish(count));
    EXPECT_EQ(made, 400u * 7843);
    EXPECT_LE(largest, Resampler::kPiece);
}

// A sine at a fixed gain: the track holds exactly the sine's samples at the output rate, each rounded to
// the nearest of the four levels, in playing order.
TEST_F(TrackRun, ASineKeepsItsLengthAndLevelsAfterResampling) {
    put("in.wav", pcmWave(22050, sine(22050, 2.0, 440, 0.7), 2));
    ASSERT_EQ(run("in.wav out.raw --gain 0"), kTrackDone) << console.output();
    EXPECT_EQ(console.output(), "out.raw: 15686 samples, 2.000 s, 3922 bytes at 7843 Hz; level +0.0 dB (--gain), "
                                "0.00% limited; frameconv takes it with /af out.raw /ar7843\n");
    std::vector<unsigned> levels = levelsOf(fs.contents("out.raw"));
    ASSERT_EQ(levels.size(), 15688u);
    EXPECT_EQ(levels[15686], kMiddleLevel);
    EXPECT_EQ(levels[15687], kMiddleLevel);
    std::vector<double> ideal = sine(7843, 2.0, 440, 0.7);
    std::size_t agree = 0;
    for (std::size_t i = 0; i < ideal.size(); ++i)
        agree += levels[i] == static_cast<unsigned>(std::clamp(std::floor((ideal[i] + 1) * 2), 0.0, 3.0));
    EXPECT_GE(agree, ideal.size() * 995 / 1000);  // only samples right at a boundary may differ
}

// The automatic level brings a quiet recording's RMS to one step: all four levels are used.
TEST_F(TrackRun, AQuietSineFillsTheFourLevelsByDefault) {
    put("in.wav", pcmWave(8000, sine(8000, 1.0, 300, 0.02)));
    ASSERT_EQ(run("in.wav out.raw --rate 8000"), kTrackDone) << console.output();
    // 0.5 / (0.02 / √2): +31.0 dB
    EXPECT_NE(console.output().find("level +31.0 dB (automatic), 0.00% limited"), std::string::npos) << console.output();
    std::vector<unsigned> levels = levelsOf(fs.contents("out.raw"));
    for (unsigned level = 0; level < 4; ++level)
        EXPECT_GT(std::count(levels.begin(), levels.end(), level), 1000) << level;
}

// --start and --length count output samples: silence for 1 s, then a loud tone; the tone begins exactly
// where --start puts it.
TEST_F(TrackRun, StartAndLengthCountOutputSamples) {
    put("in.wav", pcmWave(44100, sine(44100, 3.0, 500, 0.9, 1.0)));
    ASSERT_EQ(run("in.wav out.raw --gain 0 --start 0.5 --length 1"), kTrackDone) << console.output();
    EXPECT_EQ(console.output().substr(0, 46), "out.raw: 7843 samples, 1.000 s, 1961 bytes at ");
    std::vector<unsigned> levels = levelsOf(fs.contents("out.raw"));
    auto loud = std::find_if(levels.begin(), levels.end(), [](unsigned level) { return level == 0 || level == 3; });
    std::size_t firstLoud = static_cast<std::size_t>(loud - levels.begin());
    EXPECT_GE(firstLoud, 3921u);  // 0.5 s at 7843 Hz is 3921.5 samples
    EXPECT_LE(firstLoud, 3925u);

    ASSERT_EQ(run("in.wav tail.raw --start 2.25 --rate 8000"), kTrackDone) << console.output();
    EXPECT_EQ(console.output().substr(0, 29), "tail.raw: 6000 samples, 0.750");
}

// Floating-point samples are taken as they are; NaN and infinities play as silence instead of breaking the
// level or the rounding.
TEST_F(TrackRun, FloatingPointInputWithNonFiniteSamples) {
    WaveBuilder wave;
    wave.formatTag = 3;
    wave.bits = 32;
    const float specials[] = {NAN, INFINITY, -INFINITY};
    for (int i = 0; i < 8000; ++i) {
        float value = i % 100 == 7 ? specials[i % 3] : static_cast<float>(0.3 * std::sin(i * 0.2));
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, 4);
        wave.add({bits});
    }
    put("in.wav", wave.build());
    ASSERT_EQ(run("in.wav out.raw --rate 8000"), kTrackDone) << console.output();
    EXPECT_NE(console.output().find("out.raw: 8000 samples, 1.000 s, 2000 bytes at 8000 Hz; level +"), std::string::npos)
        << console.output();
    std::vector<unsigned> levels = levelsOf(fs.contents("out.raw"));
    for (unsigned level = 0; level < 4; ++level)
        EXPECT_GT(std::count(levels.begin(), levels.end(), level), 500) << level;
}

TEST_F(TrackRun, BadInputsAndOptionsAreRefusedWithOneLineAndNoOutput) {
    WaveBuilder noChannels;
    noChannels.channels = 0;
    noChannels.add({0, 0, 0, 0});
    WaveBuilder noSamples;
    noSamples.bits = 16;
    put("silence.wav", pcmWave(8000, std::vector<double>(800, 0.0)));
    put("picture.bmp", Bytes{'B', 'M', 0, 0, 0, 0});
    put("none.wav", noChannels.build());
    put("empty.wav", noSamples.build());
    // A LIST chunk of an absurd length, which kept another reader busy for ever: refused at once.
    put("endless.wav", Bytes{
        0x52, 0x49, 0x46, 0x46, 0x00, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00,
        0x01, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x4C, 0x49, 0x53, 0x54,
        0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0C, 0x31, 0x56, 0x7B, 0xA0, 0xC5, 0xEA, 0x10, 0x35,
        0x5A, 0x7F, 0xA4, 0xC9, 0xEE, 0x14, 0x39, 0x5E, 0x83, 0xA8, 0xCD, 0xF2, 0x18, 0x3D, 0x62, 0x87, 0xAC, 0xD1, 0xF6, 0x1C,
    });
    put("fast.wav", pcmWave(1000000, std::vector<double>(10, 0.0)));
    fs.addSpecial("pipe");
    struct Case {
        const char* line;
        int exit;
        const char* says;
    } const cases[] = {
        {"missing.wav out.raw", kTrackUnusableInput, "missing.wav: cannot be opened"},
        {"picture.bmp out.raw", kTrackUnusableInput, "picture.bmp: has no audio stream"},
        {"silence.wav out.raw --stream 1", kTrackUnusableInput, "silence.wav: stream 1 is not an audio stream (audio: 0)"},
        {"none.wav out.raw", kTrackUnusableInput, "none.wav: "},
        {"empty.wav out.raw", kTrackUnusableInput, "empty.wav: "},
        {"silence.wav out.raw --start 0.1", kTrackUnusableInput, "silence.wav: --start 0.1 s is past its end (0.100 s)"},
        {"endless.wav out.raw", kTrackUnusableInput, "endless.wav: not a media file that FFmpeg reads"},
        {"fast.wav out.raw --rate 1", kTrackUnusableInput, "fast.wav: too short for one sample at 1 Hz"},
        {"silence.wav out.raw --rate 0", kTrackBadCommandLine, "soundtrack: --rate"},
        {"silence.wav out.raw --rate 65536", kTrackBadCommandLine, "soundtrack: --rate"},
        {"silence.wav out.raw --dither rounded", kTrackBadCommandLine, "soundtrack: --dither"},
        {"silence.wav out.raw --length 0", kTrackBadCommandLine, "soundtrack: --length"},
        {"silence.wav silence.wav --force", kTrackOutputRefused, "silence.wav: is INPUT"},
        {"silence.wav . --force", kTrackOutputRefused, ".: is a directory"},
        {"silence.wav pipe --force", kTrackOutputRefused, "pipe: is not a regular file"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.line), c.exit) << c.line << ": " << console.output();
        EXPECT_EQ(console.output().rfind(c.says, 0), 0u) << c.line << ": " << console.output();
        EXPECT_EQ(lines(), c.exit == kTrackBadCommandLine ? 2u : 1u) << c.line << ": " << console.output();
        EXPECT_FALSE(fs.exists("out.raw")) << c.line;
    }
}

TEST_F(TrackRun, AnExistingOutputIsKeptUnlessForcedAndNeverLeftHalfWritten) {
    put("in.wav", pcmWave(8000, sine(8000, 0.5, 300, 0.5)));
    put("out.raw", Bytes{'o', 'l', 'd'});
    const MemoryFileSystem::Bytes old{'o', 'l', 'd'};
    EXPECT_EQ(run("in.wav out.raw"), kTrackOutputRefused);
    EXPECT_EQ(console.output(), "out.raw: exists; --force overwrites it\n");
    EXPECT_EQ(fs.contents("out.raw"), old);

    // A failing write or rename leaves the old file as it was, and no temporary file beside it. With a gain
    // given the samples go straight to the output (no spool), so its first write is the output's.
    for (FileOp failing : {FileOp::Create, FileOp::Write, FileOp::Rename}) {
        fs.failAt(failing, fs.calls(failing));
        EXPECT_EQ(run("in.wav out.raw --force --gain 0"), kTrackWriteFailed) << static_cast<int>(failing);
        EXPECT_EQ(lines(), 1u) << console.output();
        EXPECT_EQ(fs.contents("out.raw"), old);
        std::vector<std::string> names;
        ASSERT_TRUE(fs.list("", names));
        EXPECT_EQ(names.size(), 2u) << console.output();
        fs.failAt(failing, -1);
    }
    EXPECT_EQ(run("in.wav out.raw --force"), kTrackDone) << console.output();
    EXPECT_EQ(fs.contents("out.raw").size(), 981u);  // 0.5 s at 7843 Hz, four samples a byte
}

// The samples wait in an unnamed temporary file between the passes. When it cannot be made, or the disk
// fills while it is written, the run ends with one line and its exit code and leaves nothing behind.
TEST_F(TrackRun, AFailingTemporaryFileEndsTheRunWithOneLineAndLeavesNothing) {
    put("in.wav", pcmWave(8000, sine(8000, 0.5, 300, 0.5)));
    const std::pair<FileOp, std::string> cases[] = {
        {FileOp::CreateUnnamed, "no temporary file for the samples in /tmp: No space left on device\n"},
        {FileOp::Write, "the temporary file of the samples cannot be written: No space left on device\n"},
    };
    for (const auto& [failing, says] : cases) {
        fs.failAt(failing, fs.calls(failing), true);
        EXPECT_EQ(run("in.wav out.raw"), kTrackWriteFailed);
        EXPECT_EQ(console.output(), says);
        std::vector<std::string> names, temporary;
        ASSERT_TRUE(fs.list("", names));
        EXPECT_EQ(names, (std::vector<std::string>{"in.wav"})) << says;
        EXPECT_TRUE(!fs.list("/tmp", temporary) || temporary.empty()) << says;
        EXPECT_EQ(fs.unnamedFilesOpen(), 0) << says;
        fs.failAt(failing, -1);
    }
    EXPECT_EQ(run("in.wav out.raw"), kTrackDone) << console.output();
    EXPECT_EQ(fs.unnamedFilesOpen(), 0);
}

// On the machine's own disk: the temporary file is made beside OUTPUT and renamed over it, and nothing
// else is left in the directory.
TEST(TrackOnDisk, OutputIsRenamedIntoPlaceAndNothingElseIsLeft) {
    testing::TempTree tree("soundtrack");
    tree.save("in.wav", pcmWave(8000, sine(8000, 0.5, 300, 0.5)));
    tree.save("out.raw", {'o', 'l', 'd'});
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    const std::string in = tree.path("in.wav"), out = tree.path("out.raw");
    EXPECT_EQ(runSoundtrack({"soundtrack", in, out}), kTrackOutputRefused);
    EXPECT_EQ(tree.load("out.raw"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(runSoundtrack({"soundtrack", in, out, "--force"}), kTrackDone) << console.output();
    EXPECT_EQ(tree.load("out.raw").size(), 981u);
    EXPECT_EQ(runSoundtrack({"soundtrack", in, tree.path("missing/x.raw")}), kTrackWriteFailed);
    EXPECT_EQ(tree.below(""), (std::vector<std::string>{"in.wav", "out.raw"}));
}

}  // namespace
}  // namespace zov
