// An index over a stretch of target-address space in which the segment coder looks for copy sources.
// Candidates are found through run boundaries rather than through every position: a source for bytes
// that start with k equal bytes b followed by c must end a run of at least k bytes b at a boundary b|c, so
// the index chains boundaries by the bytes around them, and keeps the runs of each byte value for the
// rare searches whose required length lies inside such a run.
#pragma once

#include "formats/little_endian.h"

#include <cstdint>
#include <memory>

namespace zov {

class MatchIndex {
public:
    static constexpr int kAddressSpace = 0xC000;
    static constexpr int kNone = 0;  // no address below 0x0200 is ever indexed

    struct Run {
        std::uint16_t start;
        std::uint16_t end;  // one past the last byte
    };

    /// Allocates the tables once; false when out of memory.
    bool allocate();

    /// Bytes of the text by address; the caller fills [begin, end) before calling prepare.
    std::uint8_t* bytes() { return bytes_.get(); }
    const std::uint8_t* bytes() const { return bytes_.get(); }

    /// Computes the run lengths and run lists of bytes [begin, end) and empties the boundary chains.
    void prepare(int begin, int end);
    /// Chains every boundary below limit that is not chained yet (boundaries are added in address order).
    void chainBoundariesBelow(int limit);

    int begin() const { return begin_; }
    int end() const { return end_; }

    /// Number of equal bytes from address on, within the text.
    int runLength(int address) const { return runLength_[address]; }

    /// Boundary chains: the highest chained boundary e with bytes[e-1] = before and bytes[e] = after (or the
    /// hash of four bytes from e-1), then lower ones; kNone ends a chain.
    int firstBoundary2(std::uint8_t before, std::uint8_t after) const { return head2_[key2(before, after)]; }
    int nextBoundary2(int boundary) const { return previous2_[boundary]; }
    int firstBoundary4(const std::uint8_t* fourBytes) const { return head4_[key4(fourBytes)]; }
    int nextBoundary4(int boundary) const { return previous4_[boundary]; }

    /// Runs of at least two bytes of a value, in address order.
    const Run* runsBegin(std::uint8_t value) const { return runs_.get() + runOffset_[value]; }
    const Run* runsEnd(std::uint8_t value) const { return runs_.get() + runOffset_[value + 1]; }

    static int key2(std::uint8_t before, std::uint8_t after) { return (before << 8) | after; }
    static int key4(const std::uint8_t* b) {
        return static_cast<int>((readLe32(b) * 2654435761u) >> 16);
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::unique_ptr<std::uint16_t[]> runLength_;
    std::unique_ptr<std::uint16_t[]> head2_, previous2_, head4_, previous4_;
    std::unique_ptr<Run[]> runs_;
    std::unique_ptr<Run[]> unsortedRuns_;
    std::unique_ptr<int[]> runOffset_;
    int begin_ = 0, end_ = 0;
    int chainedUpTo_ = 0;  // boundaries below this are chained
};

}  // namespace zov
