#include "frameconv/video/code_stats.h"

#include "common/console/console.h"

#include <cstdlib>
#include <string>

namespace zov {

namespace {


// Positions of the counters in kCommandClassOrder.
enum Position { kRawRow, kRleRow, kRleLRow, kDestQRow, kDestRow, kDestVRow, kCopyQRow, kCopyRow, kPatLRow, kPatRow, kPatQRow, kFrameRow };

// The counters are 32-bit like the target's tools; sums wrap instead of overflowing.
std::int32_t wrappingAdd(std::int32_t a, std::int64_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int64_t magnitude(std::int32_t value) { return std::llabs(static_cast<std::int64_t>(value)); }

std::string rangeText(std::int32_t range) {
    std::int64_t size = magnitude(range);
    if (size < 10000) return formatted("%7d", range);
    if (size < 1000000) return formatted("%6dK", range / 1000);
    return formatted("%6dM", range / 1000000);
}

std::string padded(const std::string& text) { return formatted("%7s", text.c_str()); }

}  // namespace

void CodeCounter::add(const CodeCounter& other) {
    used = wrappingAdd(used, other.used);
    bytes = wrappingAdd(bytes, other.bytes);
    produced = wrappingAdd(produced, other.produced);
    range = wrappingAdd(range, other.range);
    absoluteRange = wrappingAdd(absoluteRange, magnitude(other.range));
}

void CodeCounter::print(const char* label, bool header) const {
    if (header) out() << "Code    #used   Range  byUsed byDecom  saving avRange avDecom avSaved\r" << eol;
    std::int64_t saving = static_cast<std::int64_t>(produced) - bytes;
    // A row that counts no command shows its averages as zero.
    double averageRange = 0, averageProduced = 0, averageSaved = 0;
    if (used != 0) {
        double sign = range > 0 ? 1.0 : range < 0 ? -1.0 : 0.0;
        averageRange = sign * absoluteRange / used;
        averageProduced = static_cast<double>(produced) / used;
        averageSaved = static_cast<double>(saving) / used;
    }
    out() << (label != nullptr ? label : codeClassName(codeClass))
          << formatted("%7d %s %7d %7d %7lld %s %s %s\r", used, rangeText(range).c_str(), bytes, produced,
                       static_cast<long long>(saving), padded(formatted("%04.1f", averageRange)).c_str(),
                       padded(formatted("%03.2f", averageProduced)).c_str(),
                       padded(formatted("%03.2f", averageSaved)).c_str())
          << eol;
}

void CodeStats::reset() {
    for (int i = 0; i < kCounterCount; ++i) {
        counters_[i] = CodeCounter{};
        counters_[i].codeClass = kCommandClassOrder[i];
    }
}

const CodeCounter* CodeStats::find(std::int32_t codeClass) const {
    for (const CodeCounter& counter : counters_) {
        if (counter.codeClass == codeClass) return &counter;
    }
    return nullptr;
}

CodeCounter* CodeStats::find(std::int32_t codeClass) {
    return const_cast<CodeCounter*>(static_cast<const CodeStats*>(this)->find(codeClass));
}

void CodeStats::record(std::int32_t codeClass, std::int32_t used, std::int32_t bytes, std::int32_t produced,
                       std::int32_t range) {
    CodeCounter* counter = find(codeClass);
    if (counter == nullptr) return;
    counter->used = wrappingAdd(counter->used, used);
    counter->bytes = wrappingAdd(counter->bytes, bytes);
    counter->produced = wrappingAdd(counter->produced, produced);
    counter->range = wrappingAdd(counter->range, range);
    counter->absoluteRange = wrappingAdd(counter->absoluteRange, magnitude(range));
}

void CodeStats::add(const CodeStats& other) {
    for (int i = 0; i < kCounterCount; ++i) counters_[i].add(other.counters_[i]);
}

CodeCounter CodeStats::sum() const {
    CodeCounter total;
    total.codeClass = kClassSum;
    for (const CodeCounter& counter : counters_) total.add(counter);
    return total;
}

void CodeStats::markNothingToSend() { counters_[kFrameRow].bytes = -1; }

bool CodeStats::nothingToSend() const { return counters_[kFrameRow].bytes == -1; }

void CodeStats::printReport() const {
    const auto& c = counters_;
    // A subtotal starts as a copy of its group's first counter.
    auto subtotal = [&c](std::initializer_list<int> group) {
        CodeCounter total = c[*group.begin()];
        for (auto it = group.begin() + 1; it != group.end(); ++it) total.add(c[*it]);
        return total;
    };
    c[kRawRow].print(nullptr, true);
    c[kFrameRow].print(nullptr, false);
    c[kDestVRow].print(nullptr, false);
    CodeCounter control = subtotal({kRawRow, kFrameRow, kDestVRow});
    control.print(" subt ", false);
    c[kDestQRow].print(nullptr, false);
    c[kDestRow].print(nullptr, false);
    CodeCounter skips = subtotal({kDestQRow, kDestRow});
    skips.print(" subt ", false);
    c[kRleRow].print(nullptr, false);
    c[kRleLRow].print(nullptr, false);
    CodeCounter fills = subtotal({kRleRow, kRleLRow});
    fills.print(" subt ", false);
    c[kCopyQRow].print(nullptr, false);
    c[kCopyRow].print(nullptr, false);
    CodeCounter copies = subtotal({kCopyQRow, kCopyRow});
    copies.print(" subt ", false);
    c[kPatLRow].print(nullptr, false);
    c[kPatRow].print(nullptr, false);
    c[kPatQRow].print(nullptr, false);
    CodeCounter patterns = subtotal({kPatLRow, kPatRow, kPatQRow});
    patterns.print(" subt ", false);
    CodeCounter total = control;
    total.add(skips);
    total.add(fills);
    total.add(copies);
    total.add(patterns);
    total.print("Total ", false);
}

}  // namespace zov
