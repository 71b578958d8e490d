#include "common/platform/memory_platform.h"
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"
#include "tests/frameconv/vicimage/export_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zov {
namespace {

using fixture::buildPicture;

// Multicolour bytes of roles 0 1 2 3 in a row, and their rotations one pixel on.
constexpr std::uint8_t kRamp[4] = {0x1B, 0x6C, 0xB1, 0xC6};

int diagonal(int x, int y) { return (x + y) % 4; }

std::uint8_t bitmapByte(const VicPicture& p, int cardRow, int column, int k) {
    return p.image.bitmap[cardRow * 320 + column * 8 + k];
}

TEST(ExportVicImage, FullScreenMulticolourHasNoFill) {
    VicPicture p;
    buildPicture(p, 160, 200, 4, 3, 0, diagonal);
    ASSERT_EQ(p.exportVicImage(true), 8000);
    for (int r = 0; r < 25; ++r)
        for (int c = 0; c < 40; ++c) {
            for (int k = 0; k < 8; ++k) ASSERT_EQ(bitmapByte(p, r, c, k), kRamp[k % 4]) << r << "," << c;
            EXPECT_EQ(p.image.matrix[r * 40 + c], 0x10 + (r * 40 + c) % 200);
            EXPECT_EQ(p.image.colourRam[r * 40 + c], 0xF0 + (r * 40 + c) % 16);
        }
    for (int i = 8000; i < 8192; ++i) EXPECT_EQ(p.image.bitmap[i], 0x00);
    for (int i = 1000; i < 1024; ++i) {
        EXPECT_EQ(p.image.matrix[i], 0x00);
        EXPECT_EQ(p.image.colourRam[i], 0xF0);
    }
}

// 96 × 96 multicolour, centred: 24 × 12 cards at card row 7 and card column 8, border colour Blue.
TEST(ExportVicImage, CentredPictureWithAndWithoutFill) {
    for (bool fill : {true, false}) {
        SCOPED_TRACE(fill ? "fill" : "no fill");
        VicPicture p;
        buildPicture(p, 96, 96, 4, 3, 7, diagonal);
        p.colours.roleColours[4] = kBlue;
        ASSERT_EQ(p.exportVicImage(fill), 12 * 320);
        for (int r = 0; r < 25; ++r) {
            const bool pictureRow = r >= 7 && r < 19;
            for (int c = 0; c < 40; ++c) {
                const bool inside = pictureRow && c >= 8 && c < 32;
                const int card = (r - 7) * 24 + (c - 8);
                const std::uint8_t bitmapOutside = pictureRow || fill ? 0xFF : 0x00;
                for (int k = 0; k < 8; ++k)
                    ASSERT_EQ(bitmapByte(p, r, c, k), inside ? kRamp[k % 4] : bitmapOutside) << r << "," << c;
                const std::uint8_t matrixOutside = pictureRow || fill ? 0x66 : 0x00;
                const std::uint8_t ramOutside = pictureRow || fill ? 0xF6 : 0xF0;
                EXPECT_EQ(p.image.matrix[r * 40 + c], inside ? 0x10 + card % 200 : matrixOutside);
                EXPECT_EQ(p.image.colourRam[r * 40 + c], inside ? 0xF0 + card % 16 : ramOutside);
            }
        }
    }
}

TEST(ExportVicImage, LastCardColumnOfAnUnevenWidthShowsTheHighestRole) {
    struct Case {
        int width, cardWidth, lastScreenColumn;
        std::uint8_t lastByte;
    };
    // 98 pixels: 25 cards from column 7, the last card's pixels 2 and 3 are 11. 314 hi-res pixels: 40
    // cards, the last card's pixels 2-7 are 1. The padding columns of the buffer are not read.
    for (const Case c : {Case{98, 4, 31, 0x0F}, Case{314, 8, 39, 0x3F}}) {
        SCOPED_TRACE(c.width);
        VicPicture p;
        buildPicture(p, c.width, 16, c.cardWidth, 2, 0, [&](int x, int) { return x < c.width ? 0 : 1; });
        ASSERT_EQ(p.exportVicImage(true), 640);
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(bitmapByte(p, 1, c.lastScreenColumn, k), c.lastByte);
            EXPECT_EQ(bitmapByte(p, 1, c.lastScreenColumn - 1, k), 0x00);
        }
    }
}

TEST(ExportVicImage, HiResPicturePacksEightPixelsAndLeavesColourRamAlone) {
    VicPicture p;
    buildPicture(p, 320, 200, 8, 3, 0, [](int x, int y) { return (x + y) % 2; });
    p.cardColours.colourRam.reset();  // not needed in hi-res
    ASSERT_EQ(p.exportVicImage(true), 8000);
    for (int r = 0; r < 25; ++r)
        for (int c = 0; c < 40; ++c) {
            for (int k = 0; k < 8; ++k) ASSERT_EQ(bitmapByte(p, r, c, k), k % 2 ? 0xAA : 0x55);
            EXPECT_EQ(p.image.matrix[r * 40 + c], 0x10 + (r * 40 + c) % 200);
        }
    for (int i = 0; i < 1024; ++i) EXPECT_EQ(p.image.colourRam[i], 0x00);
}

TEST(ExportVicImage, FailsWithoutItsInputs) {
    struct Case {
        const char* name;
        int colourArrays;
        bool dither, matrix, ram;
        int result;
    };
    for (const Case c : {Case{"no dither buffer", 3, false, true, true, 0},
                         Case{"no colour matrix", 2, true, false, true, 0},
                         Case{"no Color RAM array but wanted", 1, true, true, false, 0},
                         Case{"no Color RAM array, not wanted", 2, true, true, false, 3840}}) {
        SCOPED_TRACE(c.name);
        StringConsole console;
        PlatformOverride use(nullptr, &console);
        VicPicture p;
        buildPicture(p, 96, 96, 4, c.colourArrays, 7, diagonal);
        if (!c.dither) p.planes.lumaDither.reset();
        if (!c.matrix) p.cardColours.colourMatrix.reset();
        if (!c.ram) p.cardColours.colourRam.reset();
        EXPECT_EQ(p.exportVicImage(true), c.result);
        EXPECT_EQ(console.output(), "");
    }
}

// The video encoder aims a picture's areas into another picture's block, the matrix possibly inside the
// bitmap area. Rows of the matrix outside the picture must then spare the picture's bitmap bytes.
struct OverlapCase {
    const char* name;
    int top, heightInCards;
    int bitmapOffset, matrixOffset;
    std::vector<int> matrixRowsWritten;  // the others outside the picture keep what the bitmap put there
    bool tailZeroed;
};

TEST(ExportVicImage, MatrixInsideTheBitmapAreaSparesThePictureBytes) {
    std::vector<int> allRows(25);
    for (int j = 0; j < 25; ++j) allRows[j] = j;
    const std::vector<OverlapCase> cases = {
        // rows 0-2 lie in the empty top rows but before the picture's end; row 24 would reach into the
        // picture (byte 999 >= 960), and so would the 24 spare bytes
        {"matrix in the empty top rows", 3, 21, 0, 0, {}, false},
        // the matrix starts right at the end of the picture's bitmap bytes: row 0's first byte is not
        // past that end
        {"matrix right after the picture", 4, 12, 0, 5120, {1, 2, 3, 16, 17, 18, 19, 20, 21, 22, 23, 24}, true},
        {"matrix in the KiB below the bitmap", 0, 25, 1024, 0, allRows, true},
        {"matrix beyond the bitmap area", 7, 12, 0, 8192, allRows, true},
    };
    for (const OverlapCase& c : cases) {
        SCOPED_TRACE(c.name);
        // The picture exported into its own block, for comparison.
        VicPicture reference;
        buildPicture(reference, 160, c.heightInCards * 8, 4, 2, c.top, diagonal);
        reference.colours.roleColours[4] = kRed;
        ASSERT_GT(reference.exportVicImage(true), 0);

        VicImage working;
        ASSERT_TRUE(working.create());
        std::memset(working.block(), 0x5A, VicImage::kBlockSize);
        VicPicture slot;
        buildPicture(slot, 160, c.heightInCards * 8, 4, 2, c.top, diagonal);
        slot.colours.roleColours[4] = kRed;
        slot.image.bitmap = working.block() + c.bitmapOffset;
        slot.image.matrix = working.block() + c.matrixOffset;
        slot.image.colourRam = working.block() + VicImage::kColourRamOffset;
        ASSERT_EQ(slot.exportVicImage(true), c.heightInCards * 320);

        const std::uint8_t* bitmap = slot.image.bitmap;
        const std::uint8_t* matrix = slot.image.matrix;
        for (int i = c.top * 320; i < (c.top + c.heightInCards) * 320; ++i)
            ASSERT_EQ(bitmap[i], reference.image.bitmap[i]) << "picture byte " << i;
        for (int j = 0; j < 25; ++j) {
            const bool pictureRow = j >= c.top && j < c.top + c.heightInCards;
            const bool written = pictureRow || std::find(c.matrixRowsWritten.begin(), c.matrixRowsWritten.end(), j) !=
                                                   c.matrixRowsWritten.end();
            if (written) {
                EXPECT_EQ(std::memcmp(matrix + 40 * j, reference.image.matrix + 40 * j, 40), 0) << "row " << j;
            } else {
                // what the bitmap export put there
                const int offset = c.matrixOffset - c.bitmapOffset + 40 * j;
                EXPECT_EQ(std::memcmp(matrix + 40 * j, reference.image.bitmap + offset, 40), 0) << "row " << j;
            }
        }
        for (int i = 1000; i < 1024; ++i) {
            const int offset = c.matrixOffset - c.bitmapOffset + i;
            EXPECT_EQ(matrix[i], c.tailZeroed ? 0x00 : reference.image.bitmap[offset]) << i;
        }
    }
}

}  // namespace
}  // namespace zov
