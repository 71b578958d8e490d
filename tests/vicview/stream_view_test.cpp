#include "support/stream_builder.h"
#include "view_test_support.h"

#include "vicview/contact_sheet.h"
#include "vicview/png_file.h"
#include "vicview/vic_screen.h"

namespace zov {
namespace {

using B = StreamBuilder::Bytes;

B cat(std::initializer_list<B> parts) {
    B all;
    for (const B& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Full-screen multicolour buffers of the player: bank 0 with the matrix at 0x1C00 and the bitmap at 0x2000,
// bank 1 with the bitmap at 0x4000 and the matrix at 0x6000.
const B kShowBank0 = {0xF1, 0x3B, 0x18, 0x78, 0x03};
const B kShowBank1 = {0xF1, 0x3B, 0x18, 0x80, 0x02};
const B kCard = {0x00, 0x55, 0xAA, 0xFF, 0x1B, 0xE4, 0x00, 0xFF};

B frameOneHead() {
    return cat({{0xF0, 0x87},             // DestV: dest = ref = 0x1C00
                {0xB3, 0xE8, 0x25},       // RLE_L: 1000 × 0x25, the whole matrix
                {0x98, 0x18},             // Dest +24: 0x2000
                {0x08}, kCard});          // Raw: card 0 of the bitmap
}

B frameOneRest() {
    return cat({{0xA4, 0x00, 0x08},       // Copy 8 from ref + 0x400 = 0x2000 (ref becomes 0x2000)
                {0x7E, 0x00},             // Pat_Q: unit 8 from ref + 0, three times
                {0x6F, 0xFF},             // RLE: 47 × 0xFF
                {0x97},                   // DestQ +8
                {0xD2, 0x00, 0x20, 0x10},  // Pat_L: 16 bytes from 0x2000, twice
                kShowBank0, {0x06}});     // Frame: background Blue
}

// The screen frame 1 must show, worked out by hand from its commands.
VicScreen frameOneScreen() {
    VicScreen screen;
    screen.matrix.fill(0x25);
    screen.colourRam.fill(0);
    screen.background = 6;
    for (int i = 0; i < 40; ++i) screen.bitmap[static_cast<std::size_t>(i)] = kCard[static_cast<std::size_t>(i % 8)];
    for (int i = 40; i < 87; ++i) screen.bitmap[static_cast<std::size_t>(i)] = 0xFF;
    for (int i = 0; i < 32; ++i) screen.bitmap[static_cast<std::size_t>(95 + i)] = screen.bitmap[static_cast<std::size_t>(i % 16)];
    return screen;
}

class StreamView : public ViewRun {
protected:
    RgbImage expected(const VicScreen& screen, VicMode mode = VicMode::Multicolour) {
        RenderSettings render;
        render.mode = mode;
        return renderScreen(screen, render);
    }
    static bool same(const RgbImage& a, const RgbImage& b) {
        return a.width() == b.width() && a.height() == b.height() && a.bytes() == b.bytes();
    }
};

TEST_F(StreamView, HandWrittenCommandsPlayToTheirFrames) {
    StreamBuilder stream;
    stream.frame(1, frameOneHead()).more(frameOneRest());
    // Frame 2 was dropped by the compiler; frame 3 is built in the other bank.
    stream.frame(3, cat({{0xF0, 0x90}, {0x6F, 0xE4}, {0xF0, 0x98}, {0xB3, 0xE8, 0xA9}, kShowBank1, {0x00}}));
    // Frame 4 changes one matrix byte of bank 0: the rest is still there.
    stream.frame(4, cat({{0xF0, 0x87}, {0x94}, {0x41, 0x7E}, kShowBank0, {0x02}}));
    put("clip.zov", stream.bytes());
    ASSERT_EQ(run("clip.zov out"), kViewDone) << console.output();
    EXPECT_EQ(console.output(), "out: 3 frames (frame00001.png .. frame00004.png), contact sheet out/contact.png\n");

    VicScreen one = frameOneScreen();
    VicScreen three;
    three.matrix.fill(0xA9);
    three.colourRam.fill(0);
    std::fill(three.bitmap.begin(), three.bitmap.begin() + 47, 0xE4);
    VicScreen four = one;
    four.matrix[5] = 0x7E;
    four.background = 2;
    EXPECT_TRUE(same(png("out/frame00001.png"), expected(one)));
    EXPECT_TRUE(same(png("out/frame00003.png"), expected(three)));
    EXPECT_TRUE(same(png("out/frame00004.png"), expected(four)));
    EXPECT_FALSE(fs.exists("out/frame00002.png"));

    // The contact sheet holds the three frames at half size, in order.
    RgbImage sheet = png("out/contact.png");
    ASSERT_EQ(sheet.width(), 4 + 3 * (160 + 4));
    ASSERT_EQ(sheet.height(), 4 + 100 + 4);
    EXPECT_TRUE(same(sheet.cropped(4, 4, 160, 100), expected(one).halved()));
    EXPECT_TRUE(same(sheet.cropped(4 + 164, 4, 160, 100), expected(three).halved()));
    EXPECT_TRUE(same(sheet.cropped(4 + 328, 4, 160, 100), expected(four).halved()));
}

TEST_F(StreamView, ColourRamBorderAndCropFollowTheOptions) {
    StreamBuilder::Geometry small{96, 96, 7, 4};
    StreamBuilder stream(small);
    stream.frame(1, frameOneHead()).more(frameOneRest());
    put("clip.zov", stream.bytes());

    ASSERT_EQ(run("clip.zov out --fg 7 --palette colodore --border=1"), kViewDone) << console.output();
    VicScreen screen = frameOneScreen();
    screen.colourRam.fill(7);
    RenderSettings framed;
    framed.palette = &colodorePalette();
    framed.border = true;
    framed.borderColour = 1;
    EXPECT_TRUE(same(png("out/frame00001.png"), renderScreen(screen, framed)));

    // Cropped: the 24 × 12 cards of the picture, centred at card column 8 and starting at card row 7.
    ASSERT_EQ(run("clip.zov crop --crop"), kViewDone) << console.output();
    RgbImage crop = png("crop/frame00001.png");
    EXPECT_TRUE(same(crop, expected(frameOneScreen()).cropped(64, 56, 192, 96)));
    EXPECT_EQ(png("crop/contact.png").width(), 4 + 96 + 4);
}

TEST_F(StreamView, HiResStreamsShowTwoRoles) {
    StreamBuilder stream(StreamBuilder::Geometry{320, 200, 0, 2});
    stream.frame(1, frameOneHead()).more(frameOneRest());
    put("clip.zov", stream.bytes());
    ASSERT_EQ(run("clip.zov out"), kViewDone) << console.output();
    EXPECT_TRUE(same(png("out/frame00001.png"), expected(frameOneScreen(), VicMode::HiRes)));
}

TEST_F(StreamView, AudioPacketsBecomeTheWaveFile) {
    StreamBuilder stream({}, true, 7843);
    stream.sound({0x1B, 0xE4}).frame(1, frameOneHead()).sound({0xFF}).more(frameOneRest()).sound({0x00, 0x40});
    put("clip.zov", stream.bytes());
    ASSERT_EQ(run("clip.zov out --wav out.wav"), kViewDone) << console.output();
    EXPECT_NE(console.output().find("out.wav: 20 samples of 2 bits at 7843 Hz as 16-bit WAVE\n"), std::string::npos);
    WaveContent wave = decodeWave(file("out.wav"));
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.rate, 7843u);
    const std::int16_t lo = -24576, low = -8192, high = 8192, hi = 24576;
    // Four samples a byte, the first in the top bits.
    EXPECT_EQ(wave.samples, (std::vector<std::int16_t>{lo, low, high, hi, hi, high, low, lo, hi, hi, hi, hi, lo, lo,
                                                       lo, lo, low, lo, lo, lo}));
    // A stream without audio has nothing for --wav: its frames are still written.
    StreamBuilder silent;
    silent.frame(1, frameOneHead()).more(frameOneRest());
    put("silent.zov", silent.bytes());
    EXPECT_EQ(run("silent.zov out2 --wav out2.wav"), kViewDone);
    EXPECT_NE(console.output().find("silent.zov: the stream has no audio; no out2.wav written\n"), std::string::npos);
    EXPECT_TRUE(fs.exists("out2/frame00001.png"));
    EXPECT_FALSE(fs.exists("out2.wav"));
}

TEST_F(StreamView, AStreamWithoutFramesStillGetsItsSheet) {
    // The compiler leaves 0 in the length field until it has written a frame.
    B bytes = StreamBuilder().bytes();
    std::fill(bytes.begin() + 4, bytes.begin() + 8, 0);
    put("clip.zov", bytes);
    ASSERT_EQ(run("clip.zov out"), kViewDone) << console.output();
    EXPECT_EQ(console.output(), "out: 0 frames, contact sheet out/contact.png\n");
    EXPECT_FALSE(png("out/contact.png").empty());
}

TEST(ContactSheet, LongStreamsShowEveryNthFrameInOrder) {
    const int frames = ContactSheet::kMaxThumbnails * 2 + 1;  // one frame too many for every second one
    ContactSheet sheet(frames, 4, 2);
    EXPECT_EQ(sheet.step(), 3);
    const int shown = (frames + 2) / 3;
    const int rows = (shown + 7) / 8;
    ASSERT_EQ(sheet.picture().width(), 4 + 8 * (2 + 4));
    ASSERT_EQ(sheet.picture().height(), 4 + rows * (1 + 4));
    for (int i = 0; i < frames; ++i) {
        std::uint8_t mark = static_cast<std::uint8_t>(i % 251);
        sheet.add(i, RgbImage(4, 2, Rgb{mark, static_cast<std::uint8_t>(i >> 8), 7}));
    }
    for (int slot : {0, 1, 8, shown - 1}) {
        int i = slot * 3;
        Rgb want{static_cast<std::uint8_t>(i % 251), static_cast<std::uint8_t>(i >> 8), 7};
        EXPECT_EQ(sheet.picture().at(4 + (slot % 8) * 6, 4 + (slot / 8) * 5), want) << slot;
        EXPECT_EQ(sheet.picture().at(4 + (slot % 8) * 6 + 1, 4 + (slot / 8) * 5), want) << slot;
    }
}

TEST_F(StreamView, UnwritableOutputsAreReported) {
    put("clip.zov", StreamBuilder().frame(1, cat({frameOneHead(), frameOneRest()})).bytes());
    put("taken", B{1});
    EXPECT_EQ(run("clip.zov taken"), kViewWriteFailed);
    EXPECT_EQ(console.output(), "Couldn't create directory taken\n");
    fs.failAt(FileOp::Write, 1);  // the contact sheet
    EXPECT_EQ(run("clip.zov out"), kViewWriteFailed);
    EXPECT_EQ(console.output(), "Write error: No space left on device\n");
}

}  // namespace
}  // namespace zov
