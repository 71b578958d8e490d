#include "frameconv/video/reference_conversion.h"

#include "formats/palette.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

namespace zov {
namespace {

constexpr std::int32_t kGreys[5] = {kLightGrey, kDarkGrey, kMidGrey, kBlack, kBlack};

// A grey multicolour picture and a frame store whose ring slots the tests fill by hand.
struct Scene {
    VicPicture picture;
    FrameStore store;

    Scene(int width, int height, int ring, int cardWidth = 4) {
        VicPicture& p = picture;
        p.geometry.width = width;
        p.geometry.height = height;
        p.geometry.pixelCount = static_cast<std::uint32_t>(width * height);
        p.geometry.cardWidth = cardWidth;
        p.geometry.roleCount = cardWidth == 8 ? 2 : 4;
        p.geometry.paddedWidth = (width + cardWidth - 1) / cardWidth * cardWidth;
        p.geometry.paddedHeight = (height + 7) / 8 * 8;
        p.geometry.paddedSize = p.geometry.paddedWidth * p.geometry.paddedHeight;
        p.geometry.widthInCards = p.geometry.paddedWidth / cardWidth;
        p.geometry.heightInCards = p.geometry.paddedHeight / 8;
        p.geometry.topCardRow = (25 - p.geometry.heightInCards) / 2;
        p.monochrome = 1;
        p.geometry.colourArrays = 3;
        std::copy(std::begin(kGreys), std::end(kGreys), p.colours.roleColours);
        p.colours.pinnedRoles[0] = 3;
        p.colours.pinnedColours[0] = kBlack;
        p.colours.pinnedCount = 1;
        p.planes.luminancePlane.reset(new std::uint8_t[p.geometry.paddedSize]());
        p.planes.lumaDither.reset(new std::int16_t[p.geometry.paddedSize]());
        p.cardColours.colourMatrix.reset(new std::uint8_t[p.geometry.widthInCards * p.geometry.heightInCards]());
        p.cardColours.colourRam.reset(new std::uint8_t[p.geometry.widthInCards * p.geometry.heightInCards]());
        EXPECT_EQ(store.allocate(ring), 0);
        EXPECT_EQ(store.setUpWorkingSlot(p), 0);
        EXPECT_EQ(store.place(p, 1, 3, 2), 0);
    }

    std::int32_t at(int x, int y) const { return y * picture.geometry.paddedWidth + x; }

    void setPicture(const std::function<int(int, int)>& luminance) {
        for (int y = 0; y < picture.geometry.paddedHeight; ++y)
            for (int x = 0; x < picture.geometry.paddedWidth; ++x)
                picture.planes.luminancePlane[at(x, y)] = static_cast<std::uint8_t>(luminance(x, y));
    }

    // Makes ring slot v hold an accepted frame with the given luminance and pixel roles.
    void setSlot(int v, const std::function<int(int, int)>& luminance, const std::function<int(int, int)>& role) {
        FrameSlot& slot = store.slot(v);
        for (int y = 0; y < picture.geometry.paddedHeight; ++y) {
            for (int x = 0; x < picture.geometry.paddedWidth; ++x) {
                slot.planes.luminancePlane[at(x, y)] = static_cast<std::uint8_t>(luminance(x, y));
                slot.planes.lumaDither[at(x, y)] = static_cast<std::int16_t>(role(x, y));
            }
        }
        std::copy(std::begin(kGreys), std::end(kGreys), slot.colours.roleColours);
        slot.firstFrameLoaded = 1;
    }

    // What the encoder does once slot k is placed for the next frame: the working slot keeps k's frame.
    void prepareWorking(int k) {
        FrameSlot& working = store.workingSlot();
        const FrameSlot& slot = store.slot(k);
        std::copy_n(slot.planes.luminancePlane.get(), picture.geometry.paddedSize, working.planes.luminancePlane.get());
        std::copy_n(slot.planes.lumaDither.get(), picture.geometry.paddedSize, working.planes.lumaDither.get());
        std::copy(std::begin(slot.colours.roleColours), std::end(slot.colours.roleColours),
                  working.colours.roleColours);
        working.takePlacement(slot);
    }

    // What the encoder does when a frame is accepted into slot k.
    void accept(int k) {
        FrameSlot& slot = store.slot(k);
        const FrameSlot& working = store.workingSlot();
        for (int y = 0; y < picture.geometry.height; ++y) {
            for (int x = 0; x < picture.geometry.width; ++x) {
                slot.planes.luminancePlane[at(x, y)] = working.planes.luminancePlane[at(x, y)];
                slot.planes.lumaDither[at(x, y)] = working.planes.lumaDither[at(x, y)];
            }
        }
        std::copy(std::begin(working.colours.roleColours), std::end(working.colours.roleColours),
                  slot.colours.roleColours);
        slot.firstFrameLoaded = 1;
    }
};

std::uint32_t textureAt(int x, int y) {  // rough, repeatable noise
    std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}
int texture(int x, int y) { return static_cast<int>(textureAt(x, y) % 256); }

// ---- the block search, literally as described: every pixel of every source at every position --------

BlockMatch literalSearch(const FrameStore& store, const VicPicture& picture, int k, int J, int x) {
    const int w = picture.geometry.cardWidth;
    const int stride = picture.geometry.paddedWidth;
    static const int shifts[15] = {0, -1, 1, -2, 2, -3, 3, -4, 4, -5, 5, -6, 6, -7, 7};
    for (int P = 8; P >= 4; --P) {
        BlockMatch best;
        for (int r = 0; r + P <= 8; ++r) {
            for (int s : shifts) {
                const bool tried =
                        J + s >= 0 && J + s + P <= picture.geometry.height && s + P <= 8 && (s >= 0 || s + P <= 0);
                if (!tried) continue;
                bool any = false;
                std::int32_t bestScore = 0;
                int bestSlot = -1;
                for (int v = store.ringSize() - 1; v >= 0; --v) {
                    if (!store.slot(v).valid()) continue;
                    const FrameSlot& source = v == k ? store.workingSlot() : store.slot(v);
                    std::int32_t score = 0;
                    bool match = true;
                    for (int K = 0; K < P; ++K) {
                        for (int i = 0; i < w; ++i) {
                            const int n = (J + r + K) * stride + x + i;
                            const int o = (J + s + K) * stride + x + i;
                            const int d = picture.planes.luminancePlane[n] - source.planes.luminancePlane[o];
                            const int shifted = d - (picture.planes.lumaDither[n] >> 6);
                            if (std::abs(d) <= 20) score += d;
                            else if (std::abs(shifted) <= 20) score += shifted;
                            else match = false;
                            const int role = source.planes.lumaDither[o];
                            if (source.colours.roleColours[role] != picture.colours.roleColours[role]) match = false;
                        }
                    }
                    if (match && (!any || std::abs(score) < std::abs(bestScore))) {
                        any = true;
                        bestScore = score;
                        bestSlot = v;
                    }
                }
                if (!any) continue;
                const double value = std::abs(bestScore) / double(P * w);
                if (value <= 20.0 && (!best.found || value < best.value))
                    best = BlockMatch{true, P, r, s, bestSlot, bestScore, value};
            }
            if (best.found && (P == 8 || best.value == 0)) return best;
        }
        if (best.found) return best;
    }
    return BlockMatch{};
}

void expectSameMatch(const BlockMatch& fast, const BlockMatch& literal) {
    ASSERT_EQ(fast.found, literal.found);
    if (!fast.found) return;
    EXPECT_EQ(fast.height, literal.height);
    EXPECT_EQ(fast.subRow, literal.subRow);
    EXPECT_EQ(fast.shift, literal.shift);
    EXPECT_EQ(fast.source, literal.source);
    EXPECT_EQ(fast.score, literal.score);
}

TEST(BlockSearch, FindsTheSameBlocksAsTheLiteralScan) {
    std::mt19937 random(7);
    int found = 0, partial = 0, shifted = 0, notFound = 0;
    for (int round = 0; round < 150; ++round) {
        Scene scene(18, 32, 3, round % 3 == 0 ? 8 : 4);  // hi-res cards in every third round
        const int k = static_cast<int>(random() % 3);
        const int base = static_cast<int>(random() % 3);
        for (int v = 0; v < 3; ++v) {
            const int offset = static_cast<int>(random() % 5) - 2;
            scene.setSlot(v, [&](int x, int y) { return texture(x + v * (v != base), y + offset); },
                          [&](int x, int y) { return static_cast<int>(textureAt(y, x + v) % 4); });
            if (random() % 4 == 0) scene.store.slot(v).firstFrameLoaded = 0;
            if (random() % 5 == 0) scene.store.slot(v).colours.roleColours[random() % 3] = kWhite;
        }
        scene.prepareWorking(k);
        // The new frame: the base slot's texture, moved a few rows, with noise around the tolerance.
        const int move = static_cast<int>(random() % 7) - 3;
        const int noise = static_cast<int>(random() % 30);
        scene.setPicture([&](int x, int y) {
            const int n = noise ? static_cast<int>(textureAt(x * 3, y * 5) % (2 * noise + 1)) - noise : 0;
            return std::clamp(texture(x, y - move) + n, 0, 255);
        });
        for (int i = 0; i < scene.picture.geometry.paddedSize; ++i)
            scene.picture.planes.lumaDither[i] = static_cast<std::int16_t>(static_cast<int>(random() % 4001) - 2000);

        BlockSearch search(scene.store, scene.picture, k);
        for (int J = 0; J < scene.picture.geometry.height; J += 8) {
            const int w = scene.picture.geometry.cardWidth;
            for (int x = scene.picture.geometry.paddedWidth - w; x >= 0; x -= w) {
                const BlockMatch fast = search.find(J, x);
                expectSameMatch(fast, literalSearch(scene.store, scene.picture, k, J, x));
                if (!fast.found) ++notFound;
                else {
                    ++found;
                    partial += fast.height < 8;
                    shifted += fast.shift != 0;
                }
            }
        }
    }
    // The cases must cover whole, partial, moved and missing blocks.
    EXPECT_GT(found, 100);
    EXPECT_GT(partial, 20);
    EXPECT_GT(shifted, 20);
    EXPECT_GT(notFound, 100);
}

TEST(BlockSearch, ToleranceIsTwentyPerPixelUnlessTheCarryExplainsTheRest) {
    Scene scene(8, 8, 1);
    scene.setSlot(0, [](int, int) { return 100; }, [](int, int) { return 1; });
    scene.prepareWorking(0);
    BlockSearch search(scene.store, scene.picture, 0);

    scene.setPicture([](int, int) { return 120; });
    BlockMatch m = search.find(0, 4);
    ASSERT_TRUE(m.found);
    EXPECT_EQ(m.height, 8);
    EXPECT_EQ(m.score, 20 * 32);
    EXPECT_EQ(m.value, 20.0);

    scene.setPicture([](int, int) { return 121; });
    EXPECT_FALSE(search.find(0, 4).found);

    // A carry of one luminance step in 1/64 units brings 121 back within reach.
    for (int i = 0; i < scene.picture.geometry.paddedSize; ++i) scene.picture.planes.lumaDither[i] = 64;
    m = search.find(0, 4);
    ASSERT_TRUE(m.found);
    EXPECT_EQ(m.score, 20 * 32);

    // A role whose colour differs between the frames rules the block out.
    scene.store.workingSlot().colours.roleColours[1] = kWhite;
    BlockSearch other(scene.store, scene.picture, 0);
    EXPECT_FALSE(other.find(0, 4).found);
}

TEST(BlockSearch, BlocksStraddlingTwoCardRowsAreNeverTried) {
    // The rows 100, 150, 200, 250 of the new card row exist in the slot only across the card row boundary
    // (rows 6 to 9); everything else in the slot is far from them.
    const int straddling[16] = {0, 0, 0, 0, 0, 0, 100, 150, 200, 250, 0, 0, 0, 0, 0, 0};
    const int above[16] = {0, 0, 0, 0, 100, 150, 200, 250, 0, 0, 0, 0, 0, 0, 0, 0};
    const int fresh[16] = {0, 0, 0, 0, 0, 0, 0, 0, 100, 150, 200, 250, 50, 50, 50, 50};
    Scene scene(4, 16, 2);
    scene.setPicture([&](int, int y) { return fresh[y]; });

    scene.setSlot(1, [&](int, int y) { return straddling[y]; }, [](int, int) { return 0; });
    scene.prepareWorking(0);  // slot 0 is not valid
    EXPECT_FALSE(BlockSearch(scene.store, scene.picture, 0).find(8, 0).found);

    scene.setSlot(1, [&](int, int y) { return above[y]; }, [](int, int) { return 0; });
    const BlockMatch m = BlockSearch(scene.store, scene.picture, 0).find(8, 0);
    ASSERT_TRUE(m.found);
    EXPECT_EQ(m.height, 4);
    EXPECT_EQ(m.subRow, 0);
    EXPECT_EQ(m.shift, -4);
    EXPECT_EQ(m.source, 1);
}

TEST(BlockSearch, EqualValuesKeepThePositionTriedFirst) {
    // Rows 100, 150, 200, 250 lie both four rows above and four rows below the new card row's top.
    const int old[16] = {0, 0, 0, 0, 100, 150, 200, 250, 0, 0, 0, 0, 100, 150, 200, 250};
    const int fresh[16] = {0, 0, 0, 0, 0, 0, 0, 0, 100, 150, 200, 250, 50, 50, 50, 50};
    Scene scene(4, 24, 1);
    scene.setPicture([&](int, int y) { return y < 16 ? fresh[y] : 0; });
    scene.setSlot(0, [&](int, int y) { return y < 16 ? old[y] : 0; }, [](int, int) { return 0; });
    scene.prepareWorking(0);
    const BlockMatch m = BlockSearch(scene.store, scene.picture, 0).find(8, 0);
    ASSERT_TRUE(m.found);
    EXPECT_EQ(m.shift, -4);
}

TEST(BlockSearch, SmallestScoreWinsAndTheFirstSourceOnEqualScores) {
    Scene scene(4, 8, 3);
    scene.setPicture([](int, int) { return 100; });
    scene.setSlot(0, [](int, int) { return 98; }, [](int, int) { return 0; });
    scene.setSlot(1, [](int, int) { return 103; }, [](int, int) { return 0; });
    scene.setSlot(2, [](int, int) { return 103; }, [](int, int) { return 0; });
    scene.prepareWorking(2);
    BlockMatch m = BlockSearch(scene.store, scene.picture, 2).find(0, 0);
    ASSERT_TRUE(m.found);
    EXPECT_EQ(m.source, 0);
    EXPECT_EQ(m.score, 64);

    scene.setSlot(0, [](int, int) { return 97; }, [](int, int) { return 0; });
    m = BlockSearch(scene.store, scene.picture, 2).find(0, 0);
    EXPECT_EQ(m.source, 2);  // slots are tried from the last down
    EXPECT_EQ(m.score, -96);
}

// ---- the whole conversion -----------------------------------------------------------------------------

// Every pixel of a card row is either taken over or dithered, exactly once; the working slot ends up with
// the new frame's roles.
void expectEveryPixelConvertedOnce(const Scene& scene, const QuantStats& stats) {
    const VicPicture& p = scene.picture;
    const int copied = stats.copiedPixels == 1 ? 0 : stats.copiedPixels;
    EXPECT_EQ(stats.pixelCount + copied, p.geometry.width * p.geometry.paddedHeight);
    const FrameSlot& working = scene.store.workingSlot();
    for (int y = 0; y < p.geometry.height; ++y)
        for (int x = 0; x < p.geometry.width; ++x)
            ASSERT_EQ(working.planes.lumaDither[scene.at(x, y)], p.planes.lumaDither[scene.at(x, y)]) << x << "," << y;
    EXPECT_TRUE(working.valid());
    EXPECT_EQ(working.drained, 0);
}

TEST(ReferenceConversion, FirstFrameIsDitheredWhole) {
    Scene scene(20, 24, 3);
    scene.setPicture(texture);
    scene.store.workingSlot().drained = 1;
    const QuantStats stats = convertWithReference(scene.store, scene.picture, 0);
    EXPECT_EQ(stats.copiedPixels, 1);
    EXPECT_EQ(stats.monochrome, 1);
    EXPECT_EQ(stats.edgeCount, 20 + 48 - 2);
    expectEveryPixelConvertedOnce(scene, stats);
    const FrameSlot& working = scene.store.workingSlot();
    for (int i = 0; i < scene.picture.geometry.paddedSize; ++i)
        ASSERT_EQ(working.planes.luminancePlane[i], scene.picture.planes.luminancePlane[i]);
    // Colour arrays carry the role colours: MC1 × 16 + MC2, and FG.
    EXPECT_EQ(working.cardColours.colourMatrix[7], kDarkGrey * 16 + kMidGrey);
    EXPECT_EQ(working.cardColours.colourRam[7], kBlack);
}

TEST(ReferenceConversion, IdenticalPictureIsTakenOverWhole) {
    Scene scene(20, 24, 3);
    scene.setPicture(texture);
    convertWithReference(scene.store, scene.picture, 1);
    scene.accept(1);

    for (int k : {1, 2}) {  // as the reference itself, and as another ring slot
        SCOPED_TRACE(k);
        scene.prepareWorking(k);
        const QuantStats stats = convertWithReference(scene.store, scene.picture, k);
        EXPECT_EQ(stats.copiedPixels, 20 * 24);
        EXPECT_EQ(stats.pixelCount, 0);
        const FrameSlot& slot = scene.store.slot(1);
        const FrameSlot& working = scene.store.workingSlot();
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 20; ++x) {
                ASSERT_EQ(scene.picture.planes.lumaDither[scene.at(x, y)], slot.planes.lumaDither[scene.at(x, y)]);
                ASSERT_EQ(working.planes.lumaDither[scene.at(x, y)], slot.planes.lumaDither[scene.at(x, y)]);
                ASSERT_EQ(working.planes.luminancePlane[scene.at(x, y)], slot.planes.luminancePlane[scene.at(x, y)]);
            }
        }
    }
}

TEST(ReferenceConversion, BlocksOffByTwentyOneAreDitheredAfresh) {
    // Slot 0 is another ring slot than the reference 1, so it keeps its frame while the new one is built.
    Scene scene(16, 16, 3);
    scene.setSlot(0, [](int, int) { return 100; }, [](int, int) { return 2; });
    scene.setPicture([](int, int) { return 121; });
    QuantStats stats = convertWithReference(scene.store, scene.picture, 1);
    EXPECT_EQ(stats.copiedPixels, 1);
    expectEveryPixelConvertedOnce(scene, stats);

    scene.setPicture([](int, int) { return 120; });
    stats = convertWithReference(scene.store, scene.picture, 1);
    EXPECT_EQ(stats.copiedPixels, 16 * 16);
}

TEST(ReferenceConversion, ReferenceSlotOffersTheRowsAlreadyConverted) {
    // Read through the working slot, the reference shows the new frame's card rows above the current one:
    // a picture far from the old frame still reuses its own upper rows.
    Scene scene(16, 16, 1);
    scene.setSlot(0, [](int, int) { return 100; }, [](int, int) { return 2; });
    scene.prepareWorking(0);
    scene.setPicture([](int, int) { return 121; });
    const QuantStats stats = convertWithReference(scene.store, scene.picture, 0);
    EXPECT_GT(stats.copiedPixels, 1);
    expectEveryPixelConvertedOnce(scene, stats);
}

TEST(ReferenceConversion, InvalidSlotsAreNeverUsed) {
    Scene scene(16, 16, 3);
    scene.setPicture(texture);
    for (int v = 0; v < 3; ++v) {
        scene.setSlot(v, texture, [](int, int) { return 1; });
        scene.store.slot(v).firstFrameLoaded = 0;
    }
    scene.prepareWorking(0);
    const QuantStats stats = convertWithReference(scene.store, scene.picture, 0);
    EXPECT_EQ(stats.copiedPixels, 1);
    expectEveryPixelConvertedOnce(scene, stats);
}

TEST(ReferenceConversion, PictureMovedByThreeRowsIsFoundThere) {
    for (int move : {3, -3}) {
        SCOPED_TRACE(move);
        Scene scene(16, 32, 3);
        scene.setSlot(0, texture, [](int x, int y) { return static_cast<int>(textureAt(y, x) % 4); });
        scene.prepareWorking(0);
        scene.setPicture([&](int x, int y) { return texture(x, y - move); });

        // Down by 3: the lower five rows of a card row show the five rows above them in the old frame;
        // up by 3: the upper five show the rows three further down.
        const BlockMatch m = BlockSearch(scene.store, scene.picture, 0).find(8, 4);
        ASSERT_TRUE(m.found);
        EXPECT_EQ(m.height, 5);
        EXPECT_EQ(m.subRow, move > 0 ? 3 : 0);
        EXPECT_EQ(m.shift, move > 0 ? 0 : 3);
        EXPECT_EQ(m.score, 0);

        const QuantStats stats = convertWithReference(scene.store, scene.picture, 0);
        EXPECT_GE(stats.copiedPixels, 16 * 5 * 3);
        expectEveryPixelConvertedOnce(scene, stats);
        // The taken-over rows show the old frame's pixels, moved.
        const FrameSlot& working = scene.store.workingSlot();
        const FrameSlot& old = scene.store.slot(0);
        const int firstRow = move > 0 ? 11 : 8;
        for (int y = firstRow; y < firstRow + 5; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(working.planes.luminancePlane[scene.at(x, y)],
                          old.planes.luminancePlane[scene.at(x, y - move)]);
    }
}

TEST(ReferenceConversion, UntakenErrorOfBlocksIsCountedAsLost) {
    // Pictures of 100 over a frame of role 2 (MGray, 120): every block row misses 20 per pixel.
    struct Case {
        int width, height;
        double lost;  // in 1/32 steps, before the scaling to 1/64
    };
    const Case cases[] = {
        // One block: 8 rows of (8e = -640, h = -540 twice), and the vertical carry -6720 at the bottom.
        {4, 8, -13760 - 6720},
        // The right block hands its left neighbour h = -540, which the left block carries as -9 per row.
        {8, 8, -16160 - 22776},
        // The upper block passes z = -30 per weight to row 8 (both side shares lost, y - y/8 = -5880);
        // the lower block's first row then carries -3, -4, -4, -3.
        {4, 16, -19700 - 20927},
        // Four blocks: the upper right one's z reaches the upper left's left neighbour on row 8, the upper
        // left one's z its right neighbour (the next card row holds it). The lower right block then stores
        // h = -639 over the -228 carried at row 8, column 3, and the lower left block reads -10 there.
        {8, 16, -37220 - 39733},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        Scene scene(c.width, c.height, 1);
        scene.setSlot(0, [](int, int) { return 100; }, [](int, int) { return 2; });
        scene.prepareWorking(0);
        scene.setPicture([](int, int) { return 100; });
        const QuantStats stats = convertWithReference(scene.store, scene.picture, 0);
        EXPECT_EQ(stats.copiedPixels, c.width * c.height);
        EXPECT_EQ(stats.pixelCount, 0);
        EXPECT_DOUBLE_EQ(stats.lostLuma, c.lost * 0.015625);
    }
}

TEST(ReferenceConversion, RowsAboveALowerBlockAreDitheredWithItsUpwardShare) {
    // Rows 2-7 of 100 are the old rows 0-5 (role 2, MGray 120); rows 0-1 are LGray's 160. Half of the
    // block's first row error goes up: q = -960 / 28 = -34, as 6q, 7q, 7q, 6q on row 1, whose pixels then
    // leave the errors -204, -308, -343, -316 and lose their shares at the closed sides and bottom.
    Scene scene(4, 8, 1);
    scene.setSlot(0, [](int, int y) { return y < 6 ? 100 : 0; }, [](int, int y) { return y < 6 ? 2 : 3; });
    scene.prepareWorking(0);
    scene.setPicture([](int, int y) { return y < 2 ? 160 : 100; });
    const QuantStats stats = convertWithReference(scene.store, scene.picture, 0);
    EXPECT_EQ(stats.copiedPixels, 24);
    EXPECT_EQ(stats.pixelCount, 8);
    EXPECT_DOUBLE_EQ(stats.lumaErrorSum, -1171 / 32.0);
    // Take-over: first row -640 and h -270 twice; five rows of -640 and h -540 twice; q lost on both
    // sides; the vertical carry -4620 at the bottom. Dithering: 9e per pixel of row 1, 7e off the right.
    EXPECT_DOUBLE_EQ(stats.lostLuma, (-1180 - 8600 - 68 - 4620 - 609) * 0.015625);
    const FrameSlot& working = scene.store.workingSlot();
    for (int y = 0; y < 8; ++y) EXPECT_EQ(working.planes.luminancePlane[scene.at(1, y)], y < 2 ? 160 : 100);
    for (int y = 0; y < 2; ++y) EXPECT_EQ(working.planes.lumaDither[scene.at(2, y)], 0);
}

TEST(ReferenceConversion, RolesFollowTheReferenceColoursUnlessPinned) {
    Scene scene(8, 8, 1);
    scene.setSlot(0, [](int, int) { return 0; }, [](int, int) { return 0; });
    const std::int32_t old[5] = {kLightGrey, kDarkGrey, kMidGrey, kBlack, kBlack};
    std::copy(std::begin(old), std::end(old), scene.store.slot(0).colours.roleColours);
    scene.prepareWorking(0);
    scene.setPicture([](int, int) { return 255; });
    const std::int32_t fresh[5] = {kWhite, kMidGrey, kDarkGrey, kBlack, kBlack};
    std::copy(std::begin(fresh), std::end(fresh), scene.picture.colours.roleColours);

    convertWithReference(scene.store, scene.picture, 0);
    // MGray and DGray go back to the roles they had; White keeps role 0 as LGray is not in use.
    EXPECT_EQ(scene.picture.colours.roleColours[0], kWhite);
    EXPECT_EQ(scene.picture.colours.roleColours[1], kDarkGrey);
    EXPECT_EQ(scene.picture.colours.roleColours[2], kMidGrey);
    EXPECT_EQ(scene.picture.colours.roleColours[3], kBlack);
    EXPECT_EQ(scene.store.workingSlot().cardColours.colourMatrix[0], kDarkGrey * 16 + kMidGrey);
    EXPECT_EQ(scene.store.workingSlot().colours.roleColours[0], kWhite);

    // The reference had Black in role 0; the new picture has it only in the pinned role 3: no swap.
    const std::int32_t withBlack[5] = {kBlack, kDarkGrey, kMidGrey, kBlack, kBlack};
    std::copy(std::begin(withBlack), std::end(withBlack), scene.store.slot(0).colours.roleColours);
    scene.prepareWorking(0);
    const std::int32_t aligned[5] = {kWhite, kDarkGrey, kMidGrey, kBlack, kBlack};
    std::copy(std::begin(aligned), std::end(aligned), scene.picture.colours.roleColours);
    convertWithReference(scene.store, scene.picture, 0);
    EXPECT_EQ(scene.picture.colours.roleColours[0], kWhite);
    EXPECT_EQ(scene.picture.colours.roleColours[3], kBlack);
}

}  // namespace
}  // namespace zov
