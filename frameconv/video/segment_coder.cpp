#include "frameconv/video/segment_coder.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace zov {

// The coder works through the region from its first byte. At position x it weighs a skip over unchanged
// bytes, a run of equal bytes, a repeated unit and a copy of bytes already in memory, with the rules
// below; what nothing covers becomes a literal. Copy sources are searched the way a plain scan of memory
// would find them: backward from the destination down to 0x0200, then forward from the top of memory down
// to the destination, first byte, required length, then the extension, with the same tie-breaks. The
// scans are answered from indexes instead of visiting every address.
//
// While x is being coded, memory below the destination holds the new bytes already coded and memory from
// the destination up still holds what it held before the frame. So the backward scan reads a fixed text
// (memory below the region followed by the new bytes) and the forward scan another (memory from the region
// start up, as before coding); both are indexed once per frame.

namespace {

constexpr int kBase = static_cast<int>(kTargetBase);
constexpr int kEnd = static_cast<int>(kTargetEnd);
constexpr int kLastAddress = kEnd - 1;
constexpr int kMaxSkip = 1023;
constexpr int kMaxFill = 4095;
constexpr int kLongestCopy = 255;
constexpr int kMaxRepeats = 15;
constexpr int kMaxLiterals = kMaxLiteralRun;

bool in8(int offset) { return within8Bits(offset); }
bool in12(int offset) { return within12Bits(offset); }

/// Number of equal bytes at the start of a and b, at most limit.
int commonLength(const std::uint8_t* a, const std::uint8_t* b, int limit) {
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (i + 8 <= limit) {
            std::uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y) return i + std::countr_zero(x ^ y) / 8;
            i += 8;
        }
    }
    while (i < limit && a[i] == b[i]) ++i;
    return i;
}

struct Match {
    int source = -1;
    int length = 0;
};

struct Interval {
    int low, high;
};

constexpr Interval kEverything{INT_MIN / 2, INT_MAX / 2};

Interval intersect(Interval a, Interval b) { return {std::max(a.low, b.low), std::min(a.high, b.high)}; }

/// The highest address of an interval at or below limit, or INT_MIN.
int highestAtOrBelow(Interval interval, int limit) {
    int high = std::min(interval.high, limit);
    return high >= interval.low ? high : INT_MIN;
}

/// The rule of the backward scan: a longer match wins, an equally long one wins when strictly closer to
/// ref; a taken match raises the required length; a match of 255 ends the scan.
struct BackwardScan {
    int required;
    int ref;
    Match best;

    bool offer(int source, int length) {
        if (length < required) return false;
        if (length > best.length ||
            (length == best.length && std::abs(source - ref) < std::abs(best.source - ref))) {
            best = {source, length};
            required = length;
            return length >= kLongestCopy;
        }
        return false;
    }
};

/// The rule of the forward scan, which also settles the pattern (see offer).
struct ForwardScan {
    int required;
    int ref;
    Match best;
    int backwardLength;  // best backward length before any cap
    int destination;     // w + x
    bool pattern;
    int patternEnd;  // last address closer to the destination than the pattern's total
    int patternUnit;

    /// Sources at or below patternEnd would lie inside the pattern's destination: the scan stops there
    /// if the copy found so far can supply the unit, else the pattern is given up.
    bool reach(int source) {
        if (pattern && source <= patternEnd) {
            if (best.length >= patternUnit) return true;
            pattern = false;
        }
        return false;
    }

    /// A match shorter than the backward one is taken only when its offset is cheaper to code.
    bool cheaper(int source, int length) const {
        int bestOffset = best.source - ref, offset = source - ref;
        if (in12(bestOffset) && !in8(bestOffset)) return in8(offset);
        if (!in12(bestOffset)) return in8(offset) || (in12(offset) && length + 1 >= backwardLength);
        return false;
    }

    /// Returns true when the scan ends.
    bool offer(int source, int length) {
        if (reach(source)) return true;
        if (length < required) return false;
        if (length == required && best.source >= 0 && !(std::abs(source - ref) < std::abs(best.source - ref))) {
            return false;
        }
        if (source - destination < length) return true;  // source and destination would overlap
        if (length < backwardLength && !cheaper(source, length)) return false;
        best = {source, length};
        required = length;
        return length >= kLongestCopy;
    }

    /// The addresses of an equally long stretch of matches at which offer could do anything: be closer
    /// than the best (when the length equals the required one), or stop the scan, or be cheap enough.
    int nextEvent(int low, int high, int length) const {
        Interval closer = kEverything;
        if (length == required && best.source >= 0) {
            int d = std::abs(best.source - ref);
            closer = {ref - d + 1, ref + d - 1};
        }
        closer = intersect(closer, {low, high});
        if (length >= backwardLength) return highestAtOrBelow(closer, high);
        int event = highestAtOrBelow(intersect(closer, {destination, destination + length - 1}), high);
        int bestOffset = best.source - ref;
        Interval near8{ref - 128, ref + 127}, near12{ref - 2048, ref + 2047};
        if (in12(bestOffset) && !in8(bestOffset)) {
            event = std::max(event, highestAtOrBelow(intersect(closer, near8), high));
        } else if (!in12(bestOffset)) {
            Interval cheap = length + 1 >= backwardLength ? near12 : near8;
            event = std::max(event, highestAtOrBelow(intersect(closer, cheap), high));
        }
        return event;
    }
};

/// Within [low, high] of runs of value (clipped at clip), the address nearest to ref from which at least
/// length bytes of the value follow; equally near ones resolve to the higher. -1 when there is none.
int nearestInRuns(const MatchIndex& index, std::uint8_t value, int length, int low, int high, int clip, int ref) {
    const MatchIndex::Run* first = index.runsBegin(value);
    const MatchIndex::Run* last = index.runsEnd(value);
    const MatchIndex::Run* split =
        std::upper_bound(first, last, ref, [](int a, const MatchIndex::Run& run) { return a < run.start; });
    auto lastStart = [&](const MatchIndex::Run& run) { return std::min({run.end - length, clip - length, high}); };
    int below = -1, above = -1;
    for (const MatchIndex::Run* run = split; run != first;) {
        --run;
        if (run->end <= low) break;
        int candidate = std::min(lastStart(*run), ref);
        if (candidate >= std::max<int>(run->start, low)) {
            below = candidate;
            break;
        }
    }
    if (split != first) {
        const MatchIndex::Run& run = split[-1];
        int candidate = std::max({ref, static_cast<int>(run.start), low});
        if (candidate <= lastStart(run)) above = candidate;
    }
    for (const MatchIndex::Run* run = split; above < 0 && run != last && run->start <= high; ++run) {
        int candidate = std::max<int>(run->start, low);
        if (candidate <= lastStart(*run)) above = candidate;
    }
    if (below < 0) return above;
    if (above < 0) return below;
    return above - ref <= ref - below ? above : below;
}

/// Runs of value whose start lies at or below address, from the highest down.
const MatchIndex::Run* runsUpTo(const MatchIndex& index, std::uint8_t value, int address) {
    return std::upper_bound(index.runsBegin(value), index.runsEnd(value), address,
                            [](int a, const MatchIndex::Run& run) { return a < run.start; });
}

}  // namespace

FrameMarks frameMarks(std::uint32_t bitmapAddress, std::uint32_t screenAddress, std::uint32_t regionStart,
                      std::uint8_t background) {
    FrameMarks marks;
    marks.m1 = static_cast<std::uint8_t>(((bitmapAddress >> 10) & 0x0F) | (screenAddress >> 6));
    marks.m2 = static_cast<std::uint8_t>(3 - (regionStart >> 14));
    marks.m3 = background;
    return marks;
}

// The coding of one region.
class SegmentCoder::Coding {
public:
    Coding(SegmentCoder& coder, TargetMemory& memory, int regionStart, int regionLength)
        : coder_(coder), memory_(memory), regionStart_(regionStart), regionLength_(regionLength) {}

    int code(FrameMarks marks);

private:
    enum class Kind { Literal, Skip, Fill, Pattern, Copy };
    struct Decision {
        Kind kind = Kind::Literal;
        int skip = 0;     // unchanged bytes to step over
        int fill = 0;     // length of the run of one byte
        int unit = 0;     // pattern: bytes of the repeated unit
        int repeats = 0;  // pattern: times the unit is written
        int copy = 0;     // bytes a copy source matches
        int source = -1;  // address of the copy or pattern source
    };

    void prepareTables();
    Decision decide(int x);
    int findPattern(int x, int minimum, Decision& found, int& required) const;
    BackwardScan searchBackward(int x, int required);
    void chainBackward(int x, BackwardScan& scan, int highest);
    void runsBackward(int x, BackwardScan& scan, int highest);
    void searchForward(int x, ForwardScan& scan);
    bool chainForward(int x, ForwardScan& scan, int highest);
    bool runsForward(int x, ForwardScan& scan, int highest);
    bool flatForward(ForwardScan& scan, int low, int high, int length);
    void choose(const Decision& found, bool pattern, Decision& decision) const;

    bool put(const EncodedCommand& command);
    bool flushLiterals();
    bool emit(const Decision& decision);

    std::uint8_t& memory(int address) { return memory_.at(static_cast<std::uint32_t>(address)); }
    const std::uint8_t* newBytes() const { return coder_.below_.bytes() + regionStart_; }
    int leadingRun(int x) const { return coder_.below_.runLength(regionStart_ + x); }

    SegmentCoder& coder_;
    TargetMemory& memory_;
    const int regionStart_, regionLength_;
    int coded_ = 0;            // new bytes written as commands
    int pendingLiterals_ = 0;  // new bytes behind those, left as they are, still to go out as literals
    int reference_ = 0;        // the address that relative copy offsets count from
};

void SegmentCoder::Coding::prepareTables() {
    std::uint8_t* below = coder_.below_.bytes();
    std::uint8_t* above = coder_.above_.bytes();
    const std::uint8_t* image = memory_.data();
    std::memcpy(below + kBase, image, static_cast<std::size_t>(regionStart_ - kBase));
    std::memcpy(above + regionStart_, image + (regionStart_ - kBase), static_cast<std::size_t>(kEnd - regionStart_));
    // below_ already holds the new bytes at the region (copied by the caller of code).
    coder_.below_.prepare(kBase, regionStart_ + regionLength_);
    coder_.above_.prepare(regionStart_, kEnd);
    coder_.above_.chainBoundariesBelow(kEnd);

    const std::uint8_t* n = newBytes();
    const std::uint8_t* old = above + regionStart_;
    std::uint16_t* unchanged = coder_.unchangedRun_.get();
    std::uint16_t* nextSame = coder_.nextSameByte_.get();
    int lastSeen[256];
    std::fill(lastSeen, lastSeen + 256, 0);
    unchanged[regionLength_] = 0;
    for (int i = regionLength_ - 1; i >= 0; --i) {
        unchanged[i] = n[i] == old[i] ? static_cast<std::uint16_t>(unchanged[i + 1] + 1) : 0;
        nextSame[i] = static_cast<std::uint16_t>(lastSeen[n[i]]);
        lastSeen[n[i]] = i;
    }
}

int SegmentCoder::Coding::code(FrameMarks marks) {
    prepareTables();
    // The player starts at the region's KiB and steps to the region's first byte.
    put(encodeBankStart(regionStart_));
    if (regionStart_ % 1024 != 0) put(encodeLongSkip(regionStart_ % 1024));
    reference_ = regionStart_ & ~1023;
    const std::uint8_t* n = newBytes();
    while (coded_ + pendingLiterals_ < regionLength_) {
        const int x = coded_ + pendingLiterals_;
        Decision decision = decide(x);
        if (decision.kind == Kind::Literal) {
            memory(regionStart_ + x) = n[x];
            ++pendingLiterals_;
            if ((pendingLiterals_ == kMaxLiterals || x + 1 == regionLength_) && !flushLiterals()) return 0;
            continue;
        }
        if (!flushLiterals() || !emit(decision)) return 0;
    }
    std::uint8_t frame[kFrameCommandLength];
    encodeFrame(marks.m1, marks.m2, marks.m3, frame);
    std::memcpy(coder_.buffer_ + coder_.length_, frame, sizeof frame);
    coder_.length_ += kFrameCommandLength;
    return coder_.length_;
}

SegmentCoder::Coding::Decision SegmentCoder::Coding::decide(int x) {
    Decision found;
    int unchangedRun = coder_.unchangedRun_[x];
    // A single unchanged byte amid literals costs less as one more literal.
    found.skip = (unchangedRun == 1 && pendingLiterals_ > 0 && pendingLiterals_ < kMaxLiterals) ? 0 : std::min(unchangedRun, kMaxSkip);
    const int fillMustExceed = found.skip > 0 ? found.skip : 1;

    // A run must be longer than the skip; two equal bytes only pay off with no literals pending.
    const int run = leadingRun(x);
    int minimum;
    if (x + fillMustExceed < regionLength_ && fillMustExceed < kMaxFill && run >= fillMustExceed + 1) {
        found.fill = run;
        if (found.fill == 2 && pendingLiterals_ != 0) {
            found.fill = 0;
            minimum = 2;
        } else if (found.fill > kMaxFill) {
            found.fill = kMaxFill;
            minimum = kMaxFill + 1;
        } else {
            minimum = found.fill + 1;
        }
    } else {
        minimum = fillMustExceed + 1;
    }

    Decision decision;
    if (x + minimum > regionLength_) {
        // Near the region end nothing longer can be found.
        decision = found;
        decision.kind = found.skip > 0 ? Kind::Skip : found.fill > 0 ? Kind::Fill : Kind::Literal;
        return decision;
    }

    int required = minimum;
    const int total = findPattern(x, minimum, found, required);
    const bool pattern = total >= 4;

    BackwardScan backward = searchBackward(x, required);
    const int backwardLength = backward.best.length;
    required = backward.required;
    if (backwardLength > 0 && backwardLength > found.fill && backwardLength > found.skip) {
        // A costly backward source lowers what a forward source must match.
        int referenceDistance = std::abs(backward.best.source - reference_);
        if (referenceDistance > 2047 && backwardLength > 4) required -= 2;
        else if (referenceDistance > 2047 && backwardLength == 4) required -= 1;
        else if (referenceDistance <= 2047 && referenceDistance > 127 && backwardLength > 3) required -= 1;
    }

    ForwardScan forward{required, reference_, backward.best, backwardLength, regionStart_ + x,
                        pattern,  regionStart_ + x + total - 1, found.unit};
    searchForward(x, forward);
    found.source = forward.best.source;
    found.copy = forward.best.length == 1 ? 0 : std::min(forward.best.length, kLongestCopy);
    choose(found, forward.pattern, decision);
    return decision;
}

void SegmentCoder::Coding::choose(const Decision& found, bool pattern, Decision& decision) const {
    decision = found;
    const int copyLength = found.copy;
    const int offset = found.source - reference_;
    if (pattern) {
        int total = found.unit * found.repeats;
        if (total == 4) {
            // A 2 x 2 pattern only pays off close to ref.
            pattern = copyLength >= 4 / found.repeats && found.source >= 0 && in8(offset);
            decision.unit = 4 / found.repeats;
        }
        if (pattern && copyLength < decision.unit) pattern = false;
    }
    const int skipLength = found.skip, fillLength = found.fill, unit = decision.unit, repeats = found.repeats;
    bool skip = skipLength > 0, fill = fillLength > 0, copy = copyLength > 0;
    const int skipValue = skipLength - (skipLength > 8 ? 1 : 0) - 1;
    const int fillValue = fillLength - (fillLength > 47 ? 1 : 0) - 2;
    const int patternCost = (unit <= 9 && repeats <= 3 && in8(offset)) ? 2 : (unit <= 17 && in12(offset)) ? 3 : 4;
    const int patternValue = repeats * unit - patternCost;
    const int copyCost = (copyLength <= 17 && in8(offset)) ? 2 : in12(offset) ? 3 : 4;
    const int copyValue = copyLength - copyCost;

    // The skip yields only to something worth more; whatever it beats is dropped.
    if (skip) {
        if (fill) (fillValue > skipValue ? skip : fill) = false;
        if (skip && pattern) (patternValue > skipValue ? skip : pattern) = false;
        if (skip && copy) (copyValue > skipValue ? skip : copy) = false;
    }
    if (!skip) {
        if (copy && copyLength < 5 && !pattern) {
            // A short copy must beat the literals it replaces.
            int need = 2 + (in8(offset) ? 0 : 1) + (in12(offset) ? 0 : 1) + ((pendingLiterals_ > 0 && pendingLiterals_ + copyLength <= kMaxLiterals) ? 1 : 0);
            if (copyLength < need || (copyLength == need && !in12(offset))) copy = false;
        }
        bool settled = false;
        if (fill && pattern) {
            if (fillLength < repeats * unit) {
                fill = false;
                settled = true;
            } else {
                pattern = false;
            }
        }
        if (!settled && fill && copy) {
            if (fillValue >= copyValue || (fillValue == copyValue - 1 && fillLength > 2 && !in12(offset))) copy = false;
            else fill = false;
        }
    }
    decision.kind = skip      ? Kind::Skip
                    : fill    ? Kind::Fill
                    : pattern ? Kind::Pattern
                    : copy    ? Kind::Copy
                              : Kind::Literal;
}

// Repeated unit: the longest total, the shorter unit on equal totals. Units are tried from the minimum
// length up to 255 only where the byte recurs; every unit whose first two copies agree raises the
// length that a copy source must match.
int SegmentCoder::Coding::findPattern(int x, int minimum, Decision& found, int& required) const {
    const std::uint8_t* n = newBytes();
    int total = 0;
    for (int recurrence = x; minimum <= kLongestCopy && (recurrence = coder_.nextSameByte_[recurrence]) != 0;) {
        int unit = recurrence - x;
        if (unit > kLongestCopy) break;
        if (unit < minimum) continue;
        if (x + 2 * unit >= regionLength_) break;
        if (std::memcmp(n + x, n + recurrence, static_cast<std::size_t>(unit)) != 0) continue;
        required = std::max(required, unit);
        int repeats = 2;
        while (repeats < kMaxRepeats && x + (repeats + 1) * unit <= regionLength_ &&
               std::memcmp(n + x + repeats * unit, n + x, static_cast<std::size_t>(unit)) == 0) {
            ++repeats;
        }
        if (repeats * unit > total) {
            total = repeats * unit;
            found.unit = unit;
            found.repeats = repeats;
        }
        if (repeats == kMaxRepeats) break;
    }
    return total;
}

BackwardScan SegmentCoder::Coding::searchBackward(int x, int required) {
    BackwardScan scan{required, reference_, Match{}};
    const int cap = regionStart_ + x;
    const int highest = cap - required;
    if (highest < kBase) return scan;
    coder_.below_.chainBoundariesBelow(cap);
    const int run = leadingRun(x);
    if (required > run) {
        chainBackward(x, scan, highest);
    } else if (required == run && run < kLongestCopy) {
        // Every source of the leading run alone ties at its length: only a longer match, or else the
        // nearest of them, can win.
        if (run < regionLength_ - x) {
            scan.required = run + 1;
            chainBackward(x, scan, cap - (run + 1));
        }
        if (scan.best.length == 0) {
            scan.required = required;
            int nearest = nearestInRuns(coder_.below_, newBytes()[x], run, kBase, highest, cap, reference_);
            if (nearest >= 0) scan.best = {nearest, run};
        }
    } else {
        runsBackward(x, scan, highest);
    }
    return scan;
}

// Sources of bytes that start with a run of k bytes b followed by c end a run of at least k bytes b at a
// boundary b|c.
void SegmentCoder::Coding::chainBackward(int x, BackwardScan& scan, int highest) {
    if (highest < kBase) return;
    const MatchIndex& index = coder_.below_;
    const std::uint8_t* text = index.bytes();
    const int cap = regionStart_ + x;
    const std::uint8_t* q = text + cap;
    const int k = leadingRun(x);
    const bool wide = scan.required - k >= 3;
    int e = wide ? index.firstBoundary4(q + k - 1) : index.firstBoundary2(q[0], q[k]);
    for (; e != MatchIndex::kNone; e = wide ? index.nextBoundary4(e) : index.nextBoundary2(e)) {
        const int a = e - k;
        if (a > highest) continue;
        if (a < kBase) break;
        if (text[a] != q[0] || index.runLength(a) != k) continue;
        int limit = std::min(regionLength_ - x, cap - a);
        int length = k + commonLength(text + e, q + k, limit - k);
        if (scan.offer(a, length)) return;
    }
}

// The general case of a required length within the leading run: walk the runs of its byte.
void SegmentCoder::Coding::runsBackward(int x, BackwardScan& scan, int highest) {
    const MatchIndex& index = coder_.below_;
    const std::uint8_t* text = index.bytes();
    const int cap = regionStart_ + x;
    const std::uint8_t* q = text + cap;
    const int k = leadingRun(x);
    const MatchIndex::Run* first = index.runsBegin(q[0]);
    for (const MatchIndex::Run* run = runsUpTo(index, q[0], highest); run != first;) {
        --run;
        const int start = run->start;
        const int end = std::min<int>(run->end, cap);
        const bool clipped = run->end > cap;
        int a = std::min(end - scan.required, highest);
        // Sources inside the run match as many bytes as remain of it, up to k.
        for (; a >= start && end - a < k; --a) {
            if (scan.offer(a, end - a)) return;
        }
        a = end - k;
        if (a >= start && a <= highest) {
            int length = k;
            if (!clipped) length += commonLength(text + end, q + k, std::min(regionLength_ - x, cap - a) - k);
            if (scan.offer(a, length)) return;
        }
        int flatHigh = std::min(end - k - 1, highest);
        if (flatHigh >= start) {
            int pick = k >= kLongestCopy ? flatHigh : std::clamp(reference_, start, flatHigh);
            if (scan.offer(pick, k)) return;
        }
    }
}

void SegmentCoder::Coding::searchForward(int x, ForwardScan& scan) {
    const int highest = kLastAddress - scan.required;
    if (highest < regionStart_ + x) return;
    bool stopped = scan.required > leadingRun(x) ? chainForward(x, scan, highest) : runsForward(x, scan, highest);
    // The scan passed the pattern's end if nothing stopped it.
    if (!stopped) scan.reach(std::min(highest, scan.patternEnd));
}

bool SegmentCoder::Coding::chainForward(int x, ForwardScan& scan, int highest) {
    const MatchIndex& index = coder_.above_;
    const std::uint8_t* text = index.bytes();
    const std::uint8_t* q = coder_.below_.bytes() + regionStart_ + x;
    const int k = leadingRun(x);
    const int low = regionStart_ + x;
    const bool wide = scan.required - k >= 3;
    int e = wide ? index.firstBoundary4(q + k - 1) : index.firstBoundary2(q[0], q[k]);
    for (; e != MatchIndex::kNone; e = wide ? index.nextBoundary4(e) : index.nextBoundary2(e)) {
        const int a = e - k;
        if (a > highest) continue;
        if (a < low) break;
        if (text[a] != q[0] || index.runLength(a) != k) continue;
        int limit = std::min(regionLength_ - x, kEnd - a);
        int length = k + commonLength(text + e, q + k, limit - k);
        if (scan.offer(a, length)) return true;
    }
    return false;
}

bool SegmentCoder::Coding::runsForward(int x, ForwardScan& scan, int highest) {
    const MatchIndex& index = coder_.above_;
    const std::uint8_t* text = index.bytes();
    const std::uint8_t* q = coder_.below_.bytes() + regionStart_ + x;
    const int k = leadingRun(x);
    const int low = regionStart_ + x;
    const MatchIndex::Run* first = index.runsBegin(q[0]);
    for (const MatchIndex::Run* run = runsUpTo(index, q[0], highest); run != first;) {
        --run;
        if (run->end <= low) break;
        const int start = std::max<int>(run->start, low);
        const int end = run->end;
        int a = std::min(end - scan.required, highest);
        for (; a >= start && end - a < k; --a) {
            if (scan.offer(a, end - a)) return true;
        }
        a = end - k;
        if (a >= start && a <= highest) {
            int length = k + commonLength(text + end, q + k, std::min(regionLength_ - x, kEnd - a) - k);
            if (scan.offer(a, length)) return true;
        }
        int flatHigh = std::min(end - k - 1, highest);
        if (flatHigh >= start && flatForward(scan, start, flatHigh, k)) return true;
    }
    return false;
}

// Sources in [low, high] that all match exactly length bytes: visit only those at which something can
// happen, and pass over a stretch of successive takes at once.
bool SegmentCoder::Coding::flatForward(ForwardScan& scan, int low, int high, int length) {
    int a = high;
    while (a >= low) {
        if (length < scan.required) return false;
        int floor = low;
        if (scan.pattern && a > scan.patternEnd) {
            floor = std::max(low, scan.patternEnd + 1);
        } else if (scan.reach(a)) {
            return true;
        }
        int next = scan.nextEvent(floor, a, length);
        if (next < floor) {
            a = floor - 1;
            continue;
        }
        if (scan.offer(next, length)) return true;
        a = next - 1;
        if (scan.best.source == next && length >= scan.backwardLength) {
            // Every address from here down to ref (and above the overlap zone) is closer than the one
            // before it and is taken in turn.
            int lowest = std::max({floor, scan.ref, scan.destination + length});
            if (lowest <= a) {
                scan.best.source = lowest;
                a = lowest - 1;
            }
        }
    }
    return false;
}

bool SegmentCoder::Coding::put(const EncodedCommand& command) {
    if (coder_.length_ + command.length > kCodedCommandLimit) return false;
    std::memcpy(coder_.buffer_ + coder_.length_, command.bytes, static_cast<std::size_t>(command.length));
    coder_.length_ += command.length;
    return true;
}

bool SegmentCoder::Coding::flushLiterals() {
    if (pendingLiterals_ == 0) return true;
    if (coder_.length_ + pendingLiterals_ + 1 > kCodedCommandLimit) return false;
    coder_.buffer_[coder_.length_++] = literalHead(pendingLiterals_);
    std::memcpy(coder_.buffer_ + coder_.length_, newBytes() + coded_, static_cast<std::size_t>(pendingLiterals_));
    coder_.length_ += pendingLiterals_;
    coded_ += pendingLiterals_;
    pendingLiterals_ = 0;
    return true;
}

bool SegmentCoder::Coding::emit(const Decision& decision) {
    const int destination = regionStart_ + coded_;
    const int source = decision.source;
    const int offset = source - reference_;
    switch (decision.kind) {
        case Kind::Skip: {
            if (!put(encodeSkip(decision.skip))) return false;
            coded_ += decision.skip;
            return true;
        }
        case Kind::Fill: {
            const std::uint8_t value = newBytes()[coded_];
            if (!put(encodeFill(decision.fill, value))) return false;
            std::memset(memory_.address(static_cast<std::uint32_t>(destination)), value,
                        static_cast<std::size_t>(decision.fill));
            coded_ += decision.fill;
            return true;
        }
        case Kind::Pattern: {
            const int unit = decision.unit, repeats = decision.repeats;
            if (!put(encodePattern(unit, repeats, offset, source))) return false;
            for (int i = 0; i < repeats; ++i) {
                std::memmove(memory_.address(static_cast<std::uint32_t>(destination + i * unit)),
                             memory_.address(static_cast<std::uint32_t>(source)), static_cast<std::size_t>(unit));
            }
            coded_ += repeats * unit;
            reference_ = source;
            return true;
        }
        case Kind::Copy: {
            const int length = decision.copy;
            if (!put(encodeCopy(length, offset, source))) return false;
            if (source < destination + length && destination < source + length) return false;
            std::memcpy(memory_.address(static_cast<std::uint32_t>(destination)),
                        memory_.address(static_cast<std::uint32_t>(source)), static_cast<std::size_t>(length));
            coded_ += length;
            reference_ = source;
            return true;
        }
        case Kind::Literal: break;
    }
    return false;
}

SegmentCoder::SegmentCoder() = default;
SegmentCoder::~SegmentCoder() = default;

bool SegmentCoder::allocate() {
    if (allocated_) return true;
    const std::size_t space = MatchIndex::kAddressSpace + 1;
    unchangedRun_.reset(new (std::nothrow) std::uint16_t[space]());
    nextSameByte_.reset(new (std::nothrow) std::uint16_t[space]());
    allocated_ = unchangedRun_ && nextSameByte_ && below_.allocate() && above_.allocate();
    return allocated_;
}

int SegmentCoder::code(TargetMemory& memory, std::uint32_t regionStart, std::uint32_t regionLength,
                       const std::uint8_t* newBytes, FrameMarks marks) {
    length_ = 0;
    if (regionStart < kTargetBase || regionStart > kTargetEnd || regionLength > kTargetEnd - regionStart ||
        !allocate()) {
        return 0;
    }
    if (regionLength > 0) std::memcpy(below_.bytes() + regionStart, newBytes, regionLength);
    Coding frame(*this, memory, static_cast<int>(regionStart), static_cast<int>(regionLength));
    int result = frame.code(marks);
    if (result == 0) length_ = 0;
    return result;
}

}  // namespace zov
