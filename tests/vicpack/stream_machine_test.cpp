// The stream player on the emulated C128 with an REU: streams compiled here from pictures that change, each
// packed with its REU image and run to its end and at chosen moments. What the machine shows must be
// vicview's frame, colour index for colour index; its record of the frames must show each one in order and
// on time; what it plays must follow vicview's sound; afterwards BASIC must have its screen back. Skipped,
// with one line saying why, where x128 is not on the PATH.
#include "machine_support.h"

#include "formats/reu_stream.h"
#include "formats/zovf_stream.h"
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

class StreamOnMachine : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    TempTree folder{"stream-machine"};
    Bytes stream;
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
        FileProblem problem;
        ASSERT_TRUE(readStreamHeader(stream, info, problem)) << problem.text;
        std::vector<std::string> view{"vicview", "/clip.zov", "/view",
                                      playback.borderColour >= 0 ? "--border=" + std::to_string(playback.borderColour) : "--border"};
        if (audioBytes > 0) view.insert(view.end(), {"--wav", "/clip.wav"});
        ASSERT_EQ(runVicview(view), 0) << console.output();
        package = streamPackage(stream, info, playback);
        folder.save("clip.prg", TempTree::Bytes(package.program.begin(), package.program.end()));
    }

    /// Runs the program on x128 with a fresh copy of the REU image for a number of cycles (warped unless
    /// more says otherwise); the record the player left in the image and the screenshot at the end.
    PlayedStream run(const std::string& name, long cycles, const std::vector<std::string>& more = {"-warp"}) {
        folder.save(name + ".reu", TempTree::Bytes(package.reuImage.begin(), package.reuImage.end()));
        std::vector<std::string> args = testing::machineRun(
            cycles, {"-reu", "-reusize", std::to_string(package.reuImage.size() / 1024), "-reuimage", folder.path(name + ".reu"),
                     "-reuimagerw", "-exitscreenshotvicii", folder.path(name + ".png")},
            "x128");
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), {"-autostart", folder.path("clip.prg")});
        EXPECT_EQ(testing::finishCommand(testing::startCommand(args, folder.path(name + ".log"))), 1) << "see " << name << ".log";
        PlayedStream played;
        EXPECT_TRUE(readReuStreamRecord(realFile(name + ".reu"), ReuStreamLayout{stream.size(), info.frames}, played.record));
        played.shot = decodePng(realFile(name + ".png"));
        return played;
    }
};

TEST_F(StreamOnMachine, Develop) {
    compile("/ir4 /bw8000", 160, 200, 12, 7843 * 3 / 4);
    for (double at : {1.0, 1.6, 2.2}) {
        PlayedStream played = run("mid", kStartCycles + static_cast<long>(at * kPalClock));
        std::cout << "at " << at << ": frames " << played.record.frames.size();
        if (!played.record.frames.empty()) {
            auto last = played.record.frames.back();
            char name[40];
            std::snprintf(name, sizeof name, "/view/frame%05u.png", last.number);
            std::cout << " last " << last.number << " differing " << differingPixels(played.shot, decodePng(memoryFile(name)));
        }
        std::cout << "\n";
        std::system(("cp " + folder.path("mid.png") + " /tmp/exp/mid" + std::to_string(at) + ".png").c_str());
    }
}

}  // namespace
}  // namespace zov
