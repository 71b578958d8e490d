// A video stream made into the program for the C64 (or the C128) and the REU image that plays it: checked
// command by command, cut to --length, and refused when even the largest REU would not hold it.
#pragma once

#include "vicpack/pack_input.h"
#include "vicpack/player_timing.h"
#include "vicpack/stream_program.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// NAME.reu beside NAME.prg, its extension in the case of the program's.
std::string reuImageName(const std::string& program);

/// Whether the bytes are a video stream: a ZOVF file that is no sound file, as vicview tells them apart.
bool isVideoStream(const std::vector<std::uint8_t>& bytes);

/// Whether the bytes are a video stream whose header has a sound chunk.
bool streamHasSound(const std::vector<std::uint8_t>& bytes);

struct PackedStream {
    std::vector<std::uint8_t> stream;  // the stream packed, after any cut
    StreamPackage package;
    StreamInfo info;      // of the stream packed, after any cut
    double seconds = 0;   // how long it plays
    bool c128 = false;    // packed for the C128, else for the C64
    std::vector<FrameWork> work;  // each frame's work for the player, from its operations
    int tickPeriod = 0;           // the player's tick in cycles (PAL)
};

/// Makes the program and REU image of the stream in the bytes of the input file name, for the C64 or with
/// settings.c128 for the C128: settings.length cuts it, settings.borderColour and settings.fps go to the
/// player. Returns kPackDone and prints nothing when done; otherwise prints one line on why and returns the
/// exit code: kPackUnusableInput for a damaged stream, one without frames or one whose frames the C64 cannot
/// show where they lie, kPackTooLarge for one that no REU holds (with the seconds that fit).
int packStream(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
               PackedStream& packed);

/// The line that says what was packed into the program (and its REU image beside it) and how to run it; fps
/// is the picture rate of a stream without sound.
std::string packedStreamLine(const std::string& program, const PackedStream& packed, double fps);

/// The line that says what the player's timing model expects of the packed stream on its machine: the frames
/// late, and the bandwidth up to which frames like these keep their time.
std::string packedTimingLine(const std::string& program, const PackedStream& packed);

}  // namespace zov
