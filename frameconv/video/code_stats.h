// How the segment commands of a video stream are used: per command class, how often it occurs, how many
// stream bytes it costs, how many bytes it produces in target memory and how far its sources lie.
#pragma once

#include "formats/segment_commands.h"

#include <array>
#include <cstdint>

namespace zov {


struct CodeCounter {
    std::int32_t codeClass = 0;
    std::int32_t used = 0;
    std::int32_t bytes = 0;          // stream bytes ("byUsed")
    std::int32_t produced = 0;       // bytes produced in target memory, or the advance of skips ("byDecom")
    std::int32_t range = 0;          // sum of signed ranges
    std::int32_t absoluteRange = 0;  // sum of absolute ranges

    /// Adds other's counts and range, and the absolute value of other's range sum (not other's own
    /// absolute range) to the absolute range.
    void add(const CodeCounter& other);

    /// Prints one table row, preceded by the column header when asked. Without a label the row is named
    /// after the counter's class.
    void print(const char* label, bool header) const;
};

class CodeStats {
public:
    static constexpr int kCounterCount = kCommandClassCount;

    CodeStats() { reset(); }

    /// Every counter takes its class and zero counts.
    void reset();
    /// Adds one or more commands of a class; classes outside the table are ignored.
    void record(std::int32_t codeClass, std::int32_t used, std::int32_t bytes, std::int32_t produced,
                std::int32_t range);
    /// Adds other counter by counter.
    void add(const CodeStats& other);
    /// All twelve counters added into one counter of class kClassSum.
    CodeCounter sum() const;
    /// Prints the whole table with its subtotals and total.
    void printReport() const;

    /// The mark that a drain handed out nothing: the Frame counter carries -1 bytes.
    void markNothingToSend();
    bool nothingToSend() const;

    /// Counters in table order (0 = Raw ... 11 = Frame).
    const CodeCounter& counter(int position) const { return counters_[position]; }
    CodeCounter& counter(int position) { return counters_[position]; }
    /// The counter of a class, or nullptr for a class outside the table.
    const CodeCounter* find(std::int32_t codeClass) const;
    CodeCounter* find(std::int32_t codeClass);

private:
    std::array<CodeCounter, kCounterCount> counters_;
};

}  // namespace zov
