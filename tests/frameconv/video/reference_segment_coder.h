// The segment coder written as plain exhaustive scans of the target image, byte by byte. It is slow and
// obviously literal; the production coder must make exactly the same choices, which the tests and the
// benchmark check against this one.
#pragma once

#include "formats/target_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// The scans are run thousands of times by the tests: optimise them even in debug builds.
#pragma GCC push_options
#pragma GCC optimize("O2")

namespace zov::reference {

class ReferenceSegmentCoder {
public:
    static constexpr int kLimit = 9000;

    /// Codes memory[w .. w+L-1] into n[0 .. L-1]; returns the coded length, 0 on failure.
    int code(TargetMemory& memory, std::uint32_t regionStart, std::uint32_t regionLength, const std::uint8_t* n,
             std::uint8_t m1, std::uint8_t m2, std::uint8_t m3) {
        image_ = memory.data();
        N_ = n;
        w_ = static_cast<int>(regionStart);
        L_ = static_cast<int>(regionLength);
        length_ = 0;
        int result = run(m1, m2, m3);
        if (result == 0) length_ = 0;
        return result;
    }

    const std::uint8_t* bytes() const { return buffer_; }
    int length() const { return length_; }

private:
    static bool in8(int d) { return d >= -128 && d <= 127; }
    static bool in12(int d) { return d >= -2048 && d <= 2047; }

    std::uint8_t& M(int address) { return image_[address - 0x0200]; }

    bool put(std::initializer_list<int> bytes) {
        if (length_ + static_cast<int>(bytes.size()) > kLimit) return false;
        for (int b : bytes) buffer_[length_++] = static_cast<std::uint8_t>(b);
        return true;
    }

    bool flush() {
        if (P_ == 0) return true;
        if (length_ + P_ + 1 > kLimit) return false;
        buffer_[length_++] = static_cast<std::uint8_t>(P_ == 1 ? 0x41 : P_);
        for (int i = 0; i < P_; ++i) buffer_[length_++] = N_[p_ + i];
        p_ += P_;
        P_ = 0;
        return true;
    }

    int run(std::uint8_t m1, std::uint8_t m2, std::uint8_t m3) {
        const int w = w_, L = L_;
        const std::uint8_t* N = N_;
        put({0xF0, (w >> 10) | 0x80});
        if (w % 1024 != 0) put({0x98 | ((w >> 8) & 3), w & 0xFF});
        p_ = 0;
        P_ = 0;
        int ref = w & ~1023;

        while (p_ + P_ < L) {
            const int x = p_ + P_;
            const int fill = N[x];

            // Skip.
            int s = 0;
            while (x + s < L && N[x + s] == M(w + x + s)) ++s;
            int u = (s == 1 && P_ > 0 && P_ < 63) ? 0 : std::min(s, 1023);
            int h = u > 0 ? u : 1;

            // RLE.
            int t = 0, m = 0;
            bool runFound = false;
            if (x + h < L && h < 4095) {
                runFound = true;
                for (int i = 1; i <= h; ++i) {
                    if (N[x + i] != fill) runFound = false;
                }
            }
            if (runFound) {
                t = h + 1;
                while (x + t < L && N[x + t] == fill) ++t;
                if (t == 2 && P_ != 0) {
                    t = 0;
                    m = 2;
                } else if (t > 4095) {
                    t = 4095;
                    m = 4096;
                } else {
                    m = t + 1;
                }
            } else {
                m = h + 1;
            }

            enum Choice { kLiteral, kSkip, kRle, kPattern, kCopy } choice = kLiteral;
            int best = -1, bestLen = 0, patR = 0, patQ = 0, o = 0, y = 0;
            if (x + m > L) {
                choice = u > 0 ? kSkip : t > 0 ? kRle : kLiteral;
            } else {
                int S = m;
                // Pattern.
                int patTotal = 0;
                for (int r = m; r <= 255; ++r) {
                    if (x + 2 * r >= L) break;
                    bool equal = true;
                    for (int i = 0; i < r; ++i) {
                        if (N[x + i] != N[x + r + i]) equal = false;
                    }
                    if (!equal) continue;
                    S = std::max(S, r);
                    int q = 2;
                    while (q < 15 && x + (q + 1) * r <= L) {
                        bool same = true;
                        for (int i = 0; i < r; ++i) {
                            if (N[x + q * r + i] != N[x + i]) same = false;
                        }
                        if (!same) break;
                        ++q;
                    }
                    if (q * r > patTotal) {
                        patTotal = q * r;
                        patR = r;
                        patQ = q;
                    }
                    if (q == 15) break;
                }
                bool pattern = patTotal >= 4;

                // Backward copy.
                for (int a = w + x - S; a >= 0x0200; --a) {
                    if (M(a) != fill) continue;
                    bool equal = true;
                    for (int i = S - 1; i >= 1; --i) {
                        if (M(a + i) != N[x + i]) {
                            equal = false;
                            break;
                        }
                    }
                    if (!equal) continue;
                    int len = S;
                    while (x + len < L && a + len < w + x && M(a + len) == N[x + len]) ++len;
                    if (len > bestLen || (len == bestLen && std::abs(a - ref) < std::abs(best - ref))) {
                        best = a;
                        bestLen = len;
                        S = len;
                        if (len >= 255) break;
                    }
                }
                const int yBack = bestLen;
                if (yBack > 0 && yBack > t && yBack > u) {
                    int d = std::abs(best - ref);
                    if (d > 2047 && yBack > 4) S -= 2;
                    else if (d > 2047 && yBack == 4) S -= 1;
                    else if (d <= 2047 && d > 127 && yBack > 3) S -= 1;
                }

                // Forward copy.
                for (int a = 0xBFFF - S; a >= w + x; --a) {
                    if (pattern && a - (w + x) < patTotal) {
                        if (bestLen >= patR) break;
                        pattern = false;
                    }
                    if (M(a) != fill) continue;
                    bool equal = true;
                    for (int i = S - 1; i >= 1; --i) {
                        if (M(a + i) != N[x + i]) {
                            equal = false;
                            break;
                        }
                    }
                    if (!equal) continue;
                    int len = S;
                    while (x + len < L && a + len <= 0xBFFF && M(a + len) == N[x + len]) ++len;
                    if (len < S) continue;
                    if (len == S && best >= 0 && !(std::abs(a - ref) < std::abs(best - ref))) continue;
                    if (a - (w + x) < len) break;
                    if (len < yBack) {
                        int bd = best - ref, nd = a - ref;
                        bool cheaper = false;
                        if (in12(bd) && !in8(bd)) cheaper = in8(nd);
                        else if (!in12(bd)) cheaper = in8(nd) || (in12(nd) && len + 1 >= yBack);
                        if (!cheaper) continue;
                    }
                    best = a;
                    bestLen = len;
                    S = len;
                    if (len >= 255) break;
                }

                // Final lengths.
                y = bestLen == 1 ? 0 : std::min(bestLen, 255);
                if (pattern) {
                    if (patTotal == 4) {
                        if (y >= 4 / patQ && best >= 0 && in8(best - ref)) o = 4 / patQ;
                        else pattern = false;
                    } else {
                        o = patTotal / patQ;
                    }
                    if (pattern && y < o) pattern = false;
                }

                // Choice.
                const int d = best - ref;
                bool skip = u > 0, rle = t > 0, copy = y > 0;
                int skipValue = u - (u > 8 ? 1 : 0) - 1;
                int rleValue = t - (t > 47 ? 1 : 0) - 2;
                int patCost = (o <= 9 && patQ <= 3 && in8(d)) ? 2 : (o <= 17 && in12(d)) ? 3 : 4;
                int patValue = patQ * o - patCost;
                int copyCost = (y <= 17 && in8(d)) ? 2 : in12(d) ? 3 : 4;
                int copyValue = y - copyCost;
                if (skip) {
                    if (rle) {
                        if (rleValue > skipValue) skip = false;
                        else rle = false;
                    }
                    if (skip && pattern) {
                        if (patValue > skipValue) skip = false;
                        else pattern = false;
                    }
                    if (skip && copy) {
                        if (copyValue > skipValue) skip = false;
                        else copy = false;
                    }
                }
                if (!skip) {
                    if (copy && y < 5 && !pattern) {
                        int need = 2 + (in8(d) ? 0 : 1) + (in12(d) ? 0 : 1) + ((P_ > 0 && P_ + y <= 63) ? 1 : 0);
                        if (y < need || (y == need && !in12(d))) copy = false;
                    }
                    bool stepDone = false;
                    if (rle && pattern) {
                        if (t < patQ * o) {
                            rle = false;
                            stepDone = true;
                        } else {
                            pattern = false;
                        }
                    }
                    if (!stepDone && rle && copy) {
                        if (rleValue >= copyValue || (rleValue == copyValue - 1 && t > 2 && !in12(d))) copy = false;
                        else rle = false;
                    }
                }
                choice = skip ? kSkip : rle ? kRle : pattern ? kPattern : copy ? kCopy : kLiteral;
            }

            if (choice == kLiteral) {
                M(w + x) = N[x];
                ++P_;
                if (P_ == 63 || x + 1 == L) {
                    if (!flush()) return 0;
                }
                continue;
            }
            if (!flush()) return 0;
            const int dest = w + p_;
            const int d = best - ref;
            switch (choice) {
                case kSkip:
                    if (u <= 8) {
                        if (!put({0x90 | (u - 1)})) return 0;
                    } else if (!put({0x98 | (u >> 8), u & 0xFF})) {
                        return 0;
                    }
                    p_ += u;
                    break;
                case kRle:
                    if (t < 48) {
                        if (!put({0x40 | t, fill})) return 0;
                    } else if (!put({0xB0 | (t >> 8), t & 0xFF, fill})) {
                        return 0;
                    }
                    for (int i = 0; i < t; ++i) M(dest + i) = static_cast<std::uint8_t>(fill);
                    p_ += t;
                    break;
                case kPattern: {
                    bool fits;
                    if (o <= 9 && patQ <= 3 && in8(d)) fits = put({0x70 | (patQ == 3 ? 8 : 0) | (o - 2), d & 0xFF});
                    else if (o <= 17 && in12(d)) fits = put({0xC0 | ((d >> 8) & 0x0F), d & 0xFF, (patQ << 4) | (o - 2)});
                    else fits = put({0xD0 | patQ, best & 0xFF, best >> 8, o & 0xFF});
                    if (!fits) return 0;
                    for (int i = 0; i < patQ * o; ++i) M(dest + i) = M(best + i % o);
                    p_ += patQ * o;
                    ref = best;
                    break;
                }
                case kCopy: {
                    bool fits;
                    if (y <= 17 && in8(d)) fits = put({0x80 | (y - 2), d & 0xFF});
                    else if (in12(d)) fits = put({0xA0 | ((d >> 8) & 0x0F), d & 0xFF, y});
                    else fits = put({0xD1, best & 0xFF, best >> 8, y});
                    if (!fits) return 0;
                    if (best < dest + y && dest < best + y) return 0;
                    for (int i = 0; i < y; ++i) M(dest + i) = M(best + i);
                    p_ += y;
                    ref = best;
                    break;
                }
                default: break;
            }
        }
        const std::uint8_t frame[] = {0xF1, 0x3B, 0x18, m1, m2, m3};
        for (std::uint8_t b : frame) buffer_[length_++] = b;
        return length_;
    }

    std::uint8_t* image_ = nullptr;  // target address 0x0200 at index 0
    const std::uint8_t* N_ = nullptr;
    int w_ = 0, L_ = 0;
    int p_ = 0, P_ = 0;
    std::uint8_t buffer_[kLimit + 6] = {};
    int length_ = 0;
};

}  // namespace zov::reference

#pragma GCC pop_options
