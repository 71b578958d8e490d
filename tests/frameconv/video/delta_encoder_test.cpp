// The delta encoder: setting up the ring, choosing the slot, coding frames within a budget or rolling back,
// and handing the commands out.
#include "frameconv/video/delta_encoder.h"

#include "common/platform/memory_platform.h"
#include "formats/segment_player.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;

// A scene with colour areas and a ball at (ballX, ballY).
RgbGrid sceneWithBall(int width, int height, int ballX, int ballY) {
    return RgbGrid::generate(width, height, [=](int x, int y) {
        int dx = x - ballX, dy = y - ballY;
        if (dx * dx * 4 + dy * dy < 100) return Rgb{240, 240, 240};
        if (y < height / 3) return Rgb{60, 80, 220};
        if (y > height * 2 / 3) return Rgb{40, 160, 40};
        return Rgb{static_cast<std::uint8_t>(x * 255 / width), 120, 60};
    });
}

// Loads a picture the way the driver does for a video frame: same VicPicture, colours chosen, Black pinned.
void loadFrame(VicPicture& picture, const RgbGrid& grid) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    fs.addFile("f.bmp", picture_files::bmp(grid));
    auto file = fs.openRead("f.bmp");
    ASSERT_EQ(picture.load(*file, 0, true), 0);
    for (int i = 0; i < 4; ++i) {
        picture.colours.pinnedRoles[i] = -1;
        picture.colours.pinnedColours[i] = 16;
    }
    picture.colours.pinnedRoles[0] = picture.geometry.cardWidth == 4 ? 3 : 0;
    picture.colours.pinnedColours[0] = 0;
    picture.colours.freeRoleMask = 0;
    ASSERT_EQ(picture.chooseColours(), 0);
}

class EncoderTest : public ::testing::Test {
protected:
    VicPicture picture;
    DeltaEncoder encoder;

    void SetUp() override {
        picture.setMode(4, 3);
        ASSERT_TRUE(picture.image.create());
        loadFrame(picture, sceneWithBall(160, 200, 30, 50));
        ASSERT_EQ(encoder.init(3, 1, picture, 3), 0);
    }

    // Codes a frame and checks that the commands rebuild, on the memory as it was, exactly what the
    // encoder's model holds afterwards.
    EncodeResult encodeAndReplay(std::uint32_t budget) {
        std::vector<std::uint8_t> before(encoder.image(0).data(), encoder.image(0).data() + kTargetImageSize);
        EncodeResult result = encoder.encodeFrame(picture, budget);
        TargetMemory replay;
        EXPECT_TRUE(replay.allocate());
        std::memcpy(replay.data(), before.data(), before.size());
        if (result.codedSize > 0) {
            SegmentPlayer player(replay);
            EXPECT_TRUE(player.play(encoder.codedBytes(), encoder.codedLength()).ok());
            EXPECT_EQ(player.framesEnded(), 1);
        }
        EXPECT_EQ(std::memcmp(replay.data(), encoder.image(0).data(), kTargetImageSize), 0);
        return result;
    }
};

TEST_F(EncoderTest, InitChecksItsArgumentsAndTheRing) {
    EXPECT_EQ(encoder.init(3, 1, picture, 3), 1);  // already set up
    DeltaEncoder other;
    EXPECT_EQ(other.init(3, 3, picture, 3), 1);
    DeltaEncoder badLayout;
    EXPECT_EQ(badLayout.init(3, 1, picture, 5), 1);
    DeltaEncoder noRing;
    EXPECT_EQ(noRing.init(0, 1, picture, 3), 2);
    DeltaEncoder tooMany;
    EXPECT_EQ(tooMany.init(4, 1, picture, 3), 3);  // a fourth full-screen buffer does not fit one image
    DeltaEncoder twoImages;
    EXPECT_EQ(twoImages.init(4, 2, picture, 3), 0);
    EXPECT_EQ(encoder.store().currentSlot(), 2);
    EXPECT_FALSE(encoder.store().slot(0).valid());
}

TEST_F(EncoderTest, FirstFramesFillTheRingAndAreRebuiltByTheirCommands) {
    EncodeResult first = encodeAndReplay(100000);
    ASSERT_GT(first.codedSize, 0);
    EXPECT_EQ(first.bufferNumber, 0);
    EXPECT_EQ(first.exportResult, 25 * 320);
    EXPECT_EQ(first.rawSize, 25 * 40 * 10);
    EXPECT_EQ(first.updateSize, 9024 + 1000 + 3);
    EXPECT_EQ(first.stats.copiedPixels, 1);  // nothing to take over yet
    // DestV to 0x1C00, then the Frame command showing bitmap 0x2000 and matrix 0x1C00 in bank 0.
    const std::uint8_t* coded = encoder.codedBytes();
    EXPECT_EQ(coded[0], 0xF0);
    EXPECT_EQ(coded[1], 0x80 | (0x1C00 >> 10));
    const std::uint8_t* frame = coded + first.codedSize - 6;
    EXPECT_EQ(std::vector<std::uint8_t>(frame, frame + 6),
              (std::vector<std::uint8_t>{0xF1, 0x3B, 0x18, 0x78, 3,
                                         static_cast<std::uint8_t>(picture.colours.roleColours[0])}));
    // The picture's own image holds what the player now shows.
    EXPECT_EQ(std::memcmp(picture.image.bitmap, encoder.image(0).address(0x2000), 8000), 0);
    EXPECT_EQ(std::memcmp(picture.image.matrix, encoder.image(0).address(0x1C00), 1000), 0);
    EXPECT_EQ(encoder.store().currentSlot(), 0);

    EncodeResult second = encodeAndReplay(100000);
    EXPECT_EQ(second.bufferNumber, 1);  // slot 0 is on screen; the next free one is taken
    EXPECT_EQ(std::memcmp(encoder.image(0).address(0x4000), encoder.image(0).address(0x2000), 8000), 0);

    // The third frame goes back to slot 0, which already holds this very picture: everything is taken over
    // and the commands only skip.
    EncodeResult third = encodeAndReplay(100000);
    EXPECT_EQ(third.bufferNumber, 0);
    EXPECT_EQ(third.stats.copiedPixels, 160 * 200);
    EXPECT_LT(third.codedSize, 30);
}

TEST_F(EncoderTest, FrameOverBudgetRollsBackAndABudgetOfExactlyItsSizeAccepts) {
    ASSERT_GT(encodeAndReplay(100000).codedSize, 0);
    loadFrame(picture, sceneWithBall(160, 200, 90, 120));
    std::vector<std::uint8_t> before(encoder.image(0).data(), encoder.image(0).data() + kTargetImageSize);

    // No budget at all: the frame is coded, refused, and the model of the player's memory rolled back.
    EncodeResult probe = encoder.encodeFrame(picture, 0);
    EXPECT_EQ(probe.codedSize, 0);
    EXPECT_EQ(probe.rawSize, 0);
    EXPECT_EQ(probe.updateSize, 0);
    EXPECT_EQ(std::memcmp(before.data(), encoder.image(0).data(), kTargetImageSize), 0);
    EXPECT_EQ(encoder.store().currentSlot(), 0);
    EXPECT_FALSE(encoder.store().slot(1).valid());

    EncodeResult accepted = encodeAndReplay(100000);
    ASSERT_GT(accepted.codedSize, 0);
    const int size = accepted.codedSize;
    // The same frame again into the third slot: one byte short is refused, the exact size is taken.
    DeltaEncoder again;
    VicPicture first;
    first.setMode(4, 3);
    ASSERT_TRUE(first.image.create());
    loadFrame(first, sceneWithBall(160, 200, 30, 50));
    ASSERT_EQ(again.init(3, 1, first, 3), 0);
    ASSERT_GT(again.encodeFrame(first, 100000).codedSize, 0);
    EXPECT_EQ(again.encodeFrame(picture, static_cast<std::uint32_t>(size - 1)).codedSize, 0);
    EXPECT_EQ(again.encodeFrame(picture, static_cast<std::uint32_t>(size)).codedSize, size);
}

TEST_F(EncoderTest, DrainHandsOutWholeCommandsOnce) {
    std::uint8_t packet[254];
    CodeStats none = encoder.drain(packet, 254, true);
    EXPECT_TRUE(none.nothingToSend());

    EncodeResult result = encodeAndReplay(100000);
    ASSERT_GT(result.codedSize, 300);
    // Too little space for the first command: nothing moves.
    CodeStats tiny = encoder.drain(packet, 1, true);
    EXPECT_EQ(tiny.sum().bytes, 0);

    std::vector<std::uint8_t> drained;
    bool restart = true;
    for (int round = 0; round < 1000; ++round) {
        CodeStats piece = encoder.drain(packet, 254, restart);
        restart = false;
        int bytes = piece.sum().bytes;
        ASSERT_GE(bytes, 0);
        if (bytes == 0) break;
        EXPECT_LE(bytes, 254);
        drained.insert(drained.end(), packet, packet + bytes);
    }
    EXPECT_EQ(drained, std::vector<std::uint8_t>(encoder.codedBytes(), encoder.codedBytes() + result.codedSize));
    EXPECT_TRUE(encoder.store().slot(0).drained);
    EXPECT_EQ(encoder.drain(packet, 254, true).sum().bytes, 0);  // a drained frame is not sent again
}

TEST(EncoderSlotChoice, CostsCompareAnalysisResults) {
    VicPicture picture;
    picture.setMode(4, 3);
    ASSERT_TRUE(picture.image.create());
    loadFrame(picture, sceneWithBall(160, 200, 30, 50));
    DeltaEncoder encoder;
    ASSERT_EQ(encoder.init(5, 2, picture, 3), 0);
    FrameStore& store = encoder.store();
    store.setCurrentSlot(1);
    // Every slot but the current one is a candidate, from the one after it; invalid slots cost 256.
    EXPECT_EQ(encoder.chooseSlot(picture), 2);

    auto makeValid = [&](int s, int greyDelta, int hueDelta) {
        FrameSlot& slot = store.slot(s);
        std::memcpy(slot.analysis.greyShares, picture.analysis.greyShares, sizeof slot.analysis.greyShares);
        std::memcpy(slot.analysis.hueCounts, picture.analysis.hueCounts, sizeof slot.analysis.hueCounts);
        slot.analysis.pairSelection = picture.analysis.pairSelection;
        slot.analysis.triadSelection = picture.analysis.triadSelection;
        slot.analysis.greyShares[0] += greyDelta;
        slot.analysis.hueCounts[2] += hueDelta;
        slot.firstFrameLoaded = 1;
    };
    makeValid(4, 15, 0);  // cost 225: better than an empty slot
    EXPECT_EQ(encoder.chooseSlot(picture), 4);
    makeValid(0, 0, 17);  // cost 289 for a colour picture
    EXPECT_EQ(encoder.chooseSlot(picture), 4);
    makeValid(3, 15, 0);  // the same cost as slot 4, met earlier in the order
    EXPECT_EQ(encoder.chooseSlot(picture), 3);
    picture.analysis.triadSelection = 0;
    store.slot(0).analysis.triadSelection = 0;  // 289 - 768: a shared triad makes the slot the closest
    EXPECT_EQ(encoder.chooseSlot(picture), 0);
    picture.monochrome = 1;  // a grey picture compares only the grey shares: slot 0 costs 0
    store.slot(0).analysis.triadSelection = 1;
    EXPECT_EQ(encoder.chooseSlot(picture), 0);
    // The current slot is never chosen, even when it is identical.
    store.setCurrentSlot(0);
    EXPECT_NE(encoder.chooseSlot(picture), 0);
}

}  // namespace
}  // namespace zov
