#include "frameconv/picture/colour_conversion.h"

#include "common/console/console.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zov {
namespace {

constexpr double kDegreesToHue = 0.7111111111111111;  // 256 / 360
constexpr double kHueToDegrees = 1.40625;             // 360 / 256

// One full turn is 256. The single correction brings every hue of the unadjusted colour model into range;
// an adjusted saturation far below the chroma (a small CHROS) can push the angle several turns out, and
// those values are reduced to the same angle within one turn.
double withinOneTurn(double hue) {
    if (hue >= 256) {
        hue -= 256;
    } else if (hue < 0) {
        hue += 256;
    }
    if (hue >= 0 && hue < 256) return hue;
    if (!std::isfinite(hue)) return 0;
    hue = std::fmod(hue, 256.0);
    if (hue < 0) hue += 256;
    return hue < 256 ? hue : 0;  // a tiny negative angle rounds up to a whole turn
}

// sign(error sum) × √(squared error sum / count); NaN sums stay NaN.
double signedRootMeanSquare(double errorSum, double sqErrorSum, std::int32_t count) {
    if (errorSum > 0) return std::sqrt(sqErrorSum / count);
    if (errorSum < 0) return -std::sqrt(sqErrorSum / count);
    if (errorSum == 0) return 0.0;
    return errorSum;
}

void printPlaneLine(const char* name, const PlaneStats& stats) {
    out() << name << "min " << stats.minimum << ", max " << stats.maximum << ", clipped " << stats.clipped
          << ", quant.err. " << signedRootMeanSquare(stats.errorSum, stats.sqErrorSum, stats.count) << eol;
}

}  // namespace

std::int32_t truncateSaturating(double value) {
    constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(lowest)) return lowest;
    if (value >= static_cast<double>(highest)) return highest;
    return static_cast<std::int32_t>(value);
}

namespace {

/// 0.11, 0.59 and 0.3 times every component value: the three terms of a pixel's intensity, the same
/// products a pixel would form.
struct IntensityTerms {
    double blue[256], green[256], red[256];
    IntensityTerms() {
        for (int v = 0; v < 256; ++v) {
            blue[v] = 0.11 * v;
            green[v] = 0.59 * v;
            red[v] = 0.3 * v;
        }
    }
};

const IntensityTerms& intensityTerms() {
    static const IntensityTerms terms;
    return terms;
}

PixelConverter::Level lumaLevel(double intensity, double gain, double offset) {
    PixelConverter::Level out;
    const double level = intensity * gain + offset;
    std::int32_t quantised = truncateSaturating(level);
    out.unclipped = quantised;
    if (quantised < 0) {
        quantised = 0;
        out.clipped = 1;
    } else if (quantised >= 256) {
        quantised = 255;
        out.clipped = 1;
    }
    out.byte = static_cast<std::uint8_t>(quantised);
    out.error = level - quantised;
    out.absError = std::fabs(out.error);
    out.sqError = out.error * out.error;
    return out;
}

// A grey pixel (no chroma) keeps saturation 0, whatever the offset.
PixelConverter::Level saturationLevel(int chroma, double gain, double offset) {
    PixelConverter::Level out;
    double spread = chroma * gain;
    if (spread != 0) spread = spread + offset;
    std::int32_t level = truncateSaturating(spread);
    out.unclipped = level;
    if (level <= 0) {
        if (level < 0) out.clipped = 1;
        spread = 0;
    } else {
        if (level > 255) {
            out.clipped = 1;
            level = 255;
        }
        out.byte = static_cast<std::uint8_t>(level);
    }
    out.error = spread - out.byte;
    out.absError = std::fabs(out.error);
    out.sqError = out.error * out.error;
    return out;
}

/// The running sums of one plane, kept in locals for a row and written back after it.
struct PlaneSums {
    std::int32_t minimum, maximum, clipped;
    double errorSum, absErrorSum, sqErrorSum;

    explicit PlaneSums(const PlaneStats& stats)
        : minimum(stats.minimum),
          maximum(stats.maximum),
          clipped(stats.clipped),
          errorSum(stats.errorSum),
          absErrorSum(stats.absErrorSum),
          sqErrorSum(stats.sqErrorSum) {}
    void add(const PixelConverter::Level& level) {
        minimum = std::min(minimum, level.unclipped);
        maximum = std::max(maximum, level.unclipped);
        clipped += level.clipped;
        errorSum += level.error;
        absErrorSum += level.absError;
        sqErrorSum += level.sqError;
    }
    void store(PlaneStats& stats, std::int32_t pixels) const {
        stats.count += pixels;
        stats.minimum = minimum;
        stats.maximum = maximum;
        stats.clipped = clipped;
        stats.errorSum = errorSum;
        stats.absErrorSum = absErrorSum;
        stats.sqErrorSum = sqErrorSum;
    }
};

}  // namespace

PixelConverter::PixelConverter(VicPicture& picture)
    : picture_(picture),
      luma_(picture.planes.luminancePlane.get()),
      saturation_(picture.planes.saturationPlane.get()),
      hue_(picture.planes.huePlane.get()),
      lumaGain_(picture.settings.lumaGain),
      lumaOffset_(picture.settings.lumaOffset),
      saturationGain_(picture.settings.saturationGain),
      saturationOffset_(picture.settings.saturationOffset),
      hueShift_(picture.settings.hueShift) {}

void PixelConverter::greyRow(const std::uint8_t* pixels, std::size_t rowStart, std::int32_t width) {
    if (!greyLevelsMade_) {
        for (int v = 0; v < 256; ++v) greyLevels_[v] = lumaLevel(v, lumaGain_, lumaOffset_);
        greyLevelsMade_ = true;
    }
    PlaneSums luma(picture_.conversionStats.lumaStats);
    for (std::int32_t x = width - 1; x >= 0; --x) {
        const Level& level = greyLevels_[pixels[x]];
        luma.add(level);
        luma_[rowStart + x] = level.byte;
    }
    luma.store(picture_.conversionStats.lumaStats, std::max(width, 0));
}

void PixelConverter::colourRow(const std::uint8_t* pixels, std::size_t rowStart, std::int32_t width,
                               bool blueFirst) {
    if (!saturationLevelsMade_) {
        for (int c = 0; c < 256; ++c) saturationLevels_[c] = saturationLevel(c, saturationGain_, saturationOffset_);
        saturationLevelsMade_ = true;
    }
    if (blueFirst) {
        colourPixels<true>(pixels, rowStart, width);
    } else {
        colourPixels<false>(pixels, rowStart, width);
    }
}

template <bool BlueFirst>
void PixelConverter::colourPixels(const std::uint8_t* pixels, std::size_t rowStart, std::int32_t width) {
    const IntensityTerms& terms = intensityTerms();
    PlaneSums luma(picture_.conversionStats.lumaStats), saturation(picture_.conversionStats.saturationStats);
    HueStats hue = picture_.conversionStats.hueStats;
    std::int32_t hued = 0;
    for (std::int32_t x = width - 1; x >= 0; --x) {
        const std::uint8_t* p = pixels + static_cast<std::size_t>(x) * 3;
        const int red = BlueFirst ? p[2] : p[0];
        const int green = p[1];
        const int blue = BlueFirst ? p[0] : p[2];
        const std::size_t index = rowStart + x;

        const Level lumaOut = lumaLevel(terms.blue[blue] + terms.green[green] + terms.red[red], lumaGain_, lumaOffset_);
        luma.add(lumaOut);
        luma_[index] = lumaOut.byte;

        const int maximum = std::max({red, green, blue});
        const Level& saturationOut = saturationLevels_[maximum - std::min({red, green, blue})];
        saturation.add(saturationOut);
        saturation_[index] = saturationOut.byte;

        std::uint8_t hueByte = 0;
        if (saturationOut.byte != 0) {
            // Hexcone hue of the pixel, divided by the adjusted saturation, in 256ths of a turn. The sector
            // start is added as a whole number; adding 0 changes no quotient, as none is −0.
            const int numerator = maximum == red ? green - blue : maximum == green ? blue - red : red - green;
            const double start = maximum == red ? 0.0 : maximum == green ? 2.0 : 4.0;
            const double sector = static_cast<double>(numerator) / saturationOut.byte + start;
            const double angle = withinOneTurn((sector * 60 + hueShift_) * kDegreesToHue);
            const std::int32_t quantised = static_cast<std::int32_t>(angle);  // angle is within [0, 256)
            ++hued;
            hue.sum += quantised - 128;
            hue.absSum += std::abs(quantised - 128);
            const double error = angle - 0.5 - quantised;
            hue.errorSum += error;
            hue.absErrorSum += std::fabs(error);
            hue.sqErrorSum += error * error;
            hueByte = static_cast<std::uint8_t>(quantised);
        }
        hue_[index] = hueByte;
    }
    const std::int32_t converted = std::max(width, 0);
    luma.store(picture_.conversionStats.lumaStats, converted);
    saturation.store(picture_.conversionStats.saturationStats, converted);
    hue.count += hued;
    picture_.conversionStats.hueStats = hue;
}

void resetConversionStatistics(VicPicture& picture) {
    picture.conversionStats.lumaStats = PlaneStats{};
    picture.conversionStats.saturationStats = PlaneStats{};
    picture.conversionStats.hueStats = HueStats{};
    if (picture.monochrome) {
        picture.conversionStats.saturationStats.minimum = 0;
        picture.conversionStats.saturationStats.maximum = 0;
    }
}

void printConversionStatistics(const VicPicture& picture) {
    printPlaneLine("Luma: ", picture.conversionStats.lumaStats);
    if (picture.monochrome) return;
    printPlaneLine("Sat: ", picture.conversionStats.saturationStats);

    // With no hued pixel every sum is 0, which the sign rule turns into 180 degrees and an error of 0.
    const HueStats& hue = picture.conversionStats.hueStats;
    double average = 180;
    if (hue.sum != 0) {
        const double spread = hue.absSum * kHueToDegrees / hue.count;
        average = (hue.sum > 0 ? spread : -spread) + 180;
    }
    out() << "Hue: average " << average << " degrees" << ", quant.err. "
          << signedRootMeanSquare(hue.errorSum, hue.sqErrorSum, hue.count) << eol;
}

}  // namespace zov
