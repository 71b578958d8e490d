// Dithered mapping of every pixel to one of the picture's colour roles. Each pixel is compared by
// luminance and, for colour pictures, by a two-component chroma vector; what is left of its error goes to
// the neighbours with Floyd-Steinberg weights damped to three quarters. Carries are 16-bit fixed point
// with five fractional bits and saturate at the 16-bit range.
#include "frameconv/picture/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <type_traits>

namespace zov {
namespace {

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

const HueTable& hueTable() {
    static const HueTable table;
    return table;
}

/// What one role colour contributes to the cost: its luminance and chroma projections, scaled to carries.
struct RoleTarget {
    int luma32;     // 32 × luminance
    double chromaX; // saturation × cosine × 32
    double chromaY; // saturation × sine × 32
};

// truncate(c − target) for a whole c of magnitude below 2^17 in integers: with target = whole + fraction
// (0 ≤ fraction < 1) and t = c − whole, it is t − 1 when t > 0 and the fraction is not 0, else t. The
// double difference rounds in steps far below 2^-20, so it never crosses a whole number for a fraction
// that keeps at least that far from 0 and 1; a target closer than that is not exact in integers.
struct WholeTarget {
    int whole = 0;
    int fractional = 0;
    bool exact = false;

    explicit WholeTarget(double target) {
        const double floor = std::floor(target);
        const double fraction = target - floor;
        whole = static_cast<int>(floor);
        fractional = fraction != 0;
        exact = fraction == 0 || (fraction > 0x1p-20 && fraction < 1 - 0x1p-20);
    }
    int differenceFrom(int c) const {
        const int t = c - whole;
        return t - (t > 0 ? fractional : 0);
    }
};

/// Truncation towards zero. Every value here is bounded by the carries and palette projections (well
/// within ±50000), so the conversion is always defined.
int truncated(double value) {
    return static_cast<int>(value);
}

void addSaturating(std::int16_t& carry, int amount) {
    const int sum = carry + amount;
    carry = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
}

/// About 3/64 of an error: a quarter, times three, then a sixteenth (arithmetic shift, rounding down).
int diffusionUnit(int error) {
    return ((error / 4) * 3) >> 4;
}

std::int16_t saturated(int sum) { return static_cast<std::int16_t>(std::clamp(sum, -32768, 32767)); }

/// Where the share for the next pixel in scan order goes: within the row it is handed on directly, which
/// spares reading back what was just written; at the end of the row into the plane, or to the lost sum.
enum class Ahead { kNextPixel, kPlane, kLost };

/// One carry plane with the availability of a pixel's neighbours; shares that cannot go anywhere are
/// added to the lost sum.
class Spreader {
public:
    Spreader(std::int16_t* plane, int stride) : plane_(plane), stride_(stride) {}

    /// Returns the share handed on to the next pixel (Ahead::kNextPixel), else 0.
    template <typename Lost>
    int spread(int x, int y, int unit, int ahead, int behind, Ahead aheadTo, bool behindOk, bool belowOk,
               Lost& lost) const {
        if (unit == 0) return 0;
        std::int16_t* row = plane_ + static_cast<std::ptrdiff_t>(y) * stride_;
        int handedOn = 0;
        if (aheadTo == Ahead::kNextPixel) {
            handedOn = 7 * unit;
        } else if (aheadTo == Ahead::kPlane) {
            addSaturating(row[ahead], 7 * unit);
        } else {
            lost += 7 * unit;
        }
        if (!belowOk) {
            lost += 9 * unit;
            return handedOn;
        }
        std::int16_t* next = row + stride_;
        if (behindOk) addSaturating(next[behind], 3 * unit); else lost += 3 * unit;
        addSaturating(next[x], 5 * unit);
        if (aheadTo != Ahead::kLost) addSaturating(next[ahead], unit); else lost += unit;
        return handedOn;
    }

private:
    std::int16_t* plane_;
    int stride_;
};

// The error sums of a pass, added pixel by pixel in doubles as the record holds them.
struct DoubleSums {
    QuantStats& stats;

    static void add(double error, double& sum, double& absSum, double& sqSum) {
        sum += error;
        absSum += std::fabs(error);
        sqSum += error * error;
    }
    void addLuma(int d) { add(d / 32.0, stats.lumaErrorSum, stats.lumaAbsErrorSum, stats.lumaSqErrorSum); }
    void addChroma(int dx, int dy) {
        add(dx / 32.0, stats.xErrorSum, stats.xAbsErrorSum, stats.xSqErrorSum);
        add(dy / 32.0, stats.yErrorSum, stats.yAbsErrorSum, stats.ySqErrorSum);
    }
    double& lostLuma() { return stats.lostLuma; }
    double& lostX() { return stats.lostX; }
    double& lostY() { return stats.lostY; }
    void finish() {}
};

// The same sums kept in integers (errors in 1/32 steps, squares in 1/1024). Every error is below 2^16 in
// magnitude, so for fewer than 2^21 pixels every partial sum of the doubles is a multiple of 1/1024 below
// 2^43, which a double holds exactly: the doubles never round, and converting the integer sums at the end
// gives the very same values.
struct IntegerSums {
    static constexpr std::int64_t kPixelLimit = std::int64_t{1} << 21;

    struct Component {
        std::int64_t sum = 0, absSum = 0, sqSum = 0;
        void add(int error) {
            sum += error;
            absSum += error < 0 ? -error : error;
            sqSum += std::int64_t{error} * error;
        }
        void store(double& total, double& absTotal, double& sqTotal) const {
            total = static_cast<double>(sum) / 32.0;
            absTotal = static_cast<double>(absSum) / 32.0;
            sqTotal = static_cast<double>(sqSum) / 1024.0;
        }
    };

    QuantStats& stats;
    Component luma{}, x{}, y{};
    std::int64_t lostLumaSteps = 0, lostXSteps = 0, lostYSteps = 0;

    void addLuma(int d) { luma.add(d); }
    void addChroma(int dx, int dy) {
        x.add(dx);
        y.add(dy);
    }
    std::int64_t& lostLuma() { return lostLumaSteps; }
    std::int64_t& lostX() { return lostXSteps; }
    std::int64_t& lostY() { return lostYSteps; }
    void finish() {
        luma.store(stats.lumaErrorSum, stats.lumaAbsErrorSum, stats.lumaSqErrorSum);
        x.store(stats.xErrorSum, stats.xAbsErrorSum, stats.xSqErrorSum);
        y.store(stats.yErrorSum, stats.yAbsErrorSum, stats.ySqErrorSum);
        stats.lostLuma = static_cast<double>(lostLumaSteps);
        stats.lostX = static_cast<double>(lostXSteps);
        stats.lostY = static_cast<double>(lostYSteps);
    }
};

bool mirrorFits(const VicPicture& mirror, const VicPicture& source, bool colour) {
    if (mirror.paddedWidth != source.paddedWidth || mirror.paddedSize < source.paddedSize) return false;
    if (!mirror.lumaDither || !mirror.luminancePlane) return false;
    return !colour || (mirror.saturationPlane && mirror.huePlane);
}

}  // namespace

QuantStats VicPicture::quantiseRegion(bool reverse, int firstColumn, int endColumn, bool leftOpen,
                                      bool rightOpen, int firstRow, int endRow, bool bottomOpen,
                                      VicPicture* mirror) {
    QuantStats stats;
    const bool colour = monochrome == 0;
    if (!luminancePlane || !lumaDither) return stats;
    if (colour && (!huePlane || !saturationPlane || !hueDither || !saturationDither)) return stats;
    if (paddedWidth <= 0 || paddedHeight <= 0 ||
        static_cast<std::int64_t>(paddedWidth) * paddedHeight > paddedSize)
        return stats;

    // The region and the picture edges that open flags may reach, kept inside the padded frame.
    firstColumn = std::max(firstColumn, 0);
    endColumn = std::min(endColumn, paddedWidth);
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, paddedHeight);
    const int sourceWidth = std::min(width, paddedWidth);
    const int sourceHeight = std::min(height, paddedHeight);
    if (mirror && !mirrorFits(*mirror, *this, colour)) mirror = nullptr;

    const int roles = std::clamp(roleCount, 1, 4);
    RoleTarget targets[4] = {};
    for (int k = 0; k < roles; ++k) {
        const int index = roleColours[k] >= 0 && roleColours[k] <= 16 ? roleColours[k] : kNoColour;
        const PaletteColour& c = kPalette[index];
        targets[k] = {32 * c.luminance, c.saturation * c.cosine * 32, c.saturation * c.sine * 32};
    }
    const double chromaWeight = paletteError ? kprWeight : 1.0;
    // Without chroma, or with the chroma weight 1, every cost is a whole number well below 2^53, so comparing the costs as
    // integers picks the same roles as comparing them as doubles.
    const WholeTarget wholeX[4] = {WholeTarget(targets[0].chromaX), WholeTarget(targets[1].chromaX),
                                   WholeTarget(targets[2].chromaX), WholeTarget(targets[3].chromaX)};
    const WholeTarget wholeY[4] = {WholeTarget(targets[0].chromaY), WholeTarget(targets[1].chromaY),
                                   WholeTarget(targets[2].chromaY), WholeTarget(targets[3].chromaY)};
    bool wholeCosts = !colour || chromaWeight == 1.0;
    for (int k = 0; k < roles; ++k) wholeCosts = wholeCosts && wholeX[k].exact && wholeY[k].exact;
    const HueTable& trig = hueTable();

    const Spreader lumaSpread(lumaDither.get(), paddedWidth);
    const Spreader xSpread(colour ? saturationDither.get() : nullptr, paddedWidth);
    const Spreader ySpread(colour ? hueDither.get() : nullptr, paddedWidth);
    const int step = reverse ? -1 : 1;

    auto ditherRows = [&](auto sums, auto integerCosts) {
        const int count = endColumn - firstColumn;
        for (int y = firstRow; y < endRow; ++y) {
            const bool belowOk = y + 1 < endRow || (bottomOpen && y + 1 < sourceHeight);
            const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(y) * paddedWidth;
            int handedLuma = 0, handedX = 0, handedY = 0;  // the shares of the pixel before in the row
            for (int i = 0; i < count; ++i) {
                const int x = reverse ? endColumn - 1 - i : firstColumn + i;
                const std::ptrdiff_t at = rowStart + x;
                const bool rightOk = x + 1 < endColumn || (rightOpen && x + 1 < sourceWidth);
                const bool leftOk = x > firstColumn || (leftOpen && x > 0);

                const int v = 32 * luminancePlane[at] + saturated(lumaDither[at] + handedLuma);
                int chromaX = 0, chromaY = 0;
                if (colour) {
                    const int s = saturationPlane[at];
                    const int hue = huePlane[at];
                    const int sx = truncated(-32 * s * trig.cosine[hue]);
                    const int sy = truncated(-32 * s * trig.sine[hue]);
                    const std::int16_t carryX = saturated(saturationDither[at] + handedX);
                    const std::int16_t carryY = saturated(hueDither[at] + handedY);
                    saturationDither[at] = carryX;
                    hueDither[at] = carryY;
                    chromaX = carryX - sx;
                    chromaY = carryY - sy;
                }

                // Candidates from the highest role down; only a strictly lower cost replaces the best, so equal
                // costs keep the higher role.
                int best = roles - 1;
                int bestD = v - targets[best].luma32, bestDx = 0, bestDy = 0;
                if constexpr (decltype(integerCosts)::value) {
                    int bestCost = std::numeric_limits<int>::max();
                    for (int k = roles - 1; k >= 0; --k) {
                        const int d = v - targets[k].luma32;
                        int dx = 0, dy = 0;
                        int cost = std::abs(d);
                        if (colour) {
                            dx = wholeX[k].differenceFrom(chromaX);
                            dy = wholeY[k].differenceFrom(chromaY);
                            cost += std::abs(dx >> 1) + std::abs(dy >> 1);
                        }
                        // Selected without branches: which role wins is as unpredictable as the picture.
                        const bool better = cost < bestCost;
                        bestCost = better ? cost : bestCost;
                        best = better ? k : best;
                        bestD = better ? d : bestD;
                        bestDx = better ? dx : bestDx;
                        bestDy = better ? dy : bestDy;
                    }
                } else {
                    double bestCost = 1e300;
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
                }
                lumaDither[at] = static_cast<std::int16_t>(best);

                ++stats.pixelCount;
                sums.addLuma(bestD);
                if (colour) {
                    ++stats.chromaPixelCount;
                    ++stats.chromaPixelCount2;
                    sums.addChroma(bestDx, bestDy);
                }

                const int ahead = x + step, behind = x - step;
                const bool aheadOk = reverse ? leftOk : rightOk;  // always so within the row
                const bool behindOk = reverse ? rightOk : leftOk;
                const Ahead aheadTo = i + 1 < count ? Ahead::kNextPixel : aheadOk ? Ahead::kPlane : Ahead::kLost;
                handedLuma = lumaSpread.spread(x, y, diffusionUnit(bestD), ahead, behind, aheadTo, behindOk,
                                               belowOk, sums.lostLuma());
                if (colour) {
                    handedX = xSpread.spread(x, y, diffusionUnit(bestDx), ahead, behind, aheadTo, behindOk,
                                             belowOk, sums.lostX());
                    handedY = ySpread.spread(x, y, diffusionUnit(bestDy), ahead, behind, aheadTo, behindOk,
                                             belowOk, sums.lostY());
                }

                if (mirror) {
                    mirror->lumaDither[at] = static_cast<std::int16_t>(best);
                    mirror->luminancePlane[at] = luminancePlane[at];
                    if (colour) {
                        mirror->saturationPlane[at] = saturationPlane[at];
                        mirror->huePlane[at] = huePlane[at];
                    }
                }
            }
        }
        sums.finish();
    };
    const std::int64_t pixels =
        std::int64_t{std::max(endColumn - firstColumn, 0)} * std::max(endRow - firstRow, 0);
    if (pixels < IntegerSums::kPixelLimit && wholeCosts) {
        ditherRows(IntegerSums{stats}, std::true_type{});
    } else if (pixels < IntegerSums::kPixelLimit) {
        ditherRows(IntegerSums{stats}, std::false_type{});
    } else {
        ditherRows(DoubleSums{stats}, std::false_type{});
    }
    return stats;
}

QuantStats VicPicture::quantisePicture() {
    if (!lumaDither || (!monochrome && !saturationDither)) return QuantStats{};
    const std::size_t elements = paddedSize > 0 ? static_cast<std::size_t>(paddedSize) : 0;
    std::fill_n(lumaDither.get(), elements, std::int16_t{0});
    if (!monochrome) {
        std::fill_n(saturationDither.get(), elements, std::int16_t{0});
        if (hueDither) std::fill_n(hueDither.get(), elements, std::int16_t{0});
    }
    QuantStats stats = quantiseRegion(false, 0, width, true, true, 0, height, true, nullptr);
    stats.monochrome = monochrome;
    stats.edgeCount = width + 2 * height - 2;
    stats.copiedPixels = 0;
    return stats;
}

}  // namespace zov
