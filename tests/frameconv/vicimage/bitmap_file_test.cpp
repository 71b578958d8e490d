#include "common/platform/memory_platform.h"
#include "formats/palette.h"
#include "frameconv/picture/picture_export.h"
#include "frameconv/picture/vic_picture.h"
#include "frameconv/vicimage/bitmap_file.h"
#include "tests/frameconv/vicimage/export_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

/// An image whose three areas are told apart by their bytes.
void markAreas(VicImage& image) {
    ASSERT_TRUE(image.create());
    for (int i = 0; i < 8192; ++i) image.bitmap[i] = static_cast<std::uint8_t>(i % 251);
    for (int i = 0; i < 1024; ++i) image.matrix[i] = static_cast<std::uint8_t>(0x40 + i % 61);
    for (int i = 0; i < 1024; ++i) image.colourRam[i] = static_cast<std::uint8_t>(0xF0 + i % 13);
}

// A piece of the expected file: an area's first n bytes, or n copies of a byte.
struct Piece {
    enum Kind { Bitmap, Matrix, ColourRam, Fill } kind;
    int count;
    std::uint8_t value = 0;
};

Bytes assemble(const VicImage& image, unsigned loadAddress, const std::vector<Piece>& pieces) {
    Bytes bytes = {static_cast<std::uint8_t>(loadAddress & 0xFF), static_cast<std::uint8_t>(loadAddress >> 8)};
    for (const Piece& p : pieces) {
        const std::uint8_t* area = p.kind == Piece::Bitmap ? image.bitmap
                                   : p.kind == Piece::Matrix ? image.matrix
                                   : p.kind == Piece::ColourRam ? image.colourRam : nullptr;
        if (area)
            bytes.insert(bytes.end(), area, area + p.count);
        else
            bytes.insert(bytes.end(), static_cast<std::size_t>(p.count), p.value);
    }
    return bytes;
}

// Picture at card row 7, 12 card rows: its bitmap ends at byte 6080. Background Blue (6), FG Brown (9).
TEST(BitmapFile, LayoutForEveryColourSettingAndMode) {
    struct Case {
        int colour;
        bool multicolour;
        std::size_t length;
        unsigned loadAddress;
        std::vector<Piece> pieces;
    };
    const Piece bg{Piece::Fill, 1, 6};
    const std::vector<Case> cases = {
        {0, true, 6082, 0x2000, {{Piece::Bitmap, 6080}}},
        {1, true, 9003, 0x2000, {{Piece::Bitmap, 8000}, {Piece::ColourRam, 1000}, bg}},
        {2, true, 7106, 0x1C00, {{Piece::Matrix, 1000}, bg, {Piece::Fill, 1, 9}, {Piece::Fill, 22, 0}, {Piece::Bitmap, 6080}}},
        {3, true, 10003, 0x2000, {{Piece::Bitmap, 8000}, {Piece::Matrix, 1000}, {Piece::ColourRam, 1000}, bg}},
        {0, false, 6082, 0x2000, {{Piece::Bitmap, 6080}}},
        {1, false, 9003, 0x2000, {{Piece::Bitmap, 8000}, {Piece::Fill, 1000, 0xF0}, bg}},
        {2, false, 7106, 0x1C00, {{Piece::Matrix, 1000}, {Piece::Fill, 24, 0}, {Piece::Bitmap, 6080}}},
        {3, false, 10003, 0x2000, {{Piece::Bitmap, 8000}, {Piece::Matrix, 1000}, {Piece::Fill, 1000, 0xF0}, bg}},
    };
    VicImage image;
    markAreas(image);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "COLOR " << c.colour << (c.multicolour ? " multicolour" : " hi-res"));
        BitmapFileLayout layout;
        layout.colourArrays = c.colour;
        layout.multicolour = c.multicolour;
        layout.backgroundColour = kBlue;
        layout.foregroundColour = kBrown;
        layout.topCardRow = 7;
        layout.bitmapBytes = 12 * 320;
        const Bytes file = bitmapFileBytes(image, layout);
        EXPECT_EQ(file.size(), c.length);
        EXPECT_EQ(file, assemble(image, c.loadAddress, c.pieces));
    }
}

TEST(BitmapFile, CutBitmapNeverReachesPastTheScreen) {
    VicImage image;
    markAreas(image);
    BitmapFileLayout layout;
    layout.colourArrays = 0;
    layout.topCardRow = -2;  // a picture taller than the screen, centred
    layout.bitmapBytes = 31 * 320;
    EXPECT_EQ(bitmapFileBytes(image, layout), assemble(image, 0x2000, {{Piece::Bitmap, 8000}}));
}

// A still multicolour picture whose pixels are exactly its role colours, dithered and exported: the default
// file is 10003 bytes loading at 0x2000, with the matrix at 0x3F40, the Color RAM at 0x4328 and the
// background at 0x4710.
TEST(BitmapFile, DitheredStillPictureGivesTheDefaultFile) {
    VicPicture p;
    fixture::buildPicture(p, 96, 96, 4, 3, 7, [](int, int) { return 0; });
    p.colours.roleColours[0] = kBlue;
    const int luminance[4] = {64, 80, 120, 0};  // Blue, DGray, MGray, Black (colours 6, 11, 12, 0)
    p.colours.roleColours[3] = kBlack;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            p.planes.luminancePlane[y * 96 + x] = static_cast<std::uint8_t>(luminance[(x / 4 + y) % 4]);
    const QuantStats stats = p.quantisePicture();
    EXPECT_EQ(stats.lumaAbsErrorSum, 0.0);
    const int bitmapBytes = p.exportVicImage(true);
    ASSERT_EQ(bitmapBytes, 3840);

    const Bytes file = bitmapFileBytes(p.image, bitmapFileLayout(p, bitmapBytes));
    ASSERT_EQ(file.size(), 10003u);
    EXPECT_EQ(file[0], 0x00);
    EXPECT_EQ(file[1], 0x20);
    auto at = [&](unsigned address) { return file[address - 0x2000 + 2]; };
    EXPECT_EQ(at(0x2000), 0xFF);                       // fill above the picture
    EXPECT_EQ(at(0x2000 + 7 * 320 + 8 * 8), 0x00);     // first picture card, row 0: four pixels of role 0
    EXPECT_EQ(at(0x2000 + 7 * 320 + 8 * 8 + 1), 0x55); // row 1: role 1
    EXPECT_EQ(at(0x2000 + 7 * 320 + 9 * 8 + 3), 0x00); // next card starts one role on: 1 + 3 = role 0
    EXPECT_EQ(at(0x3F40), 0x00);                       // matrix above the picture: Black fill
    EXPECT_EQ(at(0x3F40 + 7 * 40 + 8), 0x10);          // the picture's first card
    EXPECT_EQ(at(0x4328 + 7 * 40 + 9), 0xF1);
    EXPECT_EQ(at(0x4710), kBlue);
}

TEST(BitmapFile, SavedThroughTheFileSystem) {
    VicImage image;
    markAreas(image);
    BitmapFileLayout layout;
    struct Case {
        const char* name;
        FileOp failing;
        bool saved;
        const char* message;
    };
    for (const Case c : {Case{"written", FileOp::Count_, true, ""},
                         Case{"cannot create", FileOp::Create, false, "Couldn't open output file: \"pic.bin\"\n"},
                         Case{"write fails", FileOp::Write, false, "\r\nWrite error: No space left on device\n"}}) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem fs;
        StringConsole console;
        PlatformOverride use(&fs, &console);
        if (c.failing != FileOp::Count_) {
            fs.failAt(c.failing, 0);
        }
        EXPECT_EQ(saveBitmapFile("pic.bin", image, layout), c.saved);
        EXPECT_EQ(console.output(), c.message);
        if (c.saved) {
            EXPECT_EQ(fs.contents("pic.bin"), bitmapFileBytes(image, layout));
        }
    }
}

}  // namespace
}  // namespace zov
