// The census that scores palette colours against the picture, and the one-dimensional diffusion residual
// that orders the fill-up greys. Both walk the picture in the same serpentine order: rows from the bottom
// up, even rows right to left, odd rows left to right.
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace zov {
namespace {

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

const PaletteColour& paletteEntry(int index) {
    return kPalette[index >= 0 && index <= kNoColour ? index : kNoColour];
}

// Whether the planes hold the walked rectangle; an inconsistent picture is walked as an empty one.
bool walkable(const VicPicture& picture) {
    return picture.planes.luminancePlane && picture.geometry.width > 0 && picture.geometry.height > 0 &&
           picture.geometry.width <= picture.geometry.paddedWidth &&
           std::int64_t{picture.geometry.height} * picture.geometry.paddedWidth <= picture.geometry.paddedSize;
}

template <typename Visit>
void walkSerpentine(int width, int height, int stride, Visit&& visit) {
    for (int y = height - 1; y >= 0; --y) {
        const std::int64_t row = std::int64_t{y} * stride;
        if (y % 2 == 0) {
            for (int x = width - 1; x >= 0; --x) visit(row + x);
        } else {
            for (int x = 0; x < width; ++x) visit(row + x);
        }
    }
}

std::uint64_t bitsOf(double value) { return std::bit_cast<std::uint64_t>(value); }

std::uint64_t magnitude(std::int64_t value) { return static_cast<std::uint64_t>(value < 0 ? -value : value); }

// ---- the per-pixel terms ---------------------------------------------------------------------------------

std::int64_t largestMagnitude(const std::vector<std::int32_t>& values) {
    std::int32_t lowest = 0, highest = 0;
    for (const std::int32_t value : values) {
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    return std::max(-std::int64_t{lowest}, std::int64_t{highest});
}

// Terms below this magnitude keep every cost below 2^15, so 16-bit integers do.
constexpr std::int64_t kNarrowTerm = std::int64_t{1} << 12;

void narrowCopy(CensusTerms::Plane& plane) {
    auto narrow = [&](const std::vector<std::int32_t>& wide, std::vector<std::int16_t>& out) {
        out.resize(plane.largest < kNarrowTerm ? wide.size() : 0);
        std::copy_n(wide.begin(), out.size(), out.begin());
    };
    narrow(plane.x, plane.narrowX);
    narrow(plane.y, plane.narrowY);
}

const CensusTerms::Plane& lumaTerms(const VicPicture& picture, CensusTerms& terms, double scale) {
    for (const CensusTerms::Plane& plane : terms.luma) {
        if (plane.valid && plane.scaleBits == bitsOf(scale)) return plane;
    }
    CensusTerms::Plane& plane = terms.luma[terms.nextLuma];
    terms.nextLuma = (terms.nextLuma + 1) % 2;
    const std::uint8_t* luminance = picture.planes.luminancePlane.get();
    plane.x.resize(static_cast<std::size_t>(picture.geometry.width) * picture.geometry.height);
    std::int32_t* out = plane.x.data();
    walkSerpentine(picture.geometry.width, picture.geometry.height, picture.geometry.paddedWidth,
                   [&](std::int64_t index) { *out++ = truncateToInt32(luminance[index] * scale); });
    plane.largest = largestMagnitude(plane.x);
    narrowCopy(plane);
    plane.scaleBits = bitsOf(scale);
    plane.valid = true;
    return plane;
}

// The chroma direction of every hue byte, from the same expression that a per-pixel evaluation would use.
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

const CensusTerms::Plane& chromaTerms(const VicPicture& picture, CensusTerms& terms, double scale, double offset) {
    CensusTerms::Plane& plane = terms.chroma;
    if (plane.valid && plane.scaleBits == bitsOf(scale) && plane.offsetBits == bitsOf(offset)) return plane;
    const HueDirections directions(offset);
    const std::uint8_t* saturation = picture.planes.saturationPlane.get();
    const std::uint8_t* hue = picture.planes.huePlane.get();
    const std::size_t pixels = static_cast<std::size_t>(picture.geometry.width) * picture.geometry.height;
    plane.x.resize(pixels);
    plane.y.resize(pixels);
    std::int32_t* outX = plane.x.data();
    std::int32_t* outY = plane.y.data();
    walkSerpentine(picture.geometry.width, picture.geometry.height, picture.geometry.paddedWidth,
                   [&](std::int64_t index) {
                       const double s = saturation[index];
                       *outX++ = truncateToInt32(s * directions.cosine[hue[index]] * scale);
                       *outY++ = truncateToInt32(s * directions.sine[hue[index]] * scale);
                   });
    plane.largest = std::max(largestMagnitude(plane.x), largestMagnitude(plane.y));
    narrowCopy(plane);
    plane.scaleBits = bitsOf(scale);
    plane.offsetBits = bitsOf(offset);
    plane.valid = true;
    return plane;
}

// ---- the colours --------------------------------------------------------------------------------------

// truncate(X − offset) for a whole X and a palette offset below 256 in magnitude, in integers: with
// offset = whole + fraction (0 ≤ fraction < 1) and t = X − whole, the difference is t − fraction, which
// truncates to t − 1 when t > 0 and the fraction is not 0, else to t. Rounding the double difference
// cannot cross a whole number as long as the fraction keeps clear of 0 and 1 by more than the rounding
// step of numbers up to 2^34 (2^-18); offsets that come closer take the double path.
struct ChromaOffset {
    double value;
    std::int32_t whole;
    std::int32_t fractional;  // 1 when value is not whole
    bool exactInIntegers;

    explicit ChromaOffset(double offset) : value(offset) {
        const double floor = std::floor(offset);
        const double fraction = offset - floor;
        whole = static_cast<std::int32_t>(floor);
        fractional = fraction != 0;
        exactInIntegers = fraction == 0 || (fraction > 0x1p-16 && fraction < 1 - 0x1p-16);
    }

    // The carried component X is the sum of two 32-bit values: the difference fits 64 bits, and only the
    // step to 32 bits saturates.
    std::int32_t differenceFrom(std::int64_t x) const {
        std::int64_t difference;
        if (exactInIntegers) {
            const std::int64_t t = x - whole;
            difference = t - (t > 0 ? fractional : 0);
        } else {
            difference = static_cast<std::int64_t>(static_cast<double>(x) - value);
        }
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(difference, INT32_MIN, INT32_MAX));
    }
};

// A colour taking part in a census: the reference first, then the candidates that are not the reference.
struct Contender {
    std::int32_t luminance;
    ChromaOffset x;  // saturation × cosine
    ChromaOffset y;  // saturation × sine
    bool chromatic;
    int countSlot;  // the count array entry that this colour's wins go to
};

Contender contenderFor(int colour, int countSlot) {
    const PaletteColour& entry = paletteEntry(colour);
    return {entry.luminance, ChromaOffset(entry.saturation * entry.cosine),
            ChromaOffset(entry.saturation * entry.sine), entry.saturation != 0, countSlot};
}

template <typename Term>
struct TermsOf {
    const Term* luma = nullptr;
    const Term* chromaX = nullptr;
    const Term* chromaY = nullptr;
};

struct CensusWork {
    std::vector<Contender> contenders;
    int referenceSlot = -1;  // -1 when the reference is not in the candidate list: no counts are made
    std::size_t pixels = 0;
    const std::int32_t* luma = nullptr;
    const std::int32_t* chromaX = nullptr;
    const std::int32_t* chromaY = nullptr;
    TermsOf<std::int16_t> narrow;  // set when every term is small enough for 16 bits
};

// ---- the walks --------------------------------------------------------------------------------------------

// The sums of the carried errors. They are whole numbers, kept in integers as long as a double would hold
// every partial sum and every square exactly (below 2^53): the doubles would never have rounded, so
// converting at the end gives the same values. Beyond that the sums go on in doubles, pixel by pixel.
class CarriedSums {
public:
    void add(std::int32_t dx, std::int32_t dy, CensusResult& result) {
        if (exact_) {
            const std::int64_t ax = magnitude(dx), ay = magnitude(dy);
            if (ax <= kTermLimit && ay <= kTermLimit && squares_[0] + ax * ax < kSumLimit &&
                squares_[1] + ay * ay < kSumLimit && magnitudes_[0] + ax < kSumLimit &&
                magnitudes_[1] + ay < kSumLimit) {
                sums_[0] += dx;
                sums_[1] += dy;
                magnitudes_[0] += ax;
                magnitudes_[1] += ay;
                squares_[0] += ax * ax;
                squares_[1] += ay * ay;
                return;
            }
            finish(result);
            exact_ = false;
        }
        const double x = dx, y = dy;
        result.dxSum += x;
        result.dxAbsSum += std::fabs(x);
        result.dxSqSum += x * x;
        result.dySum += y;
        result.dyAbsSum += std::fabs(y);
        result.dySqSum += y * y;
    }

    // Leaves the sums in the result (once, at the end or when the integers give way to doubles).
    void finish(CensusResult& result) const {
        if (!exact_) return;
        result.dxSum = static_cast<double>(sums_[0]);
        result.dxAbsSum = static_cast<double>(magnitudes_[0]);
        result.dxSqSum = static_cast<double>(squares_[0]);
        result.dySum = static_cast<double>(sums_[1]);
        result.dyAbsSum = static_cast<double>(magnitudes_[1]);
        result.dySqSum = static_cast<double>(squares_[1]);
    }

private:
    static constexpr std::int64_t kTermLimit = std::int64_t{1} << 26;
    static constexpr std::int64_t kSumLimit = std::int64_t{1} << 53;
    bool exact_ = true;
    std::int64_t sums_[2] = {}, magnitudes_[2] = {}, squares_[2] = {};
};

// Pixel by pixel in walking order, each pixel's chroma carrying the winner's error of the one before when
// carrying is on. Costs are unsigned sums; every term is below 2^31, so 64 bits hold them exactly: whenever
// a cost fits 32 bits the comparison is the 32-bit one, and beyond that it stays ordered instead of wrapping.
template <bool kLuma, bool kChroma, bool kCarry>
void walkPixelByPixel(const CensusWork& work, std::int64_t* wins, CensusResult& result) {
    const Contender* const contenders = work.contenders.data();
    const int contenderCount = static_cast<int>(work.contenders.size());
    std::int64_t carryX = 0, carryY = 0;
    CarriedSums sums;
    for (std::size_t i = 0; i < work.pixels; ++i) {
        std::int64_t luma = 0, chromaX = 0, chromaY = 0;
        if constexpr (kLuma) luma = work.luma[i];
        if constexpr (kChroma) {
            chromaX = work.chromaX[i] + carryX;
            chromaY = work.chromaY[i] + carryY;
        }
        auto costOf = [&](const Contender& colour, std::int32_t& dx, std::int32_t& dy) {
            std::uint64_t cost = 0;
            if constexpr (kLuma) cost = magnitude(luma - colour.luminance);
            if constexpr (kChroma) {
                dx = colour.x.differenceFrom(chromaX);
                dy = colour.y.differenceFrom(chromaY);
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
        ++wins[best];
        if constexpr (kCarry && kChroma) {
            carryX = bestDx;
            carryY = bestDy;
            sums.add(bestDx, bestDy, result);
        }
    }
    sums.finish(result);
}

// How many of the first n values equal value; kept out of line so that it is vectorised on its own.
template <typename Term>
__attribute__((noinline)) int countEqual(const Term* values, int n, Term value) {
    Term count = 0;  // n is at most a block, which the narrow terms hold too
    for (int i = 0; i < n; ++i) count = static_cast<Term>(count + (values[i] == value));
    return count;
}

// Terms below this magnitude keep every cost below 2^31, so 32-bit integers do.
constexpr std::int64_t kSmallTerm = std::int64_t{1} << 28;

// Without a carry the pixels are independent: a block of them is scored against one colour after the
// other, in loops the compiler turns into vector code (eight pixels at a time in 16 bits, four in 32).
// The winner and the ties are those of the pixel-by-pixel walk, since each colour replaces the best only
// when strictly cheaper.
template <typename Term, bool kLuma, bool kChroma>
void walkInBlocks(const CensusWork& work, const TermsOf<Term>& terms, std::int64_t* wins) {
    constexpr std::size_t kBlock = 512;
    alignas(64) Term bestCost[kBlock];
    alignas(64) Term best[kBlock];
    const int contenderCount = static_cast<int>(work.contenders.size());

    for (std::size_t start = 0; start < work.pixels; start += kBlock) {
        const int n = static_cast<int>(std::min(kBlock, work.pixels - start));
        const Term* luma = kLuma ? terms.luma + start : nullptr;
        const Term* chromaX = kChroma ? terms.chromaX + start : nullptr;
        const Term* chromaY = kChroma ? terms.chromaY + start : nullptr;
        for (int k = 0; k < contenderCount; ++k) {
            const Contender& colour = work.contenders[k];
            const Term luminance = static_cast<Term>(colour.luminance);
            const Term wholeX = static_cast<Term>(colour.x.whole), fractionalX = static_cast<Term>(colour.x.fractional);
            const Term wholeY = static_cast<Term>(colour.y.whole), fractionalY = static_cast<Term>(colour.y.fractional);
            const Term index = static_cast<Term>(k);
            for (int i = 0; i < n; ++i) {
                Term cost = 0;
                if constexpr (kLuma) {
                    const Term d = static_cast<Term>(luma[i] - luminance);
                    cost = static_cast<Term>(d < 0 ? -d : d);
                }
                if constexpr (kChroma) {
                    const Term tx = static_cast<Term>(chromaX[i] - wholeX);
                    const Term ty = static_cast<Term>(chromaY[i] - wholeY);
                    const Term dx = static_cast<Term>(tx - (tx > 0 ? fractionalX : 0));
                    const Term dy = static_cast<Term>(ty - (ty > 0 ? fractionalY : 0));
                    cost = static_cast<Term>(cost + (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy));
                }
                const bool better = k == 0 || cost < bestCost[i];
                bestCost[i] = better ? cost : bestCost[i];
                best[i] = better ? index : best[i];
            }
        }
        for (int k = 0; k < contenderCount; ++k) {
            const Term index = static_cast<Term>(k);
            wins[k] += countEqual(best, n, index);
        }
    }
}

// The carried walk when every chroma component, carries included, stays below 2^30: the carry of pixel p is
// at most p × (largest term + 225) in magnitude, which the caller has bounded. Costs then fit 32 bits
// unsigned, and the winner is selected without branches, since which colour wins is as unpredictable as
// the picture.
template <bool kLuma>
void walkCarrying(const CensusWork& work, std::int64_t* wins, CensusResult& result) {
    constexpr std::size_t kBlock = 512;
    std::int32_t winners[kBlock];
    const Contender* const contenders = work.contenders.data();
    const int contenderCount = static_cast<int>(work.contenders.size());
    auto magnitude32 = [](std::int32_t value) { return static_cast<std::uint32_t>(value < 0 ? -value : value); };
    std::int32_t carryX = 0, carryY = 0;
    CarriedSums sums;
    for (std::size_t start = 0; start < work.pixels; start += kBlock) {
        const int n = static_cast<int>(std::min(kBlock, work.pixels - start));
        for (int i = 0; i < n; ++i) {
            const std::int32_t luma = kLuma ? work.luma[start + i] : 0;
            const std::int32_t x = work.chromaX[start + i] + carryX;
            const std::int32_t y = work.chromaY[start + i] + carryY;
            std::uint32_t bestCost = 0;
            std::int32_t best = 0, bestDx = 0, bestDy = 0;
            for (int k = 0; k < contenderCount; ++k) {
                const Contender& colour = contenders[k];
                const std::int32_t tx = x - colour.x.whole, ty = y - colour.y.whole;
                const std::int32_t dx = tx - (tx > 0 ? colour.x.fractional : 0);
                const std::int32_t dy = ty - (ty > 0 ? colour.y.fractional : 0);
                std::uint32_t cost = magnitude32(dx) + magnitude32(dy);
                if constexpr (kLuma) cost += magnitude32(luma - colour.luminance);
                const bool better = k == 0 || cost < bestCost;
                bestCost = better ? cost : bestCost;
                best = better ? k : best;
                bestDx = better ? dx : bestDx;
                bestDy = better ? dy : bestDy;
            }
            winners[i] = best;
            carryX = bestDx;
            carryY = bestDy;
            sums.add(bestDx, bestDy, result);
        }
        for (int k = 0; k < contenderCount; ++k) wins[k] += countEqual(winners, n, k);
    }
    sums.finish(result);
}

template <bool kLuma, bool kChroma>
void walk(const CensusWork& work, bool carry, bool small, bool carrySmall, std::int64_t* wins,
          CensusResult& result) {
    if (carry && kChroma && carrySmall) {
        walkCarrying<kLuma>(work, wins, result);
    } else if (carry && kChroma) {
        walkPixelByPixel<kLuma, kChroma, true>(work, wins, result);
    } else if (small && (!kLuma || work.narrow.luma) && (!kChroma || work.narrow.chromaX)) {
        walkInBlocks<std::int16_t, kLuma, kChroma>(work, work.narrow, wins);
    } else if (small) {
        walkInBlocks<std::int32_t, kLuma, kChroma>(work, {work.luma, work.chromaX, work.chromaY}, wins);
    } else {
        walkPixelByPixel<kLuma, kChroma, false>(work, wins, result);
    }
}

}  // namespace

void VicPicture::beginCensusReuse() {
    censusTerms.forget();
    censusTerms.reuse = true;
}

void VicPicture::endCensusReuse() {
    censusTerms.forget();
    censusTerms.reuse = false;
}

CensusResult VicPicture::paletteCensus(int reference, const int* candidates, std::int32_t* counts, int count,
                                       CensusWeights weights) {
    if (!candidates || count < 0) count = 0;
    if (counts) std::fill(counts, counts + count, 0);

    CensusWork work;
    work.contenders.reserve(static_cast<std::size_t>(count) + 1);
    work.contenders.push_back(contenderFor(reference, -1));
    for (int k = 0; k < count; ++k) {
        if (candidates[k] == reference) {
            if (work.referenceSlot < 0) work.referenceSlot = k;
        } else {
            work.contenders.push_back(contenderFor(candidates[k], k));
        }
    }

    CensusResult result;
    if (!walkable(*this)) return result;
    if (!censusTerms.reuse) censusTerms.forget();
    const bool chroma = weights.chroma && !monochrome && planes.huePlane && planes.saturationPlane;
    work.pixels = static_cast<std::size_t>(geometry.width) * geometry.height;
    std::int64_t largest = 0;
    if (weights.luma) {
        const CensusTerms::Plane& terms = lumaTerms(*this, censusTerms, weights.lumaScale);
        work.luma = terms.x.data();
        if (!terms.narrowX.empty()) work.narrow.luma = terms.narrowX.data();
        largest = terms.largest;
    }
    bool exactInIntegers = true;
    if (chroma) {
        const CensusTerms::Plane& terms = chromaTerms(*this, censusTerms, weights.chromaScale, weights.hueOffset);
        work.chromaX = terms.x.data();
        work.chromaY = terms.y.data();
        if (!terms.narrowX.empty()) {
            work.narrow.chromaX = terms.narrowX.data();
            work.narrow.chromaY = terms.narrowY.data();
        }
        largest = std::max(largest, terms.largest);
        for (const Contender& colour : work.contenders)
            exactInIntegers = exactInIntegers && colour.x.exactInIntegers && colour.y.exactInIntegers;
    }
    const bool small = largest < kSmallTerm && exactInIntegers;
    // Every carried component, and the difference of each to a colour, stays below
    // pixels × (largest + 225) + 225 in magnitude.
    const bool carrySmall = exactInIntegers && largest < kSmallTerm &&
                            static_cast<double>(work.pixels) * static_cast<double>(largest + 256) + 256 < 0x1p30;

    std::vector<std::int64_t> wins(work.contenders.size(), 0);
    const bool carry = weights.carryChroma;
    if (weights.luma && chroma) {
        walk<true, true>(work, carry, small, carrySmall, wins.data(), result);
    } else if (weights.luma) {
        walk<true, false>(work, carry, small, carrySmall, wins.data(), result);
    } else if (chroma) {
        walk<false, true>(work, carry, small, carrySmall, wins.data(), result);
    } else {
        walk<false, false>(work, carry, small, carrySmall, wins.data(), result);
    }

    for (std::size_t k = 0; k < wins.size(); ++k) {
        const auto colourWins = static_cast<std::int32_t>(wins[k]);
        if (work.contenders[k].chromatic) result.chromaticCount += colourWins;
        if (counts && work.referenceSlot >= 0) {
            counts[k == 0 ? work.referenceSlot : work.contenders[k].countSlot] += colourWins;
        }
    }
    result.unmatchedCount = static_cast<std::int32_t>(wins[0]);
    result.errorMagnitude = std::hypot(result.dxSum, result.dySum);
    result.squaredErrorMagnitude = std::sqrt(result.dxSqSum + result.dySqSum);
    result.errorAngle = std::atan2(result.dySum, result.dxSum) * kDegreesPerRadian;
    return result;
}

double VicPicture::meanError(int colour, const int* others, int otherCount) {
    const int cap = geometry.cardWidth == 8 ? 1 : 3;
    const int n = others ? std::clamp(otherCount, 0, cap) : 0;
    std::int32_t otherLuminance[3] = {};
    for (int k = 0; k < n; ++k) otherLuminance[k] = paletteEntry(others[k]).luminance;
    const std::int32_t ownLuminance = paletteEntry(colour).luminance;

    std::int64_t residual = 0;
    if (!walkable(*this)) return 0.0;
    const std::uint8_t* luminance = planes.luminancePlane.get();
    walkSerpentine(geometry.width, geometry.height, geometry.paddedWidth, [&](std::int64_t index) {
        const std::int64_t total = residual + luminance[index];
        residual = total - ownLuminance;
        for (int k = 0; k < n; ++k) {
            const std::int64_t other = total - otherLuminance[k];
            if (std::llabs(other) < std::llabs(residual)) residual = other;
        }
    });
    return static_cast<double>(residual);
}

}  // namespace zov
