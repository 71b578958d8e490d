// frameconv at the edges of what it takes: the largest pictures the screen holds (160 wide in multicolour,
// 320 in hi-res, 200 high) and the smallest (1 × 1), in every source format, as still pictures and as
// video frames; one pixel more is refused; and the frame counters at their largest values.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "formats/segment_player.h"
#include "support/command_line.h"
#include "support/frameconv_run.h"
#include "support/picture_files.h"
#include "support/zovf_stream.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

using picture_files::GreyGrid;
using picture_files::Rgb;
using picture_files::RgbGrid;
using Bytes = std::vector<std::uint8_t>;

enum class Format { Bmp24, Bmp8, Ppm };

MemoryFileSystem::Bytes picture(Format format, int width, int height, int seed = 0) {
    const auto colour = RgbGrid::generate(width, height, [seed](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(x * 3 + seed), static_cast<std::uint8_t>(y * 5), static_cast<std::uint8_t>((x ^ y) + seed * 9)};
    });
    switch (format) {
    case Format::Bmp24: return picture_files::bmp(colour);
    case Format::Ppm: return picture_files::ppm(colour);
    case Format::Bmp8:
        return picture_files::bmp(GreyGrid::generate(width, height, [seed](int x, int y) {
            return static_cast<std::uint8_t>(x + 2 * y + seed);
        }));
    }
    return {};
}

const char* formatName(Format format) {
    return format == Format::Bmp24 ? "24-bit BMP" : format == Format::Bmp8 ? "8-bit BMP" : "PPM";
}

using Converter = FrameconvOnMemory;

TEST(Limits, LargestAndSmallestStillPicturesInEveryFormat) {
    struct Case {
        int width, height;
        const char* options;
        std::size_t fileLength;  // 0: refused with the message
        const char* message;
    };
    // A 1-line picture is centred at card row 13; the bitmap stops after its row where there is no
    // Color RAM block.
    const Case cases[] = {
        {160, 200, "", 10003, ""},
        {160, 200, "/c0", 2 + 8000, ""},
        {320, 200, "/m1", 2 + 1024 + 8000, ""},
        {320, 200, "/m1 /c3", 10003, ""},
        {1, 1, "", 10003, ""},
        {1, 1, "/c0", 2 + 14 * 320, ""},
        {1, 1, "/m1", 2 + 1024 + 14 * 320, ""},
        {161, 8, "", 0, "Bitmap > 40 cards (160 pixels) wide ...skipping.\n"},
        {320, 8, "", 0, "Bitmap > 40 cards (160 pixels) wide ...skipping.\n"},
        {321, 8, "/m1", 0, "Bitmap > 40 cards (320 pixels) wide ...skipping.\n"},
        {8, 201, "", 0, "Bitmap > 25 cards (200 pixels) high ...skipping.\n"},
    };
    for (Format format : {Format::Bmp24, Format::Bmp8, Format::Ppm}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(formatName(format)) + " " + std::to_string(c.width) + "x" +
                         std::to_string(c.height) + " " + c.options);
            Converter r;
            r.fs.addFile("in.pic", picture(format, c.width, c.height));
            EXPECT_EQ(r.run(std::string("in.pic out.bin /v0 ") + c.options), 0);
            EXPECT_EQ(r.console.output(), c.message);
            EXPECT_EQ(r.fs.contents("out.bin").size(), c.fileLength);
        }
    }
}

// Plays every frame of a stream from empty memory; each must be well formed and end with its Frame command.
void playAll(const testing::ZovfStream& stream) {
    TargetMemory memory;
    ASSERT_TRUE(memory.allocate());
    SegmentPlayer player(memory);
    for (const testing::ZovfFrame& frame : stream.frames) {
        const PlayResult played = player.play(frame.commands.data(), frame.commands.size());
        ASSERT_TRUE(played.ok()) << "frame " << frame.number << " at " << played.offset;
    }
    EXPECT_EQ(player.framesEnded(), static_cast<int>(stream.frames.size()));
}

TEST(Limits, LargestAndSmallestPicturesCompileIntoPlayableStreams) {
    struct Case {
        int width, height;
        const char* options;
        int paddedWidth, paddedHeight, topByte, roles;
    };
    const Case cases[] = {
        {320, 200, "/m1", 320, 200, 0 * 8 | 3, 2},
        {160, 200, "/c1", 160, 200, 0 * 8 | 3, 4},
        {1, 1, "", 4, 8, 13 * 8 | 3, 4},
        {1, 1, "/m1", 8, 8, 13 * 8 | 3, 2},
    };
    for (const Case& c : cases) {
        for (Format format : {Format::Bmp24, Format::Bmp8, Format::Ppm}) {
            SCOPED_TRACE(std::string(formatName(format)) + " " + std::to_string(c.width) + "x" +
                         std::to_string(c.height) + " " + c.options);
            Converter r;
            for (int i = 0; i < 3; ++i) r.fs.addFile("clip/f" + std::to_string(i) + ".bmp", picture(format, c.width, c.height, i * 40));
            ASSERT_EQ(r.run(std::string("clip v.zov /c /bw100000 /v0 ") + c.options), 0) << r.console.output();
            EXPECT_EQ(r.console.output(), "");
            const auto bytes = r.fs.contents("v.zov");
            testing::ZovfStream stream;
            ASSERT_EQ(testing::checkZovf(Bytes(bytes.begin(), bytes.end()), stream), "");
            EXPECT_EQ(stream.width, c.paddedWidth);
            EXPECT_EQ(stream.height, c.paddedHeight);
            EXPECT_EQ(stream.topByte, c.topByte);
            EXPECT_EQ(stream.roleCount, c.roles);
            EXPECT_EQ(stream.frames.size(), 3u);
            playAll(stream);
        }
    }
}

TEST(Limits, FrameCountersAtTheirLargestValues) {
    struct Case {
        const char* options;
        int exitCode;
        std::vector<const char*> written;
    };
    const Case cases[] = {
        {"/f65535", 0, {"out/a.BIN", "out/b.BIN", "out/c.BIN"}},
        {"/j2 /f65535", 0, {"out/c.BIN"}},
        {"/j65535", 0, {}},
        {"/j99999999999", 0, {}},  // saturates at the largest count
        {"/f65536", 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Converter r;
        for (const char* name : {"d/a.bmp", "d/b.bmp", "d/c.bmp"}) r.fs.addFile(name, picture(Format::Bmp24, 8, 8));
        EXPECT_EQ(r.run(std::string("d out /v0 ") + c.options), c.exitCode);
        std::vector<const char*> written;
        for (const char* name : {"out/a.BIN", "out/b.BIN", "out/c.BIN"})
            if (r.fs.exists(name)) written.push_back(name);
        EXPECT_EQ(written.size(), c.written.size());
        for (std::size_t i = 0; i < written.size() && i < c.written.size(); ++i) EXPECT_STREQ(written[i], c.written[i]);
    }
}

}  // namespace
}  // namespace zov
