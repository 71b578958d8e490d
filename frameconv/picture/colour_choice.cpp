// The choice of a picture's role colours from the 16-colour palette. Censuses sort the pixels into grey
// classes and hue sectors; the sectors are reduced and merged until their colours fit the roles, the
// colours are picked greedily by the pixels each would take over, and greys fill what is left.
#include "common/console/console.h"
#include "frameconv/picture/colour_conversion.h"
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

namespace zov {
namespace {

// Hue sectors 0-5 go round the colour circle; orange sits apart; the last one holds the uncoloured pixels.
enum Sector : int {
    kRedSector = 0,
    kYellowSector,
    kGreenSector,
    kCyanSector,
    kBlueSector,
    kPurpleSector,
    kOrangeSector,
    kGreySector,
};
constexpr int kCircleSectors = 6;
constexpr int kColourSectors = 7;
constexpr int kSectorCount = 8;

// Grey classes, in the order of the grey shares.
enum GreyClass : int { kBlackShare = 0, kDarkGreyShare, kMidGreyShare, kLightGreyShare, kWhiteShare };
constexpr int kGreys[5] = {kBlack, kDarkGrey, kMidGrey, kLightGrey, kWhite};

// The light colour of each sector of the circle.
constexpr int kLightColourOf[kCircleSectors] = {kLightRed, kYellow, kLightGreen, kCyan, kLightBlue, kPurple};

constexpr int kHueCandidates[8] = {kRed, kYellow, kGreen, kCyan, kBlue, kPurple, kOrange, kBlack};
constexpr int kOrangeSplitCandidates[5] = {kBrown, kOrange, kRed, kYellow, kMidGrey};

// Colour triads tried when the hues must share too few roles.
struct Triad {
    std::int32_t selection;  // the triad selection recorded for it
    int colours[3];
    int firstSector;  // its sectors are this one and every second one after it
};
constexpr Triad kDarkTriad{256, {kRed, kGreen, kBlue}, kRedSector};
constexpr Triad kLightTriad{0, {kLightRed, kLightGreen, kLightBlue}, kRedSector};
constexpr Triad kSecondaryTriad{1, {kYellow, kCyan, kPurple}, kYellowSector};

int sectorOf(int colour) {
    switch (colour) {
        case kRed:
        case kLightRed: return kRedSector;
        case kYellow:
        case kBrown: return kYellowSector;
        case kGreen:
        case kLightGreen: return kGreenSector;
        case kCyan: return kCyanSector;
        case kBlue:
        case kLightBlue: return kBlueSector;
        case kPurple: return kPurpleSector;
        case kOrange: return kOrangeSector;
        default: return kGreySector;
    }
}

// A position on the circle of six hue sectors.
int onCircle(int sector) { return ((sector % kCircleSectors) + kCircleSectors) % kCircleSectors; }

std::int32_t quarterRoundingUp(std::int32_t score) { return score / 4 + (score % 4 != 0 ? 1 : 0); }
std::int32_t halfRoundingUp(std::int32_t score) { return score / 2 + score % 2; }

// The colours chosen so far, in role order to be.
class PaletteList {
public:
    static constexpr int kCapacity = 32;

    int size() const { return size_; }
    const int* data() const { return entries_; }
    int operator[](int position) const { return entries_[position]; }
    bool contains(int colour) const { return std::find(entries_, entries_ + size_, colour) != entries_ + size_; }
    void append(int colour) {
        if (size_ < kCapacity) entries_[size_++] = colour;
    }
    void truncate(int size) { size_ = std::min(size_, size); }
    // Takes the first entry of the colour out and puts it at the position, the others keeping their order.
    void move(int colour, int position) {
        int from = static_cast<int>(std::find(entries_, entries_ + size_, colour) - entries_);
        if (from == size_) return;
        std::copy(entries_ + from + 1, entries_ + size_, entries_ + from);
        position = std::clamp(position, 0, size_ - 1);
        std::copy_backward(entries_ + position, entries_ + size_ - 1, entries_ + size_);
        entries_[position] = colour;
    }

private:
    int entries_[kCapacity] = {};
    int size_ = 0;
};

class ColourChooser {
public:
    explicit ColourChooser(VicPicture& picture)
        : picture_(picture), analysis_(picture.analysis), counts_(analysis_.hueCounts), shares_(analysis_.greyShares) {}

    void run() {
        clearAnalysis();
        takePinnedColours();
        takeGreyCensus();
        decideGreyWishes();
        takeHueCensus();
        weightGreySharesByUncolouredPixels();
        countLiveSectors();
        reduceSmallSectors();
        chooseBetweenBlackAndWhite();
        countColoursNeeded();
        splitOrange();
        settleWarmPicture();
        fitTooManyColours();
        addWantedGreys();
        fillGreedily();
        fillUpWithGreys();
        movePinsToTheirRoles();
        assignRoleColours();
    }

private:
    // ---- state helpers --------------------------------------------------------------------------------

    bool covered(int sector) const { return coverage_[sector] > 0; }
    bool live(int sector) const { return counts_[sector] != 0 || covered(sector); }
    bool used(int colour) const { return used_[colour]; }
    bool multicolour() const { return roles_ == 4; }
    bool colourPicture() const { return !picture_.monochrome; }
    int coloursTooMany() const { return needed_ - roles_; }

    void addColour(int colour, int sector) {
        list_.append(colour);
        used_[colour] = true;
        ++coverage_[sector];
    }
    void addColour(int colour) { addColour(colour, sectorOf(colour)); }

    // Light wish: White is wanted or an unused LGray is wanted, while White is not in the palette.
    bool lightWish() const {
        return (analysis_.whiteWanted || (analysis_.lightGreyWanted && !used(kLightGrey))) && !used(kWhite);
    }

    // The colours that the grey wishes still add to the palette.
    int greyWishesNeeded() const {
        return (analysis_.blackWanted && !used(kBlack)) + (analysis_.whiteWanted && !used(kWhite)) +
               (analysis_.lightGreyWanted && !used(kLightGrey) && !used(kWhite) && !analysis_.whiteWanted);
    }

    // Sets a sector's count; an uncovered sector that empties or fills stops or starts being live, and
    // needing a colour when the needed count follows it.
    void setSectorCount(int sector, std::int32_t count, bool neededFollows) {
        if (!covered(sector)) {
            const int change = (count != 0) - (counts_[sector] != 0);
            live_ += change;
            if (neededFollows) needed_ += change;
        }
        counts_[sector] = count;
    }

    std::int32_t perPixelShare(std::int64_t pixels) const {
        const std::uint32_t per256 = std::max<std::uint32_t>(picture_.geometry.pixelCount / 256, 1);
        return static_cast<std::int32_t>(pixels / per256);
    }

    // Pixels that the candidate would take over from the current palette (MGray stands in for an empty one).
    std::int32_t pixelsTakenOver(int candidate, bool carrying) {
        const int midGrey[1] = {kMidGrey};
        const bool empty = list_.size() == 0;
        CensusWeights weights = CensusWeights::lumaAndChroma(chromaScale_);
        weights.carryChroma = carrying;
        return picture_
            .paletteCensus(candidate, empty ? midGrey : list_.data(), nullptr, empty ? 1 : list_.size(), weights)
            .unmatchedCount;
    }

    // ---- the steps, in order --------------------------------------------------------------------------

    void clearAnalysis() {
        std::fill(std::begin(analysis_.greyShares), std::end(analysis_.greyShares), 0);
        std::fill(std::begin(analysis_.greyScores), std::end(analysis_.greyScores), 0.0);
        analysis_.blackWanted = analysis_.whiteWanted = analysis_.lightGreyWanted = 0;
        analysis_.paletteError = 0;
        std::fill(std::begin(analysis_.hueCounts), std::end(analysis_.hueCounts), 0);
        analysis_.pairSelection = -1;
        analysis_.triadSelection = -1;
    }

    // The leading occupied pin slots, sorted by role, go first into the palette.
    void takePinnedColours() {
        roles_ = picture_.geometry.cardWidth == 8 ? 2 : 4;
        picture_.geometry.roleCount = roles_;
        int pins = 0;
        while (pins < 4 && picture_.colours.pinnedRoles[pins] >= 0 && picture_.colours.pinnedColours[pins] >= 0 &&
               picture_.colours.pinnedColours[pins] < kNoColour) {
            ++pins;
        }
        for (int i = 1; i < pins; ++i) {
            for (int j = i; j > 0 && picture_.colours.pinnedRoles[j - 1] > picture_.colours.pinnedRoles[j]; --j) {
                std::swap(picture_.colours.pinnedRoles[j - 1], picture_.colours.pinnedRoles[j]);
                std::swap(picture_.colours.pinnedColours[j - 1], picture_.colours.pinnedColours[j]);
            }
        }
        picture_.colours.pinnedCount = pins;
        for (int i = 0; i < pins; ++i) {
            addColour(picture_.colours.pinnedColours[i]);
            const int role = picture_.colours.pinnedRoles[i];
            const int roleBit = role == 1 ? 2 : role == 2 ? 1 : role == 3 ? 4 : 0;
            picture_.colours.freeRoleMask &= ~roleBit;
        }
    }

    void takeGreyCensus() {
        std::int32_t greyCounts[5];
        picture_.paletteCensus(kBlack, kGreys, greyCounts, 5, CensusWeights::lumaOnly(1.0));
        for (int k = 0; k < 5; ++k) shares_[k] = perPixelShare(greyCounts[k]);
    }

    void decideGreyWishes() {
        analysis_.blackWanted = shares_[kBlackShare] >= 25;
        if (shares_[kWhiteShare] >= 38) {
            // How much stays white when the picture is darkened a little decides between White and LGray.
            const CensusResult stayWhite =
                picture_.paletteCensus(kWhite, kGreys, nullptr, 5, CensusWeights::lumaOnly(0.95));
            if (perPixelShare(stayWhite.unmatchedCount) >= 38) {
                analysis_.whiteWanted = 1;
            } else {
                analysis_.lightGreyWanted = 1;
            }
        } else if (shares_[kWhiteShare] + shares_[kLightGreyShare] >= 25) {
            analysis_.lightGreyWanted = 1;
        }
    }

    int nonEmptyColourSectors() const {
        int nonEmpty = 0;
        for (int s = 0; s < kColourSectors; ++s) nonEmpty += counts_[s] != 0;
        return nonEmpty;
    }

    // Weak colours are looked for again with a stronger chroma scale, kept for every later census.
    void takeHueCensus() {
        chromaScale_ = picture_.settings.kpaWeight;
        picture_.paletteCensus(kBlack, kHueCandidates, counts_, 8, CensusWeights::chromaOnly(chromaScale_));
        const int nonEmpty = nonEmptyColourSectors();
        if (colourPicture() && picture_.colours.pinnedCount < roles_ && nonEmpty < 2) {
            chromaScale_ = nonEmpty == 0 && multicolour() ? picture_.settings.kpzWeight : picture_.settings.kpyWeight;
            picture_.paletteCensus(kBlack, kHueCandidates, counts_, 8, CensusWeights::chromaOnly(chromaScale_));
        }
    }

    void weightGreySharesByUncolouredPixels() {
        const double uncolouredShare =
            picture_.geometry.pixelCount == 0 ? 0.0
                                     : static_cast<double>(counts_[kGreySector]) / picture_.geometry.pixelCount;
        for (int k = 0; k < 5; ++k) shares_[k] = truncateSaturating(shares_[k] * uncolouredShare);
    }

    void countLiveSectors() {
        live_ = 0;
        for (int s = 0; s < kColourSectors; ++s) live_ += live(s);
    }

    // A sector far smaller than the largest is not worth a colour.
    void reduceSmallSectors() {
        while (live_ >= 2) {
            std::int32_t largest = 0, smallest = 0;
            for (int s = 0; s < kColourSectors; ++s) {
                if (counts_[s] == 0) continue;
                largest = std::max(largest, counts_[s]);
                smallest = smallest == 0 ? counts_[s] : std::min(smallest, counts_[s]);
            }
            if (smallest == 0 || largest / smallest < 40) return;
            for (int s = kOrangeSector; s >= kRedSector; --s) {
                if (covered(s)) return;
                if (counts_[s] == 0) continue;
                counts_[s] -= smallest;
                if (counts_[s] == 0) --live_;
            }
        }
    }

    void chooseBetweenBlackAndWhite() {
        const bool black = analysis_.blackWanted || used(kBlack);
        const bool white = analysis_.whiteWanted || used(kWhite);
        if (!black || !white || live_ <= roles_ - 2 || shares_[kBlackShare] + shares_[kWhiteShare] > 128) return;
        if (2 * shares_[kBlackShare] < shares_[kWhiteShare]) {
            analysis_.blackWanted = 0;
        } else if (!used(kWhite)) {
            analysis_.whiteWanted = 0;
            analysis_.lightGreyWanted = 1;
        }
    }

    void countColoursNeeded() {
        needed_ = picture_.colours.pinnedCount + greyWishesNeeded();
        for (int s = 0; s < kColourSectors; ++s) needed_ += counts_[s] != 0 && !covered(s);
    }

    // Orange pixels are told apart from brown, red and yellow ones; brown goes half to orange, half to yellow.
    void splitOrange() {
        if (counts_[kOrangeSector] == 0) return;
        std::int32_t split[5];
        picture_.paletteCensus(kMidGrey, kOrangeSplitCandidates, split, 5, CensusWeights::chromaOnly(chromaScale_));
        const std::int32_t brown = split[0];
        setSectorCount(kRedSector, split[2], true);
        setSectorCount(kYellowSector, split[3] + (brown - brown / 2), true);
        setSectorCount(kOrangeSector, split[1] + brown / 2, true);
    }

    // A multicolour picture of warm hues on one side of the grey scale gets a mid grey as well.
    void settleWarmPicture() {
        const bool darkSide = analysis_.blackWanted || used(kBlack);
        const bool lightSide =
            analysis_.whiteWanted || analysis_.lightGreyWanted || used(kWhite) || used(kLightGrey);
        bool coolHues = false;
        for (int s = kGreenSector; s <= kPurpleSector; ++s) coolHues = coolHues || counts_[s] != 0 || covered(s);
        const bool warm = multicolour() && colourPicture() && needed_ <= roles_ &&
                          counts_[kOrangeSector] != 0 && !used(kOrange) && !coolHues && darkSide != lightSide;
        if (warm) {
            if (needed_ == roles_) {
                // Orange's colour goes to the grey instead.
                const std::int32_t orange = counts_[kOrangeSector];
                setSectorCount(kRedSector, counts_[kRedSector] + (orange - orange / 2), false);
                setSectorCount(kYellowSector, counts_[kYellowSector] + orange / 2, false);
                setSectorCount(kOrangeSector, 0, false);
            } else {
                ++needed_;
            }
            const int grey = darkSide ? kMidGrey : kDarkGrey;
            if (!used(grey)) {
                addColour(grey);
            } else if (darkSide) {
                analysis_.lightGreyWanted = 1;
            } else {
                analysis_.blackWanted = 1;
            }
        }
        orangeFlag_ = counts_[kOrangeSector] != 0 && !used(kOrange);
    }

    // ---- too many colours -----------------------------------------------------------------------------

    void fitTooManyColours() {
        if (!colourPicture() || needed_ <= roles_ || list_.size() >= roles_ || live_ <= 1) return;
        mergeOrange();
        settleMiddleSector();
        addOppositePair();
        relaxGreyWishes();
        if (!dropSmallestSectors()) {
            const std::int32_t orange = counts_[kOrangeSector];
            counts_[kRedSector] += orange - orange / 2;
            counts_[kYellowSector] += orange - orange / 2;
            counts_[kOrangeSector] = 0;
            chooseTriad();
        }
    }

    // Red into purple (yellow into green) when that neighbour is live, the rest of it into orange.
    void dissolveIntoOuterNeighbour(int sector) {
        const int outer = sector == kRedSector ? kPurpleSector : kGreenSector;
        const std::int32_t count = counts_[sector];
        if (live(outer)) {
            counts_[outer] += count / 2;
            counts_[kOrangeSector] += count - count / 2;
        } else {
            counts_[kOrangeSector] += count;
        }
        counts_[sector] = 0;
        --live_;
        --needed_;
    }

    void splitOrangeIntoRedAndYellow() {
        const std::int32_t orange = counts_[kOrangeSector];
        counts_[kRedSector] += orange / 2;
        counts_[kYellowSector] += orange - orange / 2;
        counts_[kOrangeSector] = 0;
        --live_;
        --needed_;
    }

    // The single live one of red and yellow goes to its outer neighbour and orange, or orange is shared out
    // between the two.
    void farMerge(int sector) {
        const int outer = sector == kRedSector ? kPurpleSector : kGreenSector;
        const int other = sector == kRedSector ? kYellowSector : kRedSector;
        const std::int64_t orange = counts_[kOrangeSector], outerCount = counts_[outer], count = counts_[sector];
        if (!covered(sector) && outerCount != 0 && orange + outerCount >= 2 * count) {
            counts_[outer] += counts_[sector] / 2;
            counts_[kOrangeSector] += counts_[sector] - counts_[sector] / 2;
            counts_[sector] = 0;
            --live_;
            --needed_;
        } else {
            counts_[sector] += counts_[kOrangeSector] / 2;
            counts_[other] += counts_[kOrangeSector] - counts_[kOrangeSector] / 2;
            counts_[kOrangeSector] = 0;
        }
    }

    void mergeOrange() {
        const bool redLive = live(kRedSector), yellowLive = live(kYellowSector);
        if (!orangeFlag_ || (!redLive && !yellowLive)) return;
        const std::int64_t red = counts_[kRedSector], yellow = counts_[kYellowSector],
                           orange = counts_[kOrangeSector], green = counts_[kGreenSector],
                           purple = counts_[kPurpleSector];
        const bool redCovered = covered(kRedSector), yellowCovered = covered(kYellowSector);
        const int tooMany = coloursTooMany();
        if (redLive && yellowLive && !redCovered && !yellowCovered && tooMany == 2 &&
            (red + yellow) * 5 / 2 < orange) {
            counts_[kOrangeSector] += counts_[kRedSector] + counts_[kYellowSector];
            counts_[kRedSector] = counts_[kYellowSector] = 0;
            live_ -= 2;
            needed_ -= 2;
        } else if (tooMany == 1 && redLive && yellowLive) {
            if (red + yellow >= orange) {
                splitOrangeIntoRedAndYellow();
            } else if (redCovered || red >= yellow) {
                if (yellowCovered || red < yellow) {
                    splitOrangeIntoRedAndYellow();
                } else {
                    dissolveIntoOuterNeighbour(kYellowSector);
                }
            } else {
                dissolveIntoOuterNeighbour(kRedSector);
            }
        } else if (tooMany == 1 && yellowLive && !redLive && !yellowCovered) {
            if (orange + green < yellow) {
                farMerge(kYellowSector);
            } else {
                dissolveIntoOuterNeighbour(kYellowSector);
            }
        } else if (tooMany == 1 && redLive && !yellowLive && !redCovered) {
            if (red >= orange + purple) {
                farMerge(kRedSector);
            } else {
                dissolveIntoOuterNeighbour(kRedSector);
            }
        } else if (redLive && yellowLive) {
            splitOrangeIntoRedAndYellow();
        } else {
            farMerge(redLive ? kRedSector : kYellowSector);
        }
        orangeFlag_ = false;
    }

    // The first run of three live sectors on the circle whose outer neighbours are both not live, or -1.
    int firstIsolatedRunOfThree() const {
        for (int s = 0; s < kCircleSectors; ++s) {
            if (live(s) && live(onCircle(s + 1)) && live(onCircle(s + 2)) && !live(onCircle(s + 5)) &&
                !live(onCircle(s + 3))) {
                return s;
            }
        }
        return -1;
    }

    // Gives a sector's count to two neighbours on the circle, half rounded up to one and half rounded down
    // to the other. A neighbour that was not live and now holds pixels becomes live.
    void dissolveSector(int sector, int roundedUpTo, int roundedDownTo) {
        const std::int32_t count = counts_[sector];
        counts_[sector] = 0;
        --live_;
        auto give = [&](int receiver, std::int32_t part) {
            if (part != 0 && !live(receiver)) ++live_;
            counts_[receiver] += part;
        };
        give(roundedUpTo, count - count / 2);
        give(roundedDownTo, count / 2);
    }

    void settleMiddleSector() {
        const int allowance = orangeFlag_ ? 2 : 1;
        if (live_ <= 2 || coloursTooMany() > allowance) return;
        const int first = firstIsolatedRunOfThree();
        if (first < 0) return;
        const int middle = onCircle(first + 1), last = onCircle(first + 2);
        if (lightWish() && live_ > 3 && std::int64_t{counts_[first]} + counts_[last] < counts_[middle]) {
            spreadMiddleSectorIntoTriad(first, middle, last);
        } else if (!covered(middle)) {
            const bool neededColour = counts_[middle] != 0;
            dissolveSector(middle, first, last);
            if (neededColour) --needed_;
        }
    }

    // The middle sector and the two opposite its neighbours carry the picture's hues in light colours.
    void spreadMiddleSectorIntoTriad(int first, int middle, int last) {
        const std::int32_t firstCount = counts_[first], lastCount = counts_[last];
        const std::int32_t lightHalf = (shares_[kWhiteShare] + shares_[kLightGreyShare]) / 2;
        counts_[middle] += firstCount + lastCount;
        analysis_.whiteWanted = analysis_.lightGreyWanted = 0;
        for (int step = 0; step < 3; ++step) {
            const int sector = onCircle(middle + 2 * step);
            if (!covered(sector)) addColour(kLightColourOf[sector]);
        }
        counts_[onCircle(middle + 2)] = lastCount + lightHalf;
        counts_[onCircle(middle + 4)] = firstCount + lightHalf;
        counts_[first] = counts_[last] = 0;
        counts_[kOrangeSector] = 0;
        orangeFlag_ = false;
        live_ = 3;
        needed_ = 3 + analysis_.blackWanted;
        analysis_.triadSelection = middle % 2;
    }

    bool axisComplete(int axis) const { return covered(axis) && covered(axis + 3); }

    // The sector of the first run of three live sectors (with the pair's sectors live) that gives way to the
    // pair: the run's end sector with the smaller count among those not covered; -1 when there is none.
    int sectorGivingWayToPair(int axis) const {
        auto liveWithPair = [&](int sector) { return live(sector) || sector == axis || sector == axis + 3; };
        for (int s = 0; s < kCircleSectors; ++s) {
            const int middle = onCircle(s + 1), last = onCircle(s + 2);
            if (!liveWithPair(s) || !liveWithPair(middle) || !liveWithPair(last)) continue;
            int chosen = -1;
            for (int end : {s, last}) {
                if (covered(end) || end == axis || end == axis + 3) continue;
                if (chosen < 0 || counts_[end] < counts_[chosen]) chosen = end;
            }
            return chosen;
        }
        return -1;
    }

    // Two opposite light colours stand in for the light greys.
    void addOppositePair() {
        if (needed_ == roles_ || !lightWish() || live_ <= 1) return;
        auto strength = [&](int axis) {
            return std::int64_t{counts_[axis]} + counts_[axis + 3] + coverage_[axis] + coverage_[axis + 3];
        };
        const int stronger = strength(kRedSector) >= strength(kYellowSector) ? kRedSector : kYellowSector;
        const int axis = axisComplete(stronger) ? 1 - stronger : stronger;
        if (axisComplete(axis)) return;

        const int opposite = axis + 3;
        const int liveWithPair = live_ + !live(axis) + !live(opposite);
        const int givingWay = liveWithPair == 4 ? sectorGivingWayToPair(axis) : -1;
        const int neededWithPair = needed_ + 2 - (givingWay >= 0) - analysis_.lightGreyWanted;
        if (neededWithPair > roles_) return;

        if (givingWay >= 0) dissolveSector(givingWay, onCircle(givingWay + 1), onCircle(givingWay - 1));
        live_ += !live(axis) + !live(opposite);
        const std::int32_t lightShares = shares_[kWhiteShare] + shares_[kLightGreyShare];
        for (int sector : {axis, opposite}) {
            if (!used(kLightColourOf[sector])) addColour(kLightColourOf[sector]);
            counts_[sector] += lightShares / 2;
        }
        analysis_.whiteWanted = analysis_.lightGreyWanted = 0;
        counts_[kGreySector] -= lightShares;
        shares_[kWhiteShare] = shares_[kLightGreyShare] = 0;
        needed_ = neededWithPair;
        analysis_.pairSelection = axis;
    }

    void relaxGreyWishes() {
        if (needed_ <= roles_) return;
        const int wishesBefore = greyWishesNeeded();
        if (analysis_.whiteWanted && shares_[kWhiteShare] < 64 && !used(kWhite)) {
            analysis_.whiteWanted = 0;
            analysis_.lightGreyWanted = 1;
        }
        needed_ += greyWishesNeeded() - wishesBefore;

        const int lightBefore = greyWishesNeeded();
        const bool dark = analysis_.blackWanted || used(kBlack);
        const std::int64_t light = std::int64_t{shares_[kWhiteShare]} + shares_[kLightGreyShare] +
                                   (dark ? shares_[kMidGreyShare] / 2 : 0);
        if (analysis_.lightGreyWanted && light <= 127) analysis_.lightGreyWanted = 0;
        needed_ += greyWishesNeeded() - lightBefore;

        const int blackBefore = greyWishesNeeded();
        if (analysis_.blackWanted && needed_ > roles_ &&
            std::int64_t{shares_[kMidGreyShare]} + shares_[kBlackShare] < 64) {
            analysis_.blackWanted = 0;
        }
        needed_ += greyWishesNeeded() - blackBefore;
    }

    // When the colours cannot fit, the smallest sectors are given up. Returns whether that happened.
    bool dropSmallestSectors() {
        int greysUsed = 0;
        for (int grey : kGreys) greysUsed += used(grey);
        const int greyWishes = analysis_.blackWanted + analysis_.whiteWanted + analysis_.lightGreyWanted;
        const int tooMany = coloursTooMany();
        if (tooMany <= 0 || (!covered(kOrangeSector) && live_ + greyWishes + greysUsed <= roles_)) return false;

        analysis_.paletteError = 1;
        const int candidates = greysUsed == 0 ? kSectorCount : kColourSectors;
        for (int dropped = 0; dropped < tooMany; ++dropped) {
            int smallest = -1;
            for (int s = 0; s < candidates; ++s) {
                if (counts_[s] == 0 || covered(s)) continue;
                if (smallest < 0 || counts_[s] < counts_[smallest]) smallest = s;
            }
            if (smallest < 0) break;
            counts_[smallest] = 0;
            if (smallest != kGreySector) {
                --live_;
                --needed_;
            }
        }
        return true;
    }

    // ---- triad ----------------------------------------------------------------------------------------

    double triadError(const Triad& triad, int reference) {
        CensusWeights weights = CensusWeights::lumaAndChroma(chromaScale_);
        weights.carryChroma = true;
        const CensusResult result = picture_.paletteCensus(reference, triad.colours, nullptr, 3, weights);
        return result.dxSqSum + result.dySqSum;
    }

    void chooseTriad() {
        const Triad* best = nullptr;
        double bestError = 0;
        auto consider = [&](const Triad& triad, int reference) {
            const double error = triadError(triad, reference);
            if (!best || error < bestError) {
                best = &triad;
                bestError = error;
            }
        };
        if (lightWish() || used(kLightGrey) || used(kWhite)) {
            consider(kDarkTriad, used(kLightGrey) ? kLightGrey : kWhite);
        }
        const int reference = used(kLightGrey)                            ? kLightGrey
                              : analysis_.whiteWanted || used(kWhite) ? kWhite
                                                                          : kBlack;
        consider(kLightTriad, reference);
        consider(kSecondaryTriad, reference);

        analysis_.triadSelection = best->selection;
        for (int colour : best->colours) {
            if (!used(colour)) addColour(colour);
        }
        gatherCountsIntoTriad(*best);
        settleGreysBesideTriad(*best);
        countLiveSectors();
    }

    void gatherCountsIntoTriad(const Triad& triad) {
        std::int64_t before[kCircleSectors];
        std::copy(counts_, counts_ + kCircleSectors, before);
        const std::int64_t whitePart = analysis_.whiteWanted ? 0 : shares_[kWhiteShare];
        for (int s = 0; s < kCircleSectors; ++s) counts_[s] = 0;
        for (int step = 0; step < 3; ++step) {
            const int s = triad.firstSector + 2 * step;
            const int rounding = s <= kYellowSector ? 1 : 0;
            const std::int64_t count = (whitePart + shares_[kLightGreyShare] + rounding) / 3 + before[s] +
                                       (before[onCircle(s - 1)] + before[onCircle(s + 1)] + rounding) / 2;
            counts_[s] = static_cast<std::int32_t>(std::min<std::int64_t>(count, INT32_MAX));
        }
    }

    void settleGreysBesideTriad(const Triad& triad) {
        const bool pins = picture_.colours.pinnedCount > 0;
        if (!lightWish()) {
            if (analysis_.blackWanted && pins && !used(kBlack)) {
                analysis_.paletteError = 1;
                analysis_.blackWanted = 0;
            }
            return;
        }
        if (analysis_.blackWanted || (pins && !used(kLightGrey) && !used(kWhite))) {
            analysis_.paletteError = 1;
            analysis_.whiteWanted = analysis_.lightGreyWanted = 0;
            const std::int32_t third = (shares_[kWhiteShare] + shares_[kLightGreyShare] + 2) / 3;
            for (int step = 0; step < 3; ++step) counts_[triad.firstSector + 2 * step] += third;
        }
    }

    // ---- completing the palette -----------------------------------------------------------------------

    void addWantedGreys() {
        if (analysis_.blackWanted && !used(kBlack)) addColour(kBlack);
        if (analysis_.whiteWanted && !used(kWhite)) addColour(kWhite);
        if (analysis_.lightGreyWanted && !used(kLightGrey) && !used(kWhite)) addColour(kLightGrey);
    }

    struct Proposal {
        int colour = -1;
        std::int32_t score = 0;
    };

    struct FillRound {
        bool widened;
        bool lightMark;  // W: light greys wanted, or a pair or triad chosen
        bool carrying;
    };

    // The sector's best candidate: the first unused one, replaced only by a strictly higher score.
    Proposal propose(int sector, const FillRound& round) {
        Proposal proposal;
        auto consider = [&](int colour, bool divideByFour, bool halveUp, bool halveDown) {
            if (used(colour)) return;
            std::int32_t score = pixelsTakenOver(colour, round.carrying);
            if (divideByFour) score = quarterRoundingUp(score);
            if (halveUp) score = halfRoundingUp(score);
            if (halveDown) score /= 2;
            if (proposal.colour < 0 || score > proposal.score) proposal = {colour, score};
        };
        const bool narrow = !round.widened;
        const bool orangePresent = used(kOrange) || counts_[kOrangeSector] != 0;
        switch (sector) {
            case kRedSector:
                consider(kRed, false, false, false);
                consider(kLightRed, false, false, false);
                if (narrow && counts_[kOrangeSector] == 0 && counts_[kYellowSector] == 0) {
                    consider(kOrange, false, false, false);
                }
                break;
            case kYellowSector:
                consider(kBrown, narrow && (used(kBlack) || !orangePresent), false, false);
                consider(kYellow, narrow && !orangePresent, false, false);
                if (narrow && !orangePresent) consider(kOrange, false, false, false);
                break;
            case kGreenSector:
                consider(kGreen, false, false, false);
                consider(kLightGreen, false, round.lightMark && narrow, false);
                break;
            case kCyanSector: consider(kCyan, false, false, false); break;
            case kBlueSector:
                consider(kLightBlue, false, false, false);
                consider(kBlue, used(kBlack) && narrow, false, false);
                break;
            case kPurpleSector: consider(kPurple, false, false, false); break;
            case kOrangeSector:
                consider(kOrange, false, false, false);
                if (narrow && counts_[kYellowSector] == 0) consider(kBrown, used(kBlack), false, false);
                break;
            default:
                consider(kBlack, false, false, false);
                consider(kDarkGrey, false, false, used(kBlack) && narrow);
                consider(kMidGrey, false, false, false);
                if (round.widened) {
                    consider(kLightGrey, false, false, false);
                    consider(kWhite, false, false, false);
                }
                break;
        }
        return proposal;
    }

    bool proposes(int sector, bool hueLive, bool widened) const {
        if (!hueLive) return sector == kGreySector || widened;
        if (sector == kGreySector) return false;
        return widened || (!covered(sector) && counts_[sector] != 0);
    }

    // Colours are added one per round, each the proposal that takes over the most pixels.
    void fillGreedily() {
        if (!colourPicture()) return;
        FillRound round;
        round.lightMark = analysis_.whiteWanted || analysis_.lightGreyWanted || analysis_.pairSelection >= 0 ||
                          analysis_.triadSelection >= 0;
        round.widened = false;
        const bool carryingAtStart =
            analysis_.pairSelection >= 0 || analysis_.triadSelection >= 0 || analysis_.paletteError;
        round.carrying = carryingAtStart;

        while (list_.size() < roles_) {
            const bool hueLive = live_ > 0;
            int winner = -1;
            Proposal best;
            for (int sector = 0; sector < kSectorCount; ++sector) {
                if (!proposes(sector, hueLive, round.widened)) continue;
                const Proposal proposal = propose(sector, round);
                if (proposal.colour >= 0 && proposal.score > best.score) {
                    best = proposal;
                    winner = sector;
                }
            }

            if (winner < 0) {
                if (!hueLive) {
                    fillWithCopies();
                    return;
                }
                if (round.carrying == carryingAtStart) {
                    round.carrying = !carryingAtStart;
                } else {
                    live_ = 0;
                    round.carrying = carryingAtStart;
                }
                continue;
            }

            const int position = list_.size();
            addColour(best.colour, winner);
            const bool positionMatchesUncoloured = position == counts_[kGreySector];
            if (winner == kGreySector) {
                round.widened = positionMatchesUncoloured;
                continue;
            }
            round.carrying = carryingAtStart;
            if (!hueLive) {
                round.widened = false;
            } else if (--live_ == 0 && list_.size() < roles_ && positionMatchesUncoloured) {
                round.widened = true;
            }
        }
    }

    void fillWithCopies() {
        if (list_.size() == 0) return;
        while (list_.size() < roles_) list_.append(list_[list_.size() - 1]);
    }

    // Greys not in the palette follow in the order of how well each alone (multicolour) or beside the first
    // colour (hi-res) carries the picture's luminance.
    void fillUpWithGreys() {
        while (list_.size() < roles_) {
            int order[5];
            double scores[5];
            int absent = 0;
            for (int k = 0; k < 5; ++k) {
                if (list_.contains(kGreys[k])) continue;
                const double score =
                    multicolour() ? std::fabs(picture_.meanError(kGreys[k], nullptr, 0))
                                  : std::fabs(picture_.meanError(kGreys[k], list_.data(), list_.size()));
                analysis_.greyScores[k] = score;
                scores[k] = score;
                order[absent++] = k;
            }
            if (absent == 0) return;
            std::stable_sort(order, order + absent, [&](int a, int b) { return scores[a] < scores[b]; });
            const int taken = multicolour() ? absent : 1;
            for (int i = 0; i < taken; ++i) list_.append(kGreys[order[i]]);
            list_.truncate(4);
        }
    }

    // From the highest role down, so that every pin ends at its own role's position.
    void movePinsToTheirRoles() {
        for (int i = picture_.colours.pinnedCount - 1; i >= 0; --i) {
            list_.move(picture_.colours.pinnedColours[i], picture_.colours.pinnedRoles[i]);
        }
    }

    void assignRoleColours() {
        for (int role = 0; role < roles_ && role < list_.size(); ++role)
            picture_.colours.roleColours[role] = list_[role];
    }

    VicPicture& picture_;
    ColourAnalysis& analysis_;  // what the choice finds, left in the picture
    std::int32_t* counts_;  // the picture's hue counts: sectors red .. purple, orange, uncoloured
    std::int32_t* shares_;  // the picture's grey shares
    int roles_ = 4;
    PaletteList list_;
    bool used_[kNoColour] = {};
    int coverage_[kSectorCount] = {};  // colours in the palette on behalf of each sector
    int live_ = 0;                     // live colour sectors
    int needed_ = 0;                   // colours the picture needs
    double chromaScale_ = 1.0;
    bool orangeFlag_ = false;  // orange pixels without Orange in the palette
};

bool allocateCardArray(std::unique_ptr<std::uint8_t[]>& array, std::size_t cards, const char* message) {
    if (array) return true;
    array.reset(new (std::nothrow) std::uint8_t[std::max<std::size_t>(cards, 1)]());
    if (array) return true;
    out() << message << eol;
    return false;
}

}  // namespace

int VicPicture::chooseColours() {
    // The planes stay as they are while the colours are chosen: its many censuses share their terms.
    struct CensusReuse {
        VicPicture& picture;
        explicit CensusReuse(VicPicture& p) : picture(p) { picture.beginCensusReuse(); }
        ~CensusReuse() { picture.endCensusReuse(); }
    };
    {
        const CensusReuse reuse(*this);
        ColourChooser(*this).run();
    }
    return prepareCardArrays();
}

ColourChoice VicPicture::colourChoice() const { return ColourChoice{analysis, colours, geometry.roleCount}; }

int VicPicture::takeColourChoice(const ColourChoice& choice) {
    analysis = choice.analysis;
    colours = choice.colours;
    geometry.roleCount = choice.roleCount;
    return prepareCardArrays();
}

// The card grid of the chosen mode, and its colour arrays.
int VicPicture::prepareCardArrays() {
    PictureGeometry& g = geometry;
    g.widthInCards = g.cardWidth > 0 ? g.paddedWidth / g.cardWidth : 0;
    g.heightInCards = g.paddedHeight / 8;
    const std::size_t cards = static_cast<std::size_t>(std::max(g.widthInCards, 0)) *
                              static_cast<std::size_t>(std::max(g.heightInCards, 0));
    if (!allocateCardArray(cardColours.colourMatrix, cards, "Error: couldn't allocate memory for color matrix"))
        return 1;
    if (!allocateCardArray(cardColours.colourRam, cards, "Error: couldn't allocate memory for Color RAM")) return 1;
    return 0;
}

}  // namespace zov
