// A video stream as a program for the C64 (and a C128 in C64 mode) with the image of the RAM expansion unit
// (REU) that feeds it: the program loads at 0x0801 (LOAD"NAME",8 and RUN), and plays the stream's operations
// (vicpack/stream_translation.h) from the unit in real time, its sound as the clock.
#pragma once

#include "vicpack/stream_program.h"
#include "vicpack/stream_translation.h"

#include <optional>
#include <string>

namespace zov {

/// A walked stream made ready for the C64: the plan of its memory and its operations.
struct C64Stream {
    MemoryPlan plan;
    StreamOperations operations;
};

/// The C64's plan and operations of a walked stream, or nothing with the reason when the C64 cannot show
/// its frames.
std::optional<C64Stream> translateForC64(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                                         const StreamPlayback& playback, std::string& problem);

/// The bytes the REU image needs for the first frames of the translated stream with soundBytes of its sound.
std::uint64_t c64ReuBytesNeeded(const StreamOperations& operations, std::uint32_t frames, std::uint64_t soundBytes);

/// The program and the REU image that play a walked stream on the C64, through a plan made for it or for a
/// stream that it begins.
StreamPackage stream64Package(const std::vector<std::uint8_t>& stream, const WalkedStream& walked, const MemoryPlan& plan,
                              const StreamPlayback& playback);

}  // namespace zov
