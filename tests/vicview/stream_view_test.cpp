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

// Every way a stream can be malformed is reported with the offset where it shows, and exit code 3.
TEST_F(StreamView, MalformedStreamsAreReportedWithTheirOffset) {
    struct Case {
        const char* what;
        B bytes;
        std::string message;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, const B& bytes, std::size_t offset, const std::string& text) {
        cases.push_back({what, bytes, formatted("clip.zov: malformed stream at offset %zu: ", offset) + text + "\n"});
    };
    B good = StreamBuilder().frame(1, frameOneHead()).more(frameOneRest()).bytes();
    std::size_t packets = 30, secondPacket = packets + 4 + 2 + frameOneHead().size();

    B longer = good;
    longer.push_back(0x41);
    longer[4] = static_cast<std::uint8_t>(longer.size() - 8 - 1);
    add("length field", longer, 4, formatted("bad head: the length field says %zu bytes follow it, the file has %zu",
                                             longer.size() - 9, longer.size() - 8));
    B roles = good;
    roles[26] = 3;
    add("role count", roles, 26, "bad head: role count 3; it is 4 (multicolour) or 2 (hi-res)");
    B tag = good;
    tag[12] = 'X';
    add("video tag", tag, 12, "bad head: the video chunk's format tag is not \"Q5RV\"");
    B tall = good;
    tall[25] = 1 * 8 | 3;
    add("height", tall, 18, "bad head: picture height 200 from card row 1 does not fit the 25 card rows");
    B frames = good;
    frames[20] = 2;
    add("frame count", frames, 20, "bad head: it announces 2 frames, the stream holds 1");
    B samples = StreamBuilder({}, true).sound({1, 2}).frame(1, cat({frameOneHead(), frameOneRest()})).bytes();
    samples[20] = 9;
    add("sample count", samples, 20, "bad head: it announces 9 audio samples, the stream holds 8");
    add("audio without its chunk", StreamBuilder().frame(1, cat({frameOneHead(), frameOneRest()})).sound({1}).bytes(),
        packets + 4 + 2 + frameOneHead().size() + frameOneRest().size(),
        "an audio packet in a stream without an audio chunk");
    B noVideo = {'Z', 'O', 'V', 'F', 0, 0, 0, 0, 0x48, 0x99, 0, 0};
    noVideo[4] = 4;
    add("no video chunk", noVideo, 12, "bad head: no video chunk");

    add("unknown packet", StreamBuilder().packet('X', '0', 0, false, {}).bytes(), packets,
        "unknown packet head 0x58 0x30");
    B cut = good;
    cut.resize(cut.size() - 1);
    cut[4] = static_cast<std::uint8_t>(cut.size() - 8);
    add("cut packet", cut, secondPacket, formatted("a packet of %zu bytes, but the file ends after %zu",
                                                   frameOneRest().size(), frameOneRest().size() - 1));
    add("long video packet", StreamBuilder().frame(1, B(253, 0x90)).bytes(), packets,
        "a video packet of 255 bytes; at most 254 fit");
    add("no frame number", StreamBuilder().packet('V', '0', 0, false, {0x01}).bytes(), packets,
        "a first video packet without its frame number");

    add("further packet first", StreamBuilder().more(frameOneRest()).bytes(), packets,
        "a further video packet outside a frame");
    add("frame never shown", StreamBuilder().frame(1, frameOneHead()).bytes(), packets + 4 + 2 + frameOneHead().size(),
        "the stream ends inside frame 1");
    add("next frame too early", StreamBuilder().frame(1, frameOneHead()).frame(2, frameOneRest()).bytes(), secondPacket,
        "frame 2 starts before frame 1 has ended");
    add("frame numbers backwards",
        StreamBuilder().frame(5, cat({frameOneHead(), frameOneRest()})).frame(5, frameOneRest()).bytes(),
        packets + 4 + 2 + frameOneHead().size() + frameOneRest().size() + 4, "frame number 5 after frame 5");

    std::size_t commands = packets + 6;
    add("invalid command", StreamBuilder().frame(1, {0xF0, 0x87, 0xE5, 0x00}).bytes(), commands + 2,
        "invalid command byte 0xE5");
    add("overlapping copy", StreamBuilder().frame(1, {0xF0, 0x88, 0x85, 0x04}).bytes(), commands + 2,
        "a copy whose source overlaps its destination");
    add("write beyond 0xBFFF", StreamBuilder().frame(1, {0xF0, 0xAF, 0x97, 0xB3, 0xFF, 0x00}).bytes(), commands + 3,
        "an address outside 0x0200..0xBFFF");
    add("read below 0x0200", StreamBuilder().frame(1, {0xF0, 0x88, 0xD1, 0x00, 0x01, 0x10}).bytes(), commands + 2,
        "an address outside 0x0200..0xBFFF");
    add("split command", StreamBuilder().frame(1, {0xF0, 0x87, 0x05, 1, 2}).more({3, 4, 5}).bytes(), commands + 2,
        "a command split across packets");
    add("commands after the frame", StreamBuilder().frame(1, cat({frameOneHead(), frameOneRest(), {0x90}})).bytes(),
        commands + frameOneHead().size() + frameOneRest().size(), "commands after the Frame command");

    for (const Case& c : cases) {
        put("clip.zov", c.bytes);
        EXPECT_EQ(run("clip.zov out"), kViewMalformedInput) << c.what;
        EXPECT_EQ(console.output().substr(0, console.output().find('\n') + 1), c.message) << c.what;
    }
}

TEST_F(StreamView, FramesBeforeAFaultAreKept) {
    B bytes = StreamBuilder().frame(1, cat({frameOneHead(), frameOneRest()})).frame(2, {0xE0}).bytes();
    put("clip.zov", bytes);
    EXPECT_EQ(run("clip.zov out"), kViewMalformedInput);
    EXPECT_NE(console.output().find("out: the 1 frames before it are written\n"), std::string::npos);
    EXPECT_TRUE(fs.exists("out/frame00001.png"));
    EXPECT_FALSE(fs.exists("out/contact.png"));
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
