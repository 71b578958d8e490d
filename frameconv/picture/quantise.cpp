// Dithered mapping of every pixel to one of the picture's colour roles. Each pixel is compared by
// luminance and, for colour pictures, by a two-component chroma vector; what is left of its error goes to
// the neighbours with Floyd-Steinberg weights damped to three quarters. Carries are 16-bit fixed point
// with five fractional bits and saturate at the 16-bit range.
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <vector>

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

// truncate(c − target) for a whole c of magnitude below 2^17 in integers: with target = whole + fraction
// (0 ≤ fraction < 1) and t = c − whole, it is t − 1 when t > 0 and the fraction is not 0, else t. The
// double difference rounds in steps far below 2^-20, so it never crosses a whole number for a fraction
// that keeps at least that far from 0 and 1; a target closer than that is not exact in integers.
struct WholeTarget {
    int whole = 0;
    int fractional = 0;
    bool exact = false;

    WholeTarget() = default;
    explicit WholeTarget(double target) {
        const double floor = std::floor(target);
        const double fraction = target - floor;
        whole = static_cast<int>(floor);
        fractional = fraction != 0;
        exact = fraction == 0 || (fraction > 0x1p-20 && fraction < 1 - 0x1p-20);
    }
    int differenceFrom(int c) const {
        const int t = c - whole;
        return t - ((t > 0) & fractional);
    }
};

/// Truncation towards zero. Every value here is bounded by the carries and palette projections (well
/// within ±50000), so the conversion is always defined.
int truncated(double value) {
    return static_cast<int>(value);
}

std::int16_t saturated(int sum) { return static_cast<std::int16_t>(std::clamp(sum, -32768, 32767)); }

/// About 3/64 of an error: a quarter, times three, then a sixteenth (arithmetic shift, rounding down).
int diffusionUnit(int error) {
    return ((error / 4) * 3) >> 4;
}

/// The role colours of one pass in four slots, with what each contributes to the cost: 32 × luminance and
/// the chroma projections saturation × cosine (sine) × 32, as doubles and split for integer costs.
struct Roles {
    // Added to the cost key of the slots past the role count, so that they never win.
    static constexpr int kUnusedSlot = 1 << 28;

    int count = 1;
    int luma32[4] = {};
    double chromaX[4] = {}, chromaY[4] = {};
    WholeTarget wholeX[4], wholeY[4];
    int unused[4] = {};
    double chromaWeight = 1.0;
    bool wholeCosts = false;

    Roles(const VicPicture& picture, bool colour) {
        count = std::clamp(picture.geometry.roleCount, 1, 4);
        for (int k = 0; k < 4; ++k) {
            const int colourIndex = k < count ? picture.colours.roleColours[k] : kNoColour;
            const PaletteColour& c = kPalette[colourIndex >= 0 && colourIndex <= 16 ? colourIndex : kNoColour];
            luma32[k] = 32 * c.luminance;
            chromaX[k] = c.saturation * c.cosine * 32;
            chromaY[k] = c.saturation * c.sine * 32;
            wholeX[k] = WholeTarget(chromaX[k]);
            wholeY[k] = WholeTarget(chromaY[k]);
            unused[k] = k < count ? 0 : kUnusedSlot;
        }
        chromaWeight = picture.analysis.paletteError ? picture.settings.kprWeight : 1.0;
        // Without chroma, or with the chroma weight 1, every cost is a whole number well below 2^53, so
        // comparing the costs as integers picks the same roles as comparing them as doubles.
        wholeCosts = !colour || chromaWeight == 1.0;
        for (int k = 0; k < count; ++k) wholeCosts = wholeCosts && wholeX[k].exact && wholeY[k].exact;
    }
};

/// The role a pixel takes, with its luminance and chroma errors in 1/32 steps.
struct Choice {
    int role, d, dx, dy;
};

/// Four 32-bit lanes, one per role slot (plain vector arithmetic that the compiler maps onto the
/// machine's vector registers where it has them).
using Lanes = std::int32_t __attribute__((vector_size(16)));

Lanes lanes(int value) { return Lanes{value, value, value, value}; }

Lanes magnitude(Lanes v) {
    const Lanes sign = v >> 31;
    return (v ^ sign) - sign;
}

/// The role constants of whole costs side by side.
struct RoleLanes {
    Lanes luma32, wholeX, fractionalX, wholeY, fractionalY;
    Lanes keyTail;  // 3 − slot, plus the penalty of unused slots

    explicit RoleLanes(const Roles& roles) {
        for (int k = 0; k < 4; ++k) {
            luma32[k] = roles.luma32[k];
            wholeX[k] = roles.wholeX[k].whole;
            fractionalX[k] = roles.wholeX[k].fractional;
            wholeY[k] = roles.wholeY[k].whole;
            fractionalY[k] = roles.wholeY[k].fractional;
            keyTail[k] = 3 - k + roles.unused[k];
        }
    }
    // WholeTarget::differenceFrom in every lane: a comparison gives −1 where true.
    static Lanes difference(Lanes c, Lanes whole, Lanes fractional) {
        const Lanes t = c - whole;
        return t - ((t > Lanes{}) & fractional);
    }
};

// Candidates from the highest role down; only a strictly lower cost replaces the best, so equal costs keep
// the higher role. With whole costs that is the least of cost × 4 + (3 − role): no cost reaches 2^18, so
// the key neither overflows nor lets the role part decide anything but ties. All four slots are scored at
// once and chosen without branches: which role wins is as unpredictable as the picture.
template <bool Colour>
[[gnu::always_inline]] inline Choice chooseByWholeCost(const Roles& roles, const RoleLanes& slots, int v,
                                                       int chromaX, int chromaY) {
    Lanes cost = magnitude(lanes(v) - slots.luma32);
    if constexpr (Colour) {
        cost += magnitude(RoleLanes::difference(lanes(chromaX), slots.wholeX, slots.fractionalX) >> 1) +
                magnitude(RoleLanes::difference(lanes(chromaY), slots.wholeY, slots.fractionalY) >> 1);
    }
    const Lanes key = (cost << 2) + slots.keyTail;
    const int bestKey = std::min(std::min(key[0], key[1]), std::min(key[2], key[3]));
    const int role = 3 - (bestKey & 3);
    if constexpr (Colour) {
        return {role, v - roles.luma32[role], roles.wholeX[role].differenceFrom(chromaX),
                roles.wholeY[role].differenceFrom(chromaY)};
    } else {
        return {role, v - roles.luma32[role], 0, 0};
    }
}

// The same in doubles with the chroma weight; a cost that never compares below the start (infinite or
// NaN) leaves the highest role with no chroma error.
template <bool Colour>
[[gnu::always_inline]] inline Choice chooseByWeightedCost(const Roles& roles, int v, int chromaX, int chromaY) {
    double bestCost = 1e300;
    Choice best{roles.count - 1, v - roles.luma32[roles.count - 1], 0, 0};
    for (int k = roles.count - 1; k >= 0; --k) {
        const int d = v - roles.luma32[k];
        int dx = 0, dy = 0;
        double cost = std::abs(d);
        if constexpr (Colour) {
            dx = truncated(chromaX - roles.chromaX[k]);
            dy = truncated(chromaY - roles.chromaY[k]);
            cost = std::abs(d) + roles.chromaWeight * (std::abs(dx >> 1) + std::abs(dy >> 1));
        }
        if (cost < bestCost) {
            bestCost = cost;
            best = {k, d, dx, dy};
        }
    }
    return best;
}

/// Where the share for the next pixel in scan order goes: within the row it is handed on directly, which
/// spares reading back what was just written; at the end of the row into the plane, or to the lost sum.
enum class Ahead { kNextPixel, kPlane, kLost };

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
            absSum += std::abs(error);
            sqSum += std::int64_t{error} * error;
        }
        void store(double& total, double& absTotal, double& sqTotal) const {
            total = static_cast<double>(sum) / 32.0;
            absTotal = static_cast<double>(absSum) / 32.0;
            sqTotal = static_cast<double>(sqSum) / 1024.0;
        }
    };

    QuantStats* stats;
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
        luma.store(stats->lumaErrorSum, stats->lumaAbsErrorSum, stats->lumaSqErrorSum);
        x.store(stats->xErrorSum, stats->xAbsErrorSum, stats->xSqErrorSum);
        y.store(stats->yErrorSum, stats->yAbsErrorSum, stats->ySqErrorSum);
        stats->lostLuma = static_cast<double>(lostLumaSteps);
        stats->lostX = static_cast<double>(lostXSteps);
        stats->lostY = static_cast<double>(lostYSteps);
    }
};

/// The rectangle of one pass and the picture edges its shares may reach, kept inside the padded frame.
struct Region {
    int firstColumn, endColumn, firstRow, endRow;
    bool leftOpen, rightOpen, bottomOpen;
    int sourceWidth, sourceHeight;

    bool rightOk(int x) const { return x + 1 < endColumn || (rightOpen && x + 1 < sourceWidth); }
    bool leftOk(int x) const { return x > firstColumn || (leftOpen && x > 0); }
    std::int64_t pixels() const {
        return std::int64_t{std::max(endColumn - firstColumn, 0)} * std::max(endRow - firstRow, 0);
    }
};

/// One dithering pass, its per-call choices fixed at compile time: colour or luminance alone, the scan
/// direction, whole or weighted costs, and the sums' form.
///
/// Carries rarely come near the ends of their 16-bit range, so with whole costs and integer sums each row
/// is first dithered without saturating its carries, which costs far less, noting whether any carry left
/// the range on the way. Where none did, no saturation would have changed anything and the row is done;
/// otherwise the carries the row may change and the sums are put back and the row is dithered again,
/// saturating.
template <bool Colour, bool Reverse, bool WholeCosts, typename Sums>
class RegionDither {
public:
    static constexpr int kStep = Reverse ? -1 : 1;
    static constexpr bool kTryUnsaturated = WholeCosts && std::is_same_v<Sums, IntegerSums>;

    RegionDither(VicPicture& picture, const Roles& roles, Sums sums)
        : roles_(roles),
          stride_(picture.geometry.paddedWidth),
          planeRows_(picture.geometry.paddedHeight),
          luminance_(picture.planes.luminancePlane.get()),
          saturation_(picture.planes.saturationPlane.get()),
          hue_(picture.planes.huePlane.get()),
          lumaDither_(picture.planes.lumaDither.get()),
          xDither_(picture.planes.saturationDither.get()),
          yDither_(picture.planes.hueDither.get()),
          sums_(sums) {}

    void run(const Region& region, QuantStats& stats) const {
        // The loop works on a copy of its own: nothing it stores through the planes' pointers can then be
        // taken for a change of the role constants or the running sums, which stay in registers.
        RegionDither work = *this;
        work.walk(region, stats);
    }

private:
    [[gnu::always_inline]] inline void walk(const Region& region, QuantStats& stats) {
        const int count = region.endColumn - region.firstColumn;
        if (count <= 0) {
            sums_.finish();
            return;
        }
        // The columns whose carries a row may change: its own and one more on each side.
        savedFirst_ = std::max(region.firstColumn - 1, 0);
        savedWidth_ = std::min(region.endColumn + 1, static_cast<int>(stride_)) - savedFirst_;
        if constexpr (kTryUnsaturated) savedRows().resize(static_cast<std::size_t>(savedWidth_) * 6);
        for (int y = region.firstRow; y < region.endRow; ++y) {
            if constexpr (kTryUnsaturated) {
                saveRows(y);
                const Sums before = sums_;
                outOfRange_ = 0;
                row<false>(region, y);
                if (outOfRange_ >> 16 == 0) continue;
                restoreRows(y);
                sums_ = before;
            }
            row<true>(region, y);
        }
        const std::int64_t rows = region.endRow - region.firstRow;
        if (rows > 0) {
            stats.pixelCount += static_cast<std::int32_t>(rows * count);
            if (Colour) {
                stats.chromaPixelCount += static_cast<std::int32_t>(rows * count);
                stats.chromaPixelCount2 += static_cast<std::int32_t>(rows * count);
            }
        }
        sums_.finish();
    }

    template <bool Saturate>
    [[gnu::always_inline]] inline void row(const Region& region, int y) {
        const int count = region.endColumn - region.firstColumn;
        const int first = Reverse ? region.endColumn - 1 : region.firstColumn;
        const int last = Reverse ? region.firstColumn : region.endColumn - 1;
        // The pixel before the first and after the last in scan order, where the picture allows.
        const bool firstBehindOk = Reverse ? region.rightOk(first) : region.leftOk(first);
        const bool lastAheadOk = Reverse ? region.leftOk(last) : region.rightOk(last);
        const Ahead lastAhead = lastAheadOk ? Ahead::kPlane : Ahead::kLost;
        const bool belowOk = y + 1 < region.endRow || (region.bottomOpen && y + 1 < region.sourceHeight);
        const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(y) * stride_;
        handedLuma_ = handedX_ = handedY_ = 0;
        if (count == 1) {
            pixel<Saturate>(rowStart, first, lastAhead, firstBehindOk, belowOk);
        } else {
            pixel<Saturate>(rowStart, first, Ahead::kNextPixel, firstBehindOk, belowOk);
            for (int x = first + kStep; x != last; x += kStep)
                pixel<Saturate>(rowStart, x, Ahead::kNextPixel, true, belowOk);
            pixel<Saturate>(rowStart, last, lastAhead, true, belowOk);
        }
    }

    // One buffer for every pass of the thread, grown to the widest region seen.
    static std::vector<std::int16_t>& savedRows() {
        thread_local std::vector<std::int16_t> saved;
        return saved;
    }
    // Row y and the one below, of each carry plane, in the columns a row may change.
    template <typename Copy>
    void eachSavedRow(int y, Copy copy) {
        std::int16_t* const planes[3] = {lumaDither_, xDither_, yDither_};
        std::int16_t* saved = savedRows().data();
        for (int k = 0; k < (Colour ? 3 : 1); ++k)
            for (int r = y; r < std::min(y + 2, planeRows_); ++r, saved += savedWidth_)
                copy(planes[k] + static_cast<std::ptrdiff_t>(r) * stride_ + savedFirst_, saved);
    }
    void saveRows(int y) {
        eachSavedRow(y, [&](const std::int16_t* plane, std::int16_t* saved) { std::copy_n(plane, savedWidth_, saved); });
    }
    void restoreRows(int y) {
        eachSavedRow(y, [&](std::int16_t* plane, const std::int16_t* saved) { std::copy_n(saved, savedWidth_, plane); });
    }

    /// a + b as a 16-bit carry: saturated, or noted when it leaves the range.
    template <bool Saturate>
    [[gnu::always_inline]] inline int carrySum(int a, int b) {
        const int sum = a + b;
        if constexpr (Saturate) {
            return saturated(sum);
        } else {
            outOfRange_ |= static_cast<unsigned>(sum + 32768);  // 2^16 or more exactly when out of range
            return sum;
        }
    }
    template <bool Saturate>
    [[gnu::always_inline]] inline void addTo(std::int16_t& carry, int amount) {
        carry = static_cast<std::int16_t>(carrySum<Saturate>(carry, amount));
    }

    /// Spreads one carry plane's share of pixel x in the row at `row`: 7 ahead, 3 behind below, 5 below,
    /// 1 ahead below, in sixteenths of the unit. Shares that cannot go anywhere are added to the lost sum.
    /// Returns the share handed on to the next pixel (Ahead::kNextPixel), else 0. A unit of 0 changes
    /// nothing, so it needs no test.
    template <bool Saturate, typename Lost>
    [[gnu::always_inline]] inline int spread(std::int16_t* row, int x, int unit, Ahead aheadTo, bool behindOk,
                                             bool belowOk, Lost& lost) {
        int handedOn = 0;
        if (aheadTo == Ahead::kNextPixel) {
            handedOn = 7 * unit;
        } else if (aheadTo == Ahead::kPlane) {
            addTo<Saturate>(row[x + kStep], 7 * unit);
        } else {
            lost += 7 * unit;
        }
        if (!belowOk) {
            lost += 9 * unit;
            return handedOn;
        }
        std::int16_t* next = row + stride_;
        if (behindOk) addTo<Saturate>(next[x - kStep], 3 * unit); else lost += 3 * unit;
        addTo<Saturate>(next[x], 5 * unit);
        if (aheadTo != Ahead::kLost) addTo<Saturate>(next[x + kStep], unit); else lost += unit;
        return handedOn;
    }

    template <bool Saturate>
    [[gnu::always_inline]] inline void pixel(std::ptrdiff_t rowStart, int x, Ahead aheadTo, bool behindOk,
                                             bool belowOk) {
        const std::ptrdiff_t at = rowStart + x;
        const int v = 32 * luminance_[at] + carrySum<Saturate>(lumaDither_[at], handedLuma_);
        int chromaX = 0, chromaY = 0;
        if constexpr (Colour) {
            const int s = saturation_[at];
            const int hue = hue_[at];
            const int sx = truncated(-32 * s * trig_.cosine[hue]);
            const int sy = truncated(-32 * s * trig_.sine[hue]);
            const int carryX = carrySum<Saturate>(xDither_[at], handedX_);
            const int carryY = carrySum<Saturate>(yDither_[at], handedY_);
            xDither_[at] = static_cast<std::int16_t>(carryX);
            yDither_[at] = static_cast<std::int16_t>(carryY);
            chromaX = carryX - sx;
            chromaY = carryY - sy;
        }
        const Choice c = WholeCosts ? chooseByWholeCost<Colour>(roles_, slots_, v, chromaX, chromaY)
                                    : chooseByWeightedCost<Colour>(roles_, v, chromaX, chromaY);
        lumaDither_[at] = static_cast<std::int16_t>(c.role);

        sums_.addLuma(c.d);
        handedLuma_ = spread<Saturate>(lumaDither_ + rowStart, x, diffusionUnit(c.d), aheadTo, behindOk, belowOk,
                                       sums_.lostLuma());
        if constexpr (Colour) {
            sums_.addChroma(c.dx, c.dy);
            handedX_ = spread<Saturate>(xDither_ + rowStart, x, diffusionUnit(c.dx), aheadTo, behindOk, belowOk,
                                        sums_.lostX());
            handedY_ = spread<Saturate>(yDither_ + rowStart, x, diffusionUnit(c.dy), aheadTo, behindOk, belowOk,
                                        sums_.lostY());
        }
    }

    Roles roles_;
    RoleLanes slots_{roles_};
    const HueTable& trig_ = hueTable();
    std::ptrdiff_t stride_;
    int planeRows_;
    const std::uint8_t* luminance_;
    const std::uint8_t* saturation_;
    const std::uint8_t* hue_;
    std::int16_t* lumaDither_;
    std::int16_t* xDither_;
    std::int16_t* yDither_;
    Sums sums_;
    int handedLuma_ = 0, handedX_ = 0, handedY_ = 0;  // the shares of the pixel before in the row
    unsigned outOfRange_ = 0;  // every unsaturated carry + 2^15 of the row or-ed together
    int savedFirst_ = 0, savedWidth_ = 0;
};

template <bool Colour, bool Reverse>
void ditherRegion(VicPicture& picture, const Roles& roles, const Region& region, QuantStats& stats) {
    // Regions too large for exact integer sums are rare enough to take the form that is slowest but closest
    // to the record: double sums and double costs.
    if (region.pixels() >= IntegerSums::kPixelLimit) {
        RegionDither<Colour, Reverse, false, DoubleSums>(picture, roles, DoubleSums{stats}).run(region, stats);
    } else if (roles.wholeCosts) {
        RegionDither<Colour, Reverse, true, IntegerSums>(picture, roles, IntegerSums{&stats}).run(region, stats);
    } else {
        RegionDither<Colour, Reverse, false, IntegerSums>(picture, roles, IntegerSums{&stats}).run(region, stats);
    }
}

template <bool Colour>
void ditherRegion(VicPicture& picture, const Roles& roles, const Region& region, DitherRegion::Scan scan,
                  QuantStats& stats) {
    if (scan == DitherRegion::Scan::RightToLeft) {
        ditherRegion<Colour, true>(picture, roles, region, stats);
    } else {
        ditherRegion<Colour, false>(picture, roles, region, stats);
    }
}

/// Gives the mirror each pixel's role and source bytes of the region.
void copyToMirror(const VicPicture& picture, const Region& region, bool colour, VicPicture& mirror) {
    const int count = region.endColumn - region.firstColumn;
    if (count <= 0) return;
    for (int y = region.firstRow; y < region.endRow; ++y) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y) * picture.geometry.paddedWidth + region.firstColumn;
        std::copy_n(picture.planes.lumaDither.get() + at, count, mirror.planes.lumaDither.get() + at);
        std::copy_n(picture.planes.luminancePlane.get() + at, count, mirror.planes.luminancePlane.get() + at);
        if (colour) {
            std::copy_n(picture.planes.saturationPlane.get() + at, count, mirror.planes.saturationPlane.get() + at);
            std::copy_n(picture.planes.huePlane.get() + at, count, mirror.planes.huePlane.get() + at);
        }
    }
}

bool mirrorFits(const VicPicture& mirror, const VicPicture& source, bool colour) {
    if (mirror.geometry.paddedWidth != source.geometry.paddedWidth) return false;
    if (mirror.geometry.paddedSize < source.geometry.paddedSize) return false;
    if (!mirror.planes.lumaDither || !mirror.planes.luminancePlane) return false;
    return !colour || (mirror.planes.saturationPlane && mirror.planes.huePlane);
}

}  // namespace

QuantStats VicPicture::quantiseRegion(const DitherRegion& wanted, VicPicture* mirror) {
    QuantStats stats;
    const bool colour = monochrome == 0;
    if (!planes.luminancePlane || !planes.lumaDither) return stats;
    if (colour && (!planes.huePlane || !planes.saturationPlane || !planes.hueDither || !planes.saturationDither))
        return stats;
    if (geometry.paddedWidth <= 0 || geometry.paddedHeight <= 0 ||
        static_cast<std::int64_t>(geometry.paddedWidth) * geometry.paddedHeight > geometry.paddedSize)
        return stats;

    const Region region{std::max(wanted.columns.first, 0),
                        std::min(wanted.columns.end, geometry.paddedWidth),
                        std::max(wanted.rows.first, 0),
                        std::min(wanted.rows.end, geometry.paddedHeight),
                        wanted.open.left,
                        wanted.open.right,
                        wanted.open.bottom,
                        std::min(geometry.width, geometry.paddedWidth),
                        std::min(geometry.height, geometry.paddedHeight)};
    if (mirror && (mirror == this || !mirrorFits(*mirror, *this, colour))) mirror = nullptr;

    const Roles roles(*this, colour);
    if (colour) {
        ditherRegion<true>(*this, roles, region, wanted.scan, stats);
    } else {
        ditherRegion<false>(*this, roles, region, wanted.scan, stats);
    }
    // A pixel's role stays as written once the scan has passed it, so the mirror can take the region whole.
    if (mirror) copyToMirror(*this, region, colour, *mirror);
    return stats;
}

QuantStats VicPicture::quantisePicture() {
    if (!planes.lumaDither || (!monochrome && !planes.saturationDither)) return QuantStats{};
    const std::size_t elements = geometry.paddedSize > 0 ? static_cast<std::size_t>(geometry.paddedSize) : 0;
    std::fill_n(planes.lumaDither.get(), elements, std::int16_t{0});
    if (!monochrome) {
        std::fill_n(planes.saturationDither.get(), elements, std::int16_t{0});
        if (planes.hueDither) std::fill_n(planes.hueDither.get(), elements, std::int16_t{0});
    }
    const DitherRegion whole{.columns = {0, geometry.width},
                             .rows = {0, geometry.height},
                             .open = {.left = true, .right = true, .bottom = true},
                             .scan = DitherRegion::Scan::LeftToRight};
    QuantStats stats = quantiseRegion(whole, nullptr);
    stats.monochrome = monochrome;
    stats.edgeCount = geometry.width + 2 * geometry.height - 2;
    stats.copiedPixels = 0;
    return stats;
}

}  // namespace zov
