#include "frameconv/cardcolour/card_colours.h"

#include "common/console/console.h"
#include "formats/palette.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace zov {
namespace {

constexpr int kMostPixels = 64;  // an 8 × 8 card
constexpr double kNone = std::numeric_limits<double>::infinity();

// How much of a mix's spread around its mean the eye sees (the rest it averages away at a viewing
// distance): a mix of two colours costs its mean's distance to the pixel plus this share of its spread.
// A still's pixels are diffused only in part (kDiffused), so a fifth; a stream's ordered pattern shows a mix
// in every pixel and costs bytes wherever it shifts, so a half there.
constexpr double kMixNoise = 0.2;
constexpr double kStreamMixNoise = 0.5;
// The most error a pixel takes in, per axis: where a card cannot show what comes in, it is not carried on
// for ever.
constexpr double kMostError = 0.3;
// The share of a still's pixel's error passed on: enough for the mixes to show their hue, little enough
// that each pixel stays near its source (more costs the unblurred figures, bench/README.md).
constexpr double kDiffused = 0.3;
// A card's colours are tried among each pixel's nearest few (the background's among fewer).
constexpr int kCandidatesPerPixel = 4;
constexpr int kBackgroundCandidates = 3;
constexpr int kStreamCandidates = 3;
// A still's background is first tried on every kBackgroundSample-th card, then the best few on every card.
constexpr int kBackgroundSample = 4;
constexpr int kBackgroundFinalists = 3;

// A card keeps the colours it had on screen while they cost at most this much more than the best ones
// (a share of the best cost, plus a little per pixel, so that a flat card does not change on noise).
constexpr double kKeepShare = 0.25;
constexpr double kKeepPerPixel = 0.0001;
// A pixel of such a card keeps its colour on screen while that is at most this much farther than the
// colour the pattern gives it, or while its share of a mix lies this near the pattern's threshold.
constexpr double kKeepPixel = 0.003;
constexpr double kKeepThreshold = 0.125;

/// Four floats worked on at once (the compiler's vector extension, on any processor).
typedef float Lanes __attribute__((vector_size(16)));
Lanes lanesAt(const float* p) {
    Lanes lanes;
    std::memcpy(&lanes, p, sizeof lanes);
    return lanes;
}
void storeLanes(float* p, Lanes lanes) { std::memcpy(p, &lanes, sizeof lanes); }
Lanes splat(float v) { return Lanes{v, v, v, v}; }
Lanes least(Lanes a, Lanes b) { return a < b ? a : b; }
Lanes most(Lanes a, Lanes b) { return a > b ? a : b; }

}  // namespace

/// The costs of a card's pixels in every palette colour and in the best mix of every two: a mix costs its
/// mean's distance to the pixel plus kMixNoise times its spread, each pixel in its own measure, in floats,
/// and the colours worth trying: each pixel's nearest few. Kept colour by colour, with the pixels padded to
/// a multiple of four by pixels that cost nothing, so that the loops over a card's pixels run four at a time.
struct CardTable {
    int count = 0;   // the card's pixels
    int padded = 0;  // count rounded up to a multiple of four
    // Each pixel's colour and its measure (PixelMetric: the hue's direction, the weight along it; across
    // it always kHueWeight).
    alignas(16) float l[kMostPixels], a[kMostPixels], b[kMostPixels];
    alignas(16) float ua[kMostPixels], ub[kMostPixels], along[kMostPixels];
    alignas(16) float single[16][kMostPixels];
    alignas(16) float mix[16][16][kMostPixels];    // [p][q] for p < q
    alignas(16) float shares[16][16][kMostPixels]; // and how far each pixel's mix goes from p toward q
    std::uint32_t filled[16] = {};               // bit q of filled[p]: mix[p][q] is filled
    double mixNoise = kMixNoise;
    std::uint32_t candidates = 0;

    const float* mixOf(int p, int q) const { return p < q ? mix[p][q] : p > q ? mix[q][p] : single[p]; }

    /// The pixels' costs in every colour; the candidates are each pixel's `nearest` (1 to 4) nearest
    /// colours. The mixes are filled among the candidates, between them and the colours in `partners`, and
    /// among the colours in `set` (which need not be candidates).
    void fill(const ColourPoint* const* pixels, int n, const PalettePoints& palette, int nearest, std::uint32_t partners,
              std::uint32_t set) {
        load(pixels, n);
        fillSingles(palette, 0xFFFF);
        chooseCandidates(nearest);
        for (int p = 0; p < 16; ++p)
            for (int q = p + 1; q < 16; ++q)
                if ((candidates >> p & 1 && (candidates | partners) >> q & 1) || (partners >> p & 1 && candidates >> q & 1) ||
                    (set >> p & 1 && set >> q & 1))
                    fillMix(palette, p, q);
    }

    /// The pixels' costs in the colours of `set` alone and in their mixes, all that a card with these
    /// colours needs once its choice is known; the candidates are those colours.
    void fillOnly(const ColourPoint* const* pixels, int n, const PalettePoints& palette, std::uint32_t set) {
        load(pixels, n);
        fillSingles(palette, set);
        candidates = set;
        for (int p = 0; p < 16; ++p)
            for (int q = p + 1; q < 16; ++q)
                if (set >> p & 1 && set >> q & 1) fillMix(palette, p, q);
    }

    /// The pixels and their measures (as PixelMetric::of forms them, in floats).
    /// What fillOnly fills, for the colours of `set` that it has not filled yet.
    void fillMore(const PalettePoints& palette, std::uint32_t set) {
        fillSingles(palette, set & ~candidates);
        candidates |= set;
        for (int p = 0; p < 16; ++p)
            for (int q = p + 1; q < 16; ++q)
                if (set >> p & 1 && set >> q & 1) ensureMix(palette, p, q);
    }

    void load(const ColourPoint* const* pixels, int n) {
        count = n;
        padded = (n + 3) & ~3;
        const float grey = static_cast<float>(kGreyChroma), hued = static_cast<float>(kHueChroma), hue = static_cast<float>(kHueWeight);
        for (int i = 0; i < padded; ++i) {
            const ColourPoint& p = *pixels[std::min(i, n - 1)];
            l[i] = static_cast<float>(p.l), a[i] = static_cast<float>(p.a), b[i] = static_cast<float>(p.b);
            const float chroma = std::sqrt(a[i] * a[i] + b[i] * b[i]);
            if (chroma <= grey) {
                ua[i] = 1, ub[i] = 0, along[i] = hue;
            } else {
                ua[i] = a[i] / chroma, ub[i] = b[i] / chroma;
                along[i] = hue + (static_cast<float>(kAlongWeight) - hue) * std::min((chroma - grey) / (hued - grey), 1.0f);
            }
        }
        for (int p = 0; p < 16; ++p) filled[p] = 0;
    }

    void fillSingles(const PalettePoints& palette, std::uint32_t colours) {
        const float weight = static_cast<float>(kLightnessWeight);
        const Lanes across = splat(static_cast<float>(kHueWeight));
        for (std::uint32_t mask = colours; mask != 0; mask &= mask - 1) {
            const int c = std::countr_zero(mask);
            const ColourPoint& p = palette[static_cast<std::size_t>(c)];
            const Lanes pl = splat(static_cast<float>(p.l)), pa = splat(static_cast<float>(p.a)), pb = splat(static_cast<float>(p.b));
            for (int i = 0; i < padded; i += 4) {
                const Lanes dl = lanesAt(l + i) - pl, da = lanesAt(a + i) - pa, db = lanesAt(b + i) - pb;
                const Lanes u = lanesAt(ua + i), v = lanesAt(ub + i);
                const Lanes r = u * da + v * db, t = u * db - v * da;
                storeLanes(single[c] + i, weight * dl * dl + lanesAt(along + i) * r * r + across * t * t);
            }
            for (int i = count; i < padded; ++i) single[c][i] = 0;
        }
    }

    /// The colours that come within each pixel's `nearest` least costs for some pixel, the least costs kept
    /// four pixels at a time.
    void chooseCandidates(int nearest) {
        nearest = std::clamp(nearest, 1, 16);
        Lanes least4[16][kMostPixels / 4];
        for (int i = 0; i < padded; i += 4)
            for (int k = 0; k < nearest; ++k) least4[k][i / 4] = splat(INFINITY);
        for (int c = 0; c < 16; ++c) {
            for (int i = 0; i < padded; i += 4) {
                Lanes value = lanesAt(single[c] + i);
                for (int k = 0; k < nearest; ++k) {
                    const Lanes kept = least4[k][i / 4];
                    least4[k][i / 4] = least(kept, value);
                    value = most(kept, value);
                }
            }
        }
        candidates = 0;
        for (int c = 0; c < 16; ++c) {
            Lanes near = splat(0);
            for (int i = 0; i < padded; i += 4) near = near + (lanesAt(single[c] + i) <= least4[nearest - 1][i / 4] ? splat(1) : splat(0));
            if (near[0] + near[1] + near[2] + near[3] > 0) candidates |= 1u << c;
        }
    }

    /// Fills the mix of colours p and q unless it is filled.
    void ensureMix(const PalettePoints& palette, int p, int q) {
        if (p != q && !(filled[std::min(p, q)] >> std::max(p, q) & 1)) fillMix(palette, std::min(p, q), std::max(p, q));
    }

    /// The cost of every pixel in the best mix of colours p and q.
    void fillMix(const PalettePoints& palette, int p, int q) {
        const ColourPoint& from = palette[static_cast<std::size_t>(p)];
        const ColourPoint& to = palette[static_cast<std::size_t>(q)];
        const float weight = static_cast<float>(kLightnessWeight), noise = static_cast<float>(mixNoise);
        const Lanes dl = splat(static_cast<float>(to.l - from.l)), da = splat(static_cast<float>(to.a - from.a)),
                    db = splat(static_cast<float>(to.b - from.b));
        const Lanes fl = splat(static_cast<float>(from.l)), fa = splat(static_cast<float>(from.a)), fb = splat(static_cast<float>(from.b));
        filled[p] |= 1u << q;
        float* row = mix[p][q];
        const Lanes wt = splat(static_cast<float>(kHueWeight));
        for (int i = 0; i < padded; i += 4) {
            const Lanes u = lanesAt(ua + i), v = lanesAt(ub + i), wr = lanesAt(along + i);
            const Lanes el = lanesAt(l + i) - fl, ea = lanesAt(a + i) - fa, eb = lanesAt(b + i) - fb;
            const Lanes dr = u * da + v * db, dt = u * db - v * da, er = u * ea + v * eb, et = u * eb - v * ea;
            const Lanes dd = weight * dl * dl + wr * dr * dr + wt * dt * dt;
            const Lanes inner = weight * el * dl + wr * er * dr + wt * et * dt;
            const Lanes share = least(most((inner - noise * dd / 2) / ((1 - noise) * dd), splat(0)), splat(1));
            storeLanes(row + i, lanesAt(single[p] + i) - 2 * share * inner + share * share * dd * (1 - noise) + noise * share * dd);
            storeLanes(shares[p][q] + i, share);
        }
        for (int i = count; i < padded; ++i) row[i] = 0;
    }

    /// The sum over the pixels of the least of the given cost rows.
    template <typename... Rows>
    float sumOfLeast(const float* first, const Rows*... rows) const {
        Lanes sum = {0, 0, 0, 0};
        for (int i = 0; i < padded; i += 4) {
            Lanes value = lanesAt(first + i);
            ((value = least(value, lanesAt(rows + i))), ...);
            sum += value;
        }
        return (sum[0] + sum[1]) + (sum[2] + sum[3]);
    }

    /// into = the least of the given cost rows, pixel by pixel.
    template <typename... Rows>
    void leastOf(float* into, const float* first, const Rows*... rows) const {
        for (int i = 0; i < padded; i += 4) {
            Lanes value = lanesAt(first + i);
            ((value = least(value, lanesAt(rows + i))), ...);
            storeLanes(into + i, value);
        }
    }

    /// Each pixel's cost in the fixed colours and their mix (none: infinite; padding: 0).
    void baseCosts(const int* fixed, int fixedCount, float* base) const {
        for (int i = 0; i < padded; ++i) base[i] = i < count ? INFINITY : 0;
        if (fixedCount == 1) std::copy_n(single[fixed[0]], padded, base);
        if (fixedCount == 2) std::copy_n(mixOf(fixed[0], fixed[1]), padded, base);
    }

    /// Each pixel's cost in colour c, alone or mixed with one of the fixed colours.
    void withFixed(int c, const int* fixed, int fixedCount, float* into) const {
        std::copy_n(single[c], padded, into);
        for (int f = 0; f < fixedCount; ++f) leastOf(into, into, mixOf(c, fixed[f]));
    }

    /// What the pixels cost with the fixed colours and these (all among the candidates and the partners).
    double cost(const int* fixed, int fixedCount, const int* colours, int n) const {
        alignas(16) float costs[kMostPixels];
        baseCosts(fixed, fixedCount, costs);
        for (int k = 0; k < n; ++k) {
            alignas(16) float with[kMostPixels];
            withFixed(colours[k], fixed, fixedCount, with);
            leastOf(costs, costs, with);
            for (int j = 0; j < k; ++j) leastOf(costs, costs, mixOf(colours[j], colours[k]));
        }
        return sumOfLeast(costs);
    }

    /// The free colours, up to three, that with the fixed ones cost least, tried among the candidates;
    /// fewer when there are fewer candidates. Returns the cost; chosen gets freeCount colours, the missing
    /// ones as -1.
    double bestSet(const int* fixed, int fixedCount, int freeCount, int* chosen) const {
        std::uint32_t excluded = 0;
        for (int f = 0; f < fixedCount; ++f) excluded |= 1u << fixed[f];
        int list[16], m = 0;
        for (std::uint32_t mask = candidates & ~excluded; mask != 0; mask &= mask - 1) list[m++] = std::countr_zero(mask);
        for (int k = 0; k < freeCount; ++k) chosen[k] = -1;
        if (m <= freeCount) {
            std::copy_n(list, m, chosen);
            return cost(fixed, fixedCount, list, m);
        }
        alignas(16) float base[kMostPixels], with[16][kMostPixels], first[kMostPixels], second[kMostPixels];
        baseCosts(fixed, fixedCount, base);
        for (int k = 0; k < m; ++k) withFixed(list[k], fixed, fixedCount, with[k]);
        float best = INFINITY;
        for (int x = 0; x < m; ++x) {
            if (freeCount == 1) {
                const float sum = sumOfLeast(base, with[x]);
                if (sum < best) best = sum, chosen[0] = list[x];
                continue;
            }
            leastOf(first, base, with[x]);
            for (int y = x + 1; y < m; ++y) {
                const float* xy = mixOf(list[x], list[y]);
                if (freeCount == 2) {
                    const float sum = sumOfLeast(first, with[y], xy);
                    if (sum < best) best = sum, chosen[0] = list[x], chosen[1] = list[y];
                    continue;
                }
                leastOf(second, first, with[y], xy);
                for (int z = y + 1; z < m; ++z) {
                    const float sum = sumOfLeast(second, with[z], mixOf(list[x], list[z]), mixOf(list[y], list[z]));
                    if (sum < best) best = sum, chosen[0] = list[x], chosen[1] = list[y], chosen[2] = list[z];
                }
            }
        }
        return best;
    }
};

namespace {

/// The roles whose colour a card chooses, and the ones fixed for the whole picture.
struct RolePlan {
    int freeRoles[3];
    int freeCount;
    int fixedRoles[2];
    int fixedCount;
};

RolePlan rolePlan(bool multicolour, bool colourRamPerCard) {
    if (!multicolour) return {{0, 1, 0}, 2, {0, 0}, 0};
    if (colourRamPerCard) return {{1, 2, 3}, 3, {0, 0}, 1};
    return {{1, 2, 0}, 2, {0, 3}, 2};
}

/// The fixed colours' roles get their colours: the background, and Black for an FG that is not per card.
void fixedColours(const RolePlan& plan, int background, int* roles, int* colours) {
    for (int f = 0; f < plan.fixedCount; ++f) colours[f] = roles[plan.fixedRoles[f]] = plan.fixedRoles[f] == 0 ? background : kBlack;
}

/// The colours fixed in every card whatever the background (Black, for an FG that is not per card).
std::uint32_t fixedAlways(const RolePlan& plan) {
    std::uint32_t colours = 0;
    for (int f = 0; f < plan.fixedCount; ++f)
        if (plan.fixedRoles[f] != 0) colours |= 1u << kBlack;
    return colours;
}

/// The card's best colours with this background, and their cost.
CardChoiceMemory::Card backgroundCost(CardTable& table, const RolePlan& plan, int background) {
    int roles[4], fixed[2], chosen[3] = {-1, -1, -1};
    fixedColours(plan, background, roles, fixed);
    CardChoiceMemory::Card best;
    best.cost = static_cast<float>(table.bestSet(fixed, plan.fixedCount, plan.freeCount, chosen));
    for (int k = 0; k < 3; ++k) best.colours[k] = static_cast<std::int8_t>(chosen[k]);
    return best;
}

/// Each background's cost for the card added to costs.
void addBackgroundCosts(CardTable& table, const PalettePoints& palette, const RolePlan& plan, double* costs) {
    for (int background = 0; background < 16; ++background) {
        if (fixedAlways(plan) != 0) table.ensureMix(palette, background, kBlack);
        costs[background] += backgroundCost(table, plan, background).cost;
    }
}

constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

ColourPoint clampedError(const ColourPoint& e) {
    return {std::clamp(e.l, -kMostError, kMostError), std::clamp(e.a, -kMostError, kMostError), std::clamp(e.b, -kMostError, kMostError)};
}

/// The card's pixels that lie in the source, as pointers, and their measures.
int gatherCard(const PictureGeometry& g, int column, int row, const std::vector<ColourPoint>& pixels, const ColourPoint** gathered) {
    int n = 0;
    for (int y = row * 8; y < std::min(row * 8 + 8, g.height); ++y) {
        for (int x = column * g.cardWidth; x < std::min((column + 1) * g.cardWidth, g.width); ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            gathered[n++] = &pixels[i];
        }
    }
    return n;
}

}  // namespace

CardColourChooser::CardColourChooser(const CardColourSettings& settings)
    : settings_(settings), palette_(palettePoints(*settings.palette)), table_(std::make_unique<CardTable>()) {
    if (settings.dither == CardDither::Ordered) table_->mixNoise = kStreamMixNoise;
}

CardColourChooser::~CardColourChooser() = default;

void CardColourChooser::readPixels(const VicPicture& picture) {
    const PictureGeometry& g = picture.geometry;
    pixels_.resize(static_cast<std::size_t>(g.paddedSize));  // every pixel read is written below
    if (settings_.dither == CardDither::Diffusion) error_.assign(static_cast<std::size_t>(g.paddedSize), ColourPoint{});
    const std::uint8_t* rgb = picture.planes.sourceRgb.get();
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            pixels_[i] = colourPointOf(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        }
    }
}

// Every background tried on every kBackgroundSample-th card, then the few best of them on every card,
// whose best colours with the background chosen are kept in bests.
int CardColourChooser::chooseBackground(const PictureGeometry& g, std::vector<CardChoiceMemory::Card>& bests) const {
    const RolePlan plan = rolePlan(true, settings_.colourRamPerCard);
    auto table = std::make_unique<CardTable>();
    table->mixNoise = table_->mixNoise;
    const ColourPoint* gathered[kMostPixels];
    double sampled[16] = {};
    int k = 0;
    for (int row = 0; row < g.heightInCards; ++row) {
        for (int column = 0; column < g.widthInCards; ++column) {
            if (k++ % kBackgroundSample != 0) continue;
            const int n = gatherCard(g, column, row, pixels_, gathered);
            table->fill(gathered, n, palette_, kBackgroundCandidates, 0xFFFF, 0);
            for (int background = 0; background < 16; ++background) sampled[background] += backgroundCost(*table, plan, background).cost;
        }
    }
    int order[16];
    for (int c = 0; c < 16; ++c) order[c] = c;
    std::stable_sort(order, order + 16, [&](int p, int q) { return sampled[p] < sampled[q]; });
    const int finalists = std::min(kBackgroundFinalists, 16);
    std::uint32_t finalistSet = 0;
    for (int f = 0; f < finalists; ++f) finalistSet |= 1u << order[f];
    double costs[16] = {};
    std::vector<CardChoiceMemory::Card> cards(bests.size() * static_cast<std::size_t>(finalists));
    for (int row = 0; row < g.heightInCards; ++row) {
        for (int column = 0; column < g.widthInCards; ++column) {
            const std::size_t card = static_cast<std::size_t>(row) * g.widthInCards + column;
            const int n = gatherCard(g, column, row, pixels_, gathered);
            table->fill(gathered, n, palette_, kCandidatesPerPixel, finalistSet, 0);
            for (int f = 0; f < finalists; ++f) {
                CardChoiceMemory::Card& best = cards[card * static_cast<std::size_t>(finalists) + static_cast<std::size_t>(f)];
                best = backgroundCost(*table, plan, order[f]);
                costs[f] += best.cost;
            }
        }
    }
    const int chosen = static_cast<int>(std::min_element(costs, costs + finalists) - costs);
    for (std::size_t card = 0; card < bests.size(); ++card) bests[card] = cards[card * static_cast<std::size_t>(finalists) + static_cast<std::size_t>(chosen)];
    return order[chosen];
}

// The card's table is left filled for its pixels (renderOrdered reads it). best is the card's best colours
// regardless of the screen and their cost: found here, or remembered from an earlier conversion of the
// picture, when only the costs of the colours in question are filled.
CardColourChooser::CardChoice CardColourChooser::chooseCard(const PictureGeometry& g, int column, int row, int background,
                                                            const CardChoice* kept, CardChoiceMemory::Card& best, bool remembered) {
    const bool multicolour = g.cardWidth == 4;
    const RolePlan plan = rolePlan(multicolour, settings_.colourRamPerCard);
    CardChoice choice;
    int fixed[2];
    fixedColours(plan, background, choice.roles, fixed);
    // The mixes wanted beside the candidates': with the fixed colours, and among those on screen.
    std::uint32_t fixedSet = 0, keptSet = 0;
    for (int f = 0; f < plan.fixedCount; ++f) fixedSet |= 1u << fixed[f];
    if (kept)
        for (int k = 0; k < plan.freeCount; ++k) keptSet |= 1u << kept->roles[plan.freeRoles[k]];

    const ColourPoint* gathered[kMostPixels];
    const int n = gatherCard(g, column, row, pixels_, gathered);
    CardTable& table = *table_;
    int chosen[3];
    if (remembered) {
        for (int k = 0; k < plan.freeCount; ++k) chosen[k] = best.colours[k];
        table.fillOnly(gathered, n, palette_, fixedSet | keptSet);
    } else {
        const bool ordered = settings_.dither == CardDither::Ordered;
        table.fill(gathered, n, palette_, ordered ? kStreamCandidates : kCandidatesPerPixel, fixedSet, fixedSet | keptSet);
        best.cost = static_cast<float>(table.bestSet(fixed, plan.fixedCount, plan.freeCount, chosen));
        for (int k = 0; k < 3; ++k) best.colours[k] = static_cast<std::int8_t>(k < plan.freeCount ? chosen[k] : -1);
    }

    if (kept) {
        int keptColours[3];
        for (int k = 0; k < plan.freeCount; ++k) keptColours[k] = kept->roles[plan.freeRoles[k]];
        if (table.cost(fixed, plan.fixedCount, keptColours, plan.freeCount) <= best.cost * (1 + kKeepShare) + n * kKeepPerPixel) {
            choice = *kept;
            choice.asShown = true;
            return choice;
        }
    }
    if (remembered) {  // the chosen colours' costs, which the card's pixels will need
        std::uint32_t set = fixedSet | keptSet;
        for (int k = 0; k < plan.freeCount; ++k)
            if (chosen[k] >= 0) set |= 1u << chosen[k];
        table.fillMore(palette_, set);
    }
    // The chosen colours take the roles they had on screen where they were there; the rest fill the other
    // roles in order; a role left over keeps its colour on screen, or repeats another.
    bool placed[3] = {false, false, false}, filled[3] = {false, false, false};
    if (kept) {
        for (int r = 0; r < plan.freeCount; ++r) {
            for (int k = 0; k < plan.freeCount; ++k) {
                if (!placed[k] && chosen[k] >= 0 && chosen[k] == kept->roles[plan.freeRoles[r]]) {
                    choice.roles[plan.freeRoles[r]] = chosen[k];
                    placed[k] = filled[r] = true;
                    break;
                }
            }
        }
    }
    int next = 0;
    for (int r = 0; r < plan.freeCount; ++r) {
        if (filled[r]) continue;
        while (next < plan.freeCount && (placed[next] || chosen[next] < 0)) ++next;
        if (next < plan.freeCount) {
            choice.roles[plan.freeRoles[r]] = chosen[next];
            placed[next] = true;
        } else {
            choice.roles[plan.freeRoles[r]] = kept ? kept->roles[plan.freeRoles[r]] : std::max(chosen[0], 0);
        }
    }
    return choice;
}

// A card's pixels in an ordered pattern, which changes from frame to frame only where the picture does:
// each pixel takes the mix of two of the card's colours that costs it least, and one or the other by the
// mix's share and the pattern's threshold at its place (all from the card's table). A card kept as shown
// keeps each pixel's role on screen while that is nearly as good.
void CardColourChooser::renderOrdered(VicPicture& picture, int column, int row, const CardChoice& card, const std::int16_t* shownRoles) {
    const PictureGeometry& g = picture.geometry;
    const int roleCount = g.roleCount;
    const CardTable& table = *table_;
    // Each pixel's least costly pair of roles, four pixels at a time.
    int pairs[10][2], pairCount = 0;
    for (int r = 0; r < roleCount; ++r)
        for (int q = r; q < roleCount; ++q) pairs[pairCount][0] = r, pairs[pairCount++][1] = q;
    alignas(16) float bestPair[kMostPixels];
    for (int i = 0; i < table.padded; i += 4) {
        Lanes least = splat(INFINITY), which = splat(0);
        for (int k = 0; k < pairCount; ++k) {
            const Lanes cost = lanesAt(table.mixOf(card.roles[pairs[k][0]], card.roles[pairs[k][1]]) + i);
            which = cost < least ? splat(static_cast<float>(k)) : which;
            least = cost < least ? cost : least;
        }
        storeLanes(bestPair + i, which);
    }
    std::int16_t* roles = picture.planes.lumaDither.get();
    int n = 0;
    for (int y = row * 8; y < row * 8 + 8; ++y) {
        for (int x = column * g.cardWidth; x < (column + 1) * g.cardWidth; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            if (x >= g.width || y >= g.height) {
                roles[i] = 0;
                continue;
            }
            const int* pair = pairs[static_cast<int>(bestPair[n])];
            const int from = pair[0], to = pair[1];
            const int p = card.roles[from], q = card.roles[to];
            const float share = p == q ? 0 : p < q ? table.shares[p][q][n] : 1 - table.shares[q][p][n];
            const float threshold = (kBayer[y & 3][x & 3] + 0.5f) / 16;
            int role = share > threshold ? to : from;
            if (shownRoles && card.asShown) {
                const int before = shownRoles[i];
                if (before >= 0 && before < roleCount &&
                    (((before == from || before == to) && std::abs(share - threshold) <= kKeepThreshold) ||
                     table.single[card.roles[before]][n] <= table.single[card.roles[role]][n] + kKeepPixel))
                    role = before;
            }
            roles[i] = static_cast<std::int16_t>(role);
            ++n;
        }
    }
}

// The pixels of a card row, row by row in alternate directions: each takes the nearest of its card's colours
// to its own with the error waiting there (each error axis held within kMostError), and passes kDiffused of
// its error on in Floyd and Steinberg's shares, so that a card's mixes show where its colours alone do not.
void CardColourChooser::renderDiffused(VicPicture& picture, int row, const std::vector<CardChoice>& cards) {
    const PictureGeometry& g = picture.geometry;
    const int roleCount = g.roleCount;
    std::int16_t* roles = picture.planes.lumaDither.get();
    for (int y = row * 8; y < row * 8 + 8; ++y) {
        const bool leftToRight = (y & 1) == 0;
        const int step = leftToRight ? 1 : -1;
        for (int k = 0; k < g.paddedWidth; ++k) {
            const int x = leftToRight ? k : g.paddedWidth - 1 - k;
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            if (x >= g.width || y >= g.height) {
                roles[i] = 0;
                continue;
            }
            const std::size_t column = static_cast<std::size_t>(x / g.cardWidth);
            const CardChoice& card = cards[column];
            const PixelMetric metric = PixelMetric::of(pixels_[i]);
            ColourPoint target = pixels_[i];
            const ColourPoint e = clampedError(error_[i]);
            target.l += e.l, target.a += e.a, target.b += e.b;
            int bestRole = 0;
            double best = kNone;
            for (int r = 0; r < roleCount; ++r) {
                const double d = metric.distance(target, palette_[static_cast<std::size_t>(card.roles[r])]);
                if (d < best) best = d, bestRole = r;
            }
            roles[i] = static_cast<std::int16_t>(bestRole);
            const ColourPoint& shown = palette_[static_cast<std::size_t>(card.roles[bestRole])];
            const ColourPoint passed{kDiffused * (target.l - shown.l) / 16, kDiffused * (target.a - shown.a) / 16, kDiffused * (target.b - shown.b) / 16};
            auto pass = [&](int dx, int dy, double share) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || nx >= g.width || ny >= g.height) return;
                ColourPoint& to = error_[static_cast<std::size_t>(ny) * g.paddedWidth + nx];
                to.l += passed.l * share, to.a += passed.a * share, to.b += passed.b * share;
            };
            pass(step, 0, 7);
            pass(-step, 1, 3);
            pass(0, 1, 5);
            pass(step, 1, 1);
        }
    }
}

int CardColourChooser::convert(VicPicture& picture, const VicPicture* shown) {
    if (!picture.planes.sourceRgb || !picture.planes.lumaDither) return 1;
    const PictureGeometry& g = picture.geometry;
    const bool multicolour = g.cardWidth == 4;
    readPixels(picture);
    // The card grid and its colour arrays first; the background is set once it is chosen.
    ColourChoice frame;
    frame.roleCount = g.roleCount;
    for (int r = 0; r < 5; ++r) frame.colours.roleColours[r] = kBlack;
    if (picture.takeColourChoice(frame) != 0) return 1;
    const int cardCount = g.widthInCards * g.heightInCards;
    std::vector<CardChoiceMemory::Card> bests(static_cast<std::size_t>(cardCount));
    int background = 0;
    bool chosenWithBackground = false;
    if (multicolour && settings_.background < 0) {
        background = chooseBackground(g, bests);
        chosenWithBackground = true;
    } else if (multicolour) {
        background = settings_.background;
    }
    picture.colours.roleColours[0] = background;

    const int columns = g.widthInCards;
    const bool keepShown = shown && shown->cardColours.colourMatrix && shown->cardColours.colourRam &&
                           shown->geometry.widthInCards == columns && shown->geometry.heightInCards == g.heightInCards &&
                           shown->geometry.cardWidth == g.cardWidth && (!multicolour || shown->colours.roleColours[0] == background);
    const bool ordered = settings_.dither == CardDither::Ordered;
    std::vector<CardChoice> cards(static_cast<std::size_t>(columns));
    const std::uint64_t key = settings_.memory ? pictureKey(picture, background) : 0;
    const std::vector<CardChoiceMemory::Card>* remembered = settings_.memory ? settings_.memory->find(key) : nullptr;
    if (remembered && remembered->size() == bests.size()) bests = *remembered;
    else remembered = nullptr;
    const bool known = remembered || chosenWithBackground;
    for (int row = 0; row < g.heightInCards; ++row) {
        for (int column = 0; column < columns; ++column) {
            const std::size_t card = static_cast<std::size_t>(row) * columns + column;
            CardChoice kept;
            if (keepShown) {
                const int matrix = shown->cardColours.colourMatrix[card];
                if (multicolour) {
                    kept.roles[0] = background;
                    kept.roles[1] = matrix >> 4;
                    kept.roles[2] = matrix & 15;
                    kept.roles[3] = settings_.colourRamPerCard ? (shown->cardColours.colourRam[card] & 15) : kBlack;
                } else {
                    kept.roles[0] = matrix & 15;
                    kept.roles[1] = matrix >> 4;
                }
            }
            CardChoice& choice = cards[static_cast<std::size_t>(column)];
            choice = chooseCard(g, column, row, background, keepShown ? &kept : nullptr, bests[card], known);
            if (multicolour) {
                picture.cardColours.colourMatrix[card] = static_cast<std::uint8_t>(choice.roles[1] * 16 + choice.roles[2]);
                picture.cardColours.colourRam[card] = static_cast<std::uint8_t>(choice.roles[3]);
            } else {
                picture.cardColours.colourMatrix[card] = static_cast<std::uint8_t>(choice.roles[1] * 16 + choice.roles[0]);
                picture.cardColours.colourRam[card] = 0;
            }
            if (ordered) renderOrdered(picture, column, row, choice, keepShown ? shown->planes.lumaDither.get() : nullptr);
        }
        if (!ordered) renderDiffused(picture, row, cards);
    }
    if (settings_.memory && !remembered) settings_.memory->add(key, std::move(bests));
    stats_ = QuantStats{};
    stats_.pixelCount = static_cast<std::int32_t>(g.pixelCount);
    stats_.monochrome = picture.monochrome;
    stats_.edgeCount = g.width + 2 * g.height - 2;
    stats_.copiedPixels = 1;
    return 0;
}

// FNV-1a over the source pixels and the settings that shape the choice.
std::uint64_t CardColourChooser::pictureKey(const VicPicture& picture, int background) const {
    const PictureGeometry& g = picture.geometry;
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&](std::uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (const std::int64_t value : {std::int64_t{g.width}, std::int64_t{g.height}, std::int64_t{g.cardWidth}, std::int64_t{background},
                                     std::int64_t{settings_.colourRamPerCard}, static_cast<std::int64_t>(settings_.dither)})
        mix(static_cast<std::uint64_t>(value));
    for (const ColourPoint& colour : palette_) {
        for (const double component : {colour.l, colour.a, colour.b}) mix(std::bit_cast<std::uint64_t>(component));
    }
    const std::uint8_t* rgb = picture.planes.sourceRgb.get();
    for (int y = 0; y < g.height; ++y) {
        const std::uint8_t* row = rgb + 3 * static_cast<std::size_t>(y) * g.paddedWidth;
        for (std::size_t i = 0; i < 3 * static_cast<std::size_t>(g.width); ++i) mix(row[i]);
    }
    return hash;
}

const std::vector<CardChoiceMemory::Card>* CardChoiceMemory::find(std::uint64_t key) const {
    const auto found = pictures_.find(key);
    return found == pictures_.end() ? nullptr : &found->second;
}

void CardChoiceMemory::add(std::uint64_t key, std::vector<Card> cards) { pictures_[key] = std::move(cards); }

BackgroundChoice::BackgroundChoice(const CardColourSettings& settings)
    : settings_(settings), palette_(palettePoints(*settings.palette)) {}

void BackgroundChoice::add(const std::uint8_t* rgb, int width, int height, std::size_t stride) {
    const RolePlan plan = rolePlan(true, settings_.colourRamPerCard);
    ColourPoint pixels[kMostPixels];
    const ColourPoint* gathered[kMostPixels];
    auto table = std::make_unique<CardTable>();
    if (settings_.dither == CardDither::Ordered) table->mixNoise = kStreamMixNoise;
    for (int top = 0; top < height; top += 8) {
        for (int left = 0; left < width; left += 4) {
            int n = 0;
            for (int y = top; y < std::min(top + 8, height); ++y) {
                for (int x = left; x < std::min(left + 4, width); ++x) {
                    const std::uint8_t* p = rgb + static_cast<std::size_t>(y) * stride + 3 * static_cast<std::size_t>(x);
                    pixels[n] = colourPointOf(p[0], p[1], p[2]);
                    gathered[n] = &pixels[n];
                    ++n;
                }
            }
            table->fill(gathered, n, palette_, kBackgroundCandidates, 0xFFFF, 0);
            addBackgroundCosts(*table, palette_, plan, costs_);
        }
    }
}

int BackgroundChoice::best() const { return static_cast<int>(std::min_element(costs_, costs_ + 16) - costs_); }

}  // namespace zov
