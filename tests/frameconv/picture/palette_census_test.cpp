#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"
#include "frameconv/picture/palette_test_pictures.h"
#include "support/plain_palette_census.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

namespace zov {
namespace {

using testing_pictures::paintPixel;
using testing_pictures::shapePicture;
using testing_pictures::Swatch;
using testing_pictures::swatchOf;

struct CensusCall {
    int reference;
    std::vector<int> candidates;
    bool useLuma, useChroma, carry;
    double lumaScale, chromaScale, hueOffset;

    CensusWeights weights() const {
        return {.luma = useLuma,
                .chroma = useChroma,
                .carryChroma = carry,
                .lumaScale = lumaScale,
                .chromaScale = chromaScale,
                .hueOffset = hueOffset};
    }
};

CensusWeights withCarry(CensusWeights weights) {
    weights.carryChroma = true;
    return weights;
}

// The census written out pixel by pixel, with the trigonometry evaluated at every pixel.
CensusResult literalCensus(const VicPicture& picture, const CensusCall& call, std::vector<std::int32_t>& counts) {
    CensusResult result;
    const int n = static_cast<int>(call.candidates.size());
    int referencePosition = -1;
    for (int i = n - 1; i >= 0; --i) {
        if (call.candidates[i] == call.reference) referencePosition = i;
    }
    counts.assign(n, 0);
    const bool chroma = call.useChroma && !picture.monochrome;
    long long carryX = 0, carryY = 0;
    for (int y = picture.geometry.height - 1; y >= 0; --y) {
        for (int step = 0; step < picture.geometry.width; ++step) {
            const int x = y % 2 == 0 ? picture.geometry.width - 1 - step : step;
            const int index = y * picture.geometry.paddedWidth + x;
            const int luma = call.useLuma ? static_cast<int>(picture.planes.luminancePlane[index] * call.lumaScale) : 0;
            long long chromaX = 0, chromaY = 0;
            if (chroma) {
                const double theta = picture.planes.huePlane[index] * 6.283185307179586 / 256 + call.hueOffset;
                const int s = picture.planes.saturationPlane[index];
                chromaX = static_cast<int>(s * std::cos(theta) * call.chromaScale) + carryX;
                chromaY = static_cast<int>(s * std::sin(theta) * call.chromaScale) + carryY;
            }
            auto cost = [&](int colour, long long& dx, long long& dy) {
                unsigned long long total = 0;
                if (call.useLuma) total = std::llabs(luma - kPalette[colour].luminance);
                if (chroma) {
                    dx = static_cast<int>(chromaX - kPalette[colour].saturation * kPalette[colour].cosine);
                    dy = static_cast<int>(chromaY - kPalette[colour].saturation * kPalette[colour].sine);
                    total += std::llabs(dx) + std::llabs(dy);
                }
                return total;
            };
            long long bestDx = 0, bestDy = 0;
            unsigned long long best = cost(call.reference, bestDx, bestDy);
            int winner = -1;
            for (int i = 0; i < n; ++i) {
                if (call.candidates[i] == call.reference) continue;
                long long dx = 0, dy = 0;
                const unsigned long long c = cost(call.candidates[i], dx, dy);
                if (c < best) {
                    best = c;
                    winner = i;
                    bestDx = dx;
                    bestDy = dy;
                }
            }
            if (winner < 0) ++result.unmatchedCount;
            if (referencePosition >= 0) ++counts[winner < 0 ? referencePosition : winner];
            if (kPalette[winner < 0 ? call.reference : call.candidates[winner]].saturation != 0) {
                ++result.chromaticCount;
            }
            if (call.carry) {
                carryX = bestDx;
                carryY = bestDy;
                if (call.useChroma) {
                    result.dxSum += double(bestDx);
                    result.dxAbsSum += std::fabs(double(bestDx));
                    result.dxSqSum += double(bestDx) * double(bestDx);
                    result.dySum += double(bestDy);
                    result.dyAbsSum += std::fabs(double(bestDy));
                    result.dySqSum += double(bestDy) * double(bestDy);
                }
            }
        }
    }
    result.errorMagnitude = std::hypot(result.dxSum, result.dySum);
    result.squaredErrorMagnitude = std::sqrt(result.dxSqSum + result.dySqSum);
    result.errorAngle = std::atan2(result.dySum, result.dxSum) * 57.29577951308232;
    return result;
}

void expectSameResult(const CensusResult& expected, const CensusResult& actual) {
    EXPECT_EQ(expected.lumaErrorSum, actual.lumaErrorSum);
    EXPECT_EQ(expected.dxSum, actual.dxSum);
    EXPECT_EQ(expected.dxAbsSum, actual.dxAbsSum);
    EXPECT_EQ(expected.dxSqSum, actual.dxSqSum);
    EXPECT_EQ(expected.dySum, actual.dySum);
    EXPECT_EQ(expected.dyAbsSum, actual.dyAbsSum);
    EXPECT_EQ(expected.dySqSum, actual.dySqSum);
    EXPECT_EQ(expected.errorMagnitude, actual.errorMagnitude);
    EXPECT_EQ(expected.squaredErrorMagnitude, actual.squaredErrorMagnitude);
    EXPECT_EQ(expected.errorAngle, actual.errorAngle);
    EXPECT_EQ(expected.chromaticCount, actual.chromaticCount);
    EXPECT_EQ(expected.unmatchedCount, actual.unmatchedCount);
}

// Odd sizes in a padded frame, with random bytes (saturation leaning high so that every hue occurs).
void shapeRandomPicture(VicPicture& picture, unsigned seed, bool colour) {
    shapePicture(picture, 37, 23, 4, colour);
    std::mt19937 random(seed);
    for (int y = 0; y < picture.geometry.height; ++y) {
        for (int x = 0; x < picture.geometry.width; ++x) {
            const auto luma = static_cast<std::uint8_t>(random());
            const auto saturation = static_cast<std::uint8_t>(random() % 4 == 0 ? 0 : 96 + random() % 160);
            paintPixel(picture, x, y, {luma, saturation, static_cast<std::uint8_t>(random())});
        }
    }
}

TEST(PaletteCensus, MatchesThePixelByPixelFormulaForEveryKindOfCall) {
    const std::vector<int> greys = {kBlack, kDarkGrey, kMidGrey, kLightGrey, kWhite};
    const std::vector<int> hues = {kRed, kYellow, kGreen, kCyan, kBlue, kPurple, kOrange, kBlack};
    const std::vector<int> orangeSplit = {kBrown, kOrange, kRed, kYellow, kMidGrey};
    const std::vector<int> triad = {kLightRed, kLightGreen, kLightBlue};
    const std::vector<int> duplicates = {kRed, kWhite, kRed, kBlack, kWhite};
    const std::vector<CensusCall> calls = {
        {kBlack, greys, true, false, false, 1.0, 1.0, 0.0},
        {kWhite, greys, true, false, true, 0.95, 1.0, 0.0},
        {kBlack, hues, false, true, false, 1.0, 1.0, 0.0},
        {kBlack, hues, false, true, false, 1.0, 1.5, 0.0},
        {kMidGrey, orangeSplit, false, true, false, 1.0, 2.0, 0.0},
        {kBlack, triad, true, true, true, 1.0, 1.0, 0.0},
        {kLightGrey, triad, true, true, true, 1.0, 1.5, 0.7},
        {kOrange, {kBlack, kRed}, true, true, true, 1.0, 0.8, -2.5},
        {kBlue, duplicates, true, true, false, 1.0, 1.0, 0.3},
        {kWhite, duplicates, false, true, true, 0.95, 3.0, 1.0},
        {kCyan, {}, true, true, true, 1.0, 1.0, 0.0},
    };
    for (bool colour : {true, false}) {
        VicPicture picture;
        shapeRandomPicture(picture, colour ? 7 : 11, colour);
        for (std::size_t i = 0; i < calls.size(); ++i) {
            SCOPED_TRACE(::testing::Message() << "call " << i << (colour ? " colour" : " grey"));
            const CensusCall& call = calls[i];
            std::vector<std::int32_t> expectedCounts;
            const CensusResult expected = literalCensus(picture, call, expectedCounts);
            std::vector<std::int32_t> counts(call.candidates.size() + 1, -5);
            const CensusResult actual = picture.paletteCensus(call.reference, call.candidates.data(), counts.data(),
                                                              static_cast<int>(call.candidates.size()), call.weights());
            expectSameResult(expected, actual);
            counts.pop_back();
            const bool referenceListed =
                std::find(call.candidates.begin(), call.candidates.end(), call.reference) != call.candidates.end();
            if (referenceListed) {
                EXPECT_EQ(expectedCounts, counts);
            } else {
                EXPECT_EQ(std::vector<std::int32_t>(call.candidates.size(), 0), counts);
            }
        }
    }
}

// ---- the census against its first, plain form ---------------------------------------------------------

// Doubles compared bit for bit: the sign of a zero and every last digit must agree.
void expectIdentical(const CensusResult& expected, const CensusResult& actual) {
    const double expectedSums[] = {expected.lumaErrorSum, expected.dxSum, expected.dxAbsSum, expected.dxSqSum,
                                   expected.dySum, expected.dyAbsSum, expected.dySqSum, expected.errorMagnitude,
                                   expected.squaredErrorMagnitude, expected.errorAngle};
    const double actualSums[] = {actual.lumaErrorSum, actual.dxSum, actual.dxAbsSum, actual.dxSqSum,
                                 actual.dySum, actual.dyAbsSum, actual.dySqSum, actual.errorMagnitude,
                                 actual.squaredErrorMagnitude, actual.errorAngle};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(expectedSums[i]), std::bit_cast<std::uint64_t>(actualSums[i]))
            << "sum " << i << ": " << expectedSums[i] << " against " << actualSums[i];
    }
    EXPECT_EQ(expected.chromaticCount, actual.chromaticCount);
    EXPECT_EQ(expected.unmatchedCount, actual.unmatchedCount);
}

// Random bytes (style 0), only the extreme bytes 0 and 255 (style 1), or a photograph-like scene of smooth
// gradients, flat palette areas and grain (style 2).
void paintForDifferential(VicPicture& picture, std::mt19937& random, int style) {
    for (int y = 0; y < picture.geometry.height; ++y) {
        for (int x = 0; x < picture.geometry.width; ++x) {
            Swatch swatch{};
            if (style == 0) {
                swatch = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                          static_cast<std::uint8_t>(random())};
            } else if (style == 1) {
                swatch = {static_cast<std::uint8_t>(random() % 2 * 255), static_cast<std::uint8_t>(random() % 2 * 255),
                          static_cast<std::uint8_t>(random() % 2 * 255)};
            } else {
                const int grain = static_cast<int>(random() % 9) - 4;
                if ((x / 23 + y / 17) % 3 == 0) {
                    swatch = swatchOf(static_cast<int>((x / 23 * 7 + y / 17 * 3) % 16));
                } else {
                    swatch = {static_cast<std::uint8_t>(std::clamp(40 + y + grain, 0, 255)),
                              static_cast<std::uint8_t>(std::clamp(x * 2 + grain, 0, 255)),
                              static_cast<std::uint8_t>(x + y / 3)};
                }
            }
            paintPixel(picture, x, y, swatch);
        }
    }
}

// The census settings of the colour choice (grey, White, hue, orange split, triads, greedy fill), with
// chroma and luminance scales around the points where the sums change their width, and extreme ones.
std::vector<CensusCall> differentialCalls() {
    const std::vector<int> greys = {kBlack, kDarkGrey, kMidGrey, kLightGrey, kWhite};
    const std::vector<int> hues = {kRed, kYellow, kGreen, kCyan, kBlue, kPurple, kOrange, kBlack};
    const std::vector<int> orangeSplit = {kBrown, kOrange, kRed, kYellow, kMidGrey};
    const std::vector<std::vector<int>> triads = {{kRed, kGreen, kBlue}, {kLightRed, kLightGreen, kLightBlue},
                                                  {kYellow, kCyan, kPurple}};
    const std::vector<std::vector<int>> palettes = {{kMidGrey}, {kBlack}, {kBlack, kRed}, {kBlack, kWhite, kLightBlue},
                                                    {kBlack, kOrange, kBrown, kYellow}};
    std::vector<CensusCall> calls;
    calls.push_back({kBlack, greys, true, false, false, 1.0, 1.0, 0.0});
    calls.push_back({kWhite, greys, true, false, true, 0.95, 1.0, 0.0});
    for (double scale : {1.0, 1.5, 2.0, 0.37, 3.3, 16.0, 17.0, 1e6, 1.1e6, 1e9}) {
        calls.push_back({kBlack, hues, false, true, false, 1.0, scale, 0.0});
        calls.push_back({kMidGrey, orangeSplit, false, true, false, 1.0, scale, 0.0});
        calls.push_back({kBlack, greys, true, false, false, 1.0, scale, 0.0});  // chroma scale unused
    }
    for (double scale : {1.0, 1.5, 2.0})
        for (const auto& triad : triads)
            for (int reference : {kLightGrey, kWhite, kBlack})
                calls.push_back({reference, triad, true, true, true, 1.0, scale, 0.0});
    for (const auto& palette : palettes)
        for (int candidate = 0; candidate < 16; candidate += 3)
            for (bool carry : {false, true}) calls.push_back({candidate, palette, true, true, carry, 1.0, 1.5, 0.0});
    for (double luma : {0.95, 1.0, 16.0, 17.0, -3.0, 1e6, 1e9, 1e300, std::nan("")})
        for (bool carry : {false, true}) calls.push_back({kWhite, palettes[3], true, true, carry, luma, 1.0, 0.0});
    for (double scale : {60.0, -60.0, 4e6, -4e6})  // every term large: sums beyond 16 and 32 bits
        calls.push_back({kBlack, palettes[4], true, true, false, scale, scale, 0.0});
    const double inf = std::numeric_limits<double>::infinity();
    for (double scale : {1e300, -1e300, inf, -inf, std::nan(""), 1e7, -2.0})
        for (bool carry : {false, true}) calls.push_back({kBlack, hues, true, true, carry, 0.95, scale, 0.0});
    for (double offset : {0.7, -2.5, 1e10})
        for (bool carry : {false, true}) calls.push_back({kLightGrey, triads[1], true, true, carry, 1.0, 1.5, offset});
    calls.push_back({kCyan, {}, true, true, true, 1.0, 1.0, 0.0});
    calls.push_back({kRed, {kRed, kRed, kWhite, kRed}, true, true, false, 1.0, 1.0, 0.0});
    calls.push_back({kNoColour, {kNoColour, kBlack, 99, -4}, true, true, true, 1.0, 1.0, 0.0});
    return calls;
}

TEST(PaletteCensus, MatchesThePlainCensusBitForBitOverManyPicturesAndEverySetting) {
    const std::vector<CensusCall> calls = differentialCalls();
    struct Shape {
        int width, height, cardWidth, style;
        bool colour;
    };
    const Shape shapes[] = {{1, 1, 4, 0, true},   {37, 23, 4, 0, true},  {37, 23, 8, 1, true},
                            {61, 40, 4, 2, true}, {61, 40, 8, 0, false}, {160, 200, 4, 2, true},
                            {29, 9, 4, 1, false}};
    std::mt19937 random(2024);
    for (const Shape& shape : shapes) {
        VicPicture picture;
        shapePicture(picture, shape.width, shape.height, shape.cardWidth, shape.colour);
        paintForDifferential(picture, random, shape.style);
        // Within one colour choice the censuses share their terms, whatever order the settings come in.
        picture.beginCensusReuse();
        for (std::size_t i = 0; i < calls.size(); ++i) {
            SCOPED_TRACE(::testing::Message() << shape.width << "x" << shape.height << " style " << shape.style
                                              << " call " << i);
            const CensusCall& call = calls[i];
            const int n = static_cast<int>(call.candidates.size());
            std::vector<std::int32_t> expectedCounts(n + 1, -7), counts(n + 1, -7);
            const CensusResult expected =
                plain::plainPaletteCensus(picture, call.reference, call.candidates.data(), expectedCounts.data(), n,
                                          call.useLuma, call.useChroma, call.carry, call.lumaScale,
                                          call.chromaScale, call.hueOffset);
            const CensusResult actual =
                picture.paletteCensus(call.reference, call.candidates.data(), counts.data(), n, call.weights());
            expectIdentical(expected, actual);
            EXPECT_EQ(expectedCounts, counts);
        }
        picture.endCensusReuse();

        // Outside a colour choice the planes may change between censuses: nothing of the earlier picture
        // may linger.
        for (std::size_t i = 0; i < calls.size(); i += 7) {
            paintForDifferential(picture, random, static_cast<int>(i % 3));
            const CensusCall& call = calls[i];
            const int n = static_cast<int>(call.candidates.size());
            SCOPED_TRACE(::testing::Message() << "repainted, call " << i);
            expectIdentical(plain::plainPaletteCensus(picture, call.reference, call.candidates.data(), nullptr, n,
                                                      call.useLuma, call.useChroma, call.carry, call.lumaScale,
                                                      call.chromaScale, call.hueOffset),
                            picture.paletteCensus(call.reference, call.candidates.data(), nullptr, n, call.weights()));
        }
    }
}

TEST(PaletteCensus, WalksRowsFromTheBottomWithEvenRowsRightToLeft) {
    // 2 × 2 weak reds: Black takes every pixel, so the carried chroma is the running sum of the
    // saturations in walking order (0,1), (1,1), (1,0), (0,0).
    VicPicture picture;
    shapePicture(picture, 2, 2, 4, true);
    paintPixel(picture, 0, 0, {0, 1, 0});
    paintPixel(picture, 1, 0, {0, 2, 0});
    paintPixel(picture, 0, 1, {0, 4, 0});
    paintPixel(picture, 1, 1, {0, 8, 0});
    const int red[1] = {kRed};
    const CensusResult result =
        picture.paletteCensus(kBlack, red, nullptr, 1, withCarry(CensusWeights::chromaOnly(1.0)));
    EXPECT_EQ(4 + 12 + 14 + 15, result.dxSum);
    EXPECT_EQ(16 + 144 + 196 + 225, result.dxSqSum);
    EXPECT_EQ(0, result.dySum);
    EXPECT_EQ(45, result.errorMagnitude);
    EXPECT_EQ(0, result.errorAngle);
    EXPECT_EQ(4, result.unmatchedCount);
    EXPECT_EQ(0, result.chromaticCount);
}

TEST(PaletteCensus, CountsWinnersWithTiesKeptByTheEarlierColour) {
    VicPicture picture;
    shapePicture(picture, 6, 1, 4, false);
    // 40 lies halfway between Black and DGray, 100 between DGray and MGray: the earlier colour keeps it.
    const std::uint8_t lumas[6] = {0, 40, 41, 100, 210, 255};
    for (int x = 0; x < 6; ++x) paintPixel(picture, x, 0, {lumas[x], 0, 0});
    const int greys[5] = {kBlack, kDarkGrey, kMidGrey, kLightGrey, kWhite};
    std::int32_t counts[5];
    CensusResult result = picture.paletteCensus(kBlack, greys, counts, 5, CensusWeights::lumaOnly(1.0));
    EXPECT_EQ(2, counts[0]);  // 0 and 40
    EXPECT_EQ(2, counts[1]);  // 41 and 100
    EXPECT_EQ(0, counts[2]);
    EXPECT_EQ(0, counts[3]);
    EXPECT_EQ(2, counts[4]);  // 210 is nearer 255 than 160
    EXPECT_EQ(2, result.unmatchedCount);

    // With White as the reference, White keeps its ties and the unmatched pixels are White's.
    result = picture.paletteCensus(kWhite, greys, counts, 5, CensusWeights::lumaOnly(1.0));
    EXPECT_EQ(2, result.unmatchedCount);
    EXPECT_EQ(2, counts[4]);

    // A reference outside the list makes no counts.
    const int twoGreys[2] = {kDarkGrey, kLightGrey};
    std::int32_t twoCounts[2] = {9, 9};
    result = picture.paletteCensus(kWhite, twoGreys, twoCounts, 2, CensusWeights::lumaOnly(1.0));
    EXPECT_EQ(0, twoCounts[0]);
    EXPECT_EQ(0, twoCounts[1]);
    EXPECT_EQ(2, result.unmatchedCount);  // 210 and 255 stay White
}

TEST(PaletteCensus, ChromaticCountFollowsTheWinnerAndGreyPicturesIgnoreChroma) {
    VicPicture picture;
    shapePicture(picture, 3, 1, 4, true);
    paintPixel(picture, 0, 0, swatchOf(kRed));
    paintPixel(picture, 1, 0, swatchOf(kBlue));
    paintPixel(picture, 2, 0, swatchOf(kMidGrey));
    const int colours[3] = {kRed, kLightBlue, kMidGrey};
    std::int32_t counts[3];
    CensusResult result = picture.paletteCensus(kMidGrey, colours, counts, 3, CensusWeights::chromaOnly(1.0));
    EXPECT_EQ(2, result.chromaticCount);
    EXPECT_EQ(1, counts[0]);
    EXPECT_EQ(1, counts[1]);
    EXPECT_EQ(1, counts[2]);

    picture.monochrome = 1;  // chroma asked for but not used: every cost is 0 and the reference keeps all
    result = picture.paletteCensus(kMidGrey, colours, counts, 3, withCarry(CensusWeights::chromaOnly(1.0)));
    EXPECT_EQ(3, result.unmatchedCount);
    EXPECT_EQ(3, counts[2]);
    EXPECT_EQ(0, result.chromaticCount);
    EXPECT_EQ(0, result.dxSqSum);
}

TEST(PaletteCensus, ExtremeChromaScalesStayOrderedAndDefined) {
    VicPicture picture;
    shapePicture(picture, 4, 1, 4, true);
    paintPixel(picture, 0, 0, swatchOf(kRed));
    paintPixel(picture, 1, 0, swatchOf(kBlue));
    paintPixel(picture, 2, 0, swatchOf(kGreen));
    std::int32_t counts[4];
    const double inf = std::numeric_limits<double>::infinity();
    for (double scale : {1e300, -1e300, inf, std::nan("")}) {
        SCOPED_TRACE(scale);
        const int withBlack[4] = {kBlack, kRed, kBlue, kGreen};
        const CensusResult result =
            picture.paletteCensus(kBlack, withBlack, counts, 4, withCarry(CensusWeights::lumaAndChroma(scale)));
        EXPECT_EQ(4, counts[0] + counts[1] + counts[2] + counts[3]);
        EXPECT_LE(0, result.dxSqSum);
        EXPECT_TRUE(std::isfinite(result.dxSqSum));
    }
    // A huge positive scale still sorts saturated pixels by their direction.
    const int withBlack[4] = {kBlack, kRed, kBlue, kGreen};
    picture.paletteCensus(kBlack, withBlack, counts, 4, CensusWeights::chromaOnly(1e300));
    EXPECT_EQ(1, counts[1]);
    EXPECT_EQ(1, counts[2]);
    EXPECT_EQ(1, counts[3]);
}

TEST(MeanError, DiffusesLuminanceAlongTheWalkAndCapsTheOtherColours) {
    VicPicture picture;
    shapePicture(picture, 3, 1, 4, false);
    paintPixel(picture, 0, 0, {10, 0, 0});
    paintPixel(picture, 1, 0, {200, 0, 0});
    paintPixel(picture, 2, 0, {100, 0, 0});
    // Row 0 is walked right to left: t = 100, r = 20; t = 220, r = 140, White gives -35; t = -25, r = -105.
    const int white[1] = {kWhite};
    EXPECT_EQ(-105.0, picture.meanError(kDarkGrey, white, 1));
    // Alone: total luminance 310 minus 3 × 80.
    EXPECT_EQ(70.0, picture.meanError(kDarkGrey, nullptr, 0));
    // Multicolour looks at up to three others: Black then improves the last pixel to -25.
    const int blackWhite[2] = {kBlack, kWhite};
    EXPECT_EQ(-25.0, picture.meanError(kDarkGrey, blackWhite, 2));
    // Hi-res looks at the first other only: t = 100, r = 20; t = 220, r = 140; t = 150, r = 70.
    picture.geometry.cardWidth = 8;
    EXPECT_EQ(70.0, picture.meanError(kDarkGrey, blackWhite, 2));
}

}  // namespace
}  // namespace zov
