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
    p.width = width;
    p.height = height;
    p.pixelCount = static_cast<std::uint32_t>(width * height);
    p.paddedWidth = (width + cardWidth - 1) / cardWidth * cardWidth;
    p.paddedHeight = (height + 7) / 8 * 8;
    p.paddedSize = p.paddedWidth * p.paddedHeight;
    p.widthInCards = p.paddedWidth / cardWidth;
    p.heightInCards = p.paddedHeight / 8;
    p.monochrome = colour ? 0 : 1;
    const auto n = static_cast<std::size_t>(p.paddedSize);
    p.luminancePlane.reset(new std::uint8_t[n]());
    p.lumaDither.reset(new std::int16_t[n]());
    if (colour) {
        p.huePlane.reset(new std::uint8_t[n]());
        p.saturationPlane.reset(new std::uint8_t[n]());
        p.hueDither.reset(new std::int16_t[n]());
        p.saturationDither.reset(new std::int16_t[n]());
    }
}

void setRoles(VicPicture& p, std::vector<int> colours) {
    p.roleCount = static_cast<int>(colours.size());
    std::copy(colours.begin(), colours.end(), p.roleColours);
}

int at(const VicPicture& p, int x, int y) { return y * p.paddedWidth + x; }

void setPixel(VicPicture& p, int x, int y, int luminance, int saturation = 0, int hue = 0) {
    p.luminancePlane[at(p, x, y)] = static_cast<std::uint8_t>(luminance);
    if (p.saturationPlane) p.saturationPlane[at(p, x, y)] = static_cast<std::uint8_t>(saturation);
    if (p.huePlane) p.huePlane[at(p, x, y)] = static_cast<std::uint8_t>(hue);
}

void fillRandom(VicPicture& p, unsigned seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < p.paddedSize; ++i) {
        p.luminancePlane[i] = static_cast<std::uint8_t>(random());
        if (p.saturationPlane) p.saturationPlane[i] = static_cast<std::uint8_t>(random());
        if (p.huePlane) p.huePlane[i] = static_cast<std::uint8_t>(random());
    }
}

/// Every non-zero element of a carry plane outside the given pixels.
std::map<Position, int> carriesOutside(const VicPicture& p, const std::int16_t* plane, std::vector<Position> skip) {
    std::map<Position, int> found;
    for (int y = 0; y < p.paddedHeight; ++y)
        for (int x = 0; x < p.paddedWidth; ++x)
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

        const QuantStats s = p.quantiseRegion(c.reverse, 2, 4, c.leftOpen, c.rightOpen, 1, 2, c.bottomOpen, nullptr);
        EXPECT_EQ(s.pixelCount, 2);
        EXPECT_EQ(p.lumaDither[at(p, 2, 1)], c.roleAt2);
        EXPECT_EQ(p.lumaDither[at(p, 3, 1)], c.roleAt3);
        EXPECT_EQ(carriesOutside(p, p.lumaDither.get(), {{2, 1}, {3, 1}}), c.carries);
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

        const QuantStats s = p.quantiseRegion(reverse, 3, 4, true, true, 1, 2, true, nullptr);
        EXPECT_EQ(p.lumaDither[at(p, 3, 1)], 1);
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
        EXPECT_EQ(carriesOutside(p, p.lumaDither.get(), {{3, 1}}), shares(150));
        EXPECT_EQ(carriesOutside(p, p.saturationDither.get(), {}), shares(138));
        EXPECT_EQ(carriesOutside(p, p.hueDither.get(), {}), shares(57));
    }
}

TEST(QuantiseRegion, CarriesSaturateAtTheSixteenBitRange) {
    // A grey 100 pixel against Black passes +1050 ahead; a black pixel against White passes 5 × -383 below.
    VicPicture p;
    shape(p, 8, 4, 8, true);
    setRoles(p, {kBlack, kBlack});
    setPixel(p, 3, 1, 100, 100, 16);
    p.lumaDither[at(p, 4, 1)] = 32000;
    p.saturationDither[at(p, 4, 1)] = 32000;
    p.hueDither[at(p, 3, 2)] = 32600;
    p.quantiseRegion(false, 3, 4, true, true, 1, 2, true, nullptr);
    EXPECT_EQ(p.lumaDither[at(p, 4, 1)], 32767);
    EXPECT_EQ(p.saturationDither[at(p, 4, 1)], 32767);
    EXPECT_EQ(p.hueDither[at(p, 3, 2)], 32767);

    VicPicture q;
    shape(q, 8, 4, 8, false);
    setRoles(q, {kWhite, kWhite});
    q.lumaDither[at(q, 3, 2)] = -31000;
    q.lumaDither[at(q, 2, 2)] = -32000;
    q.quantiseRegion(false, 3, 4, true, true, 1, 2, true, nullptr);
    EXPECT_EQ(q.lumaDither[at(q, 3, 2)], -32768);  // 5 × -383 more
    EXPECT_EQ(q.lumaDither[at(q, 2, 2)], -32768);  // 3 × -383 more
    EXPECT_EQ(q.lumaDither[at(q, 4, 1)], 7 * -383);
}

TEST(QuantiseRegion, OpenEdgesStopAtTheSourceSize) {
    // Width 6 padded to 8, height 5 padded to 8: the padding never receives error.
    VicPicture p;
    shape(p, 6, 5, 8, false);
    setRoles(p, {kBlack, kWhite});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) setPixel(p, x, y, 100);
    const QuantStats s = p.quantiseRegion(false, 4, 6, true, true, 4, 5, true, nullptr);
    // (4,4): Black, e = 150, all next-row shares lost. (5,4): 4250 -> White, e = -184, 16e lost.
    EXPECT_EQ(s.lostLuma, 9 * 150 + 16 * -184);
    EXPECT_TRUE(carriesOutside(p, p.lumaDither.get(), {{4, 4}, {5, 4}}).empty());
}

TEST(QuantiseRegion, MonochromeIgnoresChromaEvenWhenPresent) {
    VicPicture plain, withChroma;
    shape(plain, 16, 8, 4, false);
    shape(withChroma, 16, 8, 4, true);
    fillRandom(withChroma, 7);
    withChroma.monochrome = 1;
    std::fill_n(withChroma.saturationDither.get(), withChroma.paddedSize, std::int16_t{123});
    std::fill_n(withChroma.hueDither.get(), withChroma.paddedSize, std::int16_t{-45});
    std::copy_n(withChroma.luminancePlane.get(), plain.paddedSize, plain.luminancePlane.get());
    for (VicPicture* p : {&plain, &withChroma}) setRoles(*p, {kBlack, kRed, kCyan, kWhite});

    const QuantStats a = plain.quantiseRegion(false, 0, 16, true, true, 0, 8, true, nullptr);
    const QuantStats b = withChroma.quantiseRegion(false, 0, 16, true, true, 0, 8, true, nullptr);
    EXPECT_TRUE(std::equal(plain.lumaDither.get(), plain.lumaDither.get() + plain.paddedSize,
                           withChroma.lumaDither.get()));
    EXPECT_EQ(a.lumaErrorSum, b.lumaErrorSum);
    EXPECT_EQ(a.lostLuma, b.lostLuma);
    EXPECT_EQ(b.chromaPixelCount, 0);
    EXPECT_EQ(b.xAbsErrorSum + b.yAbsErrorSum + b.lostX + b.lostY, 0.0);
    EXPECT_TRUE(std::all_of(withChroma.saturationDither.get(),
                            withChroma.saturationDither.get() + withChroma.paddedSize,
                            [](std::int16_t v) { return v == 123; }));
}

TEST(QuantiseRegion, EqualCostsGoToTheHigherRole) {
    // MGray and L.Blu share luminance 120: a monochrome picture never uses the lower of the two.
    VicPicture mono;
    shape(mono, 16, 16, 4, false);
    fillRandom(mono, 3);
    setRoles(mono, {kBlack, kMidGrey, kLightBlue, kWhite});
    mono.quantiseRegion(false, 0, 16, true, true, 0, 16, true, nullptr);
    int lightBlue = 0;
    for (int i = 0; i < mono.paddedSize; ++i) {
        EXPECT_NE(mono.lumaDither[i], 1) << "pixel " << i;
        lightBlue += mono.lumaDither[i] == 2;
    }
    EXPECT_GT(lightBlue, 0);

    // The same colour in two roles of a colour picture: the higher one takes every pixel.
    VicPicture colour;
    shape(colour, 16, 8, 8, true);
    fillRandom(colour, 4);
    setRoles(colour, {kRed, kRed});
    colour.quantiseRegion(true, 0, 16, true, true, 0, 8, true, nullptr);
    EXPECT_TRUE(std::all_of(colour.lumaDither.get(), colour.lumaDither.get() + colour.paddedSize,
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
    const QuantStats s = p.quantiseRegion(false, 0, 8, true, true, 0, 8, true, nullptr);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(p.lumaDither[at(p, x, y)], (x * 3 + y) % 4);
    EXPECT_EQ(s.lumaAbsErrorSum + s.xAbsErrorSum + s.yAbsErrorSum, 0.0);
    EXPECT_EQ(s.lostLuma + s.lostX + s.lostY, 0.0);
    EXPECT_TRUE(carriesOutside(p, p.saturationDither.get(), {}).empty());
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
        p.paletteError = c.paletteError;
        p.kprWeight = c.kpr;
        setPixel(p, 0, 0, 20, 200, 0);
        p.quantiseRegion(false, 0, 1, false, false, 0, 1, false, nullptr);
        EXPECT_EQ(p.lumaDither[0], c.role) << int(c.paletteError) << " " << c.kpr;
    }
}

TEST(QuantiseRegion, ChromaDifferencesAreHalvedByArithmeticShift) {
    // A grey pixel with carries v = 920, X = -1, Y = -6148 against Black and Purple: Black costs
    // 920 + |-1 >> 1| + |-6148 >> 1| = 3995, Purple 2152 + |-3686 >> 1| + 0 = 3995. The tie keeps Purple;
    // halving the magnitude instead would make Black one cheaper.
    VicPicture p;
    shape(p, 8, 8, 8, true);
    setRoles(p, {kBlack, kPurple});
    p.lumaDither[0] = 920;
    p.saturationDither[0] = -1;
    p.hueDither[0] = -6148;
    const QuantStats s = p.quantiseRegion(false, 0, 1, false, false, 0, 1, false, nullptr);
    EXPECT_EQ(p.lumaDither[0], 1);
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
    const QuantStats one = whole.quantiseRegion(false, 0, 24, true, true, 0, 16, true, nullptr);
    const QuantStats top = banded.quantiseRegion(false, 0, 24, true, true, 0, 5, true, nullptr);
    const QuantStats bottom = banded.quantiseRegion(false, 0, 24, true, true, 5, 16, true, nullptr);
    EXPECT_TRUE(std::equal(whole.lumaDither.get(), whole.lumaDither.get() + whole.paddedSize, banded.lumaDither.get()));
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
            setPixel(mirrored, 19 - x, y, forward.luminancePlane[at(forward, x, y)],
                     forward.saturationPlane[at(forward, x, y)], forward.huePlane[at(forward, x, y)]);
    for (VicPicture* p : {&forward, &mirrored}) setRoles(*p, {kBlack, kPurple, kYellow, kCyan});

    // Region columns 3..15 with the left edge open mirror to columns 4..16 with the right edge open.
    const QuantStats a = forward.quantiseRegion(false, 3, 16, true, false, 1, 7, true, nullptr);
    const QuantStats b = mirrored.quantiseRegion(true, 4, 17, false, true, 1, 7, true, nullptr);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 20; ++x) {
            EXPECT_EQ(forward.lumaDither[at(forward, x, y)], mirrored.lumaDither[at(mirrored, 19 - x, y)]);
            EXPECT_EQ(forward.saturationDither[at(forward, x, y)], mirrored.saturationDither[at(mirrored, 19 - x, y)]);
            EXPECT_EQ(forward.hueDither[at(forward, x, y)], mirrored.hueDither[at(mirrored, 19 - x, y)]);
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
    p.quantiseRegion(false, 4, 12, false, false, 2, 6, false, &mirror);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const int i = at(p, x, y);
            const bool inside = x >= 4 && x < 12 && y >= 2 && y < 6;
            EXPECT_EQ(mirror.lumaDither[i], inside ? p.lumaDither[i] : 0);
            EXPECT_EQ(mirror.luminancePlane[i], inside ? p.luminancePlane[i] : 0);
            EXPECT_EQ(mirror.saturationPlane[i], inside ? p.saturationPlane[i] : 0);
            EXPECT_EQ(mirror.huePlane[i], inside ? p.huePlane[i] : 0);
        }
}

TEST(QuantiseRegion, MissingBuffersGiveAnEmptyRecord) {
    VicPicture p;
    shape(p, 8, 8, 4, true);
    fillRandom(p, 1);
    p.hueDither.reset();
    const QuantStats s = p.quantiseRegion(false, 0, 8, true, true, 0, 8, true, nullptr);
    EXPECT_EQ(s.pixelCount, 0);
    EXPECT_TRUE(std::all_of(p.lumaDither.get(), p.lumaDither.get() + p.paddedSize, [](std::int16_t v) { return v == 0; }));
}

// ---- the quantisation against its first, plain form -------------------------------------------------------

void copyPicture(const VicPicture& from, VicPicture& to) {
    shape(to, from.width, from.height, from.cardWidth, from.monochrome == 0);
    const auto n = static_cast<std::size_t>(from.paddedSize);
    std::copy_n(from.luminancePlane.get(), n, to.luminancePlane.get());
    std::copy_n(from.lumaDither.get(), n, to.lumaDither.get());
    if (from.monochrome == 0) {
        std::copy_n(from.huePlane.get(), n, to.huePlane.get());
        std::copy_n(from.saturationPlane.get(), n, to.saturationPlane.get());
        std::copy_n(from.hueDither.get(), n, to.hueDither.get());
        std::copy_n(from.saturationDither.get(), n, to.saturationDither.get());
    }
    to.roleCount = from.roleCount;
    std::copy(std::begin(from.roleColours), std::end(from.roleColours), to.roleColours);
    to.paletteError = from.paletteError;
    to.kprWeight = from.kprWeight;
}

void expectSamePlanes(const VicPicture& expected, const VicPicture& actual) {
    const auto n = static_cast<std::size_t>(expected.paddedSize);
    EXPECT_TRUE(std::equal(expected.lumaDither.get(), expected.lumaDither.get() + n, actual.lumaDither.get()));
    EXPECT_TRUE(std::equal(expected.luminancePlane.get(), expected.luminancePlane.get() + n,
                           actual.luminancePlane.get()));
    if (expected.monochrome == 0) {
        EXPECT_TRUE(std::equal(expected.hueDither.get(), expected.hueDither.get() + n, actual.hueDither.get()));
        EXPECT_TRUE(std::equal(expected.saturationDither.get(), expected.saturationDither.get() + n,
                               actual.saturationDither.get()));
        EXPECT_TRUE(std::equal(expected.huePlane.get(), expected.huePlane.get() + n, actual.huePlane.get()));
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
        for (int i = 0; i < picture.paddedSize; ++i) {
            auto carry = [&] { return static_cast<std::int16_t>(static_cast<int>(random() % carrySpan) - carrySpan / 2); };
            picture.lumaDither[i] = carry();
            if (colour) {
                picture.hueDither[i] = carry();
                picture.saturationDither[i] = carry();
            }
        }
        std::vector<int> roles;
        for (int k = 0; k < (cardWidth == 8 ? 2 : 4); ++k) roles.push_back(static_cast<int>(random() % 17));
        setRoles(picture, roles);
        picture.paletteError = random() % 2;
        picture.kprWeight = weights[random() % 5];
        copyPicture(picture, plainPicture);
        const bool mirrored = round % 2 == 0;
        if (mirrored) {
            shape(mirror, picture.width, picture.height, cardWidth, colour);
            shape(plainMirror, picture.width, picture.height, cardWidth, colour);
        }

        const bool reverse = random() % 2;
        const int firstColumn = static_cast<int>(random() % 6);
        const int endColumn = picture.width - static_cast<int>(random() % 6);
        const int firstRow = static_cast<int>(random() % 4);
        const int endRow = picture.height - static_cast<int>(random() % 4);
        const bool leftOpen = random() % 2, rightOpen = random() % 2, bottomOpen = random() % 2;
        const QuantStats expected =
            plain::plainQuantiseRegion(plainPicture, reverse, firstColumn, endColumn, leftOpen, rightOpen, firstRow,
                                       endRow, bottomOpen, mirrored ? &plainMirror : nullptr);
        const QuantStats actual = picture.quantiseRegion(reverse, firstColumn, endColumn, leftOpen, rightOpen,
                                                         firstRow, endRow, bottomOpen, mirrored ? &mirror : nullptr);

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
    std::fill_n(stale.lumaDither.get(), stale.paddedSize, std::int16_t{999});
    std::fill_n(stale.saturationDither.get(), stale.paddedSize, std::int16_t{-999});
    std::fill_n(stale.hueDither.get(), stale.paddedSize, std::int16_t{555});

    const QuantStats a = clean.quantisePicture();
    const QuantStats b = stale.quantisePicture();
    EXPECT_TRUE(std::equal(clean.lumaDither.get(), clean.lumaDither.get() + clean.paddedSize, stale.lumaDither.get()));
    EXPECT_EQ(a.lumaSqErrorSum, b.lumaSqErrorSum);
    EXPECT_EQ(b.pixelCount, 22 * 13);
    EXPECT_EQ(b.edgeCount, 22 + 2 * 13 - 2);
    EXPECT_EQ(b.monochrome, 0);
    EXPECT_EQ(b.copiedPixels, 0);
    for (int y = 13; y < 16; ++y)  // rows below the source show role 0
        for (int x = 0; x < 24; ++x) EXPECT_EQ(stale.lumaDither[at(stale, x, y)], 0);

    VicPicture mono;
    shape(mono, 8, 8, 8, false);
    setRoles(mono, {kBlack, kWhite});
    EXPECT_EQ(mono.quantisePicture().monochrome, 1);

    VicPicture noChroma;
    shape(noChroma, 8, 8, 8, true);
    noChroma.saturationDither.reset();
    EXPECT_EQ(noChroma.quantisePicture().pixelCount, 0);
    VicPicture empty;
    EXPECT_EQ(empty.quantisePicture().edgeCount, 0);
}

}  // namespace
}  // namespace zov
