#include "frameconv/cardcolour/card_colours.h"

#include "common/console/console.h"
#include "formats/palette.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zov {
namespace {

constexpr int kMostPixels = 64;  // an 8 × 8 card
constexpr double kNone = std::numeric_limits<double>::infinity();

double tuned(const char* name, double fallback) {  // DEV: tuning by the environment
    const char* value = std::getenv(name);
    return value ? std::atof(value) : fallback;
}

// How much of a mix's spread around its mean the eye sees (the rest it averages away at a viewing
// distance): a mix of two colours costs its mean's distance to the pixel plus this share of its spread.
// Kept small: a mix that shows the right hue in a fine pattern looks better than one colour of the wrong.
const double kMixNoise = tuned("ZOV_MIX", 0.05);
// The most error a pixel takes in, per axis: where a card cannot show what comes in, it is not carried on
// for ever.
const double kMostError = tuned("ZOV_MAXERR", 0.3);
// A card's colours are tried among each pixel's nearest few (the background's among fewer).
const int kCandidatesPerPixel = static_cast<int>(tuned("ZOV_CAND", 4));
const int kBackgroundCandidates = static_cast<int>(tuned("ZOV_BGCAND", 3));
const int kStreamCandidates = static_cast<int>(tuned("ZOV_SCAND", 3));

// A card keeps the colours it had on screen while they cost at most this much more than the best ones
// (a share of the best cost, plus a little per pixel, so that a flat card does not change on noise).
const double kKeepShare = tuned("ZOV_KEEPSHARE", 0.25);
const double kKeepPerPixel = tuned("ZOV_KEEPPP", 0.0001);
// A pixel of such a card keeps its colour on screen while that is at most this much farther than the
// colour the pattern gives it, or while its share of a mix lies this near the pattern's threshold.
const double kKeepPixel = tuned("ZOV_KEEPPIX", 0.003);
const double kKeepThreshold = tuned("ZOV_KEEPTHR", 0.125);

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

/// The best mix of two colours for a pixel: how far it goes from `from` toward `to` (0 to 1) and what it
/// costs, its mean's distance to the pixel plus kMixNoise times its spread.
struct Mix {
    double share = 0;
    double cost = kNone;
};

Mix bestMix(const PixelMetric& metric, const ColourPoint& x, const ColourPoint& from, const ColourPoint& to) {
    const ColourPoint e{x.l - from.l, x.a - from.a, x.b - from.b}, d{to.l - from.l, to.a - from.a, to.b - from.b};
    const double ee = metric.inner(e, e), dd = metric.inner(d, d);
    if (dd == 0) return {0, ee};
    const double along = metric.inner(e, d);
    const double share = std::clamp((along - kMixNoise * dd / 2) / ((1 - kMixNoise) * dd), 0.0, 1.0);
    return {share, ee - 2 * share * along + share * share * dd * (1 - kMixNoise) + kMixNoise * share * dd};
}

}  // namespace

/// The costs of a card's pixels in every palette colour and in the best mix of two (bestMix, in floats),
/// and the colours worth trying: each pixel's nearest few. Kept colour by colour, with the pixels padded to
/// a multiple of four by pixels that cost nothing, so that the loops over a card's pixels run four at a time.
struct CardTable {
    int count = 0;   // the card's pixels
    int padded = 0;  // count rounded up to a multiple of four
    // Each pixel's colour and its measure (PixelMetric).
    alignas(16) float l[kMostPixels], a[kMostPixels], b[kMostPixels];
    alignas(16) float ua[kMostPixels], ub[kMostPixels], along[kMostPixels], across[kMostPixels];
    alignas(16) float single[16][kMostPixels];
    alignas(16) float mix[16][16][kMostPixels];  // [p][q] for p < q
    std::uint32_t filled[16] = {};               // bit q of filled[p]: mix[p][q] is filled
    std::uint32_t candidates = 0;

    const float* mixOf(int p, int q) const { return p < q ? mix[p][q] : p > q ? mix[q][p] : single[p]; }

    /// The pixels' costs; the candidates are each pixel's `nearest` (1 to 4) nearest colours. The mixes
    /// are filled among the candidates, between them and the colours in `partners`, and among the colours
    /// in `set` (which need not be candidates).
    void fill(const ColourPoint* const* pixels, const PixelMetric* metrics, int n, const PalettePoints& palette,
              int nearest, std::uint32_t partners, std::uint32_t set) {
        count = n;
        padded = (n + 3) & ~3;
        for (int i = 0; i < padded; ++i) {
            const int k = std::min(i, n - 1);
            const ColourPoint& p = *pixels[k];
            const PixelMetric& m = metrics[k];
            l[i] = static_cast<float>(p.l), a[i] = static_cast<float>(p.a), b[i] = static_cast<float>(p.b);
            ua[i] = static_cast<float>(m.ua), ub[i] = static_cast<float>(m.ub);
            along[i] = static_cast<float>(m.along), across[i] = static_cast<float>(m.across);
        }
        const float weight = static_cast<float>(kLightnessWeight);
        for (int c = 0; c < 16; ++c) {
            const ColourPoint& p = palette[static_cast<std::size_t>(c)];
            const Lanes pl = splat(static_cast<float>(p.l)), pa = splat(static_cast<float>(p.a)), pb = splat(static_cast<float>(p.b));
            for (int i = 0; i < padded; i += 4) {
                const Lanes dl = lanesAt(l + i) - pl, da = lanesAt(a + i) - pa, db = lanesAt(b + i) - pb;
                const Lanes u = lanesAt(ua + i), v = lanesAt(ub + i);
                const Lanes r = u * da + v * db, t = u * db - v * da;
                storeLanes(single[c] + i, weight * dl * dl + lanesAt(along + i) * r * r + lanesAt(across + i) * t * t);
            }
            for (int i = n; i < padded; ++i) single[c][i] = 0;
        }
        // Each pixel's `nearest` least costs (nearest up to 4), four pixels at a time; then the colours
        // that come within them for some pixel.
        Lanes least4[4][kMostPixels / 4];
        for (int i = 0; i < padded; i += 4)
            for (int k = 0; k < 4; ++k) least4[k][i / 4] = splat(INFINITY);
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
            for (int i = 0; i < n; ++i) {
                if (single[c][i] <= least4[nearest - 1][i / 4][i % 4]) {
                    candidates |= 1u << c;
                    break;
                }
            }
        }
        for (int p = 0; p < 16; ++p) filled[p] = 0;
        for (int p = 0; p < 16; ++p)
            for (int q = p + 1; q < 16; ++q)
                if ((candidates >> p & 1 && (candidates | partners) >> q & 1) || (partners >> p & 1 && candidates >> q & 1) ||
                    (set >> p & 1 && set >> q & 1))
                    fillMix(palette, p, q);
    }

    /// Fills the mix of colours p and q unless it is filled.
    void ensureMix(const PalettePoints& palette, int p, int q) {
        if (p != q && !(filled[std::min(p, q)] >> std::max(p, q) & 1)) fillMix(palette, std::min(p, q), std::max(p, q));
    }

    /// The cost of every pixel in the best mix of colours p and q.
    void fillMix(const PalettePoints& palette, int p, int q) {
        const ColourPoint& from = palette[static_cast<std::size_t>(p)];
        const ColourPoint& to = palette[static_cast<std::size_t>(q)];
        const float weight = static_cast<float>(kLightnessWeight), noise = static_cast<float>(kMixNoise);
        const Lanes dl = splat(static_cast<float>(to.l - from.l)), da = splat(static_cast<float>(to.a - from.a)),
                    db = splat(static_cast<float>(to.b - from.b));
        const Lanes fl = splat(static_cast<float>(from.l)), fa = splat(static_cast<float>(from.a)), fb = splat(static_cast<float>(from.b));
        filled[p] |= 1u << q;
        float* row = mix[p][q];
        for (int i = 0; i < padded; i += 4) {
            const Lanes u = lanesAt(ua + i), v = lanesAt(ub + i), wr = lanesAt(along + i), wt = lanesAt(across + i);
            const Lanes el = lanesAt(l + i) - fl, ea = lanesAt(a + i) - fa, eb = lanesAt(b + i) - fb;
            const Lanes dr = u * da + v * db, dt = u * db - v * da, er = u * ea + v * eb, et = u * eb - v * ea;
            const Lanes dd = weight * dl * dl + wr * dr * dr + wt * dt * dt;
            const Lanes inner = weight * el * dl + wr * er * dr + wt * et * dt;
            const Lanes share = least(most((inner - noise * dd / 2) / ((1 - noise) * dd), splat(0)), splat(1));
            storeLanes(row + i, lanesAt(single[p] + i) - 2 * share * inner + share * share * dd * (1 - noise) + noise * share * dd);
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

/// What each background would cost the card, with its own colours chosen best, added to costs.
void addBackgroundCosts(CardTable& table, const PalettePoints& palette, const RolePlan& plan, double* costs) {
    for (int background = 0; background < 16; ++background) {
        if (fixedAlways(plan) != 0) table.ensureMix(palette, background, kBlack);
        int roles[4], fixed[2], chosen[3];
        fixedColours(plan, background, roles, fixed);
        costs[background] += table.bestSet(fixed, plan.fixedCount, plan.freeCount, chosen);
    }
}

/// The inverse of a symmetric n × n matrix (n up to 3); false when it is (nearly) singular.
bool invertSymmetric(const double (&m)[3][3], int n, double (&inverse)[3][3]) {
    if (n == 1) {
        if (m[0][0] < 1e-12) return false;
        inverse[0][0] = 1 / m[0][0];
        return true;
    }
    if (n == 2) {
        const double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
        if (det <= 1e-9 * (m[0][0] * m[1][1])) return false;
        inverse[0][0] = m[1][1] / det, inverse[1][1] = m[0][0] / det;
        inverse[0][1] = inverse[1][0] = -m[0][1] / det;
        return true;
    }
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1], c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2],
                 c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (det <= 1e-9 * (m[0][0] * m[1][1] * m[2][2])) return false;
    inverse[0][0] = c00 / det, inverse[0][1] = c01 / det, inverse[0][2] = c02 / det;
    inverse[1][0] = c01 / det, inverse[2][0] = c02 / det;
    inverse[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    inverse[1][2] = inverse[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    inverse[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}

/// The mix of a card's colours nearest to x in x's measure, what the card can show of x on average:
/// shares gets each role's share of it (a colour in several roles counted in the first); returns the mix.
/// The nearest point of the colours' hull lies inside one of its faces, edges or corners, so each subset of
/// the colours is tried: the nearest point of the subset's plane, line or point, taken when it lies inside.
ColourPoint nearestMix(const PixelMetric& metric, const ColourPoint& x, const PalettePoints& palette, const int* roleColours,
                       int roleCount, double* shares) {
    int roles[4], count = 0;
    double points[4][3], u[3];
    for (int r = 0; r < roleCount; ++r) {
        bool repeated = false;
        for (int k = 0; k < count; ++k) repeated |= roleColours[roles[k]] == roleColours[r];
        if (repeated) continue;
        metric.scaled(palette[static_cast<std::size_t>(roleColours[r])], points[count]);
        roles[count++] = r;
    }
    metric.scaled(x, u);
    double best = kNone, bestWeights[4] = {1, 0, 0, 0};
    int bestCorners[4] = {0, 0, 0, 0}, bestSize = 1;
    for (unsigned subset = 1; subset < (1u << count); ++subset) {
        int corners[4] = {0, 0, 0, 0}, size = 0;
        for (int k = 0; k < count; ++k)
            if (subset >> k & 1) corners[size++] = k;
        const double* origin = points[corners[0]];
        const double v[3] = {u[0] - origin[0], u[1] - origin[1], u[2] - origin[2]};
        double weights[4] = {1, 0, 0, 0}, point[3] = {origin[0], origin[1], origin[2]};
        const int n = size - 1;
        if (n > 0) {
            double e[3][3], gram[3][3], inverse[3][3], toward[3];
            for (int j = 0; j < n; ++j)
                for (int k = 0; k < 3; ++k) e[j][k] = points[corners[j + 1]][k] - origin[k];
            for (int i = 0; i < n; ++i) {
                toward[i] = e[i][0] * v[0] + e[i][1] * v[1] + e[i][2] * v[2];
                for (int j = 0; j < n; ++j) gram[i][j] = e[i][0] * e[j][0] + e[i][1] * e[j][1] + e[i][2] * e[j][2];
            }
            if (!invertSymmetric(gram, n, inverse)) continue;
            bool inside = true;
            for (int i = 0; i < n; ++i) {
                double w = 0;
                for (int j = 0; j < n; ++j) w += inverse[i][j] * toward[j];
                weights[i + 1] = w;
                weights[0] -= w;
                inside &= w >= 0;
            }
            if (!inside || weights[0] < 0) continue;
            for (int i = 0; i < n; ++i)
                for (int k = 0; k < 3; ++k) point[k] += weights[i + 1] * e[i][k];
        }
        const double d = (u[0] - point[0]) * (u[0] - point[0]) + (u[1] - point[1]) * (u[1] - point[1]) + (u[2] - point[2]) * (u[2] - point[2]);
        if (d < best) {
            best = d, bestSize = size;
            std::copy_n(weights, size, bestWeights);
            std::copy_n(corners, size, bestCorners);
        }
    }
    std::fill_n(shares, roleCount, 0.0);
    ColourPoint mean;
    for (int j = 0; j < bestSize; ++j) {
        const int role = roles[bestCorners[j]];
        const ColourPoint& c = palette[static_cast<std::size_t>(roleColours[role])];
        shares[role] = bestWeights[j];
        mean.l += bestWeights[j] * c.l, mean.a += bestWeights[j] * c.a, mean.b += bestWeights[j] * c.b;
    }
    return mean;
}

constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

ColourPoint clampedError(const ColourPoint& e) {
    return {std::clamp(e.l, -kMostError, kMostError), std::clamp(e.a, -kMostError, kMostError), std::clamp(e.b, -kMostError, kMostError)};
}

/// The card's pixels that lie in the source, as pointers, and their measures.
int gatherCard(const PictureGeometry& g, int column, int row, const std::vector<ColourPoint>& pixels,
               const std::vector<PixelMetric>& metrics, const ColourPoint** gathered, PixelMetric* gatheredMetrics) {
    int n = 0;
    for (int y = row * 8; y < std::min(row * 8 + 8, g.height); ++y) {
        for (int x = column * g.cardWidth; x < std::min((column + 1) * g.cardWidth, g.width); ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            gatheredMetrics[n] = metrics[i];
            gathered[n++] = &pixels[i];
        }
    }
    return n;
}

}  // namespace

CardColourChooser::CardColourChooser(const CardColourSettings& settings)
    : settings_(settings), palette_(palettePoints(*settings.palette)), table_(std::make_unique<CardTable>()) {}

CardColourChooser::~CardColourChooser() = default;

void CardColourChooser::readPixels(const VicPicture& picture) {
    const PictureGeometry& g = picture.geometry;
    pixels_.assign(static_cast<std::size_t>(g.paddedSize), ColourPoint{});
    metrics_.assign(static_cast<std::size_t>(g.paddedSize), PixelMetric{});
    if (settings_.dither == CardDither::Diffusion) error_.assign(static_cast<std::size_t>(g.paddedSize), ColourPoint{});
    const std::uint8_t* rgb = picture.planes.sourceRgb.get();
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            pixels_[i] = colourPointOf(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
            metrics_[i] = PixelMetric::of(pixels_[i]);
        }
    }
}

int CardColourChooser::chooseBackground(const PictureGeometry& g) const {
    double costs[16] = {};
    const RolePlan plan = rolePlan(true, settings_.colourRamPerCard);
    auto table = std::make_unique<CardTable>();
    const ColourPoint* gathered[kMostPixels];
    PixelMetric metrics[kMostPixels];
    for (int row = 0; row < g.paddedHeight / 8; ++row) {
        for (int column = 0; column < g.paddedWidth / g.cardWidth; ++column) {
            const int n = gatherCard(g, column, row, pixels_, metrics_, gathered, metrics);
            if (n == 0) continue;
            table->fill(gathered, metrics, n, palette_, kBackgroundCandidates, 0xFFFF, 0);
            addBackgroundCosts(*table, palette_, plan, costs);
        }
    }
    return static_cast<int>(std::min_element(costs, costs + 16) - costs);
}

// The card's table is left filled for its pixels (renderOrdered reads it).
CardColourChooser::CardChoice CardColourChooser::chooseCard(const PictureGeometry& g, int column, int row,
                                                            int background, const CardChoice* kept) {
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
    PixelMetric metrics[kMostPixels];
    const int n = gatherCard(g, column, row, pixels_, metrics_, gathered, metrics);
    CardTable& table = *table_;
    const bool ordered = settings_.dither == CardDither::Ordered;
    table.fill(gathered, metrics, n, palette_, ordered ? kStreamCandidates : kCandidatesPerPixel, fixedSet, fixedSet | keptSet);
    int chosen[3];
    const double best = table.bestSet(fixed, plan.fixedCount, plan.freeCount, chosen);

    if (kept) {
        int keptColours[3];
        for (int k = 0; k < plan.freeCount; ++k) keptColours[k] = kept->roles[plan.freeRoles[k]];
        if (table.cost(fixed, plan.fixedCount, keptColours, plan.freeCount) <= best * (1 + kKeepShare) + n * kKeepPerPixel) {
            choice = *kept;
            choice.asShown = true;
            return choice;
        }
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
// each pixel takes the mix of two of the card's colours that costs it least (from the card's table), and
// one or the other by the share of the mix and the pattern's threshold at its place. A card kept as shown
// keeps each pixel's role on screen while that is nearly as good.
void CardColourChooser::renderOrdered(VicPicture& picture, int column, int row, const CardChoice& card, const std::int16_t* shownRoles) {
    const PictureGeometry& g = picture.geometry;
    const int roleCount = g.roleCount;
    const CardTable& table = *table_;
    std::int16_t* roles = picture.planes.lumaDither.get();
    auto colourOf = [&](int role) -> const ColourPoint& { return palette_[static_cast<std::size_t>(card.roles[role])]; };
    int n = 0;
    for (int y = row * 8; y < row * 8 + 8; ++y) {
        for (int x = column * g.cardWidth; x < (column + 1) * g.cardWidth; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            if (x >= g.width || y >= g.height) {
                roles[i] = 0;
                continue;
            }
            int from = 0, to = 0;
            float least = INFINITY;
            for (int r = 0; r < roleCount; ++r) {
                for (int q = r; q < roleCount; ++q) {
                    const float cost = table.mixOf(card.roles[r], card.roles[q])[n];
                    if (cost < least) least = cost, from = r, to = q;
                }
            }
            ++n;
            const PixelMetric& metric = metrics_[i];
            const ColourPoint& target = pixels_[i];
            const double share = from == to ? 0 : bestMix(metric, target, colourOf(from), colourOf(to)).share;
            const double threshold = (kBayer[y & 3][x & 3] + 0.5) / 16;
            int role = share > threshold ? to : from;
            if (shownRoles && card.asShown) {
                const int before = shownRoles[i];
                const bool nearThreshold = std::abs(share - threshold) <= kKeepThreshold;
                if (before >= 0 && before < roleCount &&
                    ((nearThreshold && (before == from || before == to)) ||
                     metric.distance(target, colourOf(before)) <= metric.distance(target, colourOf(role)) + kKeepPixel))
                    role = before;
            }
            roles[i] = static_cast<std::int16_t>(role);
        }
    }
}

// The pixels of a card row, row by row in alternate directions. Each pixel's colour is first taken to the
// nearest mix of its card's colours (what the card can show of it on average); the pixel takes the nearest
// of its card's colours to that and the error waiting there, and passes all the error on in Floyd and
// Steinberg's shares, so that the pixels' mean comes to the mixes.
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
            const CardChoice& card = cards[static_cast<std::size_t>(x / g.cardWidth)];
            const PixelMetric& metric = metrics_[i];
            double shares[4];
            ColourPoint target = nearestMix(metric, pixels_[i], palette_, card.roles, roleCount, shares);
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
            const ColourPoint passed{(target.l - shown.l) / 16, (target.a - shown.a) / 16, (target.b - shown.b) / 16};
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
    int background = 0;
    if (multicolour) background = settings_.background >= 0 ? settings_.background : chooseBackground(g);

    ColourChoice frame;
    frame.roleCount = g.roleCount;
    frame.colours.roleColours[0] = background;
    for (int r = 1; r < 5; ++r) frame.colours.roleColours[r] = kBlack;
    if (picture.takeColourChoice(frame) != 0) return 1;

    const int columns = g.widthInCards;
    const bool keepShown = shown && shown->cardColours.colourMatrix && shown->cardColours.colourRam &&
                           shown->geometry.widthInCards == columns && shown->geometry.heightInCards == g.heightInCards &&
                           shown->geometry.cardWidth == g.cardWidth && (!multicolour || shown->colours.roleColours[0] == background);
    const bool ordered = settings_.dither == CardDither::Ordered;
    std::vector<CardChoice> cards(static_cast<std::size_t>(columns));
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
            choice = chooseCard(g, column, row, background, keepShown ? &kept : nullptr);
            if (std::getenv("ZOV_DUMP")) std::fprintf(stderr, "card %d,%d: %d %d %d %d\n", column, row, choice.roles[0], choice.roles[1], choice.roles[2], choice.roles[3]);  // DEV
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
    stats_ = QuantStats{};
    stats_.pixelCount = static_cast<std::int32_t>(g.pixelCount);
    stats_.monochrome = picture.monochrome;
    stats_.edgeCount = g.width + 2 * g.height - 2;
    stats_.copiedPixels = 1;
    return 0;
}

BackgroundChoice::BackgroundChoice(const CardColourSettings& settings)
    : settings_(settings), palette_(palettePoints(*settings.palette)) {}

void BackgroundChoice::add(const std::uint8_t* rgb, int width, int height, std::size_t stride) {
    const RolePlan plan = rolePlan(true, settings_.colourRamPerCard);
    ColourPoint pixels[kMostPixels];
    const ColourPoint* gathered[kMostPixels];
    PixelMetric metrics[kMostPixels];
    auto table = std::make_unique<CardTable>();
    for (int top = 0; top < height; top += 8) {
        for (int left = 0; left < width; left += 4) {
            int n = 0;
            for (int y = top; y < std::min(top + 8, height); ++y) {
                for (int x = left; x < std::min(left + 4, width); ++x) {
                    const std::uint8_t* p = rgb + static_cast<std::size_t>(y) * stride + 3 * static_cast<std::size_t>(x);
                    pixels[n] = colourPointOf(p[0], p[1], p[2]);
                    metrics[n] = PixelMetric::of(pixels[n]);
                    gathered[n] = &pixels[n];
                    ++n;
                }
            }
            table->fill(gathered, metrics, n, palette_, kBackgroundCandidates, 0xFFFF, 0);
            addBackgroundCosts(*table, palette_, plan, costs_);
        }
    }
}

int BackgroundChoice::best() const { return static_cast<int>(std::min_element(costs_, costs_ + 16) - costs_); }

}  // namespace zov
