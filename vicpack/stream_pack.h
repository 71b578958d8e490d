// A video stream made into the program for the C128 and the REU image that plays it: checked command by
// command, cut to --length, and refused when even the largest REU would not hold it.
#pragma once

#include "vicpack/pack_input.h"
#include "vicpack/stream_program.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// Whether the bytes are a video stream: a ZOVF file that is no sound file, as vicview tells them apart.
bool isVideoStream(const std::vector<std::uint8_t>& bytes);

/// Whether the bytes are a video stream whose header has a sound chunk.
bool streamHasSound(const std::vector<std::uint8_t>& bytes);

struct PackedStream {
    std::vector<std::uint8_t> stream;  // the stream packed, after any cut
    StreamPackage package;
    StreamInfo info;      // of the stream packed, after any cut
    double seconds = 0;   // how long it plays
};

/// Makes the program and REU image of the stream in the bytes of the input file name: settings.length cuts
/// it, settings.borderColour and settings.fps go to the player. Returns kPackDone and prints nothing when
/// done; otherwise prints one line on why and returns the exit code: kPackUnusableInput for a damaged stream
/// or one without frames, kPackTooLarge for one that no REU holds (with the seconds that fit).
int packStream(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
               PackedStream& packed);

}  // namespace zov
