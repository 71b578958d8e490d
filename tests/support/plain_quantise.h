// Dithered quantisation of a region as it was first written: costs and error sums in doubles, pixel by
// pixel. Kept as the reference that the library's quantisation must match bit for bit.
#pragma once

#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace zov::plain {

constexpr double kRadiansPerHueStep = 0.02454369260617026;  // 2π / 256

/// cos and sin of every hue byte: the same values a per-pixel evaluation gives, computed once.
struct HueTable {
    std::array<double, 256> cosine{};
    std::array<double, 256> sine{};
    HueTable() {
        for (int hue = 0; hue < 256; ++hue) {
            const double theta = hue * kRadiansPerHueStep;
            cosine[hue] = std::cos(theta);
            sine[hue] = std::sin(theta);
        }
    }
};

inline const HueTable& hueTable() {
    static const HueTable table;
    return table;
}

/// What one role colour contributes to the cost: its luminance and chroma projections, scaled to carries.
struct RoleTarget {
    int luma32;     // 32 × luminance
    double chromaX; // saturation × cosine × 32
    double chromaY; // saturation × sine × 32
};

/// Truncation towards zero. Every value here is bounded by the carries and palette projections (well
/// within ±50000), so the conversion is always defined.
inline int truncated(double value) {
    return static_cast<int>(value);
}

inline void addSaturating(std::int16_t& carry, int amount) {
    const int sum = carry + amount;
    carry = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
}

/// About 3/64 of an error: a quarter, times three, then a sixteenth (arithmetic shift, rounding down).
inline int diffusionUnit(int error) {
    return ((error / 4) * 3) >> 4;
}

/// One carry plane with the availability of a pixel's neighbours; shares that cannot go anywhere are
/// added to the lost sum.
class Spreader {
public:
    Spreader(std::int16_t* plane, int stride) : plane_(plane), stride_(stride) {}

    void spread(int x, int y, int unit, int ahead, int behind, bool aheadOk, bool behindOk, bool belowOk,
                double& lost) const {
        if (unit == 0) return;
        std::int16_t* row = plane_ + static_cast<std::ptrdiff_t>(y) * stride_;
        if (aheadOk) addSaturating(row[ahead], 7 * unit); else lost += 7 * unit;
        if (!belowOk) {
            lost += 9 * unit;
            return;
        }
        std::int16_t* next = row + stride_;
        if (behindOk) addSaturating(next[behind], 3 * unit); else lost += 3 * unit;
        addSaturating(next[x], 5 * unit);
        if (aheadOk) addSaturating(next[ahead], unit); else lost += unit;
    }

private:
    std::int16_t* plane_;
    int stride_;
};

inline bool mirrorFits(const VicPicture& mirror, const VicPicture& source, bool colour) {
    if (mirror.geometry.paddedWidth != source.geometry.paddedWidth ||
        mirror.geometry.paddedSize < source.geometry.paddedSize)
        return false;
    if (!mirror.planes.lumaDither || !mirror.planes.luminancePlane) return false;
    return !colour || (mirror.planes.saturationPlane && mirror.planes.huePlane);
}

inline QuantStats plainQuantiseRegion(VicPicture& picture, bool reverse, int firstColumn, int endColumn,
                                      bool leftOpen, bool rightOpen, int firstRow, int endRow, bool bottomOpen,
                                      VicPicture* mirror) {
    QuantStats stats;
    const bool colour = picture.monochrome == 0;
    if (!picture.planes.luminancePlane || !picture.planes.lumaDither) return stats;
    if (colour && (!picture.planes.huePlane || !picture.planes.saturationPlane || !picture.planes.hueDither ||
                   !picture.planes.saturationDither))
        return stats;
    if (picture.geometry.paddedWidth <= 0 || picture.geometry.paddedHeight <= 0 ||
        static_cast<std::int64_t>(picture.geometry.paddedWidth) * picture.geometry.paddedHeight >
                picture.geometry.paddedSize)
        return stats;

    // The region and the picture edges that open flags may reach, kept inside the padded frame.
    firstColumn = std::max(firstColumn, 0);
    endColumn = std::min(endColumn, picture.geometry.paddedWidth);
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, picture.geometry.paddedHeight);
    const int sourceWidth = std::min(picture.geometry.width, picture.geometry.paddedWidth);
    const int sourceHeight = std::min(picture.geometry.height, picture.geometry.paddedHeight);
    if (mirror && !mirrorFits(*mirror, picture, colour)) mirror = nullptr;

    const int roles = std::clamp(picture.geometry.roleCount, 1, 4);
    RoleTarget targets[4];
    for (int k = 0; k < roles; ++k) {
        const int colourIndex = picture.colours.roleColours[k];
        const int index = colourIndex >= 0 && colourIndex <= 16 ? colourIndex : kNoColour;
        const PaletteColour& c = kPalette[index];
        targets[k] = {32 * c.luminance, c.saturation * c.cosine * 32, c.saturation * c.sine * 32};
    }
    const double chromaWeight = picture.analysis.paletteError ? picture.settings.kprWeight : 1.0;
    const HueTable& trig = hueTable();

    const Spreader lumaSpread(picture.planes.lumaDither.get(), picture.geometry.paddedWidth);
    const Spreader xSpread(colour ? picture.planes.saturationDither.get() : nullptr, picture.geometry.paddedWidth);
    const Spreader ySpread(colour ? picture.planes.hueDither.get() : nullptr, picture.geometry.paddedWidth);
    const int step = reverse ? -1 : 1;

    for (int y = firstRow; y < endRow; ++y) {
        const bool belowOk = y + 1 < endRow || (bottomOpen && y + 1 < sourceHeight);
        const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(y) * picture.geometry.paddedWidth;
        for (int i = 0; i < endColumn - firstColumn; ++i) {
            const int x = reverse ? endColumn - 1 - i : firstColumn + i;
            const std::ptrdiff_t at = rowStart + x;
            const bool rightOk = x + 1 < endColumn || (rightOpen && x + 1 < sourceWidth);
            const bool leftOk = x > firstColumn || (leftOpen && x > 0);

            const int v = 32 * picture.planes.luminancePlane[at] + picture.planes.lumaDither[at];
            int chromaX = 0, chromaY = 0;
            if (colour) {
                const int s = picture.planes.saturationPlane[at];
                const int hue = picture.planes.huePlane[at];
                const int sx = truncated(-32 * s * trig.cosine[hue]);
                const int sy = truncated(-32 * s * trig.sine[hue]);
                chromaX = picture.planes.saturationDither[at] - sx;
                chromaY = picture.planes.hueDither[at] - sy;
            }

            // Candidates from the highest role down; only a strictly lower cost replaces the best, so equal
            // costs keep the higher role.
            double bestCost = 1e300;
            int best = roles - 1;
            int bestD = v - targets[best].luma32, bestDx = 0, bestDy = 0;
            for (int k = roles - 1; k >= 0; --k) {
                const int d = v - targets[k].luma32;
                int dx = 0, dy = 0;
                double cost = std::abs(d);
                if (colour) {
                    dx = truncated(chromaX - targets[k].chromaX);
                    dy = truncated(chromaY - targets[k].chromaY);
                    cost = std::abs(d) + chromaWeight * (std::abs(dx >> 1) + std::abs(dy >> 1));
                }
                if (cost < bestCost) {
                    bestCost = cost;
                    best = k;
                    bestD = d;
                    bestDx = dx;
                    bestDy = dy;
                }
            }
            picture.planes.lumaDither[at] = static_cast<std::int16_t>(best);

            ++stats.pixelCount;
            const double lumaError = bestD / 32.0;
            stats.lumaErrorSum += lumaError;
            stats.lumaAbsErrorSum += std::fabs(lumaError);
            stats.lumaSqErrorSum += lumaError * lumaError;
            if (colour) {
                ++stats.chromaPixelCount;
                ++stats.chromaPixelCount2;
                const double xError = bestDx / 32.0, yError = bestDy / 32.0;
                stats.xErrorSum += xError;
                stats.xAbsErrorSum += std::fabs(xError);
                stats.xSqErrorSum += xError * xError;
                stats.yErrorSum += yError;
                stats.yAbsErrorSum += std::fabs(yError);
                stats.ySqErrorSum += yError * yError;
            }

            const int ahead = x + step, behind = x - step;
            const bool aheadOk = reverse ? leftOk : rightOk;
            const bool behindOk = reverse ? rightOk : leftOk;
            lumaSpread.spread(x, y, diffusionUnit(bestD), ahead, behind, aheadOk, behindOk, belowOk,
                              stats.lostLuma);
            if (colour) {
                xSpread.spread(x, y, diffusionUnit(bestDx), ahead, behind, aheadOk, behindOk, belowOk,
                               stats.lostX);
                ySpread.spread(x, y, diffusionUnit(bestDy), ahead, behind, aheadOk, behindOk, belowOk,
                               stats.lostY);
            }

            if (mirror) {
                mirror->planes.lumaDither[at] = static_cast<std::int16_t>(best);
                mirror->planes.luminancePlane[at] = picture.planes.luminancePlane[at];
                if (colour) {
                    mirror->planes.saturationPlane[at] = picture.planes.saturationPlane[at];
                    mirror->planes.huePlane[at] = picture.planes.huePlane[at];
                }
            }
        }
    }
    return stats;
}

}  // namespace zov::plain
