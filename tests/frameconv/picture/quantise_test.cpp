#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"
#include "support/plain_quantise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace zov {
namespace {

using Position = std::pair<int, int>;  // x, y

/// Gives a picture its geometry and zeroed planes, as a load would for a source of that size.
void shape(VicPicture& p, int width, int height, int cardWidth, bool colour) {
    p.setMode(cardWidth, 2);
    p.geometry.width = width;
    p.geometry.height = height;
    p.geometry.pixelCount = static_cast<std::uint32_t>(width * height);
    p.geometry.paddedWidth = (width + cardWidth - 1) / cardWidth * cardWidth;
    p.geometry.paddedHeight = (height + 7) / 8 * 8;
    p.geometry.paddedSize = p.geometry.paddedWidth * p.geometry.paddedHeight;
    p.geometry.widthInCards = p.geometry.paddedWidth / cardWidth;
    p.geometry.heightInCards = p.geometry.paddedHeight / 8;
    p.monochrome = colour ? 0 : 1;
    const auto n = static_cast<std::size_t>(p.geometry.paddedSize);
    p.planes.luminancePlane.reset(new std::uint8_t[n]());
    p.planes.lumaDither.reset(new std::int16_t[n]());
    if (colour) {
        p.planes.huePlane.reset(new std::uint8_t[n]());
        p.planes.saturationPlane.reset(new std::uint8_t[n]());
        p.planes.hueDither.reset(new std::int16_t[n]());
        p.planes.saturationDither.reset(new std::int16_t[n]());
    }
}

void setRoles(VicPicture& p, std::vector<int> colours) {
    p.geometry.roleCount = static_cast<int>(colours.size());
    std::copy(colours.begin(), colours.end(), p.colours.roleColours);
}

int at(const VicPicture& p, int x, int y) { return y * p.geometry.paddedWidth + x; }

constexpr DitherRegion::OpenEdges kAllOpen{.left = true, .right = true, .bottom = true};
constexpr DitherRegion::OpenEdges kClosed{.left = false, .right = false, .bottom = false};
constexpr DitherRegion::Scan kLeftToRight = DitherRegion::Scan::LeftToRight;
constexpr DitherRegion::Scan kRightToLeft = DitherRegion::Scan::RightToLeft;

DitherRegion::Scan scanOf(bool reverse) { return reverse ? kRightToLeft : kLeftToRight; }

/// The region of a pass: left to right with every edge open unless told otherwise, as a still picture's.
DitherRegion regionOf(DitherRegion::Span columns, DitherRegion::Span rows, DitherRegion::OpenEdges open = kAllOpen,
                      DitherRegion::Scan scan = kLeftToRight) {
    return {columns, rows, open, scan};
}

void setPixel(VicPicture& p, int x, int y, int luminance, int saturation = 0, int hue = 0) {
    p.planes.luminancePlane[at(p, x, y)] = static_cast<std::uint8_t>(luminance);
    if (p.planes.saturationPlane) p.planes.saturationPlane[at(p, x, y)] = static_cast<std::uint8_t>(saturation);
    if (p.planes.huePlane) p.planes.huePlane[at(p, x, y)] = static_cast<std::uint8_t>(hue);
}

void fillRandom(VicPicture& p, unsigned seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < p.geometry.paddedSize; ++i) {
        p.planes.luminancePlane[i] = static_cast<std::uint8_t>(random());
        if (p.planes.saturationPlane) p.planes.saturationPlane[i] = static_cast<std::uint8_t>(random());
        if (p.planes.huePlane) p.planes.huePlane[i] = static_cast<std::uint8_t>(random());
    }
}

/// Every non-zero element of a carry plane outside the given pixels.
std::map<Position, int> carriesOutside(const VicPicture& p, const std::int16_t* plane, std::vector<Position> skip) {
    std::map<Position, int> found;
    for (int y = 0; y < p.geometry.paddedHeight; ++y)
        for (int x = 0; x < p.geometry.paddedWidth; ++x)
            if (plane[at(p, x, y)] != 0 && std::find(skip.begin(), skip.end(), Position{x, y}) == skip.end())
                found[{x, y}] = plane[at(p, x, y)];
    return found;
}

// Two pixels (2,1) and (3,1) of a flat grey 100 picture against Black and White. The first takes Black
// with d = 3200 (unit e = 150) and passes 7e on; the second, at 4250, takes White with d = -3910
// (e = -184, the shift rounding down). Which shares land, and which are lost, depends on the flags.
struct EdgeCase {
    const char* name;
    bool reverse, leftOpen, rightOpen, bottomOpen;
    int roleAt2, roleAt3;
    std::map<Position, int> carries;  // outside the region
    double lost;
};

TEST(QuantiseRegion, SharesGoWhereTheEdgeFlagsAllow) {
    const std::vector<EdgeCase> cases = {
        {"closed", false, false, false, false, 0, 1, {}, 9 * 150 + 16 * -184},
        {"left open alone changes nothing forward", false, true, false, false, 0, 1, {}, 9 * 150 + 16 * -184},
        {"right open", false, false, true, false, 0, 1, {{{4, 1}, -1288}}, 9 * 150 + 9 * -184},
        {"bottom open", false, false, false, true, 0, 1, {{{2, 2}, 750 - 552}, {{3, 2}, 150 - 920}},
         3 * 150 + 8 * -184},
        {"all open", false, true, true, true, 0, 1,
         {{{1, 2}, 450}, {{2, 2}, 198}, {{3, 2}, -770}, {{4, 2}, -184}, {{4, 1}, -1288}}, 0},
        {"reverse closed", true, false, false, false, 1, 0, {}, 9 * 150 + 16 * -184},
        {"reverse left open", true, true, false, false, 1, 0, {{{1, 1}, -1288}}, 9 * 150 + 9 * -184},
        {"reverse all open", true, true, true, true, 1, 0,
         {{{4, 2}, 450}, {{3, 2}, 198}, {{2, 2}, -770}, {{1, 2}, -184}, {{1, 1}, -1288}}, 0},
    };
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        VicPicture p;
        shape(p, 8, 4, 8, false);
        setRoles(p, {kBlack, kWhite});
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) setPixel(p, x, y, 100);

        const DitherRegion::OpenEdges open{.left = c.leftOpen, .right = c.rightOpen, .bottom = c.bottomOpen};
        const QuantStats s = p.quantiseRegion(regionOf({2, 4}, {1, 2}, open, scanOf(c.reverse)), nullptr);
        EXPECT_EQ(s.pixelCount, 2);
        EXPECT_EQ(p.planes.lumaDither[at(p, 2, 1)], c.roleAt2);
        EXPECT_EQ(p.planes.lumaDither[at(p, 3, 1)], c.roleAt3);
        EXPECT_EQ(carriesOutside(p, p.planes.lumaDither.get(), {{2, 1}, {3, 1}}), c.carries);
        EXPECT_EQ(s.lostLuma, c.lost);
        EXPECT_EQ(s.lumaErrorSum, (3200 - 3910) / 32.0);
        EXPECT_EQ(s.lumaSqErrorSum, 100.0 * 100.0 + (3910 / 32.0) * (3910 / 32.0));
    }
}

// One grey 100 pixel with saturation 100 at hue 16 (π/8) against two Black roles: X = 2956, Y = 1224,
// so the units are e = 150, ex = 138, ey = 57, and the tie goes to role 1.
TEST(QuantiseRegion, ChromaSharesFollowTheScanDirection) {
    for (bool reverse : {false, true}) {
        SCOPED_TRACE(reverse ? "reverse" : "forward");
        VicPicture p;
        shape(p, 8, 4, 8, true);
        setRoles(p, {kBlack, kBlack});
        setPixel(p, 3, 1, 100, 100, 16);

        const QuantStats s = p.quantiseRegion(regionOf({3, 4}, {1, 2}, kAllOpen, scanOf(reverse)), nullptr);
        EXPECT_EQ(p.planes.lumaDither[at(p, 3, 1)], 1);
        EXPECT_EQ(s.chromaPixelCount, 1);
        EXPECT_EQ(s.chromaPixelCount2, 1);
        EXPECT_EQ(s.xErrorSum, 2956 / 32.0);
        EXPECT_EQ(s.yErrorSum, 1224 / 32.0);
        EXPECT_EQ(s.lostLuma + s.lostX + s.lostY, 0.0);

        const int ahead = reverse ? 2 : 4, behind = reverse ? 4 : 2;
        auto shares = [&](int unit) {
            return std::map<Position, int>{{{ahead, 1}, 7 * unit},
                                           {{behind, 2}, 3 * unit},
                                           {{3, 2}, 5 * unit},
                                           {{ahead, 2}, unit}};
        };
        EXPECT_EQ(carriesOutside(p, p.planes.lumaDither.get(), {{3, 1}}), shares(150));
        EXPECT_EQ(carriesOutside(p, p.planes.saturationDither.get(), {}), shares(138));
        EXPECT_EQ(carriesOutside(p, p.planes.hueDither.get(), {}), shares(57));
    }
}

TEST(QuantiseRegion, CarriesSaturateAtTheSixteenBitRange) {
    // A grey 100 pixel against Black passes +1050 ahead; a black pixel against White passes 5 × -383 below.
    VicPicture p;
    shape(p, 8, 4, 8, true);
    setRoles(p, {kBlack, kBlack});
    setPixel(p, 3, 1, 100, 100, 16);
    p.planes.lumaDither[at(p, 4, 1)] = 32000;
    p.planes.saturationDither[at(p, 4, 1)] = 32000;
    p.planes.hueDither[at(p, 3, 2)] = 32600;
    p.quantiseRegion(regionOf({3, 4}, {1, 2}), nullptr);
    EXPECT_EQ(p.planes.lumaDither[at(p, 4, 1)], 32767);
    EXPECT_EQ(p.planes.saturationDither[at(p, 4, 1)], 32767);
    EXPECT_EQ(p.planes.hueDither[at(p, 3, 2)], 32767);

    VicPicture q;
    shape(q, 8, 4, 8, false);
    setRoles(q, {kWhite, kWhite});
    q.planes.lumaDither[at(q, 3, 2)] = -31000;
    q.planes.lumaDither[at(q, 2, 2)] = -32000;
    q.quantiseRegion(regionOf({3, 4}, {1, 2}), nullptr);
    EXPECT_EQ(q.planes.lumaDither[at(q, 3, 2)], -32768);  // 5 × -383 more
    EXPECT_EQ(q.planes.lumaDither[at(q, 2, 2)], -32768);  // 3 × -383 more
    EXPECT_EQ(q.planes.lumaDither[at(q, 4, 1)], 7 * -383);
}

TEST(QuantiseRegion, OpenEdgesStopAtTheSourceSize) {
    // Width 6 padded to 8, height 5 padded to 8: the padding never receives error.
    VicPicture p;
    shape(p, 6, 5, 8, false);
    setRoles(p, {kBlack, kWhite});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) setPixel(p, x, y, 100);
    const QuantStats s = p.quantiseRegion(regionOf({4, 6}, {4, 5}), nullptr);
    // (4,4): Black, e = 150, all next-row shares lost. (5,4): 4250 -> White, e = -184, 16e lost.
    EXPECT_EQ(s.lostLuma, 9 * 150 + 16 * -184);
    EXPECT_TRUE(carriesOutside(p, p.planes.lumaDither.get(), {{4, 4}, {5, 4}}).empty());
}

TEST(QuantiseRegion, MonochromeIgnoresChromaEvenWhenPresent) {
    VicPicture plain, withChroma;
    shape(plain, 16, 8, 4, false);
    shape(withChroma, 16, 8, 4, true);
    fillRandom(withChroma, 7);
    withChroma.monochrome = 1;
    std::fill_n(withChroma.planes.saturationDither.get(), withChroma.geometry.paddedSize, std::int16_t{123});
    std::fill_n(withChroma.planes.hueDither.get(), withChroma.geometry.paddedSize, std::int16_t{-45});
    std::copy_n(withChroma.planes.luminancePlane.get(), plain.geometry.paddedSize, plain.planes.luminancePlane.get());
    for (VicPicture* p : {&plain, &withChroma}) setRoles(*p, {kBlack, kRed, kCyan, kWhite});

    const QuantStats a = plain.quantiseRegion(regionOf({0, 16}, {0, 8}), nullptr);
    const QuantStats b = withChroma.quantiseRegion(regionOf({0, 16}, {0, 8}), nullptr);
    EXPECT_TRUE(std::equal(plain.planes.lumaDither.get(), plain.planes.lumaDither.get() + plain.geometry.paddedSize,
                           withChroma.planes.lumaDither.get()));
    EXPECT_EQ(a.lumaErrorSum, b.lumaErrorSum);
    EXPECT_EQ(a.lostLuma, b.lostLuma);
    EXPECT_EQ(b.chromaPixelCount, 0);
    EXPECT_EQ(b.xAbsErrorSum + b.yAbsErrorSum + b.lostX + b.lostY, 0.0);
    EXPECT_TRUE(std::all_of(withChroma.planes.saturationDither.get(),
                            withChroma.planes.saturationDither.get() + withChroma.geometry.paddedSize,
                            [](std::int16_t v) { return v == 123; }));
}

TEST(QuantiseRegion, EqualCostsGoToTheHigherRole) {
    // MGray and L.Blu share luminance 120: a monochrome picture never uses the lower of the two.
    VicPicture mono;
    shape(mono, 16, 16, 4, false);
    fillRandom(mono, 3);
    setRoles(mono, {kBlack, kMidGrey, kLightBlue, kWhite});
    mono.quantiseRegion(regionOf({0, 16}, {0, 16}), nullptr);
    int lightBlue = 0;
    for (int i = 0; i < mono.geometry.paddedSize; ++i) {
        EXPECT_NE(mono.planes.lumaDither[i], 1) << "pixel " << i;
        lightBlue += mono.planes.lumaDither[i] == 2;
    }
    EXPECT_GT(lightBlue, 0);

    // The same colour in two roles of a colour picture: the higher one takes every pixel.
    VicPicture colour;
    shape(colour, 16, 8, 8, true);
    fillRandom(colour, 4);
    setRoles(colour, {kRed, kRed});
    colour.quantiseRegion(regionOf({0, 16}, {0, 8}, kAllOpen, kRightToLeft), nullptr);
    EXPECT_TRUE(std::all_of(colour.planes.lumaDither.get(), colour.planes.lumaDither.get() + colour.geometry.paddedSize,
                            [](std::int16_t v) { return v == 1; }));
}

TEST(QuantiseRegion, ExactColoursPassNoErrorOn) {
    VicPicture p;
    shape(p, 8, 8, 4, true);
    setRoles(p, {kBlack, kRed, kWhite, kLightGrey});
    const int luminance[] = {0, 80, 255, 160}, saturation[] = {0, 224, 0, 0};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int role = (x * 3 + y) % 4;
            setPixel(p, x, y, luminance[role], saturation[role], 0);
        }
    const QuantStats s = p.quantiseRegion(regionOf({0, 8}, {0, 8}), nullptr);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(p.planes.lumaDither[at(p, x, y)], (x * 3 + y) % 4);
    EXPECT_EQ(s.lumaAbsErrorSum + s.xAbsErrorSum + s.yAbsErrorSum, 0.0);
    EXPECT_EQ(s.lostLuma + s.lostX + s.lostY, 0.0);
    EXPECT_TRUE(carriesOutside(p, p.planes.saturationDither.get(), {}).empty());
}

TEST(QuantiseRegion, PaletteErrorWeightsChromaByKpr) {
    // Luminance 20 says Black, saturation 200 at hue 0 says Red: Black costs 640 + w × 3200, Red
    // 1920 + w × 384, so Red wins unless chroma is weighted below about 0.45.
    struct Case {
        std::uint8_t paletteError;
        double kpr;
        int role;
    };
    for (const Case c : {Case{0, 0.25, 1}, Case{1, 0.25, 0}, Case{1, 0.75, 1}}) {
        VicPicture p;
        shape(p, 8, 8, 8, true);
        setRoles(p, {kBlack, kRed});
        p.analysis.paletteError = c.paletteError;
        p.settings.kprWeight = c.kpr;
        setPixel(p, 0, 0, 20, 200, 0);
        p.quantiseRegion(regionOf({0, 1}, {0, 1}, kClosed), nullptr);
        EXPECT_EQ(p.planes.lumaDither[0], c.role) << int(c.paletteError) << " " << c.kpr;
    }
}

TEST(QuantiseRegion, ChromaDifferencesAreHalvedByArithmeticShift) {
    // A grey pixel with carries v = 920, X = -1, Y = -6148 against Black and Purple: Black costs
    // 920 + |-1 >> 1| + |-6148 >> 1| = 3995, Purple 2152 + |-3686 >> 1| + 0 = 3995. The tie keeps Purple;
    // halving the magnitude instead would make Black one cheaper.
    VicPicture p;
    shape(p, 8, 8, 8, true);
    setRoles(p, {kBlack, kPurple});
    p.planes.lumaDither[0] = 920;
    p.planes.saturationDither[0] = -1;
    p.planes.hueDither[0] = -6148;
    const QuantStats s = p.quantiseRegion(regionOf({0, 1}, {0, 1}, kClosed), nullptr);
    EXPECT_EQ(p.planes.lumaDither[0], 1);
    EXPECT_EQ(s.xErrorSum, -3686 / 32.0);
    EXPECT_EQ(s.yErrorSum, 0.0);
}

TEST(QuantiseRegion, BandsWithTheBottomOpenMatchOnePass) {
    VicPicture whole, banded;
    for (VicPicture* p : {&whole, &banded}) {
        shape(*p, 24, 16, 4, true);
        fillRandom(*p, 11);
        setRoles(*p, {kBlue, kOrange, kLightGreen, kBlack});
    }
    const QuantStats one = whole.quantiseRegion(regionOf({0, 24}, {0, 16}), nullptr);
    const QuantStats top = banded.quantiseRegion(regionOf({0, 24}, {0, 5}), nullptr);
    const QuantStats bottom = banded.quantiseRegion(regionOf({0, 24}, {5, 16}), nullptr);
    EXPECT_TRUE(std::equal(whole.planes.lumaDither.get(), whole.planes.lumaDither.get() + whole.geometry.paddedSize,
                           banded.planes.lumaDither.get()));
    EXPECT_EQ(one.pixelCount, top.pixelCount + bottom.pixelCount);
    EXPECT_EQ(one.lumaErrorSum, top.lumaErrorSum + bottom.lumaErrorSum);
    EXPECT_EQ(one.lostLuma, top.lostLuma + bottom.lostLuma);
    EXPECT_EQ(one.lostX, top.lostX + bottom.lostX);
    EXPECT_EQ(one.yErrorSum, top.yErrorSum + bottom.yErrorSum);
}

TEST(QuantiseRegion, ReverseScanOfAMirroredPictureMirrorsTheForwardScan) {
    VicPicture forward, mirrored;
    shape(forward, 20, 8, 4, true);
    shape(mirrored, 20, 8, 4, true);
    fillRandom(forward, 5);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 20; ++x)
            setPixel(mirrored, 19 - x, y, forward.planes.luminancePlane[at(forward, x, y)],
                     forward.planes.saturationPlane[at(forward, x, y)], forward.planes.huePlane[at(forward, x, y)]);
    for (VicPicture* p : {&forward, &mirrored}) setRoles(*p, {kBlack, kPurple, kYellow, kCyan});

    // Region columns 3..15 with the left edge open mirror to columns 4..16 with the right edge open.
    const DitherRegion::OpenEdges leftOpen{.left = true, .right = false, .bottom = true};
    const DitherRegion::OpenEdges rightOpen{.left = false, .right = true, .bottom = true};
    const QuantStats a = forward.quantiseRegion(regionOf({3, 16}, {1, 7}, leftOpen), nullptr);
    const QuantStats b = mirrored.quantiseRegion(regionOf({4, 17}, {1, 7}, rightOpen, kRightToLeft), nullptr);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 20; ++x) {
            EXPECT_EQ(forward.planes.lumaDither[at(forward, x, y)],
                      mirrored.planes.lumaDither[at(mirrored, 19 - x, y)]);
            EXPECT_EQ(forward.planes.saturationDither[at(forward, x, y)],
                      mirrored.planes.saturationDither[at(mirrored, 19 - x, y)]);
            EXPECT_EQ(forward.planes.hueDither[at(forward, x, y)], mirrored.planes.hueDither[at(mirrored, 19 - x, y)]);
        }
    EXPECT_EQ(a.lostLuma, b.lostLuma);
    EXPECT_EQ(a.lostX, b.lostX);
    EXPECT_EQ(a.lostY, b.lostY);
    EXPECT_EQ(a.xSqErrorSum, b.xSqErrorSum);
}

TEST(QuantiseRegion, MirrorPictureReceivesRolesAndSourceBytesOfTheRegion) {
    VicPicture p, mirror;
    shape(p, 16, 8, 4, true);
    shape(mirror, 16, 8, 4, true);
    fillRandom(p, 9);
    setRoles(p, {kBlack, kGreen, kLightRed, kWhite});
    p.quantiseRegion(regionOf({4, 12}, {2, 6}, kClosed), &mirror);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const int i = at(p, x, y);
            const bool inside = x >= 4 && x < 12 && y >= 2 && y < 6;
            EXPECT_EQ(mirror.planes.lumaDither[i], inside ? p.planes.lumaDither[i] : 0);
            EXPECT_EQ(mirror.planes.luminancePlane[i], inside ? p.planes.luminancePlane[i] : 0);
            EXPECT_EQ(mirror.planes.saturationPlane[i], inside ? p.planes.saturationPlane[i] : 0);
            EXPECT_EQ(mirror.planes.huePlane[i], inside ? p.planes.huePlane[i] : 0);
        }
}

TEST(QuantiseRegion, MissingBuffersGiveAnEmptyRecord) {
    VicPicture p;
    shape(p, 8, 8, 4, true);
    fillRandom(p, 1);
    p.planes.hueDither.reset();
    const QuantStats s = p.quantiseRegion(regionOf({0, 8}, {0, 8}), nullptr);
    EXPECT_EQ(s.pixelCount, 0);
    EXPECT_TRUE(std::all_of(p.planes.lumaDither.get(), p.planes.lumaDither.get() + p.geometry.paddedSize,
                            [](std::int16_t v) { return v == 0; }));
}

// ---- the quantisation against its first, plain form -------------------------------------------------------

void copyPicture(const VicPicture& from, VicPicture& to) {
    shape(to, from.geometry.width, from.geometry.height, from.geometry.cardWidth, from.monochrome == 0);
    const auto n = static_cast<std::size_t>(from.geometry.paddedSize);
    std::copy_n(from.planes.luminancePlane.get(), n, to.planes.luminancePlane.get());
    std::copy_n(from.planes.lumaDither.get(), n, to.planes.lumaDither.get());
    if (from.monochrome == 0) {
        std::copy_n(from.planes.huePlane.get(), n, to.planes.huePlane.get());
        std::copy_n(from.planes.saturationPlane.get(), n, to.planes.saturationPlane.get());
        std::copy_n(from.planes.hueDither.get(), n, to.planes.hueDither.get());
        std::copy_n(from.planes.saturationDither.get(), n, to.planes.saturationDither.get());
    }
    to.geometry.roleCount = from.geometry.roleCount;
    std::copy(std::begin(from.colours.roleColours), std::end(from.colours.roleColours), to.colours.roleColours);
    to.analysis.paletteError = from.analysis.paletteError;
    to.settings.kprWeight = from.settings.kprWeight;
}

void expectSamePlanes(const VicPicture& expected, const VicPicture& actual) {
    const auto n = static_cast<std::size_t>(expected.geometry.paddedSize);
    EXPECT_TRUE(std::equal(expected.planes.lumaDither.get(), expected.planes.lumaDither.get() + n,
                           actual.planes.lumaDither.get()));
    EXPECT_TRUE(std::equal(expected.planes.luminancePlane.get(), expected.planes.luminancePlane.get() + n,
                           actual.planes.luminancePlane.get()));
    if (expected.monochrome == 0) {
        EXPECT_TRUE(std::equal(expected.planes.hueDither.get(), expected.planes.hueDither.get() + n,
                               actual.planes.hueDither.get()));
        EXPECT_TRUE(std::equal(expected.planes.saturationDither.get(), expected.planes.saturationDither.get() + n,
                               actual.planes.saturationDither.get()));
        EXPECT_TRUE(std::equal(expected.planes.huePlane.get(), expected.planes.huePlane.get() + n,
                               actual.planes.huePlane.get()));
    }
}

TEST(QuantiseRegion, MatchesThePlainQuantisationBitForBit) {
    std::mt19937 random(99);
    const double weights[] = {0.75, 1.0, 0.5, 2.0, 0.3};
    for (int round = 0; round < 120; ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        const bool colour = round % 4 != 3;
        const int cardWidth = round % 5 == 0 ? 8 : 4;
        VicPicture picture, plainPicture, mirror, plainMirror;
        shape(picture, 17 + static_cast<int>(random() % 30), 9 + static_cast<int>(random() % 20), cardWidth, colour);
        fillRandom(picture, static_cast<unsigned>(random()));
        // Carries anywhere in the 16-bit range, near its ends in some rounds, so that sums saturate.
        const int carrySpan = round % 3 == 0 ? 65536 : 2048;
        for (int i = 0; i < picture.geometry.paddedSize; ++i) {
            auto carry = [&] { return static_cast<std::int16_t>(static_cast<int>(random() % carrySpan) - carrySpan / 2); };
            picture.planes.lumaDither[i] = carry();
            if (colour) {
                picture.planes.hueDither[i] = carry();
                picture.planes.saturationDither[i] = carry();
            }
        }
        std::vector<int> roles;
        for (int k = 0; k < (cardWidth == 8 ? 2 : 4); ++k) roles.push_back(static_cast<int>(random() % 17));
        setRoles(picture, roles);
        picture.analysis.paletteError = random() % 2;
        picture.settings.kprWeight = weights[random() % 5];
        copyPicture(picture, plainPicture);
        const bool mirrored = round % 2 == 0;
        if (mirrored) {
            shape(mirror, picture.geometry.width, picture.geometry.height, cardWidth, colour);
            shape(plainMirror, picture.geometry.width, picture.geometry.height, cardWidth, colour);
        }

        const bool reverse = random() % 2;
        const int firstColumn = static_cast<int>(random() % 6);
        const int endColumn = picture.geometry.width - static_cast<int>(random() % 6);
        const int firstRow = static_cast<int>(random() % 4);
        const int endRow = picture.geometry.height - static_cast<int>(random() % 4);
        const bool leftOpen = random() % 2, rightOpen = random() % 2, bottomOpen = random() % 2;
        const QuantStats expected =
            plain::plainQuantiseRegion(plainPicture, reverse, firstColumn, endColumn, leftOpen, rightOpen, firstRow,
                                       endRow, bottomOpen, mirrored ? &plainMirror : nullptr);
        const DitherRegion::OpenEdges open{.left = leftOpen, .right = rightOpen, .bottom = bottomOpen};
        const DitherRegion region = regionOf({firstColumn, endColumn}, {firstRow, endRow}, open, scanOf(reverse));
        const QuantStats actual = picture.quantiseRegion(region, mirrored ? &mirror : nullptr);

        const double expectedSums[] = {expected.lumaErrorSum, expected.lumaAbsErrorSum, expected.lumaSqErrorSum,
                                       expected.lostLuma,     expected.xErrorSum,       expected.xAbsErrorSum,
                                       expected.xSqErrorSum,  expected.lostX,           expected.yErrorSum,
                                       expected.yAbsErrorSum, expected.ySqErrorSum,     expected.lostY};
        const double actualSums[] = {actual.lumaErrorSum, actual.lumaAbsErrorSum, actual.lumaSqErrorSum,
                                     actual.lostLuma,     actual.xErrorSum,       actual.xAbsErrorSum,
                                     actual.xSqErrorSum,  actual.lostX,           actual.yErrorSum,
                                     actual.yAbsErrorSum, actual.ySqErrorSum,     actual.lostY};
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(std::bit_cast<std::uint64_t>(expectedSums[i]), std::bit_cast<std::uint64_t>(actualSums[i]))
                << "sum " << i << ": " << expectedSums[i] << " against " << actualSums[i];
        EXPECT_EQ(expected.pixelCount, actual.pixelCount);
        EXPECT_EQ(expected.chromaPixelCount, actual.chromaPixelCount);
        EXPECT_EQ(expected.chromaPixelCount2, actual.chromaPixelCount2);
        expectSamePlanes(plainPicture, picture);
        if (mirrored) expectSamePlanes(plainMirror, mirror);
    }
}

TEST(QuantisePicture, StartsFromCleanCarriesAndFillsTheRecord) {
    VicPicture clean, stale;
    for (VicPicture* p : {&clean, &stale}) {
        shape(*p, 22, 13, 4, true);  // padded 24 × 16
        fillRandom(*p, 21);
        setRoles(*p, {kBlack, kBrown, kLightBlue, kWhite});
    }
    std::fill_n(stale.planes.lumaDither.get(), stale.geometry.paddedSize, std::int16_t{999});
    std::fill_n(stale.planes.saturationDither.get(), stale.geometry.paddedSize, std::int16_t{-999});
    std::fill_n(stale.planes.hueDither.get(), stale.geometry.paddedSize, std::int16_t{555});

    const QuantStats a = clean.quantisePicture();
    const QuantStats b = stale.quantisePicture();
    EXPECT_TRUE(std::equal(clean.planes.lumaDither.get(), clean.planes.lumaDither.get() + clean.geometry.paddedSize,
                           stale.planes.lumaDither.get()));
    EXPECT_EQ(a.lumaSqErrorSum, b.lumaSqErrorSum);
    EXPECT_EQ(b.pixelCount, 22 * 13);
    EXPECT_EQ(b.edgeCount, 22 + 2 * 13 - 2);
    EXPECT_EQ(b.monochrome, 0);
    EXPECT_EQ(b.copiedPixels, 0);
    for (int y = 13; y < 16; ++y)  // rows below the source show role 0
        for (int x = 0; x < 24; ++x) EXPECT_EQ(stale.planes.lumaDither[at(stale, x, y)], 0);

    VicPicture mono;
    shape(mono, 8, 8, 8, false);
    setRoles(mono, {kBlack, kWhite});
    EXPECT_EQ(mono.quantisePicture().monochrome, 1);

    VicPicture noChroma;
    shape(noChroma, 8, 8, 8, true);
    noChroma.planes.saturationDither.reset();
    EXPECT_EQ(noChroma.quantisePicture().pixelCount, 0);
    VicPicture empty;
    EXPECT_EQ(empty.quantisePicture().edgeCount, 0);
}

}  // namespace
}  // namespace zov
