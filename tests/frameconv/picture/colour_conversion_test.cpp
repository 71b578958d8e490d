#include "picture_load_fixture.h"
#include "support/plain_colour_conversion.h"

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace zov {
namespace {

using namespace picture_files;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Adjustments {
    double lumaGain = 1, lumaOffset = 0, saturationGain = 1, saturationOffset = 0, hueShift = 0;
};
Adjustments scale(double gain) { return {gain, 0, 1, 0, 0}; }
Adjustments bias(double offset) { return {1, offset, 1, 0, 0}; }
Adjustments chros(double gain) { return {1, 0, gain, 0, 0}; }
Adjustments chrob(double offset) { return {1, 0, 1, offset, 0}; }
Adjustments shift(double degrees) { return {1, 0, 1, 0, degrees}; }

class Conversion : public PictureLoad {
protected:
    int loadAdjusted(const Bytes& file, const Adjustments& a, int verbosity = 0) {
        picture.reset();
        picture.settings.lumaGain = a.lumaGain;
        picture.settings.lumaOffset = a.lumaOffset;
        picture.settings.saturationGain = a.saturationGain;
        picture.settings.saturationOffset = a.saturationOffset;
        picture.settings.hueShift = a.hueShift;
        return load(file, verbosity);
    }
};

// One pixel at a time, adjusted as the command line would give it (BIAS and CHROB times 2.55).
TEST_F(Conversion, PixelsGiveLuminanceSaturationAndHue) {
    struct Case {
        const char* name;
        Rgb pixel;
        Adjustments adjust;
        int luma, saturation, hue, lumaClipped, saturationClipped;
    };
    const Case cases[] = {
        {"white", {255, 255, 255}, {}, 255, 0, 0, 0, 0},
        {"black", {0, 0, 0}, {}, 0, 0, 0, 0, 0},
        {"red", {255, 0, 0}, {}, 76, 255, 0, 0, 0},
        {"green", {0, 255, 0}, {}, 150, 255, 85, 0, 0},
        {"blue truncates to 170", {0, 0, 255}, {}, 28, 255, 170, 0, 0},
        {"yellow", {255, 255, 0}, {}, 226, 255, 42, 0, 0},
        {"cyan", {0, 255, 255}, {}, 178, 255, 128, 0, 0},
        {"magenta", {255, 0, 255}, {}, 104, 255, 213, 0, 0},
        {"red and blue tie as red", {200, 0, 200}, {}, 82, 200, 213, 0, 0},
        {"HUE 180 turns red to cyan", {255, 0, 0}, shift(180), 76, 255, 128, 0, 0},
        {"HUE -180 turns red to cyan", {255, 0, 0}, shift(-180), 76, 255, 128, 0, 0},
        {"BIAS 100 clips", {200, 200, 200}, bias(100 * 2.55), 255, 0, 0, 1, 0},
        {"BIAS -100 clips", {100, 100, 100}, bias(-100 * 2.55), 0, 0, 0, 1, 0},
        {"CHROB 50 keeps grey grey", {100, 100, 100}, chrob(50 * 2.55), 100, 0, 0, 0, 0},
        {"CHROB 50 on chroma 10", {110, 100, 100}, chrob(50 * 2.55), 103, 137, 0, 0, 0},
        {"CHROB -50 on chroma 10", {110, 100, 100}, chrob(-50 * 2.55), 103, 0, 0, 0, 1},
        {"CHROS 200 divides the hue by 255", {200, 100, 0}, chros(2), 119, 255, 16, 0, 1},
        {"CHROS 1 reduces the hue to one turn", {255, 0, 100}, chros(0.01), 87, 2, 170, 0, 0},
        {"CHROS 0.1 leaves no saturation", {255, 0, 100}, chros(0.001), 87, 0, 0, 0, 0},
        {"SCALE 1e300", {255, 255, 255}, scale(1e300), 255, 0, 0, 1, 0},
        {"infinite SCALE on black", {0, 0, 0}, scale(kInfinity), 0, 0, 0, 0, 0},
        {"infinite CHROS", {10, 0, 0}, chros(kInfinity), 3, 255, 0, 0, 1},
        {"HUE 1e300", {0, 255, 0}, shift(1e300), 150, 255, 0, 0, 0},
        {"infinite HUE", {0, 255, 0}, shift(kInfinity), 150, 255, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(loadAdjusted(ppm(RgbGrid(1, 1, c.pixel)), c.adjust), 0);
        EXPECT_EQ(luma(0, 0), c.luma);
        EXPECT_EQ(saturation(0, 0), c.saturation);
        EXPECT_EQ(hue(0, 0), c.hue);
        EXPECT_EQ(picture.conversionStats.lumaStats.clipped, c.lumaClipped);
        EXPECT_EQ(picture.conversionStats.saturationStats.clipped, c.saturationClipped);
        EXPECT_EQ(picture.conversionStats.hueStats.count, c.saturation > 0 ? 1 : 0);
    }
}

TEST_F(Conversion, ClippingIsMeasuredBeforeAndCountedInTheErrors) {
    ASSERT_EQ(loadAdjusted(ppm(RgbGrid(1, 1, Rgb{200, 200, 200})), bias(100 * 2.55)), 0);
    EXPECT_EQ(picture.conversionStats.lumaStats.maximum, 455);
    EXPECT_EQ(picture.conversionStats.lumaStats.errorSum, 200);

    ASSERT_EQ(loadAdjusted(ppm(RgbGrid(1, 1, Rgb{200, 0, 0})), chros(2)), 0);
    EXPECT_EQ(picture.conversionStats.saturationStats.maximum, 400);
    EXPECT_EQ(picture.conversionStats.saturationStats.errorSum, 145);

    ASSERT_EQ(loadAdjusted(ppm(RgbGrid(1, 1, Rgb{255, 255, 255})), scale(1e300)), 0);
    EXPECT_EQ(picture.conversionStats.lumaStats.maximum, std::numeric_limits<std::int32_t>::max());
    ASSERT_EQ(loadAdjusted(ppm(RgbGrid(1, 1, Rgb{255, 255, 255})), scale(-1e300)), 0);
    EXPECT_EQ(picture.conversionStats.lumaStats.minimum, std::numeric_limits<std::int32_t>::min());
}

TEST_F(Conversion, StatisticsLinesAtVerbosityTwo) {
    struct Case {
        const char* name;
        Bytes file;
        Adjustments adjust;
        std::string expected;
    };
    const Case cases[] = {
        // errors 0.5 and 20.5: √((0.25 + 420.25) / 2) = 14.5
        {"grey source, one pixel clipped", bmp(GreyGrid::generate(2, 1, [](int x, int) { return x ? 250 : 10; })),
         bias(25.5), "Luma: min 35, max 275, clipped 1, quant.err. 14.5\n"},
        {"negative error sum", bmp(GreyGrid(1, 1, 0)), bias(-25.5),
         "Luma: min -25, max -25, clipped 1, quant.err. -25.5\n"},
        {"colour source without hue", ppm(RgbGrid(2, 2, Rgb{100, 100, 100})), {},
         "Luma: min 100, max 100, clipped 0, quant.err. 0\nSat: min 0, max 0, clipped 0, quant.err. 0\n"
         "Hue: average 180 degrees, quant.err. 0\n"},
        // hues 0 and 170 lie 128 and 42 from cyan: 180 - 170 × 1.40625 / 2; hue errors -0.5 and 1/6
        {"red and blue", ppm(RgbGrid::generate(2, 1, [](int x, int) { return x ? Rgb{0, 0, 255} : Rgb{255, 0, 0}; })),
         {},
         "Luma: min 28, max 76, clipped 0, quant.err. 0.355317\nSat: min 255, max 255, clipped 0, quant.err. 0\n"
         "Hue: average 60.4688 degrees, quant.err. -0.372678\n"},
        // CHROB -50 pushes chroma 10 to -117.5, which counts no error; chroma 200 gives 72.5
        {"saturation clipped low", ppm(RgbGrid::generate(2, 1, [](int x, int) { return x ? Rgb{210, 10, 10} : Rgb{20, 10, 10}; })),
         chrob(-50 * 2.55),
         "Luma: min 13, max 70, clipped 0, quant.err. 0\nSat: min -117, max 72, clipped 1, quant.err. 0.353553\n"
         "Hue: average 0 degrees, quant.err. -0.5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string warnings =
            "Warning: bitmap width not multiple of 4\nWarning: bitmap height not multiple of 8.\n";
        ASSERT_EQ(loadAdjusted(c.file, c.adjust, 2), 0);
        EXPECT_EQ(printed(), warnings + c.expected);
        ASSERT_EQ(loadAdjusted(c.file, c.adjust, 1), 0);
        EXPECT_EQ(printed(), warnings);
    }
}

// ---- the conversion against its first, plain form ---------------------------------------------------------

bool sameDouble(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

void expectSameStats(const PlaneStats& expected, const PlaneStats& actual) {
    EXPECT_EQ(expected.count, actual.count);
    EXPECT_EQ(expected.minimum, actual.minimum);
    EXPECT_EQ(expected.maximum, actual.maximum);
    EXPECT_EQ(expected.clipped, actual.clipped);
    EXPECT_TRUE(sameDouble(expected.errorSum, actual.errorSum)) << expected.errorSum << " " << actual.errorSum;
    EXPECT_TRUE(sameDouble(expected.absErrorSum, actual.absErrorSum));
    EXPECT_TRUE(sameDouble(expected.sqErrorSum, actual.sqErrorSum));
}

TEST_F(Conversion, MatchesThePlainConversionBitForBit) {
    const Adjustments settings[] = {
        {},
        {1.37, 12.3, 1.9, 7.65, 33.3},
        {-0.8, 300, 0.013, -30.6, -179.5},
        {1e300, -1e300, 1e300, 255, 1e300},
        {kInfinity, 0, kInfinity, -kInfinity, kInfinity},
        {std::nan(""), 0, std::nan(""), 0, std::nan("")},
        {0.5, -127.5, 255, 0.5, 360},
    };
    std::mt19937 random(1234);
    const int width = 29, height = 13;
    const RgbGrid colours = RgbGrid::generate(width, height, [&](int, int) {
        const auto component = [&] { return static_cast<std::uint8_t>(random()); };
        Rgb p{component(), component(), component()};
        switch (random() % 8) {
        case 0: p.green = p.blue = p.red; break;  // grey
        case 1: p.green = p.red; break;           // two components tie for the maximum
        case 2: p.blue = p.green; break;
        case 3: p.red = 255, p.blue = 0; break;   // full chroma
        default: break;
        }
        return p;
    });
    const GreyGrid greys = GreyGrid::generate(width, height, [&](int, int) { return static_cast<std::uint8_t>(random()); });

    for (const Adjustments& a : settings) {
        const plain::Adjustment adjustment{a.lumaGain, a.lumaOffset, a.saturationGain, a.saturationOffset, a.hueShift};
        struct Source {
            const char* name;
            Bytes file;
            bool grey, bottomUp;
        };
        const Source sources[] = {{"PPM", ppm(colours), false, false},
                                  {"24-bit BMP", bmp(colours), false, true},
                                  {"8-bit BMP", bmp(greys), true, true}};
        for (const Source& source : sources) {
            SCOPED_TRACE(::testing::Message() << source.name << ", gain " << a.lumaGain << ", CHROS " << a.saturationGain);
            ASSERT_EQ(loadAdjusted(source.file, a), 0);
            // Rows in the order they are stored, each from its last pixel to its first.
            plain::ConvertedPlanes expected(width, height);
            for (int k = 0; k < height; ++k) {
                const int y = source.bottomUp ? height - 1 - k : k;
                for (int x = width - 1; x >= 0; --x) {
                    const std::size_t index = static_cast<std::size_t>(y) * width + x;
                    if (source.grey) {
                        plain::convertGrey(expected, index, greys.at(x, y), adjustment);
                    } else {
                        const Rgb& p = colours.at(x, y);
                        plain::convertColour(expected, index, p.red, p.green, p.blue, adjustment);
                    }
                }
            }
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const std::size_t index = static_cast<std::size_t>(y) * width + x;
                    ASSERT_EQ(luma(x, y), expected.luma[index]) << x << "," << y;
                    if (source.grey) continue;
                    ASSERT_EQ(saturation(x, y), expected.saturation[index]) << x << "," << y;
                    ASSERT_EQ(hue(x, y), expected.hue[index]) << x << "," << y;
                }
            expectSameStats(expected.lumaStats, picture.conversionStats.lumaStats);
            if (source.grey) continue;
            expectSameStats(expected.saturationStats, picture.conversionStats.saturationStats);
            const HueStats& h = picture.conversionStats.hueStats;
            EXPECT_EQ(expected.hueStats.count, h.count);
            EXPECT_EQ(expected.hueStats.sum, h.sum);
            EXPECT_EQ(expected.hueStats.absSum, h.absSum);
            EXPECT_TRUE(sameDouble(expected.hueStats.errorSum, h.errorSum));
            EXPECT_TRUE(sameDouble(expected.hueStats.absErrorSum, h.absErrorSum));
            EXPECT_TRUE(sameDouble(expected.hueStats.sqErrorSum, h.sqErrorSum));
        }
    }
}

}  // namespace
}  // namespace zov
