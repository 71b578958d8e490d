// A ZOV sound file as read: the rate and sample size of its header (formats/sound_header.h) and the sample
// bytes behind it.
#pragma once

#include "formats/sound_header.h"

#include <cstdint>
#include <vector>

namespace zov {

struct ZovSound {
    int bits = 0;            // 4 or 8
    std::uint32_t rate = 0;  // Hz
    /// Unsigned samples: one a byte at 8 bits; two at 4 bits, the earlier in the low nibble.
    std::vector<std::uint8_t> sampleBytes;
};

/// Reads a sound file. False with the problem when it is malformed.
bool readZovSound(const std::vector<std::uint8_t>& bytes, ZovSound& sound, FileProblem& problem);

}  // namespace zov
