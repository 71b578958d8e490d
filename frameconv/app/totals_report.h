// The end-of-run report of a compile.
#pragma once

#include "frameconv/app/options.h"

namespace zov {

class CodeStats;

/// The stream muxer's counters that the report reads.
struct StreamCounters {
    int framesOffered = 0;
    int framesDropped = 0;
    int videoPackets = 0;
    int audioPackets = 0;
    int bytesWritten = 0;
};

/// Prints the totals report of a compile (the caller checks that one is due). runStats is the encoder's
/// statistics table, printed at verbosity 3.
void printTotalsReport(const Options& options, const RunTotals& totals, const StreamCounters& stream,
                       const CodeStats* runStats);

}  // namespace zov
