#include "frameconv/video/frame_store.h"
#include "formats/target_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zov {
namespace {

constexpr int kColourRam = 1;
constexpr int kScreenMatrix = 2;

// A multicolour picture of the given size in pixels, placed at a card row, with its card grid set.
void shapePicture(VicPicture& picture, int width, int height, int topRow, bool colour = false) {
    picture.geometry.width = width;
    picture.geometry.height = height;
    picture.geometry.pixelCount = static_cast<std::uint32_t>(width * height);
    picture.geometry.cardWidth = 4;
    picture.geometry.roleCount = 4;
    picture.geometry.paddedWidth = (width + 3) / 4 * 4;
    picture.geometry.paddedHeight = (height + 7) / 8 * 8;
    picture.geometry.paddedSize = picture.geometry.paddedWidth * picture.geometry.paddedHeight;
    picture.geometry.widthInCards = picture.geometry.paddedWidth / 4;
    picture.geometry.heightInCards = picture.geometry.paddedHeight / 8;
    picture.geometry.topCardRow = topRow;
    picture.monochrome = colour ? 0 : 1;
}

struct ExpectedSlot {
    int image;
    std::uint32_t bitmap, screen, regionStart, regionLength, regionWithColour;
    int bitmapPosition, screenPosition;
};

void expectPlacement(const FrameStore& store, const std::vector<ExpectedSlot>& expected) {
    ASSERT_EQ(store.ringSize(), static_cast<int>(expected.size()));
    for (int j = 0; j < store.ringSize(); ++j) {
        SCOPED_TRACE("slot " + std::to_string(j));
        const FrameSlot& slot = store.slot(j);
        const ExpectedSlot& e = expected[j];
        EXPECT_EQ(slot.imageIndex, e.image);
        EXPECT_EQ(slot.bitmapAddress, e.bitmap);
        EXPECT_EQ(slot.screenAddress, e.screen);
        EXPECT_EQ(slot.regionStart, e.regionStart);
        EXPECT_EQ(slot.regionLength, e.regionLength);
        EXPECT_EQ(slot.regionLengthWithColour, e.regionWithColour);
        EXPECT_EQ(slot.bitmapPosition, e.bitmapPosition);
        EXPECT_EQ(slot.screenPosition, e.screenPosition);
        EXPECT_EQ(slot.colourPosition, 9216);
    }
}

int placeRing(FrameStore& store, const VicPicture& picture, int ringSize, int colourFlags, int images = 1) {
    EXPECT_EQ(store.allocate(ringSize), 0);
    return store.place(picture, 1, colourFlags, images);
}

TEST(FrameStoreAllocate, RingSizeBelowOneIsRefused) {
    FrameStore store;
    EXPECT_EQ(store.allocate(0), 2);
    EXPECT_EQ(store.allocate(-3), 2);
}

TEST(FrameStoreAllocate, CreatesRingPlusWorkingSlotWithLastRingSlotCurrent) {
    FrameStore store;
    ASSERT_EQ(store.allocate(5), 0);
    EXPECT_EQ(store.slotCount(), 6);
    EXPECT_EQ(store.currentSlot(), 4);
    EXPECT_EQ(&store.workingSlot(), &store.slot(5));
    for (int i = 0; i < store.slotCount(); ++i) {
        EXPECT_FALSE(store.slot(i).valid());
        EXPECT_EQ(store.slot(i).imageIndex, -1);
    }
}

TEST(FrameStorePlace, FullScreenWithMatrixRetriesTheThirdSlotAtTheNextBank) {
    VicPicture picture;
    shapePicture(picture, 160, 200, 0);
    FrameStore store;
    ASSERT_EQ(placeRing(store, picture, 3, kColourRam | kScreenMatrix), 0);
    expectPlacement(store, {
        {0, 0x2000, 0x1C00, 0x1C00, 9024, 10024, 1024, 0},
        {0, 0x4000, 0x6000, 0x4000, 9192, 10192, 0, 8192},
        {0, 0x8000, 0xA000, 0x8000, 9192, 10192, 0, 8192},
    });
}

TEST(FrameStorePlace, FourthFullScreenSlotNeedsASecondImage) {
    VicPicture picture;
    shapePicture(picture, 160, 200, 0);
    FrameStore store;
    EXPECT_EQ(placeRing(store, picture, 4, kScreenMatrix, 1), 3);

    ASSERT_EQ(placeRing(store, picture, 4, kScreenMatrix, 2), 0);
    expectPlacement(store, {
        {0, 0x2000, 0x1C00, 0x1C00, 9024, 9024, 1024, 0},
        {0, 0x4000, 0x6000, 0x4000, 9192, 9192, 0, 8192},
        {0, 0x8000, 0xA000, 0x8000, 9192, 9192, 0, 8192},
        {1, 0x2000, 0x1C00, 0x1C00, 9024, 9024, 1024, 0},
    });
}

TEST(FrameStorePlace, ShortPictureKeepsItsMatrixInTheEmptyTopRows) {
    // 96 lines: 12 card rows from row 7; 2240 empty bytes above the picture hold the 760 matrix bytes.
    VicPicture picture;
    shapePicture(picture, 96, 96, 7);
    FrameStore store;
    ASSERT_EQ(placeRing(store, picture, 6, kColourRam | kScreenMatrix), 0);
    // The first bitmap starts below the image, so its matrix follows it; the matrix shares the bitmap's
    // block wherever a bitmap opens a bank.
    expectPlacement(store, {
        {0, 0x0000, 0x1800, 0x08C0, 4664, 5144, 0, 6144},
        {0, 0x2000, 0x1C00, 0x1D18, 6824, 7304, 1024, 0},
        {0, 0x4000, 0x4000, 0x4118, 5800, 6280, 0, 0},
        {0, 0x6000, 0x5C00, 0x5D18, 6824, 7304, 1024, 0},
        {0, 0x8000, 0x8000, 0x8118, 5800, 6280, 0, 0},
        {0, 0xA000, 0x9C00, 0x9D18, 6824, 7304, 1024, 0},
    });
    EXPECT_EQ(placeRing(store, picture, 7, kColourRam | kScreenMatrix), 3);
}

TEST(FrameStorePlace, MatrixInTopRowsNeverReachesIntoThePreviousSlot) {
    // 145 lines: 19 card rows from row 4. Slot 1's bitmap could start at 0x2000 with its matrix in its
    // empty rows, but those rows hold slot 0's matrix; it moves to the next bank instead.
    VicPicture picture;
    shapePicture(picture, 160, 145, 4);
    FrameStore store;
    ASSERT_EQ(placeRing(store, picture, 5, kScreenMatrix), 0);
    expectPlacement(store, {
        {0, 0x0000, 0x2000, 0x0500, 7832, 7832, 0, 8192},
        {0, 0x4000, 0x4000, 0x40A0, 7200, 7200, 0, 0},
        {0, 0x6000, 0x6000, 0x60A0, 7200, 7200, 0, 0},
        {0, 0x8000, 0x8000, 0x80A0, 7200, 7200, 0, 0},
        {0, 0xA000, 0xA000, 0xA0A0, 7200, 7200, 0, 0},
    });
}

TEST(FrameStorePlace, WithoutMatrixBitmapsFollowAt8KBoundaries) {
    VicPicture picture;
    shapePicture(picture, 160, 200, 0);
    FrameStore store;
    ASSERT_EQ(placeRing(store, picture, 5, kColourRam), 0);
    expectPlacement(store, {
        {0, 0x2000, 0, 0x2000, 8000, 9000, 0, 8192},
        {0, 0x4000, 0, 0x4000, 8000, 9000, 0, 8192},
        {0, 0x6000, 0, 0x6000, 8000, 9000, 0, 8192},
        {0, 0x8000, 0, 0x8000, 8000, 9000, 0, 8192},
        {0, 0xA000, 0, 0xA000, 8000, 9000, 0, 8192},
    });
    EXPECT_EQ(placeRing(store, picture, 6, kColourRam), 3);

    // With at least 512 empty bytes on top the first bitmap may start at 0x0000.
    shapePicture(picture, 160, 160, 2);
    ASSERT_EQ(placeRing(store, picture, 2, 0), 0);
    expectPlacement(store, {
        {0, 0x0000, 0, 0x0280, 6400, 6400, 0, 7168},
        {0, 0x2000, 0, 0x2280, 6400, 6400, 0, 7168},
    });
}

TEST(FrameStorePlace, RingOfOneSlot) {
    VicPicture picture;
    shapePicture(picture, 160, 200, 0);
    FrameStore store;
    ASSERT_EQ(placeRing(store, picture, 1, kColourRam | kScreenMatrix), 0);
    EXPECT_EQ(store.currentSlot(), 0);
    expectPlacement(store, {{0, 0x2000, 0x1C00, 0x1C00, 9024, 10024, 1024, 0}});
}

// Every placement that succeeds keeps each region inside its image, apart from the others, and its
// bitmap and matrix in one bank.
TEST(FrameStorePlace, RegionsStayInsideTheImageAndApartForEveryPictureHeight) {
    for (int colourFlags = 0; colourFlags < 4; ++colourFlags) {
        for (int rows = 1; rows <= 25; ++rows) {
            for (int top = 0; top + rows <= 25; ++top) {
                VicPicture picture;
                shapePicture(picture, 160, rows * 8, top);
                for (int ring : {1, 3, 5, 6}) {
                    FrameStore store;
                    if (placeRing(store, picture, ring, colourFlags, 2) != 0) continue;
                    SCOPED_TRACE(testing::Message() << "flags " << colourFlags << " rows " << rows << " top "
                                                    << top << " ring " << ring);
                    for (int a = 0; a < ring; ++a) {
                        const FrameSlot& s = store.slot(a);
                        EXPECT_GE(s.regionStart, kTargetBase);
                        EXPECT_LE(s.regionStart + s.regionLength, kTargetEnd);
                        if (colourFlags & kScreenMatrix) {
                            EXPECT_EQ(s.screenAddress % 1024, 0u);
                            EXPECT_EQ(s.screenAddress / 16384, s.bitmapAddress / 16384);
                        }
                        for (int b = 0; b < a; ++b) {
                            const FrameSlot& t = store.slot(b);
                            if (s.imageIndex != t.imageIndex) continue;
                            const bool apart = s.regionStart >= t.regionStart + t.regionLength ||
                                               t.regionStart >= s.regionStart + s.regionLength;
                            EXPECT_TRUE(apart) << "slots " << b << " and " << a;
                        }
                    }
                }
            }
        }
    }
}

TEST(FrameSlotSettings, CopiesTheSettingsIntoZeroFilledBuffersAndClearsTheValidMark) {
    VicPicture picture;
    shapePicture(picture, 98, 50, 3, /*colour=*/true);
    picture.colours.roleColours[1] = 6;
    picture.settings.lumaGain = 1.5;
    picture.settings.hueShift = 12.0;
    FrameSlot slot;
    slot.firstFrameLoaded = 1;
    ASSERT_EQ(slot.takeSettings(picture), 0);
    EXPECT_FALSE(slot.valid());
    EXPECT_EQ(slot.geometry.paddedWidth, 100);
    EXPECT_EQ(slot.geometry.paddedSize, 100 * 56);
    EXPECT_EQ(slot.geometry.widthInCards, 25);
    EXPECT_EQ(slot.colours.roleColours[1], 6);
    EXPECT_EQ(slot.settings.lumaGain, 1.5);
    EXPECT_EQ(slot.settings.hueShift, 12.0);
    EXPECT_EQ(slot.monochrome, 0);
    ASSERT_TRUE(slot.planes.luminancePlane && slot.planes.lumaDither && slot.planes.huePlane &&
                slot.planes.saturationPlane);
    ASSERT_TRUE(slot.cardColours.colourMatrix && slot.cardColours.colourRam);
    for (int i = 0; i < slot.geometry.paddedSize; ++i) {
        ASSERT_EQ(slot.planes.luminancePlane[i], 0);
        ASSERT_EQ(slot.planes.lumaDither[i], 0);
        ASSERT_EQ(slot.planes.huePlane[i], 0);
    }

    // A grey source needs no hue and saturation planes.
    picture.monochrome = 1;
    ASSERT_EQ(slot.takeSettings(picture), 0);
    EXPECT_FALSE(slot.planes.huePlane);
    EXPECT_FALSE(slot.planes.saturationPlane);
}

TEST(FrameStorePlace, RingSlotsAimTheirAreasIntoTheWorkingBuffer) {
    VicPicture picture;
    shapePicture(picture, 160, 200, 0);
    FrameStore store;
    ASSERT_EQ(store.allocate(3), 0);
    ASSERT_EQ(store.setUpWorkingSlot(picture), 0);
    ASSERT_EQ(store.place(picture, 1, kColourRam | kScreenMatrix, 1), 0);
    std::uint8_t* buffer = store.workingSlot().image.block();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(store.slot(0).image.bitmap, buffer + 1024);
    EXPECT_EQ(store.slot(0).image.matrix, buffer);
    EXPECT_EQ(store.slot(1).image.matrix, buffer + 8192);
    EXPECT_EQ(store.slot(1).image.colourRam, buffer + 9216);

    FrameSlot& working = store.workingSlot();
    working.takePlacement(store.slot(0));
    EXPECT_EQ(working.regionStart, 0x1C00u);
    EXPECT_EQ(working.image.bitmap, buffer + 1024);
    EXPECT_EQ(working.image.matrix, buffer);
}

}  // namespace
}  // namespace zov
