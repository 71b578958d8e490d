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

// A card keeps the colours it had on screen while they cost at most this much more than the best ones
// (a share of the best cost, plus a little per pixel, so that a flat card does not change on noise).
constexpr double kKeepShare = 0.25;
constexpr double kKeepPerPixel = 0.0004;
// A pixel of such a card keeps its role on screen while that is at most this much farther than the nearest
// (about the noise of a still scene in a video), so that what does not change is not coded again.
constexpr double kKeepPixel = 0.02;

// The share of a pixel's error passed on to its neighbours. Each pixel nearest to the source is closest in
// the sum; a fifth passed on breaks the bands of flat areas at little cost to that (bench/README.md).
constexpr double kDiffusion = 0.2;

/// Four floats worked on at once (the compiler's vector extension, on any processor).
typedef float Lanes __attribute__((vector_size(16)));
Lanes lanesAt(const float* p) {
    Lanes lanes;
    std::memcpy(&lanes, p, sizeof lanes);
    return lanes;
}

/// The distances of a card's pixels to every palette colour, and the colours worth trying: each pixel's two
/// nearest. Kept colour by colour, in floats, with the pixels padded to a multiple of four by pixels that
/// cost nothing, so that the loops over a card's pixels run four at a time.
struct CardTable {
    int count = 0;   // the card's pixels
    int padded = 0;  // count rounded up to a multiple of four
    alignas(16) float d[16][kMostPixels];
    std::uint32_t candidates = 0;

    void fill(const ColourPoint* const* pixels, int n, const PalettePoints& palette) {
        count = n;
        padded = (n + 3) & ~3;
        float y[kMostPixels], cb[kMostPixels], cr[kMostPixels];
        for (int i = 0; i < n; ++i) y[i] = static_cast<float>(pixels[i]->y), cb[i] = static_cast<float>(pixels[i]->cb), cr[i] = static_cast<float>(pixels[i]->cr);
        // Each pixel's two least distances, then the colours that come within them.
        float first[kMostPixels], second[kMostPixels];
        for (int i = 0; i < n; ++i) first[i] = second[i] = INFINITY;
        for (int c = 0; c < 16; ++c) {
            const ColourPoint& p = palette[static_cast<std::size_t>(c)];
            const float py = static_cast<float>(p.y), pb = static_cast<float>(p.cb), pr = static_cast<float>(p.cr);
            const float weight = static_cast<float>(kLumaWeight);
            float* row = d[c];
            for (int i = 0; i < n; ++i) {
                const float dy = y[i] - py, db = cb[i] - pb, dr = cr[i] - pr;
                row[i] = weight * dy * dy + db * db + dr * dr;
            }
            for (int i = n; i < padded; ++i) row[i] = 0;
            for (int i = 0; i < n; ++i) {
                const float r = row[i], f = first[i];
                second[i] = std::min(second[i], std::max(f, r));
                first[i] = std::min(f, r);
            }
        }
        candidates = 0;
        for (int c = 0; c < 16; ++c) {
            int near = 0;
            for (int i = 0; i < n; ++i) near |= d[c][i] <= second[i];
            if (near) candidates |= 1u << c;
        }
    }

    /// Each pixel's distance to the nearest of the fixed colours (none: infinite; padding: 0).
    void baseCosts(const int* fixed, int fixedCount, float* base) const {
        for (int i = 0; i < padded; ++i) base[i] = i < count ? INFINITY : 0;
        for (int f = 0; f < fixedCount; ++f)
            for (int i = 0; i < padded; ++i) base[i] = std::min(base[i], d[fixed[f]][i]);
    }

    /// The sum over the pixels of the lesser of costs and colour c's distance, four lanes at a time.
    float sumWith(const float* costs, int c) const {
        Lanes sum = {0, 0, 0, 0};
        for (int i = 0; i < padded; i += 4) {
            const Lanes a = lanesAt(costs + i), b = lanesAt(d[c] + i);
            sum += a < b ? a : b;
        }
        return (sum[0] + sum[1]) + (sum[2] + sum[3]);
    }

    /// costs with colour c taken in: the lesser of each pixel's cost and its distance to c.
    void takeIn(const float* costs, int c, float* into) const {
        for (int i = 0; i < padded; i += 4) {
            const Lanes a = lanesAt(costs + i), b = lanesAt(d[c] + i);
            const Lanes least = a < b ? a : b;
            std::memcpy(into + i, &least, sizeof least);
        }
    }

    /// What the pixels cost with the fixed colours and these.
    double cost(const float* base, const int* colours, int n) const {
        float costs[kMostPixels];
        std::copy_n(base, padded, costs);
        for (int k = 0; k < n; ++k) takeIn(costs, colours[k], costs);
        float lanes[4] = {0, 0, 0, 0};
        for (int i = 0; i < padded; i += 4)
            for (int k = 0; k < 4; ++k) lanes[k] += costs[i + k];
        return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    }

    /// The free colours, up to three, that with the fixed ones cost least, tried among the candidates;
    /// fewer when there are fewer candidates. Returns the cost; chosen gets freeCount colours, the missing
    /// ones as -1.
    double bestSet(const float* base, int freeCount, std::uint32_t excluded, int* chosen) const {
        int list[16], m = 0;
        for (std::uint32_t mask = candidates & ~excluded; mask != 0; mask &= mask - 1)
            list[m++] = std::countr_zero(mask);
        for (int k = 0; k < freeCount; ++k) chosen[k] = -1;
        if (m <= freeCount) {
            std::copy_n(list, m, chosen);
            return cost(base, list, m);
        }
        float best = INFINITY;
        alignas(16) float first[kMostPixels], second[kMostPixels];
        for (int a = 0; a < m; ++a) {
            if (freeCount == 1) {
                const float sum = sumWith(base, list[a]);
                if (sum < best) best = sum, chosen[0] = list[a];
                continue;
            }
            takeIn(base, list[a], first);
            for (int b = a + 1; b < m; ++b) {
                if (freeCount == 2) {
                    const float sum = sumWith(first, list[b]);
                    if (sum < best) best = sum, chosen[0] = list[a], chosen[1] = list[b];
                    continue;
                }
                takeIn(first, list[b], second);
                for (int c = b + 1; c < m; ++c) {
                    const float sum = sumWith(second, list[c]);
                    if (sum < best) best = sum, chosen[0] = list[a], chosen[1] = list[b], chosen[2] = list[c];
                }
            }
        }
        return best;
    }
};

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

/// What each background would cost the card, with its own colours chosen best, added to costs.
void addBackgroundCosts(const CardTable& table, const RolePlan& plan, double* costs) {
    alignas(16) float base[kMostPixels];
    for (int background = 0; background < 16; ++background) {
        int roles[4], fixed[2], chosen[3];
        fixedColours(plan, background, roles, fixed);
        table.baseCosts(fixed, plan.fixedCount, base);
        std::uint32_t excluded = 0;
        for (int f = 0; f < plan.fixedCount; ++f) excluded |= 1u << fixed[f];
        costs[background] += table.bestSet(base, plan.freeCount, excluded, chosen);
    }
}

constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

/// The card's pixels that lie in the source, as pointers, with the error waiting at each added to a copy.
int gatherCard(const PictureGeometry& g, int column, int row, const std::vector<ColourPoint>& pixels,
               const std::vector<ColourPoint>* error, ColourPoint* copies, const ColourPoint** gathered) {
    int n = 0;
    for (int y = row * 8; y < std::min(row * 8 + 8, g.height); ++y) {
        for (int x = column * g.cardWidth; x < std::min((column + 1) * g.cardWidth, g.width); ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            if (error) {
                copies[n] = {pixels[i].y + (*error)[i].y, pixels[i].cb + (*error)[i].cb, pixels[i].cr + (*error)[i].cr};
                gathered[n] = &copies[n];
            } else {
                gathered[n] = &pixels[i];
            }
            ++n;
        }
    }
    return n;
}

}  // namespace

CardColourChooser::CardColourChooser(const CardColourSettings& settings)
    : settings_(settings), palette_(palettePoints(*settings.palette)) {}

void CardColourChooser::readPixels(const VicPicture& picture) {
    const PictureGeometry& g = picture.geometry;
    pixels_.assign(static_cast<std::size_t>(g.paddedSize), ColourPoint{});
    error_.assign(static_cast<std::size_t>(g.paddedSize), ColourPoint{});
    const std::uint8_t* rgb = picture.planes.sourceRgb.get();
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.paddedWidth + x;
            pixels_[i] = colourPointOf(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        }
    }
}

int CardColourChooser::chooseBackground(const PictureGeometry& g) const {
    double costs[16] = {};
    const RolePlan plan = rolePlan(true, settings_.colourRamPerCard);
    CardTable table;
    ColourPoint copies[kMostPixels];
    const ColourPoint* gathered[kMostPixels];
    for (int row = 0; row < g.paddedHeight / 8; ++row) {
        for (int column = 0; column < g.paddedWidth / g.cardWidth; ++column) {
            const int n = gatherCard(g, column, row, pixels_, nullptr, copies, gathered);
            if (n == 0) continue;
            table.fill(gathered, n, palette_);
            addBackgroundCosts(table, plan, costs);
        }
    }
    return static_cast<int>(std::min_element(costs, costs + 16) - costs);
}

CardColourChooser::CardChoice CardColourChooser::chooseCard(const PictureGeometry& g, int column, int row,
                                                            int background, const CardChoice* kept) {
    const bool multicolour = g.cardWidth == 4;
    const RolePlan plan = rolePlan(multicolour, settings_.colourRamPerCard);
    CardChoice choice;
    int fixed[2];
    fixedColours(plan, background, choice.roles, fixed);

    ColourPoint copies[kMostPixels];
    const ColourPoint* gathered[kMostPixels];
    const bool diffusion = settings_.dither == CardDither::Diffusion;
    const int n = gatherCard(g, column, row, pixels_, diffusion ? &error_ : nullptr, copies, gathered);
    CardTable table;
    table.fill(gathered, n, palette_);
    alignas(16) float base[kMostPixels];
    table.baseCosts(fixed, plan.fixedCount, base);
    std::uint32_t excluded = 0;
    for (int f = 0; f < plan.fixedCount; ++f) excluded |= 1u << fixed[f];
    int chosen[3];
    const double best = table.bestSet(base, plan.freeCount, excluded, chosen);

    if (kept) {
        int keptColours[3];
        for (int k = 0; k < plan.freeCount; ++k) keptColours[k] = kept->roles[plan.freeRoles[k]];
        if (table.cost(base, keptColours, plan.freeCount) <= best * (1 + kKeepShare) + n * kKeepPerPixel) {
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

// The pixels of a card row, row by row in alternate directions, each to the nearest colour of its card's
// roles; with diffusion the error goes on in Floyd and Steinberg's shares.
void CardColourChooser::renderCardRow(VicPicture& picture, int row, const std::vector<CardChoice>& cards,
                                      const std::int16_t* shownRoles) {
    const PictureGeometry& g = picture.geometry;
    const int roleCount = g.roleCount;
    const bool diffusion = settings_.dither == CardDither::Diffusion;
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
            ColourPoint target = pixels_[i];
            if (diffusion) target.y += error_[i].y, target.cb += error_[i].cb, target.cr += error_[i].cr;
            const CardChoice& card = cards[static_cast<std::size_t>(x / g.cardWidth)];
            int bestRole = 0, secondRole = -1;
            double best = kNone, second = kNone;
            for (int r = 0; r < roleCount; ++r) {
                const double d = distance(target, palette_[static_cast<std::size_t>(card.roles[r])]);
                if (d < best) {
                    second = best, secondRole = bestRole;
                    best = d, bestRole = r;
                } else if (d < second) {
                    second = d, secondRole = r;
                }
            }
            // Ordered: a pixel between its two nearest colours takes the second where its share of the way
            // there passes the pattern's threshold, which runs from 3/8 to 5/8: only mixes near the middle
            // are patterned (a finer pattern costs a stream more bytes than it gives; bench/README.md), and a
            // pixel that is a colour stays that colour.
            if (!diffusion && second < kNone && secondRole != bestRole) {
                const double share = shareToward(target, palette_[static_cast<std::size_t>(card.roles[bestRole])],
                                                 palette_[static_cast<std::size_t>(card.roles[secondRole])]);
                if (share > 0.375 + 0.25 * (kBayer[y & 3][x & 3] + 0.5) / 16) bestRole = secondRole, best = second;
            }
            if (shownRoles && card.asShown) {
                const int before = shownRoles[i];
                if (before >= 0 && before < roleCount &&
                    distance(target, palette_[static_cast<std::size_t>(card.roles[before])]) <= best + kKeepPixel)
                    bestRole = before;
            }
            roles[i] = static_cast<std::int16_t>(bestRole);
            if (!diffusion) continue;
            const ColourPoint& shown = palette_[static_cast<std::size_t>(card.roles[bestRole])];
            const ColourPoint e{(target.y - shown.y) * kDiffusion / 16, (target.cb - shown.cb) * kDiffusion / 16,
                        (target.cr - shown.cr) * kDiffusion / 16};
            auto pass = [&](int dx, int dy, double share) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || nx >= g.width || ny >= g.height) return;
                ColourPoint& to = error_[static_cast<std::size_t>(ny) * g.paddedWidth + nx];
                to.y += e.y * share, to.cb += e.cb * share, to.cr += e.cr * share;
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
            if (multicolour) {
                picture.cardColours.colourMatrix[card] = static_cast<std::uint8_t>(choice.roles[1] * 16 + choice.roles[2]);
                picture.cardColours.colourRam[card] = static_cast<std::uint8_t>(choice.roles[3]);
            } else {
                picture.cardColours.colourMatrix[card] = static_cast<std::uint8_t>(choice.roles[1] * 16 + choice.roles[0]);
                picture.cardColours.colourRam[card] = 0;
            }
        }
        renderCardRow(picture, row, cards, keepShown ? shown->planes.lumaDither.get() : nullptr);
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
    CardTable table;
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
            table.fill(gathered, n, palette_);
            addBackgroundCosts(table, plan, costs_);
        }
    }
}

int BackgroundChoice::best() const { return static_cast<int>(std::min_element(costs_, costs_ + 16) - costs_); }

}  // namespace zov
