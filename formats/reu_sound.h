// The image of a RAM expansion unit that holds a sound for the machine's REU sound player: a mark at unit
// address 0, the samples from page 1 on, placed so that they end on a page boundary, the mark again right
// after them, zeros up to the smallest standard unit size (reu_image.h). The player reads the mark at both
// places before it plays, so that a missing unit, a smaller one (whose addresses wrap round) or the image of
// another sound is told apart from this one.
#pragma once

#include "formats/machine_numbers.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zov {

/// The mark: "ZOVR", bits per sample, the rate (16 bits), 0, the number of sample bytes (32 bits) and the
/// FNV-1a hash of them (32 bits).
inline constexpr std::size_t kReuSoundMarkSize = machine::kReuSoundMarkBytes;
using ReuSoundMark = std::array<std::uint8_t, kReuSoundMarkSize>;

/// Unit addresses of a sound of sampleBytes bytes.
struct ReuSoundLayout {
    std::uint32_t firstSample = 0;  // the first sample byte
    std::uint32_t end = 0;          // after the last sample byte: a page boundary, where the mark is again
    std::uint64_t unitSize = 0;     // the smallest standard size that holds it all; 0 when none does
};

ReuSoundLayout reuSoundLayout(std::uint64_t sampleBytes);

/// The most sample bytes that the largest unit holds.
std::uint64_t mostReuSoundBytes();

ReuSoundMark reuSoundMark(int bits, unsigned rate, const std::vector<std::uint8_t>& samples);

/// The whole image; the samples fit into the largest unit.
std::vector<std::uint8_t> reuSoundImage(int bits, unsigned rate, const std::vector<std::uint8_t>& samples);

}  // namespace zov
