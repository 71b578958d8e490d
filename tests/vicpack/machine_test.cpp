// The programs run on the emulated machine: what it shows must be vicview's picture, colour index for
// colour index, and what it plays must follow the sound. Skipped, with one line saying why, where the
// emulator is not on the PATH.
#include "machine_support.h"
#include "pack_test_support.h"

#include "frameconv/app/frameconv_app.h"
#include "soundconv/soundconv_app.h"
#include "support/picture_files.h"
#include "support/temp_tree.h"
#include "vicpack/sound_program.h"
#include "vicview/view_test_support.h"

#include <array>
#include <cmath>
#include <fstream>
#include <future>
#include <iostream>
#include <iterator>
#include <map>

namespace zov {
namespace {

using testing::TempTree;

constexpr long kPictureCycles = 6000000;  // start-up, loading and a while of the picture on screen

int paletteIndexOf(const VicPaletteRgb& palette, Rgb colour) {
    for (int i = 0; i < 16; ++i)
        if (palette[static_cast<std::size_t>(i)] == colour) return i;
    return -1;
}

/// The tools run on one in-memory disk; the programs they make are taken from it to a real folder for the
/// emulator.
class MachineRun : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    TempTree folder{"vicpack-machine"};

    void SetUp() override {
        if (std::string why = testing::whyNoMachineRuns(); !why.empty()) GTEST_SKIP() << why;
    }

    int tool(int (*program)(const std::vector<std::string>&), const std::string& name, const std::string& line) {
        PlatformOverride use(&fs, &console);
        std::vector<std::string> args{name};
        std::istringstream in(line);
        for (std::string word; in >> word;) args.push_back(word);
        console.clear();
        return program(args);
    }
    int vicpack(const std::string& line) { return tool(runVicpack, "vicpack", line); }
    int vicview(const std::string& line) { return tool(runVicview, "vicview", line); }

    Bytes memoryFile(const std::string& path) const {
        MemoryFileSystem::Bytes content = fs.contents(path);
        return Bytes(content.begin(), content.end());
    }
    void putMemory(const std::string& path, const Bytes& bytes) {
        fs.addFile(path, MemoryFileSystem::Bytes(bytes.begin(), bytes.end()));
    }
    /// Copies a file of the in-memory disk into the real folder; its real path.
    std::string export_(const std::string& memoryPath, const std::string& name) {
        Bytes bytes = memoryFile(memoryPath);
        folder.save(name, TempTree::Bytes(bytes.begin(), bytes.end()));
        return folder.path(name);
    }
    Bytes realFile(const std::string& name) const {
        TempTree::Bytes bytes = folder.load(name);
        return Bytes(bytes.begin(), bytes.end());
    }

    /// Runs the emulator to its cycle limit (its exit status is then 1) and returns its screenshot.
    RgbImage screenshotOf(const std::vector<std::string>& extra, long cycles, const std::string& shot) {
        std::vector<std::string> args = testing::machineRun(cycles, {"-warp", "-exitscreenshot", folder.path(shot)});
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_EQ(testing::finishCommand(testing::startCommand(args, folder.path(shot + ".log"))), 1) << "see " << shot << ".log";
        return decodePng(realFile(shot));
    }

    /// The emulator's 16 colours, learnt from a picture whose cards show colours 0 to 15 in turn.
    VicPaletteRgb emulatorPalette() {
        Bytes file{0x00, 0x20};
        file.insert(file.end(), 8000, 0xFF);  // every pixel takes the Colour RAM's colour
        file.insert(file.end(), 1000, 0x00);
        for (int card = 0; card < 1000; ++card) file.push_back(static_cast<std::uint8_t>(card % 16));
        file.push_back(0);
        putMemory("/palette.bin", file);
        EXPECT_EQ(vicpack("/palette.bin /palette.prg"), kPackDone) << console.output();
        RgbImage shot = screenshotOf({"-autostart", export_("/palette.prg", "palette.prg")}, kPictureCycles, "palette.png");
        VicPaletteRgb palette{};
        for (int colour = 0; colour < 16; ++colour)
            palette[static_cast<std::size_t>(colour)] = shot.at(kBorderLeftRight + colour * 8 + 4, kBorderTop + 4);
        for (int a = 0; a < 16; ++a)
            for (int b = a + 1; b < 16; ++b)
                EXPECT_FALSE(palette[static_cast<std::size_t>(a)] == palette[static_cast<std::size_t>(b)]) << a << " and " << b;
        return palette;
    }

    /// Counts the pixels whose colour index differs between the emulator's screen and vicview's picture.
    static int differingPixels(const RgbImage& shot, const VicPaletteRgb& emulator, const RgbImage& view) {
        if (shot.width() != view.width() || shot.height() != view.height()) return -1;
        int differing = 0;
        for (int y = 0; y < view.height(); ++y)
            for (int x = 0; x < view.width(); ++x) {
                int expected = paletteIndexOf(peptoPalette(), view.at(x, y));
                if (expected < 0 || paletteIndexOf(emulator, shot.at(x, y)) != expected) ++differing;
            }
        return differing;
    }
};

/// A colourful source picture smaller than the screen, so that the margins and fills show too.
Bytes sourcePicture() {
    auto grid = picture_files::RgbGrid::generate(132, 104, [](int x, int y) {
        return picture_files::Rgb{static_cast<std::uint8_t>(x * 255 / 131), static_cast<std::uint8_t>(y * 255 / 103),
                                  static_cast<std::uint8_t>(((x / 12 + y / 12) % 2) * 200 + 20)};
    });
    picture_files::Bytes bytes = picture_files::bmp(grid);
    return Bytes(bytes.begin(), bytes.end());
}

class PictureOnMachine : public MachineRun, public ::testing::WithParamInterface<bool> {};

TEST_P(PictureOnMachine, TheScreenIsVicviewsPictureInEveryColourLayout) {
    const bool hires = GetParam();
    const std::string mode = hires ? " --hires" : "";
    putMemory("/in/scene.bmp", sourcePicture());
    fs.addDirectory("/out");
    const VicPaletteRgb palette = emulatorPalette();
    std::vector<std::unique_ptr<Child>> runs;
    for (int colour = 0; colour <= 3; ++colour) {
        const std::string name = "scene" + std::to_string(colour);
        ASSERT_EQ(tool(runFrameconv, "frameconv", "/in/scene.bmp /out/" + name + ".bin " + (hires ? "/m1" : "/m3") +
                                                       " /c" + std::to_string(colour) + " /v0"),
                  0)
            << console.output();
        ASSERT_EQ(vicview("/out/" + name + ".bin /out/" + name + ".png --border" + mode), kViewDone) << console.output();
        ASSERT_EQ(vicpack("/out/" + name + ".bin /out/" + name + ".prg" + mode), kPackDone) << console.output();
        std::vector<std::string> args = testing::machineRun(
            kPictureCycles, {"-warp", "-exitscreenshot", folder.path(name + ".png"), "-autostart", export_("/out/" + name + ".prg", name + ".prg")});
        runs.push_back(testing::startCommand(args, folder.path(name + ".log")));
    }
    for (int colour = 0; colour <= 3; ++colour) {
        const std::string name = "scene" + std::to_string(colour);
        EXPECT_EQ(testing::finishCommand(runs[static_cast<std::size_t>(colour)]), 1) << "see " << name << ".log";
        RgbImage view = decodePng(memoryFile("/out/" + name + ".png"));
        EXPECT_EQ(differingPixels(decodePng(realFile(name + ".png")), palette, view), 0)
            << (hires ? "hi-res" : "multicolour") << " COLOR " << colour;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PictureOnMachine, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "HiRes" : "Multicolour"; });

TEST_F(MachineRun, AKeyEndsThePictureAndBasicHasItsTextScreenBack) {
    putMemory("/scene.bin", fullBitmapFile(2));
    ASSERT_EQ(vicpack("/scene.bin /scene.prg"), kPackDone);
    // A program that only returns: the screen as BASIC leaves it after RUN.
    folder.save("return.prg", {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0x00, 0x00, 0x00, 0x60});
    // The typed keys reach the machine while the program runs; the first ends the picture.
    const std::vector<std::string> keys{"-keybuf", std::string(30, ' ')};
    std::vector<std::string> picture = keys, plain = keys;
    picture.insert(picture.end(), {"-autostart", export_("/scene.prg", "scene.prg")});
    plain.insert(plain.end(), {"-autostart", folder.path("return.prg")});
    RgbImage after = screenshotOf(picture, 8000000, "after.png"), expected = screenshotOf(plain, 8000000, "plain.png");
    ASSERT_EQ(after.width(), expected.width());
    ASSERT_EQ(after.height(), expected.height());
    // The two may differ only on the line after READY., where the keys that neither program took are typed
    // and the cursor blinks: the picture's program took one and dropped those typed before it showed.
    int top = after.height(), bottom = -1;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (!(after.at(x, y) == expected.at(x, y))) top = std::min(top, y), bottom = std::max(bottom, y);
    EXPECT_LT(bottom - top, 8) << "rows " << top << " to " << bottom;
    EXPECT_GT(top, kBorderTop + 4 * 8) << "the lines of the start, RUN and READY. are BASIC's";
}

/// Speech at full scale, made by espeak-ng: a ZOV sound file of 8-bit samples at 7812 Hz.
bool loudSpeech(TempTree& folder, MemoryFileSystem& fs, StringConsole& console) {
    std::vector<std::string> args{"espeak-ng", "-s", "185", "-w", folder.path("speech.wav"), "Pictures and sound, on the machine itself."};
    if (testing::finishCommand(testing::startCommand(args, folder.path("espeak.log"))) != 0) return false;
    TempTree::Bytes wave = folder.load("speech.wav");
    WaveContent content = decodeWave(Bytes(wave.begin(), wave.end()));
    if (!content.valid || content.samples.empty()) return false;
    int peak = 1;
    for (std::int16_t sample : content.samples) peak = std::max(peak, std::abs(static_cast<int>(sample)));
    fs.addFile("/speech.wav", MemoryFileSystem::Bytes(wave.begin(), wave.end()));
    // Louder than its peak allows: the loudest parts clip, as speech made loud for the machine does.
    const int scale = static_cast<int>(100.0 * 32767 / peak * 2);
    PlatformOverride use(&fs, &console);
    return runSoundconv({"soundconv", "/speech.wav", "/speech.zov", "/n", "8", "/s", std::to_string(scale)}) == 0;
}

TEST_F(MachineRun, SpeechIsHeardOnBothChipModelsAndFollowsTheSound) {
    if (!loudSpeech(folder, fs, console)) GTEST_SKIP() << "espeak-ng makes no speech here: install the package espeak-ng";
    ASSERT_EQ(vicview("/speech.zov /speech_check.wav"), kViewDone) << console.output();
    WaveContent sound = decodeWave(memoryFile("/speech_check.wav"));
    ASSERT_TRUE(sound.valid);
    ASSERT_EQ(vicpack("/speech.zov /speech.prg"), kPackDone) << console.output();
    const std::string program = export_("/speech.prg", "speech.prg");
    const double seconds = static_cast<double>(sound.samples.size()) / sound.rate;
    // Start-up, finding the model, the quarter-second rises and falls around the sound, and a margin.
    const long cycles = static_cast<long>((3.2 + seconds + 0.8) * kMachineClock);
    std::array<std::unique_ptr<Child>, 2> runs{};
    for (int model = 0; model < 2; ++model) {
        const std::string name = "model" + std::to_string(model);
        runs[static_cast<std::size_t>(model)] = testing::startCommand(
            testing::machineRun(cycles, {"-soundbufsize", "1000", "-sounddev", "wav", "-soundarg", folder.path(name + ".wav"),
                                         "-sidmodel", std::to_string(model), "-autostart", program}),
            folder.path(name + ".log"));
    }
    for (int model = 0; model < 2; ++model) {
        const std::string name = "model" + std::to_string(model);
        EXPECT_EQ(testing::finishCommand(runs[static_cast<std::size_t>(model)]), 1) << "see " << name << ".log";
        WaveContent recording = decodeWave(realFile(name + ".wav"));
        ASSERT_TRUE(recording.valid && recording.channels == 1) << name;
        testing::SoundMatch match =
            testing::matchSound(recording.samples, recording.rate, sound.samples, playedRate(sound.rate));
        const char* chip = model == 0 ? "6581" : "8580";
        std::cout << "SID " << chip << ": SNR " << formatted("%.2f", match.snr) << " dB, RMS "
                  << formatted("%.1f", 100 * match.rms) << " % of full scale, " << formatted("%.3f", match.recordedSeconds)
                  << " s heard of " << formatted("%.3f", match.soundSeconds) << " s, rate factor "
                  << formatted("%.6f", match.rateFactor) << ", sound from " << formatted("%.3f", match.start) << " s\n";
        RecordProperty(std::string("snr_") + chip, formatted("%.2f", match.snr));
        // A player that writes the top four bits to the volume register reaches about 10 dB here; the
        // fitted tables well above it.
        EXPECT_GE(match.snr, 14.0) << chip;
        EXPECT_GE(match.rms, 0.03) << chip;
        EXPECT_NEAR(match.recordedSeconds / match.soundSeconds, 1.0, 0.02) << chip;
    }
}

/// A tune of the given length at 7812 Hz: a note of two partials every quarter second, its pitch from a
/// fixed walk over two octaves, so that a stretch played from the wrong place or at the wrong time differs
/// from the sound everywhere. Unsigned samples of the given width, packed as a ZOV sound file holds them.
Bytes tuneSamples(int bits, double seconds) {
    const double rate = 7812, top = (1 << bits) - 1;
    const auto count = static_cast<std::size_t>(seconds * rate);
    std::vector<int> levels(count);
    unsigned walk = 12345;
    double frequency = 0, phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % static_cast<std::size_t>(rate / 4) == 0) {
            walk = walk * 1103515245u + 12345u;
            frequency = 150 * std::pow(2.0, static_cast<double>((walk >> 16) % 24) / 12);
        }
        phase += 2 * M_PI * frequency / rate;
        const double value = 0.5 + 0.45 * (0.7 * std::sin(phase) + 0.3 * std::sin(2 * phase + 0.5));
        levels[i] = static_cast<int>(std::lround(value * top));
    }
    Bytes bytes;
    for (std::size_t i = 0; i < count; i += 8 / bits)
        bytes.push_back(static_cast<std::uint8_t>(bits == 8 ? levels[i] : levels[i] | (i + 1 < count ? levels[i + 1] : 0) << 4));
    return bytes;
}

TEST_F(MachineRun, ASoundLongerThanTheMemoryPlaysFromItsReuImageOnBothChipModels) {
    // 25 s: 8-bit samples at 7812 Hz fill the memory in about 6 s, 4-bit ones in about 13 s.
    struct Run {
        int bits, model;
        std::string name;
        std::unique_ptr<Child> emulator;
    };
    std::vector<Run> runs;
    std::map<int, WaveContent> sounds;
    for (int bits : {8, 4}) {
        const std::string tune = "/tune" + std::to_string(bits);
        putMemory(tune + ".zov", zovSound(bits, 7812, tuneSamples(bits, 25)));
        ASSERT_EQ(vicview(tune + ".zov " + tune + "_check.wav"), kViewDone) << console.output();
        sounds[bits] = decodeWave(memoryFile(tune + "_check.wav"));
        ASSERT_TRUE(sounds[bits].valid);
        ASSERT_EQ(vicpack(tune + ".zov " + tune + ".prg"), kPackDone) << console.output();
        const std::string program = export_(tune + ".prg", tune.substr(1) + ".prg");
        const std::string unit = export_(tune + ".reu", tune.substr(1) + ".reu");
        const std::string kib = std::to_string(memoryFile(tune + ".reu").size() / 1024);
        EXPECT_NE(console.output().find(" " + kib + " KiB"), std::string::npos) << console.output();
        const double seconds = static_cast<double>(sounds[bits].samples.size()) / sounds[bits].rate;
        const long cycles = static_cast<long>((3.2 + seconds + 0.8) * kMachineClock);
        for (int model = 0; model < 2; ++model) {
            const std::string name = "tune" + std::to_string(bits) + "_model" + std::to_string(model);
            runs.push_back({bits, model, name, testing::startCommand(
                testing::machineRun(cycles, {"-reu", "-reusize", kib, "-reuimage", unit, "-soundbufsize", "1000", "-sounddev",
                                             "wav", "-soundarg", folder.path(name + ".wav"), "-sidmodel",
                                             std::to_string(model), "-autostart", program}),
                folder.path(name + ".log"))});
        }
    }
    // The machine has two cores: the recordings are matched side by side.
    std::vector<std::future<testing::SoundMatch>> matches;
    for (const Run& run : runs) {
        EXPECT_EQ(testing::finishCommand(run.emulator), 1) << "see " << run.name << ".log";
        matches.push_back(std::async(std::launch::async, [this, &run, &sounds] {
            WaveContent recording = decodeWave(realFile(run.name + ".wav"));
            if (!recording.valid || recording.channels != 1) return testing::SoundMatch{};
            const WaveContent& sound = sounds.at(run.bits);
            return testing::matchSound(recording.samples, recording.rate, sound.samples, playedRate(sound.rate));
        }));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        const WaveContent& sound = sounds[run.bits];
        const testing::SoundMatch match = matches[i].get();
        const std::string chip = run.model == 0 ? "6581" : "8580";
        std::cout << run.bits << "-bit samples from the REU, SID " << chip << ": SNR " << formatted("%.2f", match.snr)
                  << " dB (worst quarter second " << formatted("%.2f", match.worstStretchSnr) << " dB, shifts up to "
                  << formatted("%.3f", 1000 * match.largestShift) << " ms), RMS "
                  << formatted("%.1f", 100 * match.rms) << " % of full scale, " << formatted("%.3f", match.recordedSeconds)
                  << " s heard of " << formatted("%.3f", match.soundSeconds) << " s, rate factor "
                  << formatted("%.6f", match.rateFactor) << "\n";
        RecordProperty("snr_reu" + std::to_string(run.bits) + "_" + chip, formatted("%.2f", match.snr));
        EXPECT_GE(match.snr, 8.0) << run.name;
        // A single 32-byte piece left out of the ring brings its quarter second down to about 12 dB.
        EXPECT_GE(match.worstStretchSnr, 15.0) << run.name << ": a stretch of the sound was played wrongly";
        EXPECT_LT(match.largestShift, 0.5 / sound.rate) << run.name << ": a sample was lost or played twice";
        EXPECT_GE(match.rms, 0.03) << run.name;
        EXPECT_NEAR(match.recordedSeconds / match.soundSeconds, 1.0, 0.02) << run.name;
    }
}

/// The first and the last pixel row in which two screenshots differ; (height, -1) when they do not.
std::pair<int, int> differingRows(const RgbImage& a, const RgbImage& b) {
    int top = a.height(), bottom = -1;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            if (!(a.at(x, y) == b.at(x, y))) top = std::min(top, y), bottom = std::max(bottom, y);
    return {top, bottom};
}

TEST_F(MachineRun, WithoutItsReuImageTheProgramSaysWhichUnitItNeedsAndAKeyEndsTheSound) {
    putMemory("/tune.zov", zovSound(8, 7812, tuneSamples(8, 25)));
    putMemory("/other.zov", zovSound(8, 7812, tuneSamples(8, 24)));
    ASSERT_EQ(vicpack("/tune.zov /tune.prg"), kPackDone) << console.output();
    ASSERT_EQ(vicpack("/other.zov /other.prg"), kPackDone) << console.output();
    const std::string program = export_("/tune.prg", "tune.prg"), unit = export_("/tune.reu", "tune.reu");
    const std::string other = export_("/other.reu", "other.reu");
    ASSERT_EQ(memoryFile("/other.reu").size(), memoryFile("/tune.reu").size()) << "an image the unit takes";
    // What BASIC shows after 10 PRINT"...": the line the program prints; and after a program that only returns.
    const std::string line = "NO REU IMAGE OF THIS SOUND (256 KB)";
    Bytes print{0x01, 0x08, 0, 0, 0x0A, 0x00, 0x99, '"'};
    print.insert(print.end(), line.begin(), line.end());
    print.insert(print.end(), {'"', 0x00});
    print[2] = static_cast<std::uint8_t>(0x0801 + print.size() - 2);  // the link to the end of the program
    print[3] = 0x08;
    print.insert(print.end(), {0x00, 0x00});
    folder.save("print.prg", TempTree::Bytes(print.begin(), print.end()));
    folder.save("return.prg", {0x01, 0x08, 0x0B, 0x08, 0x0A, 0x00, 0x9E, '2', '0', '6', '1', 0x00, 0x00, 0x00, 0x60});
    // Keys typed while the sound plays: the first ends it.
    const std::vector<std::string> keys{"-keybuf", std::string(30, ' ')};
    const std::vector<std::string> withUnit{"-reu", "-reusize", "256", "-reuimage", unit};
    const std::map<std::string, std::vector<std::string>> runs{
        {"none", {"-autostart", program}},
        {"other", {"-reu", "-reusize", "256", "-reuimage", other, "-autostart", program}},
        {"printed", {"-autostart", folder.path("print.prg")}},
        {"key", {withUnit[0], withUnit[1], withUnit[2], withUnit[3], withUnit[4], keys[0], keys[1], "-autostart", program}},
        {"playing", {withUnit[0], withUnit[1], withUnit[2], withUnit[3], withUnit[4], "-autostart", program}},
        {"returned", {keys[0], keys[1], "-autostart", folder.path("return.prg")}}};
    std::map<std::string, std::unique_ptr<Child>> started;
    for (const auto& [name, extra] : runs) {
        std::vector<std::string> args = testing::machineRun(8000000, {"-warp", "-exitscreenshot", folder.path(name + ".png")});
        args.insert(args.end(), extra.begin(), extra.end());
        started[name] = testing::startCommand(args, folder.path(name + ".log"));
    }
    std::map<std::string, RgbImage> shots;
    for (const auto& [name, emulator] : started) {
        EXPECT_EQ(testing::finishCommand(emulator), 1) << "see " << name << ".log";
        shots[name] = decodePng(realFile(name + ".png"));
        ASSERT_GT(shots[name].width(), 0) << name;
    }
    // Text rows after the start: a blank one, the banner's two, a blank one, READY., RUN; then what the
    // program printed, READY. and the cursor's row, where the keys that no program took are typed.
    const int runRow = 5;
    // Without the unit, and with another sound's image in it, the program prints the line and returns: the
    // screens may differ from BASIC's only in the cursor's row.
    for (const char* name : {"none", "other"}) {
        auto [top, bottom] = differingRows(shots[name], shots["printed"]);
        EXPECT_LT(bottom - top, 8) << name << ": rows " << top << " to " << bottom;
        EXPECT_GE(top, kBorderTop + (runRow + 4) * 8) << name << ": the line and READY. are BASIC's";
    }
    // Eight seconds in, the sound plays on with the screen off (one colour) unless a key ended it.
    const RgbImage& playing = shots["playing"];
    for (int y = 0; y < playing.height(); ++y)
        for (int x = 0; x < playing.width(); ++x) ASSERT_TRUE(playing.at(x, y) == playing.at(0, 0)) << x << ", " << y;
    auto [top, bottom] = differingRows(shots["key"], shots["returned"]);
    EXPECT_LT(bottom - top, 8) << "rows " << top << " to " << bottom;
    EXPECT_GE(top, kBorderTop + (runRow + 2) * 8) << "the lines up to READY. are BASIC's";
}

TEST_F(MachineRun, ADiskWithTwoPicturesAndASoundStartsWithTheFirstPicture) {
    putMemory("/first.bin", fullBitmapFile(6));
    putMemory("/second.bin", fullBitmapFile(9));
    putMemory("/tone.zov", zovSound(4, 7812, Bytes(4000, 0x9A)));
    ASSERT_EQ(vicview("/first.bin /first.png --border"), kViewDone);
    // cc1541 makes the disk image on the real disk.
    std::vector<std::string> args{"vicpack"};
    for (const char* input : {"first.bin", "second.bin", "tone.zov"})
        args.push_back(export_(std::string("/") + input, input));
    const std::string disk = folder.path("pack.d64");
    args.push_back(disk);
    {
        PlatformOverride real(&realFileSystem(), &console);
        ASSERT_EQ(runVicpack(args), kPackDone) << console.output();
    }
    const VicPaletteRgb palette = emulatorPalette();

    if (std::optional<std::vector<std::string>> c1541 = testing::emulatorCommand("c1541")) {
        c1541->insert(c1541->end(), {"-attach", disk, "-list"});
        EXPECT_EQ(testing::finishCommand(testing::startCommand(*c1541, folder.path("list.txt"))), 0);
        TempTree::Bytes list = folder.load("list.txt");
        std::string text(list.begin(), list.end());
        // c1541 shows the machine's upper-case letters in lower case.
        for (const char* name : {"\"first\"", "\"second\"", "\"tone\""})
            EXPECT_NE(text.find(name), std::string::npos) << name << " in\n" << text;
        EXPECT_LT(text.find("\"first\""), text.find("\"second\""));
        EXPECT_LT(text.find("\"second\""), text.find("\"tone\""));
    }
    // Loading through the emulated drive is slow: about 25 s of machine time for 10 KB.
    RgbImage shot = screenshotOf({"-autostart", disk}, 60000000, "disk.png");
    EXPECT_EQ(differingPixels(shot, palette, decodePng(memoryFile("/first.png"))), 0);
}

}  // namespace
}  // namespace zov
