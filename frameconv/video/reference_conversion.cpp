#include "frameconv/video/reference_conversion.h"

#include "formats/palette.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace zov {

namespace {

// Source row offsets from the card row's top, in the order they are tried.
constexpr int kShifts[15] = {0, -1, 1, -2, 2, -3, 3, -4, 4, -5, 5, -6, 6, -7, 7};

// The positions of the blocks below eight rows in the order they are tried: heights 7 down to 4, sub-rows
// upwards, shifts in the order above. Left out are the source blocks that reach below the card row or
// straddle its top; whether a source block lies inside the picture depends on the card row.
struct BlockPosition {
    int height, subRow, shift;
    int rows;  // which pair of height and sub-row: 0 .. kRowChoices − 1
    bool lastOfHeight;
};

constexpr int kRowChoices = 2 + 3 + 4 + 5;  // sub-rows of the heights 7 down to 4

constexpr bool shapeAllowed(int height, int shift) {
    return shift + height <= 8 && (shift >= 0 || shift + height <= 0);
}

constexpr int positionsBelowEight() {
    int count = 0;
    for (int P = 7; P >= 4; --P)
        for (int r = 0; r + P <= 8; ++r)
            for (int s : kShifts) count += shapeAllowed(P, s);
    return count;
}

constexpr std::array<BlockPosition, positionsBelowEight()> listPositionsBelowEight() {
    std::array<BlockPosition, positionsBelowEight()> positions{};
    int n = 0, rows = 0;
    for (int P = 7; P >= 4; --P) {
        for (int r = 0; r + P <= 8; ++r, ++rows)
            for (int s : kShifts)
                if (shapeAllowed(P, s)) positions[n++] = BlockPosition{P, r, s, rows, false};
        positions[n - 1].lastOfHeight = true;
    }
    return positions;
}

constexpr auto kPositionsBelowEight = listPositionsBelowEight();

std::int16_t saturate16(std::int32_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, -32768, 32767));
}

void addSaturated(std::int16_t& word, std::int32_t amount) { word = saturate16(word + amount); }

int paletteLuminance(std::int32_t colour) {
    return (colour >= 0 && colour <= kNoColour) ? kPalette[colour].luminance : 0;
}

bool isPinned(const VicPicture& picture, int role) {
    const int count = std::clamp(picture.colours.pinnedCount, 0, 4);
    for (int i = 0; i < count; ++i)
        if (picture.colours.pinnedRoles[i] == role) return true;
    return false;
}

bool sameGeometry(const VicPicture& a, const VicPicture& b) {
    const PictureGeometry& x = a.geometry;
    const PictureGeometry& y = b.geometry;
    return x.paddedWidth == y.paddedWidth && x.paddedSize == y.paddedSize && x.width == y.width &&
           x.height == y.height && x.cardWidth == y.cardWidth && x.widthInCards == y.widthInCards &&
           x.heightInCards == y.heightInCards;
}

// A slot can stand for the frame the player holds when it was accepted and is shaped like the picture.
bool usableSource(const FrameSlot& slot, const VicPicture& picture) {
    return slot.valid() && slot.planes.luminancePlane && slot.planes.lumaDither && sameGeometry(slot, picture);
}

}  // namespace

// ---- block search ----------------------------------------------------------------------------------------

BlockSearch::BlockSearch(const FrameStore& store, const VicPicture& picture, int referenceSlot)
    : picture_(picture) {
    for (int v = store.ringSize() - 1; v >= 0; --v) {
        if (!usableSource(store.slot(v), picture)) continue;
        const FrameSlot& slot = sourceOf(store, referenceSlot, v);
        if (!slot.planes.luminancePlane || !slot.planes.lumaDither || !sameGeometry(slot, picture)) continue;
        Source source{v, slot.planes.luminancePlane.get(), slot.planes.lumaDither.get(), {}};
        for (int role = 0; role < 4; ++role)
            source.roleAgrees[role] = slot.colours.roleColours[role] == picture.colours.roleColours[role];
        sources_.push_back(source);
    }
    diagonals_.resize(sources_.size());
}

namespace {

// Block rows: new rows a = 0 .. 7 of the card row; source rows b = −7 .. 7 relative to its top; a block at
// one position adds up the row scores along one diagonal b − a = s − r (−14 .. 7).
constexpr int kSourceRows = 16;  // b + 7, with one spare lane
constexpr int kDiagonals = 24;   // b − a + 14, with two spare lanes
constexpr int kRowPad = 14;      // scores[a][b + 7 + kRowPad] holds row (a, b), so a's diagonals lie side by side

}  // namespace

// Every row score of one source at once. The sums run over the source rows side by side, sixteen 16-bit
// lanes, so the compiler scores them in vector code; a row that passes sums at most 8 × 20 in magnitude,
// a failing row counts 0 and is marked. Then each diagonal is summed up row by row, again side by side.
template <int kWidth>
void BlockSearch::scoreRows(const Source& source, const NewRows& fresh, DiagonalSums& diagonals) const {
    constexpr int w = kWidth;
    const int stride = picture_.geometry.paddedWidth;

    // The source's card column, row by row side by side, and which rows may match at all.
    std::int16_t old[8][kSourceRows] = {};
    std::int16_t usable[kSourceRows] = {};
    for (int b = -7; b <= 7; ++b) {
        const int row = top_ + b;
        if (row < 0 || row >= picture_.geometry.height) continue;  // never part of a tried position
        const std::int32_t at = row * stride + column_;
        bool rolesAgree = true;
        for (int i = 0; i < w; ++i) {
            const int role = source.roles[at + i];
            rolesAgree = rolesAgree && role >= 0 && role <= 3 && source.roleAgrees[role];
            old[i][b + 7] = source.luminance[at + i];
        }
        usable[b + 7] = rolesAgree;
    }

    std::int16_t scores[8][kSourceRows + 2 * kRowPad] = {};
    std::int16_t failures[8][kSourceRows + 2 * kRowPad];
    for (auto& row : failures) std::fill(std::begin(row), std::end(row), std::int16_t{1});
    for (int a = 0; a < 8; ++a) {
        std::int16_t sum[kSourceRows] = {};
        std::int16_t fit[kSourceRows];
        std::copy(std::begin(usable), std::end(usable), fit);
        for (int i = 0; i < w; ++i) {
            const std::int16_t luminance = fresh.luminance[a][i];
            const std::int16_t carry = fresh.carry[a][i];
#pragma GCC unroll 1  // kept a loop, so that it is vectorised across the source rows
            for (int b = 0; b < kSourceRows; ++b) {
                const std::int16_t d = static_cast<std::int16_t>(luminance - old[i][b]);
                // The carried error may explain the difference.
                const std::int16_t explained = static_cast<std::int16_t>(d - carry);
                const std::int16_t near = d >= -kBlockTolerance && d <= kBlockTolerance;
                const std::int16_t explainedNear = explained >= -kBlockTolerance && explained <= kBlockTolerance;
                fit[b] = static_cast<std::int16_t>(fit[b] & (near | explainedNear));
                sum[b] = static_cast<std::int16_t>(sum[b] + (near ? d : explained));
            }
        }
        for (int b = 0; b < kSourceRows; ++b) {
            scores[a][b + kRowPad] = fit[b] ? sum[b] : 0;
            failures[a][b + kRowPad] = !fit[b];
        }
    }

    std::fill(std::begin(diagonals.sum[0]), std::end(diagonals.sum[0]), std::int16_t{0});
    std::fill(std::begin(diagonals.failures[0]), std::end(diagonals.failures[0]), std::int16_t{0});
    for (int a = 0; a < 8; ++a) {
        // Diagonal b − a = t − 14 meets new row a at source row b = a + t − 14, at scores[a][a + t + 7].
        const std::int16_t* rowScores = scores[a] + a + 7;
        const std::int16_t* rowFailures = failures[a] + a + 7;
        for (int t = 0; t < kDiagonals; ++t) {
            diagonals.sum[a + 1][t] = static_cast<std::int16_t>(diagonals.sum[a][t] + rowScores[t]);
            diagonals.failures[a + 1][t] = static_cast<std::int16_t>(diagonals.failures[a][t] + rowFailures[t]);
        }
    }
}

bool BlockSearch::wholeBlockScore(const Source& source, std::int32_t& total) const {
    const int stride = picture_.geometry.paddedWidth;
    total = 0;
    for (int a = 0; a < 8; ++a) {
        const std::int32_t at = (top_ + a) * stride + column_;
        for (int i = 0; i < picture_.geometry.cardWidth; ++i) {
            const int role = source.roles[at + i];
            if (role < 0 || role > 3 || !source.roleAgrees[role]) return false;
            int d = picture_.planes.luminancePlane[at + i] - source.luminance[at + i];
            if (std::abs(d) > kBlockTolerance) {
                d -= picture_.planes.lumaDither[at + i] >> 6;  // the carried error may explain the difference
                if (std::abs(d) > kBlockTolerance) return false;
            }
            total += d;
        }
    }
    return true;
}

BlockMatch BlockSearch::find(int top, int column) {
    top_ = top;
    column_ = column;
    const int w = picture_.geometry.cardWidth;
    const int height = picture_.geometry.height;
    const int sourceCount = static_cast<int>(sources_.size());

    NewRows fresh{};
    for (int a = 0; a < 8; ++a) {
        const std::int32_t at = (top + a) * picture_.geometry.paddedWidth + column;
        if (at + w > picture_.geometry.paddedSize) break;
        for (int i = 0; i < w; ++i) {
            fresh.luminance[a][i] = picture_.planes.luminancePlane[at + i];
            fresh.carry[a][i] = static_cast<std::int16_t>(picture_.planes.lumaDither[at + i] >> 6);
        }
    }

    // Height 8 has one position, r = 0 and s = 0, and any winner there ends the search: it is decided
    // row by row, stopping at the first pixel that fails, before every other position is scored at once.
    if (top + 8 <= height) {
        bool matched = false;
        std::int32_t bestScore = 0;
        int bestSource = -1;
        for (const Source& source : sources_) {
            std::int32_t total = 0;
            if (!wholeBlockScore(source, total)) continue;
            if (!matched || std::abs(total) < std::abs(bestScore)) {
                matched = true;
                bestScore = total;
                bestSource = source.slot;
                if (total == 0) break;
            }
        }
        const double value = std::abs(bestScore) / static_cast<double>(8 * w);
        if (matched && value <= kBlockTolerance) return BlockMatch{true, 8, 0, 0, bestSource, bestScore, value};
    }

    // Which diagonals pass in at least one source, for every height and sub-row: most positions are
    // then passed over at a glance.
    std::int16_t anyPasses[kRowChoices][kDiagonals] = {};
    for (int si = 0; si < sourceCount; ++si) {
        DiagonalSums& sums = diagonals_[si];
        if (w == 8) {
            scoreRows<8>(sources_[si], fresh, sums);
        } else {
            scoreRows<4>(sources_[si], fresh, sums);
        }
        int rows = 0;
        for (int P = 7; P >= 4; --P) {
            for (int r = 0; r + P <= 8; ++r, ++rows) {
                for (int t = 0; t < kDiagonals; ++t)
                    anyPasses[rows][t] = static_cast<std::int16_t>(anyPasses[rows][t] |
                                                                    (sums.failures[r + P][t] == sums.failures[r][t]));
            }
        }
    }

    BlockMatch best;
    for (const BlockPosition& position : kPositionsBelowEight) {
        const int P = position.height, r = position.subRow, s = position.shift;
        if (anyPasses[position.rows][s - r + 14] && top + s >= 0 && top + s + P <= height) {
            bool matched = false;
            std::int32_t bestScore = 0;
            int bestSource = -1;
            const int t = s - r + 14;
            for (int si = 0; si < sourceCount; ++si) {
                const DiagonalSums& sums = diagonals_[si];
                if (sums.failures[r + P][t] != sums.failures[r][t]) continue;
                const std::int32_t total = sums.sum[r + P][t] - sums.sum[r][t];
                if (!matched || std::abs(total) < std::abs(bestScore)) {
                    matched = true;
                    bestScore = total;
                    bestSource = sources_[si].slot;
                    if (total == 0) break;
                }
            }
            if (matched) {
                const double value = std::abs(bestScore) / static_cast<double>(P * w);
                if (value <= kBlockTolerance && (!best.found || value < best.value))
                    best = BlockMatch{true, P, r, s, bestSource, bestScore, value};
                if (best.found && best.score == 0) return best;  // nothing can beat a perfect match
            }
        }
        if (position.lastOfHeight && best.found) return best;
    }
    return best;
}

// ---- the conversion ---------------------------------------------------------------------------------------

namespace {

class ReferenceConverter {
public:
    ReferenceConverter(FrameStore& store, VicPicture& picture, int referenceSlot)
        : store_(store), picture_(picture), working_(store.workingSlot()), referenceSlot_(referenceSlot) {}

    QuantStats run() {
        prepare();
        alignRoles();
        picture_.fillColourArrays();
        BlockSearch search(store_, picture_, referenceSlot_);
        for (int top = 0; top < picture_.geometry.height; top += 8) convertCardRow(search, top);
        return complete();
    }

private:
    bool colour() const { return picture_.monochrome == 0; }
    std::int32_t index(int row, int column) const { return row * picture_.geometry.paddedWidth + column; }

    // Clears the new picture's carries and puts the reference frame into the working slot.
    void prepare() {
        const FrameSlot& reference = store_.slot(referenceSlot_);
        const bool copy = usableSource(reference, picture_);
        const bool copyColour = copy && colour() && reference.planes.huePlane && reference.planes.saturationPlane &&
                                working_.planes.huePlane && working_.planes.saturationPlane;
        for (int y = picture_.geometry.height - 1; y >= 0; --y) {
            for (int x = picture_.geometry.width - 1; x >= 0; --x) {
                const std::int32_t i = index(y, x);
                picture_.planes.lumaDither[i] = 0;
                if (colour()) {
                    picture_.planes.hueDither[i] = 0;
                    picture_.planes.saturationDither[i] = 0;
                }
                if (copy) {
                    working_.planes.luminancePlane[i] = reference.planes.luminancePlane[i];
                    working_.planes.lumaDither[i] = reference.planes.lumaDither[i];
                }
                if (copyColour) {
                    working_.planes.huePlane[i] = reference.planes.huePlane[i];
                    working_.planes.saturationPlane[i] = reference.planes.saturationPlane[i];
                }
            }
        }
        if (copy) std::copy(std::begin(reference.colours.roleColours), std::end(reference.colours.roleColours),
                            working_.colours.roleColours);
    }

    // Keeps the reference's colour in the same role wherever the new picture uses that colour at all.
    void alignRoles() {
        std::int32_t* colours = picture_.colours.roleColours;
        const int roles = std::clamp(picture_.geometry.roleCount, 0, 4);
        for (int i = 0; i < roles; ++i) {
            const std::int32_t wanted = working_.colours.roleColours[i];
            if (isPinned(picture_, i) || colours[i] == wanted) continue;
            int j = 0;
            while (j < roles && colours[j] != wanted) ++j;
            if (j == roles || isPinned(picture_, j)) continue;
            colours[j] = colours[i];
            colours[i] = wanted;
        }
    }

    void convertCardRow(BlockSearch& search, int top) {
        const int w = picture_.geometry.cardWidth;
        pendingEnd_ = picture_.geometry.width;
        for (int x = picture_.geometry.paddedWidth - w; x >= 0; x -= w) {
            const BlockMatch match = search.find(top, x);
            if (match.found) takeOver(match, top, x);
        }
        if (pendingEnd_ > 0) {
            quantise({.columns = {0, pendingEnd_},
                      .rows = {top, top + 8},
                      .open = {.left = false, .right = false, .bottom = true},
                      .scan = DitherRegion::Scan::RightToLeft});
        }
    }

    // Takes a matched block over from its source frame: the block's rows get the source's roles, each row's
    // error is carried to the pixels beside the block, and what is carried above and below it is spread
    // along the rows there, which are dithered again (the card rows above and below the block within the
    // card row, and the pending pixels to the right).
    void takeOver(const BlockMatch& match, int cardTop, int x) {
        const int w = picture_.geometry.cardWidth;
        const int rows = match.height, subRow = match.subRow, shift = match.shift;
        const FrameSlot& source = BlockSearch::sourceOf(store_, referenceSlot_, match.source);
        const bool fromWorking = match.source == referenceSlot_;
        const bool rightPending = x + w < pendingEnd_;
        std::int16_t* dither = picture_.planes.lumaDither.get();

        std::int32_t upward = 0;    // the share of the first row's error for the rows above the block
        std::int32_t downward = 0;  // the error carried to the row below the block
        for (int k = 0; k < rows; ++k) {
            const int row = cardTop + subRow + k;
            const std::int16_t rowError = takeRow(source, fromWorking, row, cardTop + shift + k, x);

            loss_ += 8.0 * rowError;
            std::int32_t carried = 24 * rowError;  // the row's error as a carry, limited to 16 bits
            if (carried > 32767) {
                loss_ += (carried - 32767) / 3.0;
                carried = 32767;
            } else if (carried < -32768) {
                loss_ += (carried + 32768) / 3.0;
                carried = -32768;
            }
            if (k == 0 && subRow > 0) {
                upward = carried / 2;
                carried -= upward;
            }
            const std::int32_t sideways = carried / 16 * 9;
            downward += carried - sideways;
            const std::int16_t eachSide = static_cast<std::int16_t>(sideways / 2);
            if (rightPending) dither[index(row, x + w)] = eachSide;
            else loss_ += eachSide;
            if (x > 0) dither[index(row, x - 1)] = eachSide;
            else loss_ += eachSide;
        }

        copyBlockIntoWorking(source, fromWorking, cardTop + subRow, cardTop + shift, rows, x);

        if (subRow > 0) {
            const std::int32_t perPixelAbove = upward / 28;
            spreadAlongRow(cardTop + subRow - 1, x, perPixelAbove, x > 0, rightPending);
            quantise({.columns = {x, x + w},
                      .rows = {cardTop, cardTop + subRow},
                      .open = {.left = true, .right = rightPending, .bottom = false},
                      .scan = DitherRegion::Scan::LeftToRight});
        }

        const int blockEnd = subRow + rows;  // the first row below the block, counted from the card's top
        if (cardTop + blockEnd < picture_.geometry.height) {
            loss_ += downward - downward / rows;
            const std::int32_t perPixelBelow = downward / rows / 28;
            const bool right = (x + w < picture_.geometry.paddedWidth && blockEnd > 7) || rightPending;
            spreadAlongRow(cardTop + blockEnd, x, perPixelBelow, x > 0, right);
        }
        if (blockEnd < 8) {
            quantise({.columns = {x, x + w},
                      .rows = {cardTop + blockEnd, cardTop + 8},
                      .open = {.left = true, .right = rightPending, .bottom = true},
                      .scan = DitherRegion::Scan::LeftToRight});
        }
        if (cardTop + blockEnd >= picture_.geometry.height) loss_ += downward;

        copied_ += w * rows;
        if (rightPending) {
            quantise({.columns = {x + w, pendingEnd_},
                      .rows = {cardTop, cardTop + 8},
                      .open = {.left = false, .right = false, .bottom = true},
                      .scan = DitherRegion::Scan::LeftToRight});
        }
        pendingEnd_ = x;
    }

    // Takes one block row's roles from the source, right to left, and returns the row's error against the
    // new picture's luminance and carries.
    std::int16_t takeRow(const FrameSlot& source, bool fromWorking, int row, int sourceRow, int x) {
        std::int16_t e = 0;
        for (int i = picture_.geometry.cardWidth - 1; i >= 0; --i) {
            const std::int32_t n = index(row, x + i);
            const std::int32_t o = index(sourceRow, x + i);
            e = static_cast<std::int16_t>(e + picture_.planes.luminancePlane[n] + (picture_.planes.lumaDither[n] >> 6));
            const std::int16_t role = source.planes.lumaDither[o];
            picture_.planes.lumaDither[n] = role;
            e = static_cast<std::int16_t>(e - paletteLuminance(picture_.colours.roleColours[role & 3]));
            if (!fromWorking) working_.planes.luminancePlane[n] = source.planes.luminancePlane[o];
        }
        return e;
    }

    // The working slot shows the source block in the new block's rows. Moving rows within the working
    // slot goes in the direction that never overwrites a row still to be read.
    void copyBlockIntoWorking(const FrameSlot& source, bool fromWorking, int firstRow, int firstSourceRow,
                              int rows, int x) {
        if (fromWorking && firstRow == firstSourceRow) return;
        const int w = picture_.geometry.cardWidth;
        auto copyRow = [&](int K) {
            const std::int32_t n = index(firstRow + K, x);
            const std::int32_t o = index(firstSourceRow + K, x);
            std::copy_n(source.planes.luminancePlane.get() + o, w, working_.planes.luminancePlane.get() + n);
            std::copy_n(source.planes.lumaDither.get() + o, w, working_.planes.lumaDither.get() + n);
        };
        if (fromWorking && firstSourceRow < firstRow) {
            for (int K = rows - 1; K >= 0; --K) copyRow(K);
        } else {
            for (int K = 0; K < rows; ++K) copyRow(K);
        }
    }

    // Adds a carry to a row next to the block: once to each side neighbour (or to the loss when it is not
    // to be quantised), 6 times to the block's outer pixels and 7 times to its inner ones.
    void spreadAlongRow(int row, int x, std::int32_t amount, bool left, bool right) {
        const int w = picture_.geometry.cardWidth;
        std::int16_t* dither = picture_.planes.lumaDither.get();
        if (left) addSaturated(dither[index(row, x - 1)], amount);
        else loss_ += amount;
        if (right) addSaturated(dither[index(row, x + w)], amount);
        else loss_ += amount;
        for (int i = 0; i < w; ++i)
            addSaturated(dither[index(row, x + i)], (i == 0 || i == w - 1) ? 6 * amount : 7 * amount);
    }

    void quantise(const DitherRegion& region) {
        const QuantStats part = picture_.quantiseRegion(region, &working_);
        sums_.pixelCount += part.pixelCount;
        sums_.lumaErrorSum += part.lumaErrorSum;
        sums_.lumaAbsErrorSum += part.lumaAbsErrorSum;
        sums_.lumaSqErrorSum += part.lumaSqErrorSum;
        sums_.lostLuma += part.lostLuma;
    }

    QuantStats complete() {
        QuantStats result;
        result.pixelCount = sums_.pixelCount;
        result.lumaErrorSum = sums_.lumaErrorSum;
        result.lumaAbsErrorSum = sums_.lumaAbsErrorSum;
        result.lumaSqErrorSum = sums_.lumaSqErrorSum;
        result.lostLuma = (sums_.lostLuma + loss_) * 0.015625;
        result.copiedPixels = copied_ > 0 ? copied_ : 1;
        result.monochrome = picture_.monochrome;
        result.edgeCount = picture_.geometry.width + 2 * picture_.geometry.height - 2;

        const std::int32_t cards = std::int32_t{picture_.geometry.widthInCards} * picture_.geometry.heightInCards;
        const CardColours& from = picture_.cardColours;
        CardColours& to = working_.cardColours;
        if ((working_.geometry.colourArrays & 2) && from.colourMatrix && to.colourMatrix)
            std::copy_n(from.colourMatrix.get(), cards, to.colourMatrix.get());
        if ((working_.geometry.colourArrays & 1) && from.colourRam && to.colourRam)
            std::copy_n(from.colourRam.get(), cards, to.colourRam.get());
        std::copy(std::begin(picture_.colours.roleColours), std::end(picture_.colours.roleColours),
                  working_.colours.roleColours);
        working_.firstFrameLoaded = 1;
        working_.drained = 0;
        return result;
    }

    FrameStore& store_;
    VicPicture& picture_;
    FrameSlot& working_;
    const int referenceSlot_;  // the ring slot whose screen the picture is converted against
    int pendingEnd_ = 0;    // card columns from here on are converted; those left of it still wait
    QuantStats sums_;       // summed over the ordinary dithering calls
    double loss_ = 0;       // error of the taken-over blocks not passed on, 1/32 steps
    std::int32_t copied_ = 0;
};

// Everything the conversion touches exists and has the picture's shape.
bool readyToConvert(FrameStore& store, const VicPicture& picture, int k) {
    if (k < 0 || k >= store.ringSize()) return false;
    const FrameSlot& working = store.workingSlot();
    if (!picture.planes.luminancePlane || !picture.planes.lumaDither) return false;
    if (picture.monochrome == 0 && (!picture.planes.hueDither || !picture.planes.saturationDither)) return false;
    if (!working.planes.luminancePlane || !working.planes.lumaDither || !sameGeometry(working, picture)) return false;
    const PictureGeometry& g = picture.geometry;
    if (g.cardWidth != 4 && g.cardWidth != 8) return false;
    if (g.paddedWidth % g.cardWidth != 0 || g.paddedHeight % 8 != 0) return false;
    return g.height <= g.paddedHeight && g.width <= g.paddedWidth;
}

}  // namespace

QuantStats convertWithReference(FrameStore& store, VicPicture& picture, int referenceSlot) {
    if (!readyToConvert(store, picture, referenceSlot)) return QuantStats{};
    return ReferenceConverter(store, picture, referenceSlot).run();
}

}  // namespace zov
