// One input file made into a program for the machine: a bitmap file into the picture program, a ZOV sound
// file or a raw 2-bit sound track into the sound program. The kinds are recognised as vicview recognises
// them, with its readers; a video stream is packed on its own (stream_pack.h).
#pragma once

#include "vicview/vic_screen.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zov {

struct PackSettings {
    VicMode mode = VicMode::Multicolour;  // of bitmap files
    int borderColour = -1;                // of pictures; -1: the picture's background colour
    int rawRate = 0;                      // a file of no other kind is a raw 2-bit sound track at this rate
    std::optional<double> length;         // seconds of each sound, or of a stream, kept at most
    double fps = 4;                       // pictures a second of a stream without sound
};

/// Makes the program file for the bytes of the input file name. Prints one line: what the program shows or
/// plays, or why there is none; returns kPackDone or the exit code of the failure.
int packInput(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
              std::vector<std::uint8_t>& program);

}  // namespace zov
