#include "view_test_support.h"

#include "common/console/console.h"
#include "formats/vic_colours.h"

namespace zov {
namespace {

constexpr int kBlack = 0, kWhite = 1, kDarkGrey = 11, kMidGrey = 12, kLightGrey = 15;

// A hand-made screen: every pixel's role and every card's colours differ from their neighbours', so that a
// wrong bit order, card index or nibble shows in the picture.
struct HandMadeScreen {
    bool hires = false;
    int background = 6;

    int pixelsAcross() const { return hires ? 320 : 160; }
    int role(int px, int py) const { return ((px * 7 + py * 13 + (px / 3) * py) >> 1) % (hires ? 2 : 4); }
    std::uint8_t matrix(int card) const { return static_cast<std::uint8_t>(card * 37 + 0x5A); }
    // The high nibble is noise that the chip ignores.
    std::uint8_t colourRam(int card) const { return static_cast<std::uint8_t>((card * 5 + 1) & 0x0F) | 0xA0; }

    Bytes bitmap() const {
        Bytes bytes(8000, 0);
        int bits = hires ? 1 : 2;
        for (int py = 0; py < 200; ++py)
            for (int px = 0; px < pixelsAcross(); ++px) {
                int perByte = 8 / bits;
                std::size_t at = static_cast<std::size_t>((py / 8) * 320 + (px / perByte) * 8 + py % 8);
                int shift = 8 - bits * (px % perByte + 1);
                bytes[at] |= static_cast<std::uint8_t>(role(px, py) << shift);
            }
        return bytes;
    }

    // The file in the layout of a COLOR setting; bitmapRows card rows when the layout cuts the bitmap.
    Bytes file(int colour, int bitmapRows) const {
        Bytes bytes;
        auto put = [&](const Bytes& part) { bytes.insert(bytes.end(), part.begin(), part.end()); };
        Bytes matrixBytes(1000), colourBytes(1000), map = bitmap();
        for (int card = 0; card < 1000; ++card) {
            matrixBytes[static_cast<std::size_t>(card)] = matrix(card);
            colourBytes[static_cast<std::size_t>(card)] = colourRam(card);
        }
        bool cut = colour == 0 || colour == 2;
        Bytes bitmapPart(map.begin(), map.begin() + (cut ? bitmapRows * 320 : 8000));
        put(colour == 2 ? Bytes{0x00, 0x1C} : Bytes{0x00, 0x20});
        if (colour == 2) {
            put(matrixBytes);
            Bytes tail(24, 0);
            if (!hires) tail[0] = static_cast<std::uint8_t>(background), tail[1] = 0x07;  // FG Yellow
            put(tail);
        }
        put(bitmapPart);
        if (colour == 3) put(matrixBytes);
        if (colour & 1) {
            put(colourBytes);
            put({static_cast<std::uint8_t>(background)});
        }
        return bytes;
    }

    // The palette index a screen pixel must show, worked out from the layout's description.
    int expected(int colour, int bitmapRows, int x, int y) const {
        int card = (y / 8) * 40 + x / 8;
        bool cut = colour == 0 || colour == 2;
        bool inBitmap = !cut || y / 8 < bitmapRows;
        int px = hires ? x : x / 2;
        int r = inBitmap ? role(px, y) : 0;
        bool hasMatrix = colour & 2;
        int high = matrix(card) >> 4, low = matrix(card) & 0x0F;
        if (hires) {
            if (hasMatrix) return r ? high : low;
            int off = colour == 1 ? background : kBlack;
            return r ? (off == kWhite ? kBlack : kWhite) : off;
        }
        switch (r) {
        case 0: return colour == 0 ? kLightGrey : background;
        case 1: return hasMatrix ? high : kDarkGrey;
        case 2: return hasMatrix ? low : kMidGrey;
        default:
            if (colour == 2) return 7;
            return colour & 1 ? colourRam(card) & 0x0F : kBlack;
        }
    }
};

struct LayoutCase {
    bool hires;
    int colour;
    int bitmapRows;  // for the layouts that cut the bitmap after the picture
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << (c.hires ? "hi-res" : "multicolour") << " COLOR " << c.colour << ", " << c.bitmapRows << " rows";
}

class BitmapView : public ViewRun, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(BitmapView, EveryScreenPixelShowsItsRolesColour) {
    const LayoutCase c = GetParam();
    HandMadeScreen screen;
    screen.hires = c.hires;
    put("pic.bin", screen.file(c.colour, c.bitmapRows));
    ASSERT_EQ(run(std::string("pic.bin pic.png") + (c.hires ? " --hires" : "")), kViewDone) << console.output();
    EXPECT_NE(console.output().find(formatted("COLOR %d", c.colour)), std::string::npos) << console.output();

    RgbImage picture = png("pic.png");
    ASSERT_EQ(picture.width(), 320);
    ASSERT_EQ(picture.height(), 200);
    const VicPaletteRgb& palette = peptoPalette();
    int wrong = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            int want = screen.expected(c.colour, c.bitmapRows, x, y);
            if (picture.at(x, y) != palette[static_cast<std::size_t>(want)] && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " should be colour " << want;
        }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, BitmapView,
                         ::testing::Values(LayoutCase{false, 3, 25}, LayoutCase{false, 1, 25},
                                           LayoutCase{false, 2, 25}, LayoutCase{false, 2, 17},
                                           LayoutCase{false, 0, 25}, LayoutCase{false, 0, 1},
                                           LayoutCase{true, 3, 25}, LayoutCase{true, 1, 25},
                                           LayoutCase{true, 2, 25}, LayoutCase{true, 2, 9},
                                           LayoutCase{true, 0, 12}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return std::string(info.param.hires ? "HiRes" : "Multicolour") + "Color" +
                                    std::to_string(info.param.colour) + "Rows" +
                                    std::to_string(info.param.bitmapRows);
                         });

TEST_F(ViewRun, BorderSurroundsTheScreenInItsColour) {
    HandMadeScreen screen;
    put("pic.bin", screen.file(3, 25));
    ASSERT_EQ(run("pic.bin framed.png --border=2 --palette colodore"), kViewDone) << console.output();
    RgbImage framed = png("framed.png");
    ASSERT_EQ(framed.width(), 384);
    ASSERT_EQ(framed.height(), 272);
    const VicPaletteRgb& palette = colodorePalette();
    for (auto [x, y] : {std::pair{0, 0}, {383, 271}, {31, 100}, {352, 100}, {200, 34}, {200, 235}})
        EXPECT_EQ(framed.at(x, y), palette[2]) << x << "," << y;
    // The screen itself sits inside, unmoved.
    for (auto [x, y] : {std::pair{0, 0}, {319, 199}, {123, 77}})
        EXPECT_EQ(framed.at(32 + x, 35 + y), palette[static_cast<std::size_t>(screen.expected(3, 25, x, y))]);

    // Without a colour the border takes the background colour.
    ASSERT_EQ(run("pic.bin framed.png --border"), kViewDone);
    EXPECT_EQ(png("framed.png").at(0, 0), peptoPalette()[6]);
}

TEST_F(ViewRun, FilesThatFitNoLayoutAreRefused) {
    HandMadeScreen screen;
    Bytes good = screen.file(3, 25);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes wrongLoad = good;
    wrongLoad[1] = 0x40;
    Bytes oneMore = good;
    oneMore.push_back(0);
    Bytes halfRow = screen.file(0, 3);
    halfRow.resize(halfRow.size() - 160);
    Bytes noRows = screen.file(2, 1);
    noRows.resize(1026);
    for (const Case& c : {Case{"load address", wrongLoad}, Case{"length", oneMore}, Case{"half a card row", halfRow},
                          Case{"no bitmap", noRows}, Case{"one byte", Bytes{0x00}}}) {
        put("bad.bin", c.bytes);
        EXPECT_EQ(run("bad.bin bad.png"), kViewUnreadableInput) << c.what;
        EXPECT_NE(console.output().find("bad.bin: not a bitmap file"), std::string::npos) << c.what;
        EXPECT_FALSE(fs.exists("bad.png")) << c.what;
    }
}

TEST_F(ViewRun, UnwritablePictureIsReported) {
    put("pic.bin", HandMadeScreen{}.file(3, 25));
    fs.failAt(FileOp::Write, 0);
    EXPECT_EQ(run("pic.bin pic.png"), kViewWriteFailed);
    EXPECT_EQ(console.output(), "Write error: No space left on device\n");
    EXPECT_EQ(run("pic.bin nodir/pic.png"), kViewWriteFailed);
    EXPECT_EQ(console.output(), "Couldn't open destination: nodir/pic.png\n");
}

}  // namespace
}  // namespace zov
