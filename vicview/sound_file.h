// ZOV sound files as sound to listen to: the header's layout is the format library's.
#pragma once

#include "vicview/wave_file.h"
#include "formats/sound_header.h"

#include <cstdint>
#include <vector>

namespace zov {

/// Reads a sound file into 16-bit samples at its own rate. A 4-bit byte holds the earlier sample in its
/// low nibble; both nibbles become samples (an odd count repeats the last sample in the last byte, which
/// then plays twice). False with the problem when the file is malformed.
bool readZovSound(const std::vector<std::uint8_t>& bytes, PcmSound& sound, int& bits, FileProblem& problem);

}  // namespace zov
