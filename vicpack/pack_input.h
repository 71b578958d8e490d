// One input file made into a program for the machine: a bitmap file into the picture program, a ZOV sound
// file or a raw 2-bit sound track into the sound program. The kinds are recognised as vicview recognises
// them, with the same readers (formats/bitmap_file.h, formats/sound_file.h); a video stream is packed on its
// own (stream_pack.h).
#pragma once

#include "formats/screen_bytes.h"

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
    bool reu = false;                     // every sound plays from an REU image, not only one too long for memory
    bool diskImage = false;               // the programs go on a disk image, which carries no REU image
    double fps = 4;                       // pictures a second of a stream without sound
    bool c128 = false;                    // a stream plays on the C128 in its native mode, not on the C64
};

/// A program file, and the image of the RAM expansion unit (REU) that it plays its sound from, if it needs one.
struct PackedInput {
    std::vector<std::uint8_t> program;
    std::vector<std::uint8_t> reuImage;
};

/// Makes the program file for the bytes of the input file name: a sound that the memory does not hold plays
/// from an REU image. Prints one line: what the program shows or plays, or why there is none; returns
/// kPackDone or the exit code of the failure.
int packInput(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
              PackedInput& packed);

}  // namespace zov
