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
constexpr int kMaxLiterals = 63;

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
        : coder_(coder), memory_(memory), w_(regionStart), L_(regionLength) {}

    int code(FrameMarks marks);

private:
    enum class Kind { Literal, Skip, Fill, Pattern, Copy };
    struct Decision {
        Kind kind = Kind::Literal;
        int skip = 0;     // u
        int fill = 0;     // t
        int unit = 0;     // o
        int repeats = 0;  // q
        int copy = 0;     // y
        int source = -1;
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

    bool put(std::initializer_list<int> bytes);
    bool flushLiterals();
    bool emit(const Decision& decision);

    std::uint8_t& memory(int address) { return memory_.at(static_cast<std::uint32_t>(address)); }
    const std::uint8_t* newBytes() const { return coder_.below_.bytes() + w_; }
    int leadingRun(int x) const { return coder_.below_.runLength(w_ + x); }

    SegmentCoder& coder_;
    TargetMemory& memory_;
    const int w_, L_;
    int p_ = 0;  // new bytes coded
    int P_ = 0;  // literals pending
    int ref_ = 0;
};

void SegmentCoder::Coding::prepareTables() {
    std::uint8_t* below = coder_.below_.bytes();
    std::uint8_t* above = coder_.above_.bytes();
    const std::uint8_t* image = memory_.data();
    std::memcpy(below + kBase, image, static_cast<std::size_t>(w_ - kBase));
    std::memcpy(above + w_, image + (w_ - kBase), static_cast<std::size_t>(kEnd - w_));
    // below_ already holds the new bytes at the region (copied by the caller of code).
    coder_.below_.prepare(kBase, w_ + L_);
    coder_.above_.prepare(w_, kEnd);
    coder_.above_.chainBoundariesBelow(kEnd);

    const std::uint8_t* n = newBytes();
    const std::uint8_t* old = above + w_;
    std::uint16_t* unchanged = coder_.unchangedRun_.get();
    std::uint16_t* nextSame = coder_.nextSameByte_.get();
    int lastSeen[256];
    std::fill(lastSeen, lastSeen + 256, 0);
    unchanged[L_] = 0;
    for (int i = L_ - 1; i >= 0; --i) {
        unchanged[i] = n[i] == old[i] ? static_cast<std::uint16_t>(unchanged[i + 1] + 1) : 0;
        nextSame[i] = static_cast<std::uint16_t>(lastSeen[n[i]]);
        lastSeen[n[i]] = i;
    }
}

int SegmentCoder::Coding::code(FrameMarks marks) {
    prepareTables();
    put({kDestV, (w_ >> 10) | 0x80});
    if (w_ % 1024 != 0) put({kDestBase | ((w_ >> 8) & 3), w_ & 0xFF});
    ref_ = w_ & ~1023;
    const std::uint8_t* n = newBytes();
    while (p_ + P_ < L_) {
        const int x = p_ + P_;
        Decision decision = decide(x);
        if (decision.kind == Kind::Literal) {
            memory(w_ + x) = n[x];
            ++P_;
            if ((P_ == kMaxLiterals || x + 1 == L_) && !flushLiterals()) return 0;
            continue;
        }
        if (!flushLiterals() || !emit(decision)) return 0;
    }
    const std::uint8_t frame[kFrameCommandLength] = {kFrameCommand, 0x3B, 0x18, marks.m1, marks.m2, marks.m3};
    std::memcpy(coder_.buffer_ + coder_.length_, frame, sizeof frame);
    coder_.length_ += kFrameCommandLength;
    return coder_.length_;
}

SegmentCoder::Coding::Decision SegmentCoder::Coding::decide(int x) {
    Decision found;
    int s = coder_.unchangedRun_[x];
    // A single unchanged byte amid literals costs less as one more literal.
    found.skip = (s == 1 && P_ > 0 && P_ < kMaxLiterals) ? 0 : std::min(s, kMaxSkip);
    const int h = found.skip > 0 ? found.skip : 1;

    // A run must be longer than the skip; two equal bytes only pay off with no literals pending.
    const int run = leadingRun(x);
    int minimum;
    if (x + h < L_ && h < kMaxFill && run >= h + 1) {
        found.fill = run;
        if (found.fill == 2 && P_ != 0) {
            found.fill = 0;
            minimum = 2;
        } else if (found.fill > kMaxFill) {
            found.fill = kMaxFill;
            minimum = kMaxFill + 1;
        } else {
            minimum = found.fill + 1;
        }
    } else {
        minimum = h + 1;
    }

    Decision decision;
    if (x + minimum > L_) {
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
        int d = std::abs(backward.best.source - ref_);
        if (d > 2047 && backwardLength > 4) required -= 2;
        else if (d > 2047 && backwardLength == 4) required -= 1;
        else if (d <= 2047 && d > 127 && backwardLength > 3) required -= 1;
    }

    ForwardScan forward{required, ref_, backward.best, backwardLength, w_ + x,
                        pattern,  w_ + x + total - 1, found.unit};
    searchForward(x, forward);
    found.source = forward.best.source;
    found.copy = forward.best.length == 1 ? 0 : std::min(forward.best.length, kLongestCopy);
    choose(found, forward.pattern, decision);
    return decision;
}

void SegmentCoder::Coding::choose(const Decision& found, bool pattern, Decision& decision) const {
    decision = found;
    const int y = found.copy;
    const int d = found.source - ref_;
    if (pattern) {
        int total = found.unit * found.repeats;
        if (total == 4) {
            // A 2 x 2 pattern only pays off close to ref.
            pattern = y >= 4 / found.repeats && found.source >= 0 && in8(d);
            decision.unit = 4 / found.repeats;
        }
        if (pattern && y < decision.unit) pattern = false;
    }
    const int u = found.skip, t = found.fill, o = decision.unit, q = found.repeats;
    bool skip = u > 0, fill = t > 0, copy = y > 0;
    const int skipValue = u - (u > 8 ? 1 : 0) - 1;
    const int fillValue = t - (t > 47 ? 1 : 0) - 2;
    const int patternCost = (o <= 9 && q <= 3 && in8(d)) ? 2 : (o <= 17 && in12(d)) ? 3 : 4;
    const int patternValue = q * o - patternCost;
    const int copyCost = (y <= 17 && in8(d)) ? 2 : in12(d) ? 3 : 4;
    const int copyValue = y - copyCost;

    // The skip yields only to something worth more; whatever it beats is dropped.
    if (skip) {
        if (fill) (fillValue > skipValue ? skip : fill) = false;
        if (skip && pattern) (patternValue > skipValue ? skip : pattern) = false;
        if (skip && copy) (copyValue > skipValue ? skip : copy) = false;
    }
    if (!skip) {
        if (copy && y < 5 && !pattern) {
            // A short copy must beat the literals it replaces.
            int need = 2 + (in8(d) ? 0 : 1) + (in12(d) ? 0 : 1) + ((P_ > 0 && P_ + y <= kMaxLiterals) ? 1 : 0);
            if (y < need || (y == need && !in12(d))) copy = false;
        }
        bool settled = false;
        if (fill && pattern) {
            if (t < q * o) {
                fill = false;
                settled = true;
            } else {
                pattern = false;
            }
        }
        if (!settled && fill && copy) {
            if (fillValue >= copyValue || (fillValue == copyValue - 1 && t > 2 && !in12(d))) copy = false;
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
    for (int j = x; minimum <= kLongestCopy && (j = coder_.nextSameByte_[j]) != 0;) {
        int r = j - x;
        if (r > kLongestCopy) break;
        if (r < minimum) continue;
        if (x + 2 * r >= L_) break;
        if (std::memcmp(n + x, n + j, static_cast<std::size_t>(r)) != 0) continue;
        required = std::max(required, r);
        int q = 2;
        while (q < kMaxRepeats && x + (q + 1) * r <= L_ &&
               std::memcmp(n + x + q * r, n + x, static_cast<std::size_t>(r)) == 0) {
            ++q;
        }
        if (q * r > total) {
            total = q * r;
            found.unit = r;
            found.repeats = q;
        }
        if (q == kMaxRepeats) break;
    }
    return total;
}

BackwardScan SegmentCoder::Coding::searchBackward(int x, int required) {
    BackwardScan scan{required, ref_, Match{}};
    const int cap = w_ + x;
    const int highest = cap - required;
    if (highest < kBase) return scan;
    coder_.below_.chainBoundariesBelow(cap);
    const int run = leadingRun(x);
    if (required > run) {
        chainBackward(x, scan, highest);
    } else if (required == run && run < kLongestCopy) {
        // Every source of the leading run alone ties at its length: only a longer match, or else the
        // nearest of them, can win.
        if (run < L_ - x) {
            scan.required = run + 1;
            chainBackward(x, scan, cap - (run + 1));
        }
        if (scan.best.length == 0) {
            scan.required = required;
            int nearest = nearestInRuns(coder_.below_, newBytes()[x], run, kBase, highest, cap, ref_);
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
    const int cap = w_ + x;
    const std::uint8_t* q = text + cap;
    const int k = leadingRun(x);
    const bool wide = scan.required - k >= 3;
    int e = wide ? index.firstBoundary4(q + k - 1) : index.firstBoundary2(q[0], q[k]);
    for (; e != MatchIndex::kNone; e = wide ? index.nextBoundary4(e) : index.nextBoundary2(e)) {
        const int a = e - k;
        if (a > highest) continue;
        if (a < kBase) break;
        if (text[a] != q[0] || index.runLength(a) != k) continue;
        int limit = std::min(L_ - x, cap - a);
        int length = k + commonLength(text + e, q + k, limit - k);
        if (scan.offer(a, length)) return;
    }
}

// The general case of a required length within the leading run: walk the runs of its byte.
void SegmentCoder::Coding::runsBackward(int x, BackwardScan& scan, int highest) {
    const MatchIndex& index = coder_.below_;
    const std::uint8_t* text = index.bytes();
    const int cap = w_ + x;
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
            if (!clipped) length += commonLength(text + end, q + k, std::min(L_ - x, cap - a) - k);
            if (scan.offer(a, length)) return;
        }
        int flatHigh = std::min(end - k - 1, highest);
        if (flatHigh >= start) {
            int pick = k >= kLongestCopy ? flatHigh : std::clamp(ref_, start, flatHigh);
            if (scan.offer(pick, k)) return;
        }
    }
}

void SegmentCoder::Coding::searchForward(int x, ForwardScan& scan) {
    const int highest = kLastAddress - scan.required;
    if (highest < w_ + x) return;
    bool stopped = scan.required > leadingRun(x) ? chainForward(x, scan, highest) : runsForward(x, scan, highest);
    // The scan passed the pattern's end if nothing stopped it.
    if (!stopped) scan.reach(std::min(highest, scan.patternEnd));
}

bool SegmentCoder::Coding::chainForward(int x, ForwardScan& scan, int highest) {
    const MatchIndex& index = coder_.above_;
    const std::uint8_t* text = index.bytes();
    const std::uint8_t* q = coder_.below_.bytes() + w_ + x;
    const int k = leadingRun(x);
    const int low = w_ + x;
    const bool wide = scan.required - k >= 3;
    int e = wide ? index.firstBoundary4(q + k - 1) : index.firstBoundary2(q[0], q[k]);
    for (; e != MatchIndex::kNone; e = wide ? index.nextBoundary4(e) : index.nextBoundary2(e)) {
        const int a = e - k;
        if (a > highest) continue;
        if (a < low) break;
        if (text[a] != q[0] || index.runLength(a) != k) continue;
        int limit = std::min(L_ - x, kEnd - a);
        int length = k + commonLength(text + e, q + k, limit - k);
        if (scan.offer(a, length)) return true;
    }
    return false;
}

bool SegmentCoder::Coding::runsForward(int x, ForwardScan& scan, int highest) {
    const MatchIndex& index = coder_.above_;
    const std::uint8_t* text = index.bytes();
    const std::uint8_t* q = coder_.below_.bytes() + w_ + x;
    const int k = leadingRun(x);
    const int low = w_ + x;
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
            int length = k + commonLength(text + end, q + k, std::min(L_ - x, kEnd - a) - k);
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

bool SegmentCoder::Coding::put(std::initializer_list<int> bytes) {
    if (coder_.length_ + static_cast<int>(bytes.size()) > kCodedCommandLimit) return false;
    for (int b : bytes) coder_.buffer_[coder_.length_++] = static_cast<std::uint8_t>(b);
    return true;
}

bool SegmentCoder::Coding::flushLiterals() {
    if (P_ == 0) return true;
    if (coder_.length_ + P_ + 1 > kCodedCommandLimit) return false;
    coder_.buffer_[coder_.length_++] = static_cast<std::uint8_t>(P_ == 1 ? kSingleLiteral : P_);
    std::memcpy(coder_.buffer_ + coder_.length_, newBytes() + p_, static_cast<std::size_t>(P_));
    coder_.length_ += P_;
    p_ += P_;
    P_ = 0;
    return true;
}

bool SegmentCoder::Coding::emit(const Decision& decision) {
    const int dest = w_ + p_;
    const int d = decision.source - ref_;
    const int src = decision.source;
    switch (decision.kind) {
        case Kind::Skip: {
            int u = decision.skip;
            if (!(u <= 8 ? put({kDestQBase | (u - 1)}) : put({kDestBase | (u >> 8), u & 0xFF}))) return false;
            p_ += u;
            return true;
        }
        case Kind::Fill: {
            int t = decision.fill, fill = newBytes()[p_];
            if (!(t < 48 ? put({kRleBase | t, fill}) : put({kRleLongBase | (t >> 8), t & 0xFF, fill}))) return false;
            std::memset(memory_.address(static_cast<std::uint32_t>(dest)), fill, static_cast<std::size_t>(t));
            p_ += t;
            return true;
        }
        case Kind::Pattern: {
            int o = decision.unit, q = decision.repeats;
            bool fits;
            if (o <= 9 && q <= 3 && in8(d)) fits = put({kPatQBase | (q == 3 ? 8 : 0) | (o - 2), d & 0xFF});
            else if (o <= 17 && in12(d)) fits = put({kPatBase | ((d >> 8) & 0x0F), d & 0xFF, (q << 4) | (o - 2)});
            else fits = put({kPatLBase | q, src & 0xFF, src >> 8, o});
            if (!fits) return false;
            for (int i = 0; i < q; ++i) {
                std::memmove(memory_.address(static_cast<std::uint32_t>(dest + i * o)),
                            memory_.address(static_cast<std::uint32_t>(src)), static_cast<std::size_t>(o));
            }
            p_ += q * o;
            ref_ = src;
            return true;
        }
        case Kind::Copy: {
            int y = decision.copy;
            bool fits;
            if (y <= 17 && in8(d)) fits = put({kCopyQBase | (y - 2), d & 0xFF});
            else if (in12(d)) fits = put({kCopyBase | ((d >> 8) & 0x0F), d & 0xFF, y});
            else fits = put({kPatLBase | 1, src & 0xFF, src >> 8, y});
            if (!fits) return false;
            if (src < dest + y && dest < src + y) return false;
            std::memcpy(memory_.address(static_cast<std::uint32_t>(dest)),
                        memory_.address(static_cast<std::uint32_t>(src)), static_cast<std::size_t>(y));
            p_ += y;
            ref_ = src;
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
