// The pixel conversion as it was first written: every pixel converted on its own, in doubles, its statistics
// added as it goes. Kept as the reference that the library's conversion must match bit for bit.
#pragma once

#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

namespace zov::plain {

/// The planes and statistics of one conversion, sized for a width × height picture (row after row).
struct ConvertedPlanes {
    int width = 0;
    std::vector<std::uint8_t> luma, saturation, hue;
    PlaneStats lumaStats, saturationStats;
    HueStats hueStats;

    ConvertedPlanes(int w, int h)
        : width(w),
          luma(static_cast<std::size_t>(w) * h),
          saturation(static_cast<std::size_t>(w) * h),
          hue(static_cast<std::size_t>(w) * h) {}
};

struct Adjustment {
    double lumaGain = 1, lumaOffset = 0, saturationGain = 1, saturationOffset = 0, hueShift = 0;
};

inline std::int32_t truncateSaturating(double value) {
    constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(lowest)) return lowest;
    if (value >= static_cast<double>(highest)) return highest;
    return static_cast<std::int32_t>(value);
}

template <typename Stats>
void addError(Stats& stats, double error) {
    ++stats.count;
    stats.errorSum += error;
    stats.absErrorSum += std::fabs(error);
    stats.sqErrorSum += error * error;
}

inline void noteExtremes(PlaneStats& stats, std::int32_t value) {
    stats.minimum = std::min(stats.minimum, value);
    stats.maximum = std::max(stats.maximum, value);
}

inline double withinOneTurn(double hue) {
    if (hue >= 256) {
        hue -= 256;
    } else if (hue < 0) {
        hue += 256;
    }
    if (hue >= 0 && hue < 256) return hue;
    if (!std::isfinite(hue)) return 0;
    hue = std::fmod(hue, 256.0);
    if (hue < 0) hue += 256;
    return hue < 256 ? hue : 0;
}

inline void convertLuminance(ConvertedPlanes& out, std::size_t index, double intensity, const Adjustment& a) {
    PlaneStats& stats = out.lumaStats;
    const double level = intensity * a.lumaGain + a.lumaOffset;
    std::int32_t quantised = truncateSaturating(level);
    noteExtremes(stats, quantised);
    if (quantised < 0) {
        quantised = 0;
        ++stats.clipped;
    } else if (quantised >= 256) {
        quantised = 255;
        ++stats.clipped;
    }
    out.luma[index] = static_cast<std::uint8_t>(quantised);
    addError(stats, level - quantised);
}

inline std::uint8_t convertHue(ConvertedPlanes& out, int red, int green, int blue, int maximum, std::int32_t divisor,
                               const Adjustment& a) {
    double sector;
    if (maximum == red) {
        sector = static_cast<double>(green - blue) / divisor;
    } else if (maximum == green) {
        sector = static_cast<double>(blue - red) / divisor + 2;
    } else {
        sector = static_cast<double>(red - green) / divisor + 4;
    }
    const double angle = withinOneTurn((sector * 60 + a.hueShift) * 0.7111111111111111);
    const std::int32_t quantised = static_cast<std::int32_t>(angle);
    HueStats& stats = out.hueStats;
    stats.sum += quantised - 128;
    stats.absSum += std::abs(quantised - 128);
    addError(stats, angle - 0.5 - quantised);
    return static_cast<std::uint8_t>(quantised);
}

inline void convertGrey(ConvertedPlanes& out, std::size_t index, int value, const Adjustment& a) {
    convertLuminance(out, index, value, a);
}

inline void convertColour(ConvertedPlanes& out, std::size_t index, int red, int green, int blue,
                          const Adjustment& a) {
    convertLuminance(out, index, 0.11 * blue + 0.59 * green + 0.3 * red, a);
    PlaneStats& stats = out.saturationStats;
    const int maximum = std::max({red, green, blue});
    const int chroma = maximum - std::min({red, green, blue});
    double spread = chroma * a.saturationGain;
    if (spread != 0) spread = spread + a.saturationOffset;
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
        hueByte = convertHue(out, red, green, blue, maximum, level, a);
    }
    addError(stats, spread - saturationByte);
    out.saturation[index] = saturationByte;
    out.hue[index] = hueByte;
}

}  // namespace zov::plain
