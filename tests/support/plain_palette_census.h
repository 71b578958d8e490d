// The palette census as it was first written: every pixel converted from the planes at every census and
// every cost formed in doubles, one pixel after the other in the serpentine walk. Kept as the reference that
// the census of the library must match bit for bit, ties and saturations included.
#pragma once

#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace zov::plain {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDegreesPerRadian = 57.29577951308232;

// The saturating truncation of the colour conversion, inline for the per-pixel loop: truncation toward zero,
// values beyond the 32-bit range saturate and NaN gives 0.
inline std::int32_t truncateToInt32(double value) {
    if (value != value) return 0;
    if (value <= -2147483648.0) return INT32_MIN;
    if (value >= 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(value);
}

inline const PaletteColour& paletteEntry(int index) {
    return kPalette[index >= 0 && index <= kNoColour ? index : kNoColour];
}

// The chroma direction of every hue byte. Each entry comes from the same expression that a per-pixel
// evaluation would use, so looking it up gives bit-identical results at a fraction of the cost.
struct HueDirections {
    double cosine[256];
    double sine[256];

    explicit HueDirections(double hueOffset) {
        for (int hue = 0; hue < 256; ++hue) {
            const double theta = hue * kTwoPi / 256 + hueOffset;
            cosine[hue] = std::cos(theta);
            sine[hue] = std::sin(theta);
        }
    }
};

// A colour taking part in a census: the reference first, then the candidates that are not the reference.
struct Contender {
    std::int32_t luminance;
    double x;  // saturation × cosine
    double y;  // saturation × sine
    bool chromatic;
    int countSlot;  // the count array entry that this colour's wins go to
};

struct CensusWork {
    const std::uint8_t* luminance;
    const std::uint8_t* saturation;
    const std::uint8_t* hue;
    int width, height, stride;
    std::vector<Contender> contenders;
    int referenceSlot;  // -1 when the reference is not in the candidate list: no counts are made
    double lumaScale, chromaScale;
    const HueDirections* directions;
};

// Whether the planes hold the walked rectangle; an inconsistent picture is walked as an empty one.
inline bool walkable(const VicPicture& picture) {
    return picture.planes.luminancePlane && picture.geometry.width > 0 && picture.geometry.height > 0 &&
           picture.geometry.width <= picture.geometry.paddedWidth &&
           std::int64_t{picture.geometry.height} * picture.geometry.paddedWidth <= picture.geometry.paddedSize;
}

template <typename Visit>
inline void walkSerpentine(int width, int height, int stride, Visit&& visit) {
    for (int y = height - 1; y >= 0; --y) {
        const std::int64_t row = std::int64_t{y} * stride;
        if (y % 2 == 0) {
            for (int x = width - 1; x >= 0; --x) visit(row + x);
        } else {
            for (int x = 0; x < width; ++x) visit(row + x);
        }
    }
}

// truncate(value − offset) for a chroma component that is a sum of two 32-bit values and a palette offset
// below 256: the difference always fits 64 bits, and only the step to 32 bits needs to saturate.
inline std::int32_t truncateDifference(std::int64_t value, double offset) {
    const auto difference = static_cast<std::int64_t>(static_cast<double>(value) - offset);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(difference, INT32_MIN, INT32_MAX));
}

inline std::uint64_t magnitude(std::int64_t value) { return static_cast<std::uint64_t>(value < 0 ? -value : value); }

template <bool kLuma, bool kChroma, bool kCarry>
inline void runCensus(const CensusWork& work, std::int32_t* counts, CensusResult& result) {
    const Contender* const contenders = work.contenders.data();
    const int contenderCount = static_cast<int>(work.contenders.size());
    std::int64_t carryX = 0, carryY = 0;

    walkSerpentine(work.width, work.height, work.stride, [&](std::int64_t index) __attribute__((always_inline)) {
        std::int64_t luma = 0, chromaX = 0, chromaY = 0;
        if constexpr (kLuma) luma = truncateToInt32(work.luminance[index] * work.lumaScale);
        if constexpr (kChroma) {
            const double saturation = work.saturation[index];
            const std::uint8_t hue = work.hue[index];
            chromaX = truncateToInt32(saturation * work.directions->cosine[hue] * work.chromaScale) + carryX;
            chromaY = truncateToInt32(saturation * work.directions->sine[hue] * work.chromaScale) + carryY;
        }
        // Costs are unsigned sums. Every term is below 2^31, so 64 bits hold them exactly: whenever a cost
        // fits 32 bits the comparison is the 32-bit one, and beyond that it stays ordered instead of wrapping.
        auto costOf = [&](const Contender& colour, std::int32_t& dx, std::int32_t& dy) {
            std::uint64_t cost = 0;
            if constexpr (kLuma) cost = magnitude(luma - colour.luminance);
            if constexpr (kChroma) {
                dx = truncateDifference(chromaX, colour.x);
                dy = truncateDifference(chromaY, colour.y);
                cost += magnitude(dx) + magnitude(dy);
            }
            return cost;
        };

        std::int32_t bestDx = 0, bestDy = 0;
        std::uint64_t bestCost = costOf(contenders[0], bestDx, bestDy);
        int best = 0;
        for (int k = 1; k < contenderCount; ++k) {
            std::int32_t dx = 0, dy = 0;
            const std::uint64_t cost = costOf(contenders[k], dx, dy);
            if (cost < bestCost) {
                bestCost = cost;
                best = k;
                bestDx = dx;
                bestDy = dy;
            }
        }

        if (best == 0) ++result.unmatchedCount;
        if (counts && work.referenceSlot >= 0) ++counts[best == 0 ? work.referenceSlot : contenders[best].countSlot];
        if (contenders[best].chromatic) ++result.chromaticCount;
        if constexpr (kCarry && kChroma) {
            carryX = bestDx;
            carryY = bestDy;
            const double dx = bestDx, dy = bestDy;
            result.dxSum += dx;
            result.dxAbsSum += std::fabs(dx);
            result.dxSqSum += dx * dx;
            result.dySum += dy;
            result.dyAbsSum += std::fabs(dy);
            result.dySqSum += dy * dy;
        }
    });
}

template <bool kLuma, bool kChroma>
inline void runCensus(const CensusWork& work, bool carry, std::int32_t* counts, CensusResult& result) {
    if (carry) {
        runCensus<kLuma, kChroma, true>(work, counts, result);
    } else {
        runCensus<kLuma, kChroma, false>(work, counts, result);
    }
}

inline Contender contenderFor(int colour, int countSlot) {
    const PaletteColour& entry = paletteEntry(colour);
    return {entry.luminance, entry.saturation * entry.cosine, entry.saturation * entry.sine,
            entry.saturation != 0, countSlot};
}


inline CensusResult plainPaletteCensus(const VicPicture& picture, int reference, const int* candidates,
                                       std::int32_t* counts, int count, bool useLuma, bool useChroma,
                                       bool carryChroma, double lumaScale, double chromaScale, double hueOffset) {
    if (!candidates || count < 0) count = 0;
    if (counts) std::fill(counts, counts + count, 0);

    CensusWork work{};
    work.contenders.reserve(static_cast<std::size_t>(count) + 1);
    work.contenders.push_back(contenderFor(reference, -1));
    work.referenceSlot = -1;
    for (int k = 0; k < count; ++k) {
        if (candidates[k] == reference) {
            if (work.referenceSlot < 0) work.referenceSlot = k;
        } else {
            work.contenders.push_back(contenderFor(candidates[k], k));
        }
    }

    CensusResult result;
    if (!walkable(picture)) return result;
    const bool chroma = useChroma && !picture.monochrome && picture.planes.huePlane && picture.planes.saturationPlane;
    const HueDirections directions(chroma ? hueOffset : 0.0);
    work.luminance = picture.planes.luminancePlane.get();
    work.saturation = picture.planes.saturationPlane.get();
    work.hue = picture.planes.huePlane.get();
    work.width = picture.geometry.width;
    work.height = picture.geometry.height;
    work.stride = picture.geometry.paddedWidth;
    work.lumaScale = lumaScale;
    work.chromaScale = chromaScale;
    work.directions = &directions;

    if (useLuma && chroma) {
        runCensus<true, true>(work, carryChroma, counts, result);
    } else if (useLuma) {
        runCensus<true, false>(work, carryChroma, counts, result);
    } else if (chroma) {
        runCensus<false, true>(work, carryChroma, counts, result);
    } else {
        runCensus<false, false>(work, carryChroma, counts, result);
    }

    result.errorMagnitude = std::hypot(result.dxSum, result.dySum);
    result.squaredErrorMagnitude = std::sqrt(result.dxSqSum + result.dySqSum);
    result.errorAngle = std::atan2(result.dySum, result.dxSum) * kDegreesPerRadian;
    return result;
}

}  // namespace zov::plain
