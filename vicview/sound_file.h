// ZOV sound files: the ZOVF container with one audio chunk ("PCMU" 8-bit or "PCML" 4-bit samples, the rate,
// the bits per sample, one channel), then the unsigned samples.
#pragma once

#include "vicview/wave_file.h"
#include "vicview/zovf_container.h"

#include <cstdint>
#include <vector>

namespace zov {

/// Whether a ZOVF file is a sound file rather than a video stream: its first chunk is an audio chunk with
/// a "PCMU" or "PCML" tag.
bool isZovSound(const std::vector<std::uint8_t>& bytes);

/// Reads a sound file into 16-bit samples at its own rate. A 4-bit byte holds the earlier sample in its
/// low nibble; both nibbles become samples (an odd count repeats the last sample in the last byte, which
/// then plays twice). False with the problem when the file is malformed.
bool readZovSound(const std::vector<std::uint8_t>& bytes, PcmSound& sound, int& bits, FileProblem& problem);

}  // namespace zov
