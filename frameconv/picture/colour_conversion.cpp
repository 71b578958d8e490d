#include "frameconv/picture/colour_conversion.h"

#include "common/console/console.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zov {
namespace {

constexpr double kDegreesToHue = 0.7111111111111111;  // 256 / 360
constexpr double kHueToDegrees = 1.40625;             // 360 / 256

template <typename Stats>
void addError(Stats& stats, double error) {
    ++stats.count;
    stats.errorSum += error;
    stats.absErrorSum += std::fabs(error);
    stats.sqErrorSum += error * error;
}

void noteExtremes(PlaneStats& stats, std::int32_t value) {
    stats.minimum = std::min(stats.minimum, value);
    stats.maximum = std::max(stats.maximum, value);
}

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

PixelConverter::PixelConverter(VicPicture& picture)
    : picture_(picture),
      luma_(picture.luminancePlane.get()),
      saturation_(picture.saturationPlane.get()),
      hue_(picture.huePlane.get()),
      lumaGain_(picture.lumaGain),
      lumaOffset_(picture.lumaOffset),
      saturationGain_(picture.saturationGain),
      saturationOffset_(picture.saturationOffset),
      hueShift_(picture.hueShift) {}

void PixelConverter::grey(std::size_t index, int value) { luminance(index, value); }

void PixelConverter::luminance(std::size_t index, double intensity) {
    PlaneStats& stats = picture_.lumaStats;
    const double level = intensity * lumaGain_ + lumaOffset_;
    std::int32_t quantised = truncateSaturating(level);
    noteExtremes(stats, quantised);
    if (quantised < 0) {
        quantised = 0;
        ++stats.clipped;
    } else if (quantised >= 256) {
        quantised = 255;
        ++stats.clipped;
    }
    luma_[index] = static_cast<std::uint8_t>(quantised);
    addError(stats, level - quantised);
}

void PixelConverter::colour(std::size_t index, int red, int green, int blue) {
    luminance(index, 0.11 * blue + 0.59 * green + 0.3 * red);

    PlaneStats& stats = picture_.saturationStats;
    const int maximum = std::max({red, green, blue});
    const int chroma = maximum - std::min({red, green, blue});
    double spread = chroma * saturationGain_;
    if (spread != 0) spread = spread + saturationOffset_;  // a grey pixel stays grey
    std::int32_t level = truncateSaturating(spread);
    noteExtremes(stats, level);

    std::uint8_t saturationByte = 0;
    std::uint8_t hueByte = 0;
    if (level <= 0) {
        if (level < 0) ++stats.clipped;
        spread = 0;
    } else {
        if (level > 255) {
            ++stats.clipped;
            level = 255;
        }
        saturationByte = static_cast<std::uint8_t>(level);
        hueByte = hue(red, green, blue, maximum, level);
    }
    addError(stats, spread - saturationByte);
    saturation_[index] = saturationByte;
    hue_[index] = hueByte;
}

// Hexcone hue of the pixel, divided by the adjusted saturation, in 256ths of a turn.
std::uint8_t PixelConverter::hue(int red, int green, int blue, int maximum, std::int32_t divisor) {
    double sector;
    if (maximum == red) {
        sector = static_cast<double>(green - blue) / divisor;
    } else if (maximum == green) {
        sector = static_cast<double>(blue - red) / divisor + 2;
    } else {
        sector = static_cast<double>(red - green) / divisor + 4;
    }
    const double angle = withinOneTurn((sector * 60 + hueShift_) * kDegreesToHue);
    const std::int32_t quantised = static_cast<std::int32_t>(angle);  // angle is within [0, 256)

    HueStats& stats = picture_.hueStats;
    stats.sum += quantised - 128;
    stats.absSum += std::abs(quantised - 128);
    addError(stats, angle - 0.5 - quantised);
    return static_cast<std::uint8_t>(quantised);
}

void resetConversionStatistics(VicPicture& picture) {
    picture.lumaStats = PlaneStats{};
    picture.saturationStats = PlaneStats{};
    picture.hueStats = HueStats{};
    if (picture.monochrome) {
        picture.saturationStats.minimum = 0;
        picture.saturationStats.maximum = 0;
    }
}

void printConversionStatistics(const VicPicture& picture) {
    printPlaneLine("Luma: ", picture.lumaStats);
    if (picture.monochrome) return;
    printPlaneLine("Sat: ", picture.saturationStats);

    // With no hued pixel every sum is 0, which the sign rule turns into 180 degrees and an error of 0.
    const HueStats& hue = picture.hueStats;
    double average = 180;
    if (hue.sum != 0) {
        const double spread = hue.absSum * kHueToDegrees / hue.count;
        average = (hue.sum > 0 ? spread : -spread) + 180;
    }
    out() << "Hue: average " << average << " degrees" << ", quant.err. "
          << signedRootMeanSquare(hue.errorSum, hue.sqErrorSum, hue.count) << eol;
}

}  // namespace zov
