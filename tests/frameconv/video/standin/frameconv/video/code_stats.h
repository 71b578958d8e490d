// Temporary stand-in for the command statistics until the real record lands; only the muxer's needs.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace zov {

struct CodeCounter {
    std::int32_t codeClass = 0, used = 0, bytes = 0, produced = 0, range = 0, absRange = 0;
    void add(const CodeCounter& o) {
        used += o.used;
        bytes += o.bytes;
        produced += o.produced;
        range += o.range;
        absRange += std::abs(o.range);
    }
};

struct CodeStats {
    CodeCounter counters[12];
    CodeStats() { reset(); }
    void reset() {
        static const int classes[12] = {0, 64, 176, 144, 152, 240, 128, 160, 208, 192, 112, 241};
        for (int i = 0; i < 12; ++i) counters[i] = CodeCounter{classes[i]};
    }
    void record(int cls, int used, int bytes, int produced, int range) {
        for (auto& c : counters)
            if (c.codeClass == cls) {
                c.used += used;
                c.bytes += bytes;
                c.produced += produced;
                c.range += range;
                c.absRange += std::abs(range);
            }
    }
    void add(const CodeStats& o) {
        for (int i = 0; i < 12; ++i) counters[i].add(o.counters[i]);
    }
    CodeCounter sum() const {
        CodeCounter s{255};
        for (const auto& c : counters) s.add(c);
        return s;
    }
};

}  // namespace zov
