// frameconv end to end on still pictures: walking a tree, writing one bitmap file per picture, and the
// driver's messages.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/command_line.h"
#include "support/frameconv_run.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

using picture_files::bmp;
using picture_files::GreyGrid;
using picture_files::ppm;
using picture_files::Rgb;
using picture_files::RgbGrid;

// A colourful test picture: red, blue and yellow areas with a grey ramp.
RgbGrid colourful(int width, int height, int shift = 0) {
    return RgbGrid::generate(width, height, [=](int x, int y) {
        int sx = x + shift;
        if (y < height / 3) return Rgb{220, 30, 30};
        if (sx < width / 3) return Rgb{40, 40, 200};
        if (y > height * 2 / 3) return Rgb{230, 220, 40};
        auto g = static_cast<std::uint8_t>(sx * 255 / width);
        return Rgb{g, g, g};
    });
}

class StillConversion : public ::testing::Test, protected FrameconvOnMemory {};

TEST_F(StillConversion, DefaultsGiveOneMulticolourBitmapFile) {
    fs.addFile("a.bmp", bmp(colourful(160, 200)));
    EXPECT_EQ(run("a.bmp a.bin"), 0);
    EXPECT_EQ(console.output(), " File: \"a.bmp\"\n");
    auto file = fs.contents("a.bin");
    ASSERT_EQ(file.size(), 10003u);
    EXPECT_EQ(file[0], 0x00);
    EXPECT_EQ(file[1], 0x20);
    // The FG role is Black in every card's Color RAM byte (low nibble).
    for (int card = 0; card < 1000; ++card) ASSERT_EQ(file[2 + 8000 + 1000 + card] & 0x0F, 0) << card;
}

TEST_F(StillConversion, TreeWithStarDirectoryAndFileDestinations) {
    fs.addFile("pics/one.bmp", bmp(colourful(96, 96)));
    fs.addFile("pics/two.PPM", ppm(colourful(96, 96, 5)));
    fs.addFile("pics/sub/three.bmp", bmp(GreyGrid::generate(64, 40, [](int x, int) { return std::uint8_t(x * 4); })));
    fs.addFile("pics/notes.txt", "not a picture");

    EXPECT_EQ(run("pics * /r /v0"), 0);
    EXPECT_EQ(console.output(), "");
    EXPECT_EQ(fs.contents("pics/one.BIN").size(), 10003u);
    EXPECT_EQ(fs.contents("pics/two.BIN").size(), 10003u);
    EXPECT_EQ(fs.contents("pics/sub/three.BIN").size(), 10003u);

    EXPECT_EQ(run("pics out /r"), 0);
    EXPECT_EQ(console.output(), "Directory: pics/*.BMP\n File: \"one.bmp\"\nDirectory: pics/sub/*.BMP\n"
                                " File: \"three.bmp\"\nDirectory: pics/*.PPM\nDirectory: pics/sub/*.PPM\n"
                                " File: \"two.PPM\"\n");
    EXPECT_EQ(fs.contents("out/one.BIN"), fs.contents("pics/one.BIN"));
    EXPECT_EQ(fs.contents("out/sub/three.BIN"), fs.contents("pics/sub/three.BIN"));

    // An existing file as DEST: every picture is written to it in turn.
    fs.addFile("single.bin", "old");
    EXPECT_EQ(run("pics single.bin /v0"), 0);
    EXPECT_EQ(console.output(), "single.bin already exists, and will be skipped.\n"
                                "single.bin already exists, and will be skipped.\n");
    EXPECT_EQ(run("pics single.bin /v0 /y"), 0);
    EXPECT_EQ(fs.contents("single.bin"), fs.contents("out/two.BIN"));
}

TEST_F(StillConversion, ExistingOutputIsOverwrittenOnlyWithYes) {
    fs.addFile("a.bmp", bmp(colourful(160, 200)));
    fs.addFile("a.BIN", "old");
    EXPECT_EQ(run("a.bmp * /v0"), 0);
    EXPECT_EQ(fs.contents("a.BIN").size(), 3u);
    EXPECT_EQ(run("a.bmp * /y"), 0);
    EXPECT_EQ(console.output(), " File: \"a.bmp\"\na.BIN already exists, and will be overwritten.\n");
    EXPECT_EQ(fs.contents("a.BIN").size(), 10003u);
}

TEST_F(StillConversion, LayoutsFollowColourAndMode) {
    fs.addFile("a.bmp", bmp(colourful(96, 96)));  // 12 card rows starting at row 7
    struct Layout {
        const char* options;
        std::size_t size;
        unsigned loadHigh;
    };
    const Layout layouts[] = {
        {"/c0", 2 + 7 * 320 + 12 * 320, 0x20},
        {"/c1", 2 + 8000 + 1000 + 1, 0x20},
        {"/c2", 2 + 1000 + 2 + 22 + 7 * 320 + 12 * 320, 0x1C},
        {"/c3", 10003, 0x20},
        {"/m1", 2 + 1000 + 24 + 7 * 320 + 12 * 320, 0x1C},
        {"/m1 /c3", 10003, 0x20},
    };
    for (const Layout& layout : layouts) {
        EXPECT_EQ(run(std::string("a.bmp out.bin /y /v0 ") + layout.options), 0);
        auto file = fs.contents("out.bin");
        EXPECT_EQ(file.size(), layout.size) << layout.options;
        EXPECT_EQ(file.at(1), layout.loadHigh) << layout.options;
    }
}

TEST_F(StillConversion, VerboseTwoReportsStatisticsPaletteAndLoss) {
    fs.addFile("grey.bmp", bmp(GreyGrid::generate(16, 16, [](int x, int y) { return std::uint8_t((x + y) * 8); })));
    EXPECT_EQ(run("grey.bmp g.bin /v2"), 0);
    std::istringstream lines(console.output());
    std::vector<std::string> text;
    for (std::string line; std::getline(lines, line);) text.push_back(line);
    ASSERT_EQ(text.size(), 5u) << console.output();
    EXPECT_EQ(text[0], " File: \"grey.bmp\"");
    EXPECT_EQ(text[1].rfind("Luma: min 0, max 240, clipped 0, quant.err. 0", 0), 0u);
    EXPECT_EQ(text[2].rfind("Colors: Background ", 0), 0u);
    EXPECT_NE(text[2].find(", FG: 0:Black"), std::string::npos);
    EXPECT_EQ(text[3].rfind("Luma: lost ", 0), 0u);
    EXPECT_EQ(text[4], "Hue and Saturation: no loss, source image is monochrome.");
}

TEST_F(StillConversion, BadPicturesAreSkippedAndTheWalkGoesOn) {
    fs.addFile("d/a.bmp", "BM not really");
    fs.addFile("d/b.bmp", bmp(colourful(161, 8)));
    fs.addFile("d/c.bmp", bmp(colourful(8, 8)));
    EXPECT_EQ(run("d out /v0"), 0);
    EXPECT_EQ(console.output(), "\r\nNo bitmap found in file ...skipping.\n"
                                "Bitmap > 40 cards (160 pixels) wide ...skipping.\n");
    EXPECT_FALSE(fs.exists("out/a.BIN"));
    EXPECT_FALSE(fs.exists("out/b.BIN"));
    EXPECT_TRUE(fs.exists("out/c.BIN"));
}

TEST_F(StillConversion, OutputFileFailuresAreReportedAndTheWalkGoesOn) {
    fs.addFile("d/a.bmp", bmp(colourful(8, 8)));
    fs.addFile("d/b.bmp", bmp(colourful(8, 8)));
    fs.failAt(FileOp::Create, 0);
    fs.failAt(FileOp::Write, 0, true);
    // Both pictures are tried, and the run ends as failed.
    EXPECT_EQ(run("d out /v0"), 2);
    EXPECT_EQ(console.output(), "Couldn't open output file: \"out/a.BIN\"\n\r\nWrite error: No space left on device\n");
}

TEST_F(StillConversion, SourceOpenFailureCountsForJumpAndFrames) {
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp", "4.bmp"}) fs.addFile(std::string("d/") + name, bmp(colourful(8, 8)));
    fs.failAt(FileOp::OpenRead, 0);
    EXPECT_EQ(run("d out /v0 /j1 /f2"), 0);
    EXPECT_EQ(console.output(), "\r\nCouldn't open: d/2.bmp\n");
    EXPECT_FALSE(fs.exists("out/1.BIN"));
    EXPECT_FALSE(fs.exists("out/2.BIN"));
    EXPECT_TRUE(fs.exists("out/3.BIN"));
    EXPECT_FALSE(fs.exists("out/4.BIN"));
}

}  // namespace
}  // namespace zov
