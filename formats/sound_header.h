// The head of a ZOV sound file: the ZOVF container with one audio chunk ("PCMU" for 8-bit, "PCML" for 4-bit
// samples, the rate as 16 bits, the bits per sample, one channel), 20 bytes in all; the unsigned samples
// follow it (4-bit: the earlier sample in the low nibble).
#pragma once

#include "formats/zovf_container.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

inline constexpr std::size_t kSoundHeaderSize = 20;
inline constexpr std::size_t kSoundChunkPayload = 8;

/// The header of a sound file of the given frequency (its integer part modulo 65536 is stored) and sample
/// size (8, or 4 for any other value), its length field 0 until the file is finished.
std::array<std::uint8_t, kSoundHeaderSize> soundFileHeader(double frequency, int bitsPerSample);

struct SoundHeader {
    int bits = 0;               // 4 or 8
    std::uint32_t rate = 0;     // Hz
};

/// Whether a ZOVF file is a sound file rather than a video stream: its first chunk is an audio chunk with
/// a "PCMU" or "PCML" tag.
bool isZovSound(const std::vector<std::uint8_t>& bytes);

/// Reads and checks the header of a sound file. False with the problem when it is malformed.
bool readSoundHeader(const std::vector<std::uint8_t>& bytes, SoundHeader& header, FileProblem& problem);

}  // namespace zov
