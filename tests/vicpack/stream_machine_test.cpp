// The stream player on the emulated C128 with an REU: streams compiled here from pictures that change, each
// packed with its REU image and run to its end and at chosen moments. What the machine shows must be
// vicview's frame, colour index for colour index; its record of the frames must show each one in order and
// on time; what it plays must follow vicview's sound; afterwards BASIC must have its screen back. Skipped,
// with one line saying why, where x128 is not on the PATH.
#include "machine_support.h"

#include "formats/little_endian.h"
#include "formats/reu_stream.h"
#include "formats/stream_walk.h"
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"
#include "support/temp_tree.h"
#include "stream_settings.h"
#include "vicpack/stream_program.h"
#include "vicview/view_test_support.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>

namespace zov {
namespace {

using testing::TempTree;

constexpr double kPalClock = 985248.0;
constexpr long kStartCycles = 3300000;  // x128 without a disk drive starts a program by then

// The 16 colours as x128 draws them (measured; ../shared/machine/c128.md).
constexpr std::uint32_t kX128Colours[16] = {0x000000, 0xFFFFFF, 0xAF3C58, 0x7EF3D6, 0xAA40F5, 0x62D532, 0x2C3DEC, 0xFFFF46,
                                            0xB7631E, 0x775300, 0xEE7B95, 0x626262, 0x949494, 0xB7FF86, 0x7385FF, 0xCDCDCD};

int x128Index(Rgb colour) {
    const std::uint32_t packed = std::uint32_t{colour.r} << 16 | std::uint32_t{colour.g} << 8 | colour.b;
    for (int i = 0; i < 16; ++i)
        if (kX128Colours[i] == packed) return i;
    return -1;
}

int peptoIndex(Rgb colour) {
    for (int i = 0; i < 16; ++i)
        if (peptoPalette()[static_cast<std::size_t>(i)] == colour) return i;
    return -1;
}

/// Pixels whose colour index differs between the emulator's screenshot and vicview's picture.
int differingPixels(const RgbImage& shot, const RgbImage& view) {
    if (shot.width() != view.width() || shot.height() != view.height()) return -1;
    int differing = 0;
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x) {
            const int expected = peptoIndex(view.at(x, y));
            if (expected < 0 || x128Index(shot.at(x, y)) != expected) ++differing;
        }
    return differing;
}

/// A picture that changes with i: a bright ball moving across bands of colour.
picture_files::RgbGrid changingPicture(int width, int height, int i) {
    return picture_files::RgbGrid::generate(width, height, [=](int x, int y) {
        const int dx = (x - (width / 8 + i * width / 20)) * 320 / width, dy = y - height / 2;
        if (dx * dx + dy * dy < 500) return picture_files::Rgb{250, 250, 240};
        if (y < height / 4) return picture_files::Rgb{40, 70, static_cast<std::uint8_t>(150 + 7 * i)};
        return picture_files::Rgb{static_cast<std::uint8_t>((x * 3 + y * 2 + 20 * i) % 256), static_cast<std::uint8_t>(120 + (y * 4) % 100),
                                  static_cast<std::uint8_t>(60 + (x + i * 9) % 80)};
    });
}

/// A raw 2-bit track: tones that glide from 300 Hz to 1500 Hz and back, at full scale.
Bytes glidingTones(std::size_t bytes, double rate) {
    Bytes track(bytes, 0);
    double phase = 0;
    const std::size_t samples = 4 * bytes;
    for (std::size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n) / static_cast<double>(samples);
        phase += 2 * M_PI * (300 + 1200 * std::sin(M_PI * t)) / rate;
        const int level = std::clamp(static_cast<int>(std::lround(1.5 + 1.6 * std::sin(phase))), 0, 3);
        track[n / 4] = static_cast<std::uint8_t>(track[n / 4] | level << (6 - 2 * (n % 4)));
    }
    return track;
}

struct PlayedStream {
    ReuStreamRecord record;
    RgbImage shot;
};

/// BASIC's screen after a program that only returns; the player must leave the same.
TempTree::Bytes plainReturnProgram() {
    return {0x01, 0x1C, 0x0B, 0x1C, 0x0A, 0x00, 0x9E, '7', '1', '8', '1', 0x00, 0x00, 0x00, 0x60};
}

/// A BASIC 7 program of one line: 10 PRINT"text".
TempTree::Bytes printingProgram(const std::string& text) {
    const int next = 0x1C01 + static_cast<int>(text.size()) + 8;
    TempTree::Bytes program{0x01, 0x1C, static_cast<std::uint8_t>(next), static_cast<std::uint8_t>(next >> 8), 0x0A, 0x00, 0x99, '"'};
    program.insert(program.end(), text.begin(), text.end());
    program.insert(program.end(), {'"', 0x00, 0x00, 0x00});
    return program;
}

class StreamOnMachine : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    TempTree folder{"stream-machine"};
    Bytes stream;
    WalkedStream walked;
    StreamInfo info;
    StreamPackage package;

    void SetUp() override {
        if (std::string why = testing::whyNoMachineRuns("x128"); !why.empty()) GTEST_SKIP() << why;
    }

    Bytes memoryFile(const std::string& path) const {
        MemoryFileSystem::Bytes content = fs.contents(path);
        return Bytes(content.begin(), content.end());
    }
    Bytes realFile(const std::string& name) const {
        TempTree::Bytes bytes = folder.load(name);
        return Bytes(bytes.begin(), bytes.end());
    }

    /// Compiles pictures of a size into /clip.zov with frameconv's options (and a track of audioBytes when
    /// that is not 0), previews it with vicview into /view and packs it.
    void compile(const std::string& options, int width, int height, int pictures, std::size_t audioBytes,
                 const StreamPlayback& playback = {}) {
        PlatformOverride use(&fs, &console);
        for (int i = 0; i < pictures; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/clip/p%03d.bmp", i + 1);
            fs.addFile(name, picture_files::bmp(changingPicture(width, height, i)));
        }
        std::vector<std::string> args{"frameconv", "/clip", "/clip.zov", "/c", "/v0"};
        if (audioBytes > 0) {
            Bytes track = glidingTones(audioBytes, 7843);
            fs.addFile("/clip.raw", MemoryFileSystem::Bytes(track.begin(), track.end()));
            args.insert(args.end(), {"/af", "/clip.raw"});
        }
        std::istringstream extra(options);
        for (std::string word; extra >> word;) args.push_back(word);
        ASSERT_EQ(runFrameconv(args), 0) << console.output();
        stream = memoryFile("/clip.zov");
        StreamFault fault;
        ASSERT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("/clip.zov", fault);
        info = walked.info;
        std::vector<std::string> view{"vicview", "/clip.zov", "/view",
                                      playback.borderColour >= 0 ? "--border=" + std::to_string(playback.borderColour) : "--border"};
        if (audioBytes > 0) view.insert(view.end(), {"--wav", "/clip.wav"});
        ASSERT_EQ(runVicview(view), 0) << console.output();
        package = streamPackage(stream, walked, playback);
        folder.save("clip.prg", TempTree::Bytes(package.program.begin(), package.program.end()));
    }

    /// The frame numbers of the stream's frames, in order.
    std::vector<std::uint32_t> streamFrames() const { return walked.frames; }

    /// The player's clock on a PAL machine, from the program's settings: ticks a second and per picture.
    double ticksPerSecond() const {
        return kPalClock / (readLe16(&package.program[StreamSettings::periodPal.offset]) + 1);
    }
    std::uint32_t ticksPerPicture() const { return readLe16(&package.program[StreamSettings::frameTicksPal.offset]); }

    /// Starts the program on x128 with a fresh copy of the REU image (or another image) for a number of
    /// cycles, warped unless more says otherwise; the run's files are named after it.
    std::unique_ptr<Child> start(const std::string& name, long cycles, const std::vector<std::string>& more = {"-warp"},
                bool withUnit = true, const Bytes* image = nullptr) {
        if (!image) image = &package.reuImage;
        folder.save(name + ".reu", TempTree::Bytes(image->begin(), image->end()));
        std::vector<std::string> args = testing::machineRun(cycles, {"-exitscreenshotvicii", folder.path(name + ".png")}, "x128");
        if (withUnit)
            args.insert(args.end(), {"-reu", "-reusize", std::to_string(package.reuImage.size() / 1024), "-reuimage",
                                     folder.path(name + ".reu"), "-reuimagerw"});
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), {"-autostart", folder.path("clip.prg")});
        return testing::startCommand(args, folder.path(name + ".log"));
    }
    /// Waits for a run to reach its cycle limit; the record the player left in the image and the screenshot.
    PlayedStream finish(const std::string& name, const std::unique_ptr<Child>& run) {
        EXPECT_EQ(testing::finishCommand(run), 1) << "see " << name << ".log";
        PlayedStream played;
        EXPECT_TRUE(readReuStreamRecord(realFile(name + ".reu"), ReuStreamLayout{stream.size(), info.frames}, played.record));
        played.shot = decodePng(realFile(name + ".png"));
        return played;
    }

    /// Runs the stream to its end and a while longer: every frame in order, none before its due time and none
    /// more than 20 ms after it, and BASIC's own screen at the end.
    void expectPlayedToTheEnd(double streamSeconds) {
        const long cycles = kStartCycles + static_cast<long>((streamSeconds + 2.5) * kPalClock);
        auto full = start("full", cycles);
        folder.save("plain.prg", plainReturnProgram());
        auto plain = testing::startCommand(
            testing::machineRun(cycles, {"-warp", "-exitscreenshotvicii", folder.path("plain.png"), "-autostart", folder.path("plain.prg")},
                                "x128"),
            folder.path("plain.log"));
        PlayedStream played = finish("full", full);
        EXPECT_EQ(testing::finishCommand(plain), 1);
        EXPECT_EQ(played.record.ending, 1) << "played to its end";
        EXPECT_FALSE(played.record.ntsc);
        std::vector<std::uint32_t> shown;
        double latest = 0;
        for (const ReuStreamRecord::Frame& frame : played.record.frames) {
            shown.push_back(frame.number);
            const std::uint32_t due = (frame.number - 1) * ticksPerPicture();
            EXPECT_GE(frame.ticks, due) << "frame " << frame.number << " before its time";
            const double late = (static_cast<double>(frame.ticks) - due) / ticksPerSecond();
            EXPECT_LE(late, 0.020) << "frame " << frame.number;
            latest = std::max(latest, late);
        }
        EXPECT_EQ(shown, streamFrames());
        std::cout << played.record.frames.size() << " frames shown, the latest " << formatted("%.1f", 1000 * latest)
                  << " ms after its time\n";
        RecordProperty("latest_ms", formatted("%.1f", 1000 * latest));
        expectBasicScreen(played.shot, decodePng(realFile("plain.png")));
    }

    /// The player's screen after its end differs from BASIC's after a program that only returns at most in
    /// one character's cell: the cursor's, which may blink at another moment.
    static void expectBasicScreen(const RgbImage& after, const RgbImage& expected) {
        ASSERT_EQ(after.width(), expected.width());
        ASSERT_EQ(after.height(), expected.height());
        int top = after.height(), bottom = -1, left = after.width(), right = -1;
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                if (!(after.at(x, y) == expected.at(x, y)))
                    top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
        EXPECT_TRUE(bottom - top < 8 && right - left < 8)
            << "pixels from (" << left << ", " << top << ") to (" << right << ", " << bottom << ") differ from BASIC's screen";
    }

    /// Screenshots at moments (seconds after the program's start): each must be vicview's picture of the
    /// frame the player's record says is on screen, and they show at least distinct frames. A moment that
    /// falls between a switch and its record is taken again a little later.
    void expectFramesShownAt(const std::vector<double>& moments, std::size_t distinct = 2) {
        std::vector<std::unique_ptr<Child>> runs;
        for (std::size_t i = 0; i < moments.size(); ++i)
            runs.push_back(start("moment" + std::to_string(i), kStartCycles + static_cast<long>(moments[i] * kPalClock)));
        std::map<std::uint32_t, int> seen;
        for (std::size_t i = 0; i < moments.size(); ++i) {
            const std::string name = "moment" + std::to_string(i);
            PlayedStream played = finish(name, runs[i]);
            int differing = shownFrameDiffers(played, seen);
            if (differing != 0) {
                played = finish(name + "b", start(name + "b", kStartCycles + static_cast<long>((moments[i] + 0.01) * kPalClock)));
                differing = shownFrameDiffers(played, seen);
            }
            EXPECT_EQ(differing, 0) << "at " << moments[i] << " s";
        }
        EXPECT_GE(seen.size(), distinct) << "the moments show different frames";
    }
    int shownFrameDiffers(const PlayedStream& played, std::map<std::uint32_t, int>& seen) {
        if (played.record.frames.empty()) return -1;
        const std::uint32_t number = played.record.frames.back().number;
        char name[40];
        std::snprintf(name, sizeof name, "/view/frame%05u.png", number);
        const int differing = differingPixels(played.shot, decodePng(memoryFile(name)));

        if (differing == 0) ++seen[number];
        return differing;
    }
};

TEST_F(StreamOnMachine, FullScreenMulticolourWithSoundShowsEveryFrameOnTime) {
    compile("/ir4 /bw8000", 160, 200, 12, 7843 * 3 / 4);
    expectPlayedToTheEnd(3);
    expectFramesShownAt({1.0, 1.9, 2.8});
}

TEST_F(StreamOnMachine, ItsSoundFollowsVicviewsOnBothChipModels) {
    const double seconds = 3;
    compile("/ir4 /bw8000", 160, 200, 12, static_cast<std::size_t>(7843 * seconds / 4));
    WaveContent sound = decodeWave(memoryFile("/clip.wav"));
    ASSERT_TRUE(sound.valid);
    // In real time, with the sound recorded (the boot runs warped, so the recording starts about when the
    // program does), one model after the other: a run that falls behind real time records a bent sound.
    const long cycles = kStartCycles + static_cast<long>((seconds + 2.5) * kPalClock);
    for (int model = 0; model < 2; ++model) {
        const std::string name = "model" + std::to_string(model);
        PlayedStream played = finish(name, start(name, cycles, {"-soundbufsize", "1000", "-sounddev", "wav", "-soundarg",
                                                                folder.path(name + ".wav"), "-sidmodel", std::to_string(model)}));
        EXPECT_EQ(played.record.ending, 1);
        EXPECT_EQ(played.record.sidModel, model) << "the model the player found";
        WaveContent recording = decodeWave(realFile(name + ".wav"));
        ASSERT_TRUE(recording.valid && recording.channels == 1) << name;
        testing::SoundMatch match = testing::matchSound(recording.samples, recording.rate, sound.samples, ticksPerSecond());
        const char* chip = model == 0 ? "6581" : "8580";
        std::cout << "SID " << chip << ": SNR " << formatted("%.2f", match.snr) << " dB, RMS " << formatted("%.1f", 100 * match.rms)
                  << " % of full scale, " << formatted("%.3f", match.recordedSeconds) << " s heard of "
                  << formatted("%.3f", match.soundSeconds) << " s, rate factor " << formatted("%.6f", match.rateFactor) << "\n";
        RecordProperty(std::string("snr_") + chip, formatted("%.2f", match.snr));
        EXPECT_GE(match.snr, 8.0) << chip;
        EXPECT_GE(match.rms, 0.03) << chip;
        EXPECT_NEAR(match.recordedSeconds / match.soundSeconds, 1.0, 0.02) << chip << ": no gap";
    }
}

TEST_F(StreamOnMachine, LetterboxedHiResShowsItsEmptyRowsBlank) {
    // 96 lines high: a ring of 5 or 6 slots, the first at 0x0000, where zero page and stack would show.
    compile("/ir6 /bw9000 /m1", 320, 96, 15, 7843 * 5 / 8);
    expectPlayedToTheEnd(2.5);
    expectFramesShownAt({0.9, 1.6, 2.4});
}

TEST_F(StreamOnMachine, ALetterboxedMulticolourFrameAtZeroShowsNoZeroPage) {
    // The first of 6 slots has its bitmap at 0x0000: its empty top rows show the background, where bytes
    // of zero page or stack would show as pixels of other colours. One picture for a second, so that no
    // later frame writes into its empty rows while it shows (from about 0.6 s).
    compile("/ir1 /bw4000", 160, 96, 1, 7843 / 4);
    expectFramesShownAt({0.9, 1.4}, 1);
}

TEST_F(StreamOnMachine, WithoutItsImageItSaysSoInOneLineAndReturns) {
    compile("/ir4 /bw4000", 80, 64, 2, 0);
    Bytes other = package.reuImage;
    other[6] ^= 0xFF;  // the head mark of another stream
    Bytes cut = package.reuImage;  // a unit too small for the image loses its tail mark
    const std::uint64_t tail = ReuStreamLayout{stream.size(), info.frames}.tail();
    std::fill(cut.begin() + static_cast<long>(tail), cut.begin() + static_cast<long>(tail) + 8, 0);
    const long cycles = kStartCycles + static_cast<long>(0.5 * kPalClock);
    struct Case {
        const char* name;
        bool withUnit;
        const Bytes* image;
        const char* line;
    } cases[] = {{"nounit", false, nullptr, "NO RAM EXPANSION UNIT: NEEDS 128 KB IMAGE"},
                 {"other", true, &other, "REU LACKS THIS STREAM'S 128 KB IMAGE"},
                 {"cut", true, &cut, "REU LACKS THIS STREAM'S 128 KB IMAGE"}};
    std::vector<std::unique_ptr<Child>> runs;
    for (const Case& c : cases) {
        runs.push_back(start(c.name, cycles, {"-warp"}, c.withUnit, c.image));
        folder.save(std::string(c.name) + "_print.prg", printingProgram(c.line));
        runs.push_back(testing::startCommand(
            testing::machineRun(cycles, {"-warp", "-exitscreenshotvicii", folder.path(std::string(c.name) + "_print.png"), "-autostart",
                                         folder.path(std::string(c.name) + "_print.prg")},
                                "x128"),
            folder.path(std::string(c.name) + "_print.log")));
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(testing::finishCommand(runs[2 * i]), 1);
        EXPECT_EQ(testing::finishCommand(runs[2 * i + 1]), 1);
        expectBasicScreen(decodePng(realFile(std::string(cases[i].name) + ".png")),
                          decodePng(realFile(std::string(cases[i].name) + "_print.png")));
    }
    EXPECT_EQ(realFile("other.reu"), other) << "the unit is left as it was";
}

TEST_F(StreamOnMachine, AStreamWithoutSoundKeepsItsPictureRate) {
    StreamPlayback playback;
    playback.fps = 5;
    playback.borderColour = 6;
    compile("/ir5 /bw6000", 120, 160, 12, 0, playback);
    expectPlayedToTheEnd(12.0 / 5);
    expectFramesShownAt({1.0, 1.8, 2.6});
}

}  // namespace
}  // namespace zov
