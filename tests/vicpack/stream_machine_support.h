// The stream players on an emulated machine with an REU (the C128's in x128, the C64's in x64sc): streams
// compiled from pictures that change, each packed with its REU image and run to its end and at chosen
// moments. What the machine shows must be vicview's frame, colour index for colour index; its record of the
// frames must show each one in order and on time; what it plays must follow vicview's sound; afterwards
// BASIC must have its screen back. A fixture for one machine says how it is started and how its player is
// packed.
#pragma once

#include "machine_support.h"

#include "formats/reu_stream.h"
#include "formats/stream_walk.h"
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"
#include "support/temp_tree.h"
#include "vicpack/stream_program.h"
#include "vicview/view_test_support.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>

namespace zov {

inline constexpr double kPalClock = 985248.0;

// The 16 colours as x128 and x64sc draw them (measured; ../shared/machine/c128.md, c64.md).
inline constexpr std::uint32_t kViceColours[16] = {0x000000, 0xFFFFFF, 0xAF3C58, 0x7EF3D6, 0xAA40F5, 0x62D532, 0x2C3DEC, 0xFFFF46,
                                                   0xB7631E, 0x775300, 0xEE7B95, 0x626262, 0x949494, 0xB7FF86, 0x7385FF, 0xCDCDCD};

inline int viceIndex(Rgb colour) {
    const std::uint32_t packed = std::uint32_t{colour.r} << 16 | std::uint32_t{colour.g} << 8 | colour.b;
    for (int i = 0; i < 16; ++i)
        if (kViceColours[i] == packed) return i;
    return -1;
}

inline int peptoIndex(Rgb colour) {
    for (int i = 0; i < 16; ++i)
        if (peptoPalette()[static_cast<std::size_t>(i)] == colour) return i;
    return -1;
}

/// Pixels whose colour index differs between the emulator's screenshot and vicview's picture.
inline int differingPixels(const RgbImage& shot, const RgbImage& view) {
    if (shot.width() != view.width() || shot.height() != view.height()) return -1;
    int differing = 0;
    for (int y = 0; y < view.height(); ++y)
        for (int x = 0; x < view.width(); ++x) {
            const int expected = peptoIndex(view.at(x, y));
            if (expected < 0 || viceIndex(shot.at(x, y)) != expected) ++differing;
        }
    return differing;
}

/// A picture that changes with i: a bright ball moving across bands of colour.
inline picture_files::RgbGrid changingPicture(int width, int height, int i) {
    return picture_files::RgbGrid::generate(width, height, [=](int x, int y) {
        const int dx = (x - (width / 8 + i * width / 20)) * 320 / width, dy = y - height / 2;
        if (dx * dx + dy * dy < 500) return picture_files::Rgb{250, 250, 240};
        if (y < height / 4) return picture_files::Rgb{40, 70, static_cast<std::uint8_t>(150 + 7 * i)};
        return picture_files::Rgb{static_cast<std::uint8_t>((x * 3 + y * 2 + 20 * i) % 256), static_cast<std::uint8_t>(120 + (y * 4) % 100),
                                  static_cast<std::uint8_t>(60 + (x + i * 9) % 80)};
    });
}

/// A picture in which only a ball moves with i, over still bands: a stream of it keeps its pictures at the
/// default bandwidth.
inline picture_files::RgbGrid movingBall(int width, int height, int i) {
    return picture_files::RgbGrid::generate(width, height, [=](int x, int y) {
        const int dx = (x - (width / 8 + i * width / 20)) * 320 / width, dy = y - height / 2;
        if (dx * dx + dy * dy < 300) return picture_files::Rgb{250, 250, 240};
        if (y < height / 4) return picture_files::Rgb{40, 70, 170};
        return picture_files::Rgb{static_cast<std::uint8_t>(40 + y / 25 * 30), 140, 60};
    });
}

/// A raw 2-bit track: tones that glide from 300 Hz to 1500 Hz and back, at full scale.
inline Bytes glidingTones(std::size_t bytes, double rate) {
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

/// How one machine starts a program and takes its screenshot.
struct StreamMachine {
    std::string emulator;          // x128 or x64sc
    long startCycles;              // a program has started by then
    std::string screenshotOption;  // of the VIC-II's screen
    int loadAddress;               // of a BASIC program
    std::vector<std::string> options;  // for every run
};

class StreamPlayRun : public ::testing::Test {
protected:
    using TempTree = testing::TempTree;

    explicit StreamPlayRun(StreamMachine machine) : machine_(std::move(machine)) {}

    MemoryFileSystem fs;
    StringConsole console;
    TempTree folder{"stream-machine"};
    Bytes stream;
    WalkedStream walked;
    StreamInfo info;
    StreamPackage package;
    picture_files::RgbGrid (*picture)(int width, int height, int i) = changingPicture;  // what compile draws

    // What the machine's player makes of the stream.
    virtual StreamPackage pack(const StreamPlayback& playback) = 0;
    virtual bool readRecord(const Bytes& image, ReuStreamRecord& record) const = 0;
    /// The player's clock on a PAL machine: ticks a second and per picture.
    virtual double ticksPerSecond() const = 0;
    virtual std::uint32_t ticksPerPicture() const = 0;

    void SetUp() override {
        if (std::string why = testing::whyNoMachineRuns(machine_.emulator); !why.empty()) GTEST_SKIP() << why;
    }

    Bytes memoryFile(const std::string& path) const {
        MemoryFileSystem::Bytes content = fs.contents(path);
        return Bytes(content.begin(), content.end());
    }
    Bytes realFile(const std::string& name) const {
        TempTree::Bytes bytes = folder.load(name);
        return Bytes(bytes.begin(), bytes.end());
    }

    /// BASIC's screen after a program that only returns; the player must leave the same.
    TempTree::Bytes plainReturnProgram() const {
        const int load = machine_.loadAddress, code = load + 12;
        const std::string sys = std::to_string(code);
        TempTree::Bytes program{static_cast<std::uint8_t>(load), static_cast<std::uint8_t>(load >> 8), static_cast<std::uint8_t>(load + 10),
                                static_cast<std::uint8_t>((load + 10) >> 8), 0x0A, 0x00, 0x9E};
        for (char digit : sys) program.push_back(static_cast<std::uint8_t>(digit));
        for (std::uint8_t byte : {0x00, 0x00, 0x00, 0x60}) program.push_back(byte);
        return program;
    }

    /// A BASIC program of one line: 10 PRINT"text".
    TempTree::Bytes printingProgram(const std::string& text) const {
        const int load = machine_.loadAddress, next = load + static_cast<int>(text.size()) + 8;
        TempTree::Bytes program{static_cast<std::uint8_t>(load), static_cast<std::uint8_t>(load >> 8), static_cast<std::uint8_t>(next),
                                static_cast<std::uint8_t>(next >> 8), 0x0A, 0x00, 0x99, '"'};
        program.insert(program.end(), text.begin(), text.end());
        program.insert(program.end(), {'"', 0x00, 0x00, 0x00});
        return program;
    }

    long cyclesAfterStart(double seconds) const { return machine_.startCycles + static_cast<long>(seconds * kPalClock); }

    /// Compiles pictures of a size into /clip.zov with frameconv's options (and a track of audioBytes when
    /// that is not 0; colours chosen per card when cards is given), previews it with vicview into /view and packs it.
    void compile(const std::string& options, int width, int height, int pictures, std::size_t audioBytes,
                 const StreamPlayback& playback = {}, const CardColourSettings* cards = nullptr) {
        {
            PlatformOverride use(&fs, &console);
            for (int i = 0; i < pictures; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "/clip/p%03d.bmp", i + 1);
                fs.addFile(name, picture_files::bmp(picture(width, height, i)));
            }
            std::vector<std::string> args{"frameconv", "/clip", "/clip.zov", "/c", "/v0"};
            if (audioBytes > 0) {
                Bytes track = glidingTones(audioBytes, 7843);
                fs.addFile("/clip.raw", MemoryFileSystem::Bytes(track.begin(), track.end()));
                args.insert(args.end(), {"/af", "/clip.raw"});
            }
            std::istringstream extra(options);
            for (std::string word; extra >> word;) args.push_back(word);
            FrameconvApp app;
            if (cards) app.chooseColoursPerCard(*cards);
            ASSERT_EQ(app.run(args), 0) << console.output();
            stream = memoryFile("/clip.zov");
            StreamFault fault;
            ASSERT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("/clip.zov", fault);
            info = walked.info;
            std::vector<std::string> view{"vicview", "/clip.zov", "/view",
                                          playback.borderColour >= 0 ? "--border=" + std::to_string(playback.borderColour) : "--border"};
            if (audioBytes > 0) view.insert(view.end(), {"--wav", "/clip.wav"});
            ASSERT_EQ(runVicview(view), 0) << console.output();
        }
        package = pack(playback);
        folder.save("clip.prg", TempTree::Bytes(package.program.begin(), package.program.end()));
    }

    /// The frame numbers of the stream's frames, in order.
    std::vector<std::uint32_t> streamFrames() const { return walked.frames; }

    /// The arguments of a run of another program on the machine, warped, with its screenshot.
    std::vector<std::string> plainRun(long cycles, const std::string& name, const std::string& program,
                                      const std::vector<std::string>& more = {}) const {
        std::vector<std::string> args{"-warp", machine_.screenshotOption, folder.path(name + ".png")};
        args.insert(args.end(), machine_.options.begin(), machine_.options.end());
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), {"-autostart", folder.path(program)});
        return testing::machineRun(cycles, args, machine_.emulator);
    }

    /// Starts the program with a fresh copy of the REU image (or another image) for a number of cycles,
    /// warped unless more says otherwise; the run's files are named after it.
    std::unique_ptr<Child> start(const std::string& name, long cycles, const std::vector<std::string>& more = {"-warp"},
                                 bool withUnit = true, const Bytes* image = nullptr) {
        if (!image) image = &package.reuImage;
        folder.save(name + ".reu", TempTree::Bytes(image->begin(), image->end()));
        std::vector<std::string> args =
            testing::machineRun(cycles, {machine_.screenshotOption, folder.path(name + ".png")}, machine_.emulator);
        args.insert(args.end(), machine_.options.begin(), machine_.options.end());
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
        EXPECT_TRUE(readRecord(realFile(name + ".reu"), played.record));
        played.shot = decodePng(realFile(name + ".png"));
        return played;
    }

    /// Runs the stream to its end and a while longer: every frame in order, none before its due time and none
    /// more than 20 ms after it, and BASIC's own screen at the end.
    void expectPlayedToTheEnd(double streamSeconds) {
        const long cycles = cyclesAfterStart(streamSeconds + 2.5);
        auto full = start("full", cycles);
        folder.save("plain.prg", plainReturnProgram());
        auto plain = testing::startCommand(plainRun(cycles, "plain", "plain.prg"), folder.path("plain.log"));
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
        for (std::size_t i = 0; i < moments.size(); ++i) runs.push_back(start("moment" + std::to_string(i), cyclesAfterStart(moments[i])));
        std::map<std::uint32_t, int> seen;
        for (std::size_t i = 0; i < moments.size(); ++i) {
            const std::string name = "moment" + std::to_string(i);
            PlayedStream played = finish(name, runs[i]);
            int differing = shownFrameDiffers(played, seen);
            if (differing != 0) {
                played = finish(name + "b", start(name + "b", cyclesAfterStart(moments[i] + 0.01)));
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

    /// Plays the stream in real time on either chip model with the sound recorded (the boot runs warped, so
    /// the recording starts about when the program does), one model after the other: a run that falls behind
    /// real time records a bent sound. It must follow vicview's WAVE with an SNR of at least 8 dB, without a
    /// gap.
    void expectSoundFollowsOnBothChipModels(double seconds) {
        WaveContent sound = decodeWave(memoryFile("/clip.wav"));
        ASSERT_TRUE(sound.valid);
        const long cycles = cyclesAfterStart(seconds + 2.5);
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
                      << formatted("%.3f", match.soundSeconds) << " s, rate factor " << formatted("%.6f", match.rateFactor) << ", the worst quarter second "
                      << formatted("%.1f", match.worstStretchSnr) << " dB\n";
            RecordProperty(std::string("snr_") + chip, formatted("%.2f", match.snr));
            EXPECT_GE(match.snr, 8.0) << chip;
            EXPECT_GE(match.rms, 0.03) << chip;
            EXPECT_NEAR(match.recordedSeconds / match.soundSeconds, 1.0, 0.02) << chip << ": no gap";
        }
    }

    /// Without a unit, with the image of another stream in it (its head mark changed) and with a unit too
    /// small for the image (which loses the tail mark at tail): one line, the one BASIC prints for 10
    /// PRINT"...", and READY.; the unit is left as it was.
    void expectRefusalsInOneLine(std::uint64_t tail) {
        Bytes other = package.reuImage;
        other[6] ^= 0xFF;
        Bytes cut = package.reuImage;
        std::fill(cut.begin() + static_cast<long>(tail), cut.begin() + static_cast<long>(tail) + 8, 0);
        const long cycles = cyclesAfterStart(0.5);
        const std::string size = std::to_string(package.reuImage.size() / 1024);
        struct Case {
            const char* name;
            bool withUnit;
            const Bytes* image;
            std::string line;
        } cases[] = {{"nounit", false, nullptr, "NO RAM EXPANSION UNIT: NEEDS " + size + " KB IMAGE"},
                     {"other", true, &other, "REU LACKS THIS STREAM'S " + size + " KB IMAGE"},
                     {"cut", true, &cut, "REU LACKS THIS STREAM'S " + size + " KB IMAGE"}};
        std::vector<std::unique_ptr<Child>> runs;
        for (const Case& c : cases) {
            runs.push_back(start(c.name, cycles, {"-warp"}, c.withUnit, c.image));
            folder.save(std::string(c.name) + "_print.prg", printingProgram(c.line));
            runs.push_back(testing::startCommand(plainRun(cycles, std::string(c.name) + "_print", std::string(c.name) + "_print.prg"),
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

    const StreamMachine machine_;
};

}  // namespace zov
