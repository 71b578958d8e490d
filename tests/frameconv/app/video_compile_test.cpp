// frameconv compiling a picture sequence into a ZOVF stream: the stream is taken apart and played as the
// player on the target machine would, and every frame it shows must equal that picture's own bitmap file.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "formats/segment_player.h"
#include "support/command_line.h"
#include "support/frameconv_run.h"
#include "support/picture_files.h"
#include "support/zovf_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;
using Bytes = std::vector<std::uint8_t>;

// Frame i of a clip: a landscape with a ball moving across it and the light changing slowly.
RgbGrid clipFrame(int width, int height, int i) {
    return RgbGrid::generate(width, height, [=](int x, int y) {
        int bx = 10 + i * 9, by = height / 2 + (i % 4) * 6;
        int dx = x - bx, dy = y - by;
        if (dx * dx * 4 + dy * dy < 120) return Rgb{245, 245, 245};
        if (y < height / 3) return Rgb{static_cast<std::uint8_t>(50 + i * 3), 90, 220};
        if (y > height * 3 / 4) return Rgb{30, 150, 40};
        return Rgb{static_cast<std::uint8_t>((x * 5 + y) % 256), 110, 50};
    });
}

Bytes audioFile(std::size_t length) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + i / 251);
    return bytes;
}

class VideoCompile : public ::testing::Test, protected FrameconvOnMemory {
protected:
    void addClip(int frames, int width, int height) {
        for (int i = 0; i < frames; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "clip/f%02d.bmp", i + 1);
            fs.addFile(name, picture_files::bmp(clipFrame(width, height, i)));
        }
    }

    std::string individualBitmap(int number) {
        char name[32];
        std::snprintf(name, sizeof name, "clip/f%02d.BIN", number);
        return name;
    }

    // Plays every frame of the stream on a zeroed memory and compares what each Frame command shows with
    // the picture's own bitmap file (multicolour, COLOR 3 layout).
    void playAndCompare(const testing::ZovfStream& stream) {
        TargetMemory memory;
        ASSERT_TRUE(memory.allocate());
        SegmentPlayer player(memory);
        const int top = stream.topByte >> 3, rows = stream.height / 8;
        for (const testing::ZovfFrame& frame : stream.frames) {
            PlayResult played = player.play(frame.commands.data(), frame.commands.size());
            ASSERT_TRUE(played.ok()) << "frame " << frame.number << " offset " << played.offset;
            const std::uint32_t bank = (3u - player.frameM2()) * 16384u;
            const std::uint32_t bitmap = bank + ((player.frameM1() & 0x0Fu) << 10);
            const std::uint32_t screen = bank + ((player.frameM1() >> 4) << 10);
            Bytes file = fs.contents(individualBitmap(frame.number));
            ASSERT_EQ(file.size(), 10003u);
            EXPECT_EQ(std::memcmp(memory.address(bitmap + top * 320), file.data() + 2 + top * 320, rows * 320), 0)
                << "bitmap of frame " << frame.number;
            EXPECT_EQ(std::memcmp(memory.address(screen + top * 40), file.data() + 2 + 8000 + top * 40, rows * 40), 0)
                << "screen matrix of frame " << frame.number;
            EXPECT_EQ(player.frameM3(), file[10002]) << "background of frame " << frame.number;
        }
    }
};

TEST_F(VideoCompile, StreamPlaysBackEveryFrameAsItsBitmapFile) {
    addClip(12, 160, 200);
    const Bytes audio = audioFile(3000);
    fs.addFile("clip.raw", audio);
    ASSERT_EQ(run("clip video.zov /af clip.raw /i /bw6000 /v0"), 0) << console.output();
    EXPECT_EQ(console.output(), "");

    testing::ZovfStream stream;
    Bytes bytes = fs.contents("video.zov");
    ASSERT_EQ(testing::checkZovf(bytes, stream, audio, 7843.0), "");
    EXPECT_TRUE(stream.hasAudio);
    EXPECT_EQ(stream.width, 160);
    EXPECT_EQ(stream.height, 200);
    EXPECT_EQ(stream.samplesPerFrame, 1960);
    EXPECT_EQ(stream.roleCount, 4);
    ASSERT_GE(stream.frames.size(), 6u);
    playAndCompare(stream);
}

TEST_F(VideoCompile, TotalsReportAtEachVerbosity) {
    addClip(6, 96, 96);
    ASSERT_EQ(run("clip v.zov /c /v1"), 0);
    std::string report = console.output();
    EXPECT_NE(report.find("Video (6 source frames): raw size "), std::string::npos) << report;
    EXPECT_NE(report.find(" coded frames):  raw size "), std::string::npos);
    EXPECT_NE(report.find("      Coded size: "), std::string::npos);
    EXPECT_NE(report.find("Muxer ("), std::string::npos);
    EXPECT_EQ(report.find("Audio: "), std::string::npos);
    EXPECT_EQ(report.find("Bandwidth"), std::string::npos);

    ASSERT_EQ(run("clip v.zov /c /v3 /y"), 0);
    report = console.output();
    EXPECT_NE(report.find("v.zov already exists, and will be overwritten.\n"), std::string::npos);
    EXPECT_NE(report.find("Average luminance error "), std::string::npos);
    EXPECT_NE(report.find(" packets = "), std::string::npos);
    // Without audio the playing time is 0 and the figure is infinite.
    EXPECT_NE(report.find("Bandwidth inf byt/sec, "), std::string::npos) << report;
    EXPECT_NE(report.find("Code    #used   Range  byUsed byDecom  saving avRange avDecom avSaved"), std::string::npos);
    EXPECT_NE(report.find("Total "), std::string::npos);

    ASSERT_EQ(run("clip v.zov /c /v0 /y"), 0);
    EXPECT_EQ(console.output(), "");
}

TEST_F(VideoCompile, OutputRateBelowInputRateDropsPicturesAsEarly) {
    addClip(8, 96, 96);
    ASSERT_EQ(run("clip v.zov /c /r2 /v2 /bw20000"), 0);
    std::string report = console.output();
    // Every second picture comes too early: it shows only that it was dropped, with no loss lines.
    std::size_t at = report.find(" Frame 2: \"f02.bmp\"\n");
    ASSERT_NE(at, std::string::npos) << report;
    std::string frameTwo = report.substr(at, report.find(" Frame 3: ") - at);
    EXPECT_NE(frameTwo.find("Colors: "), std::string::npos);
    EXPECT_EQ(frameTwo.find("Luma: lost"), std::string::npos);
    EXPECT_NE(frameTwo.find("** Dropped **\n"), std::string::npos);
    EXPECT_NE(report.find("Muxer (4 frames, 4 dropped) "), std::string::npos);

    testing::ZovfStream stream;
    ASSERT_EQ(testing::checkZovf(fs.contents("v.zov"), stream), "");
    ASSERT_EQ(stream.frames.size(), 4u);
    EXPECT_EQ(stream.frames[1].number, 3);  // frame numbers count the dropped pictures too
}

// Compiled for a player: a frame goes into the stream only where the player has the time to make it ready
// between the switch of the frame before it and its own time (the time of a picture left out goes to the
// next); the player's first frame always has it, and the player is told of exactly the frames the stream holds.
TEST_F(VideoCompile, ForAPlayerEveryFrameHasItsTime) {
    addClip(16, 160, 200);
    constexpr double kSecondsPerByte = 1e-3, kWait = 0.02;
    struct SlowPlayer final : PlayerCost {
        std::vector<std::size_t> measured, accepted;  // the frames' lengths
        double frameSeconds(const std::uint8_t*, std::size_t length) override {
            measured.push_back(length);
            return static_cast<double>(length) * kSecondsPerByte;
        }
        void accept() override { accepted.push_back(measured.back()); }
        double switchWait() const override { return kWait; }
    } player;
    FrameconvApp app;
    app.compileFor(&player);
    {
        PlatformOverride use(&fs, &console);
        ASSERT_EQ(app.run(frameconvArgs("clip v.zov /c /ir4 /bw40000 /v0")), 0) << console.output();
    }
    testing::ZovfStream stream;
    ASSERT_EQ(testing::checkZovf(fs.contents("v.zov"), stream), "");
    ASSERT_EQ(stream.frames.size(), player.accepted.size());
    for (std::size_t i = 0; i < stream.frames.size(); ++i) {
        EXPECT_EQ(stream.frames[i].commands.size(), player.accepted[i]) << "frame " << stream.frames[i].number;
        if (i == 0) continue;
        const double time = (stream.frames[i].number - stream.frames[i - 1].number) / 4.0 - kWait;
        EXPECT_LE(static_cast<double>(player.accepted[i]) * kSecondsPerByte, time) << "frame " << stream.frames[i].number;
    }
    EXPECT_GT(player.measured.size(), player.accepted.size()) << "some frames want more time than they have";
    ASSERT_EQ(run("clip plain.zov /c /ir4 /bw40000 /v0"), 0);
    testing::ZovfStream plain;
    ASSERT_EQ(testing::checkZovf(fs.contents("plain.zov"), plain), "");
    EXPECT_GT(plain.frames.size(), stream.frames.size()) << "the bytes alone keep more";
}

TEST_F(VideoCompile, RingSizeFollowsTheEmptyRowsAboveThePicture) {
    struct Case {
        int height;
        int ring;
    };
    // Full height: no room above the picture. 96 lines: seven empty card rows hold the screen matrix and
    // the bitmap fits in 7 KiB. 168 lines: two empty rows, too few for the matrix. 160 lines: the bitmap
    // needs the whole 8 KiB.
    const Case cases[] = {{200, 3}, {96, 6}, {168, 3}, {184, 3}, {136, 6}, {160, 5}};
    for (const Case& c : cases) {
        MemoryFileSystem files;
        files.addFile("f.bmp", picture_files::bmp(clipFrame(64, c.height, 0)));
        StringConsole quiet;
        PlatformOverride use(&files, &quiet);
        FrameconvApp app;
        ASSERT_EQ(app.run(frameconvArgs("f.bmp v.zov /c /v0")), 0) << quiet.output();
        EXPECT_EQ(app.encoder().store().ringSize(), c.ring) << c.height << " lines";
    }
}

TEST_F(VideoCompile, DirectoryDestinationEndsAtTheSecondPicture) {
    addClip(3, 96, 96);
    fs.addDirectory("out");
    EXPECT_EQ(run("clip out /c /v0"), 2);
    EXPECT_EQ(console.output(), "\r\nCouldn't open destination: out/f02.BIN\n");
    testing::ZovfStream stream;
    EXPECT_EQ(testing::checkZovf(fs.contents("out/f01.BIN"), stream), "");
}

TEST_F(VideoCompile, WriteFailureLeavesAStreamThatDescribesWhatItHolds) {
    addClip(6, 96, 96);
    for (int failing = 0; failing < 40; failing += 3) {
        fs.failAt(FileOp::Write, -1);
        fs.addFile("v.zov", "");
        int baseline = fs.calls(FileOp::Write);
        fs.failAt(FileOp::Write, baseline + failing);
        int code = run("clip v.zov /c /y /v0");
        // A header that cannot be written at all leaves an empty file.
        testing::ZovfStream stream;
        Bytes bytes = fs.contents("v.zov");
        if (!bytes.empty()) {
            EXPECT_EQ(testing::checkZovf(bytes, stream), "") << "write " << failing;
        }
        if (code != 0) {
            EXPECT_EQ(code, 2);
            EXPECT_NE(console.output().find("\r\nWrite error: No space left on device\n"), std::string::npos);
        }
    }
}

TEST_F(VideoCompile, IndividualBitmapsKeepTheirOverwriteRules) {
    addClip(2, 96, 96);
    fs.addFile("clip/f01.BIN", "old");
    fs.addDirectory("clip/f02.BIN");
    ASSERT_EQ(run("clip v.zov /c /i"), 0);
    EXPECT_NE(console.output().find("clip/f01.BIN already exists, and will not be overwritten.\n"), std::string::npos);
    EXPECT_NE(console.output().find("clip/f02.BIN already exists,  but as a directory!  Individual bitmap will not be "
                                    "created...\n"),
              std::string::npos);
    EXPECT_EQ(fs.contents("clip/f01.BIN").size(), 3u);
    ASSERT_EQ(run("clip v2.zov /c /i /y /v0"), 0);
    EXPECT_EQ(fs.contents("clip/f01.BIN").size(), 10003u);
}

}  // namespace
}  // namespace zov
