// Writing mono 16-bit PCM WAVE files (laid out by formats/wave_file.h), and the conversion of the target's
// unsigned samples into them.
#pragma once

#include "formats/sound_file.h"
#include "formats/wave_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// Writes the WAVE file; false after printing the reason.
bool writeWaveFile(const std::string& path, const PcmSound& sound);

/// An unsigned sample of the given width (2, 4 or 8 bits, midpoint 2^(bits−1)) as a signed 16-bit one:
/// the distance from the midpoint scaled so that the width's full range spans the 16-bit range.
/// 2-bit samples sit halfway between the 16-bit steps, so their four values are symmetric about zero.
std::int16_t widenSample(unsigned value, int bits);

/// A sound file's samples as 16-bit samples at its own rate. Both nibbles of a 4-bit byte become samples,
/// the low one first (an odd count repeats the last sample in the last byte, which then plays twice).
PcmSound widenedSound(const ZovSound& sound);

/// Raw 2-bit samples, four a byte, the first in bits 7-6 (a stream's audio packets, or a sound track as
/// frameconv reads it), as 16-bit samples at the given rate.
PcmSound twoBitSound(const std::uint8_t* bytes, std::size_t count, std::uint32_t rate);

}  // namespace zov
