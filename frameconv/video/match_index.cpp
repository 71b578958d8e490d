#include "frameconv/video/match_index.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zov {

namespace {

constexpr int kPadding = 16;
constexpr int kKeys = 65536;

template <typename T>
bool make(std::unique_ptr<T[]>& table, std::size_t count) {
    table.reset(new (std::nothrow) T[count]());
    return table != nullptr;
}

}  // namespace

bool MatchIndex::allocate() {
    if (bytes_) return true;
    const std::size_t space = kAddressSpace + kPadding;
    return make(bytes_, space) && make(runLength_, space) && make(head2_, kKeys) && make(previous2_, space) &&
           make(head4_, kKeys) && make(previous4_, space) && make(runs_, space / 2) &&
           make(unsortedRuns_, space / 2) && make(runOffset_, 257);
}

void MatchIndex::prepare(int begin, int end) {
    begin_ = begin;
    end_ = end;
    chainedUpTo_ = begin + 1;
    std::memset(head2_.get(), 0, kKeys * sizeof(std::uint16_t));
    std::memset(head4_.get(), 0, kKeys * sizeof(std::uint16_t));

    const std::uint8_t* text = bytes_.get();
    int counts[257] = {};
    int runCount = 0;
    for (int a = end - 1; a >= begin;) {
        // a is the last byte of a run; find where the run starts.
        int start = a;
        while (start > begin && text[start - 1] == text[a]) --start;
        for (int i = start; i <= a; ++i) runLength_[i] = static_cast<std::uint16_t>(a + 1 - i);
        if (a > start) {
            unsortedRuns_[runCount++] = Run{static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(a + 1)};
            ++counts[text[a] + 1];
        }
        a = start - 1;
    }
    for (int v = 0; v < 256; ++v) counts[v + 1] += counts[v];
    std::copy(counts, counts + 257, runOffset_.get());
    // The runs were found from the top down: fill each value's list from its end.
    int fill[256];
    for (int v = 0; v < 256; ++v) fill[v] = counts[v + 1];
    for (int i = 0; i < runCount; ++i) {
        const Run& run = unsortedRuns_[i];
        runs_[--fill[text[run.start]]] = run;
    }
}

void MatchIndex::chainBoundariesBelow(int limit) {
    limit = std::min(limit, end_);
    const std::uint8_t* text = bytes_.get();
    for (int e = chainedUpTo_; e < limit; ++e) {
        if (text[e - 1] == text[e]) continue;
        int k2 = key2(text[e - 1], text[e]);
        previous2_[e] = head2_[k2];
        head2_[k2] = static_cast<std::uint16_t>(e);
        if (e + 2 < end_) {
            int k4 = key4(text + e - 1);
            previous4_[e] = head4_[k4];
            head4_[k4] = static_cast<std::uint16_t>(e);
        }
    }
    chainedUpTo_ = std::max(chainedUpTo_, limit);
}

}  // namespace zov
