// frameconv when its outputs fail: every create, open, write, seek and length change of an output failing in
// turn, on a run that otherwise succeeds. Each failure is reported with the system's text and ends the run
// with exit code 2; a file is only touched when it is new or /y allows it; a video stream keeps exactly the
// frames before the failure, with a header that describes them.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/command_line.h"
#include "support/picture_files.h"
#include "support/zovf_stream.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kNoSpace = "No space left on device";

RgbGrid frame(int size, int i) {
    return RgbGrid::generate(size, size, [=](int x, int y) {
        const int dx = x - 4 - 3 * i, dy = y - size / 2;
        if (dx * dx + dy * dy < 12) return Rgb{240, 240, 240};
        return y < size / 2 ? Rgb{40, 60, static_cast<std::uint8_t>(180 + 10 * i)} : Rgb{static_cast<std::uint8_t>(x * 7), 140, 30};
    });
}

Bytes audioBytes() {
    Bytes bytes(6000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 29 + i / 97);
    return bytes;
}

const char* opName(FileOp op) {
    switch (op) {
    case FileOp::Create: return "create";
    case FileOp::OpenExisting: return "open";
    case FileOp::Write: return "write";
    case FileOp::Seek: return "seek";
    case FileOp::SetLength: return "set length";
    default: return "other";
    }
}

// One run of frameconv on a disk that the test sets up afresh each time.
struct Outcome {
    int code = 0;
    std::string console;
    MemoryFileSystem::Bytes stream;
};

template <typename Setup>
Outcome runOn(Setup setup, const std::string& line, FileOp op, int failing, MemoryFileSystem* keep = nullptr) {
    MemoryFileSystem fs;
    setup(fs);
    if (failing >= 0) fs.failAt(op, failing);
    StringConsole console;
    Outcome outcome;
    {
        PlatformOverride use(&fs, &console);
        outcome.code = runFrameconv(frameconvArgs(line));
    }
    outcome.console = console.output();
    if (keep) *keep = fs;
    return outcome;
}

// ---- still pictures ---------------------------------------------------------------------------------------

void stillDisk(MemoryFileSystem& fs) {
    fs.addFile("d/a.bmp", picture_files::bmp(frame(16, 0)));
    fs.addFile("d/b.bmp", picture_files::bmp(frame(16, 1)));
    fs.addFile("out/b.BIN", "older");
}

TEST(OutputFaults, BitmapFileThatCannotBeCreatedOrWrittenFailsTheRunButNotTheWalk) {
    MemoryFileSystem clean;
    ASSERT_EQ(runOn(stillDisk, "d out /v0 /y", FileOp::Write, -1, &clean).code, 0);
    const auto a = clean.contents("out/a.BIN"), b = clean.contents("out/b.BIN");
    ASSERT_EQ(a.size(), 10003u);
    ASSERT_EQ(b.size(), 10003u);

    struct Case {
        FileOp op;
        int failing;
        std::string message;
        const char* brokenPath;          // the bitmap file that fails
        MemoryFileSystem::Bytes broken;  // what is left of it
    };
    const MemoryFileSystem::Bytes older{'o', 'l', 'd', 'e', 'r'};
    const Case cases[] = {
        {FileOp::Create, 0, "Couldn't open output file: \"out/a.BIN\"\n", "out/a.BIN", {}},
        {FileOp::Create, 1, "Couldn't open output file: \"out/b.BIN\"\n", "out/b.BIN", older},
        {FileOp::Write, 0, std::string("\r\nWrite error: ") + kNoSpace + "\n", "out/a.BIN", {}},
        {FileOp::Write, 1, std::string("\r\nWrite error: ") + kNoSpace + "\n", "out/b.BIN", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(opName(c.op)) + " " + std::to_string(c.failing));
        MemoryFileSystem fs;
        Outcome outcome = runOn(stillDisk, "d out /v0 /y", c.op, c.failing, &fs);
        EXPECT_EQ(outcome.code, 2);
        EXPECT_EQ(outcome.console, c.message);
        EXPECT_EQ(fs.contents(c.brokenPath), c.broken);
        // The other picture is written in full: the walk went on.
        const std::string other = std::string(c.brokenPath) == "out/a.BIN" ? "out/b.BIN" : "out/a.BIN";
        EXPECT_EQ(fs.contents(other), other == "out/a.BIN" ? a : b);
    }
}

TEST(OutputFaults, ExistingBitmapFileWithoutYesIsNeverOpened) {
    MemoryFileSystem fs;
    Outcome outcome = runOn(stillDisk, "d out /v0", FileOp::Create, 1, &fs);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.console, "out/b.BIN already exists, and will be skipped.\n");
    EXPECT_EQ(fs.calls(FileOp::Create), 1);
    EXPECT_EQ(fs.contents("out/b.BIN"), (MemoryFileSystem::Bytes{'o', 'l', 'd', 'e', 'r'}));
}

// ---- the video stream -------------------------------------------------------------------------------------

void videoDisk(MemoryFileSystem& fs) {
    for (int i = 0; i < 4; ++i) fs.addFile("clip/f" + std::to_string(i) + ".bmp", picture_files::bmp(frame(32, i)));
    const Bytes audio = audioBytes();
    fs.addFile("sound.raw", MemoryFileSystem::Bytes(audio.begin(), audio.end()));
    fs.addFile("v.zov", "an older stream");
}

constexpr const char* kVideoLine = "clip v.zov /af sound.raw /bw3000 /y /v0";

// Every output operation of a compile that succeeds, failing in turn. A failing source read is not an
// output fault: it skips its picture, which the walk survives.
TEST(OutputFaults, VideoStreamKeepsTheFramesBeforeAFailureAndAHeaderThatDescribesThem) {
    MemoryFileSystem clean;
    ASSERT_EQ(runOn(videoDisk, kVideoLine, FileOp::Write, -1, &clean).code, 0);
    const Bytes audio = audioBytes();
    const auto cleanBytes = clean.contents("v.zov");
    const Bytes cleanStream(cleanBytes.begin(), cleanBytes.end());
    testing::ZovfStream cleanParsed;
    ASSERT_EQ(testing::checkZovf(cleanStream, cleanParsed, audio, 7843.0), "");
    ASSERT_EQ(cleanParsed.frames.size(), 4u);
    ASSERT_TRUE(cleanParsed.hasAudio);

    int failures = 0;
    for (FileOp op : {FileOp::Create, FileOp::OpenExisting, FileOp::Write, FileOp::Seek, FileOp::SetLength}) {
        for (int n = 0; n < clean.calls(op); ++n) {
            SCOPED_TRACE(std::string(opName(op)) + " " + std::to_string(n));
            MemoryFileSystem fs;
            Outcome outcome = runOn(videoDisk, kVideoLine, op, n, &fs);
            if (outcome.code == 0) {
                // Only a source picture can fail without failing the run: it is skipped.
                EXPECT_EQ(op, FileOp::Seek);
                EXPECT_EQ(outcome.console, "Error reading file data.\n");
                continue;
            }
            ++failures;
            EXPECT_EQ(outcome.code, 2);
            const bool reported = outcome.console == std::string("\r\nWrite error: ") + kNoSpace + "\n" ||
                                  outcome.console == "\r\nCouldn't open destination: v.zov\n";
            EXPECT_TRUE(reported) << outcome.console;

            const auto bytes = fs.contents("v.zov");
            if (op == FileOp::Create) {
                // The stream was never made: the older file is as it was.
                EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "an older stream");
                continue;
            }
            if (bytes.empty()) continue;  // not even the header could be written
            const Bytes stream(bytes.begin(), bytes.end());
            testing::ZovfStream parsed;
            ASSERT_EQ(testing::checkZovf(stream, parsed, audio, 7843.0), "");
            EXPECT_LT(parsed.frames.size(), 4u);
            // The frames it holds are those of the run without failure, byte for byte.
            ASSERT_EQ(parsed.headerLength, cleanParsed.headerLength);
            ASSERT_LE(stream.size(), cleanStream.size());
            EXPECT_TRUE(std::equal(stream.begin() + parsed.headerLength, stream.end(),
                                   cleanStream.begin() + parsed.headerLength));
        }
    }
    EXPECT_GT(failures, 20);
}

TEST(OutputFaults, IndividualBitmapFailureDuringACompileLetsTheVideoGoOn) {
    MemoryFileSystem fs;
    Outcome outcome = runOn(videoDisk, "clip v.zov /c /i /y /v0", FileOp::Create, 2, &fs);
    // Create 0 is the stream, 1 the first picture's bitmap, 2 the second's.
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.console, "Couldn't open output file: \"clip/f1.BIN\"\n");
    EXPECT_FALSE(fs.exists("clip/f1.BIN"));
    EXPECT_TRUE(fs.exists("clip/f3.BIN"));
    const auto bytes = fs.contents("v.zov");
    testing::ZovfStream parsed;
    ASSERT_EQ(testing::checkZovf(Bytes(bytes.begin(), bytes.end()), parsed), "");
    EXPECT_EQ(parsed.frames.size(), 4u);
}

}  // namespace
}  // namespace zov
