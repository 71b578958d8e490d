// A video stream as a program for the Commodore 128 in its native mode and the image of the RAM expansion
// unit (REU) that feeds it: the program loads at 0x1C01 (RUN"NAME"), moves its player up, and plays the
// stream from the unit in real time, its sound as the clock.
#pragma once

#include "formats/stream_walk.h"

#include <cstdint>
#include <vector>

namespace zov {

struct StreamPlayback {
    int borderColour = -1;  // -1: each frame's background colour, as vicview's film draws the border
    double fps = 4;         // pictures a second of a stream without sound, whose header carries no rate
};

struct StreamPackage {
    std::vector<std::uint8_t> program;   // NAME.prg
    std::vector<std::uint8_t> reuImage;  // NAME.reu, of a standard REU size (formats/reu_image.h)
};

/// The bytes the REU must hold for a stream of streamBytes bytes with frames frames: the stream and what
/// the player needs besides it, before rounding up to a standard size.
std::uint64_t reuBytesNeeded(std::uint64_t streamBytes, std::uint32_t frames);

/// The player's sample interrupt needs at least this many cycles between two samples.
inline constexpr int kShortestStreamPeriod = 110;
/// The lowest and the highest audio rate the player keeps, on a PAL or an NTSC machine.
unsigned lowestStreamAudioRate();
unsigned highestStreamAudioRate();

/// The program and the REU image that play a stream, walked as walked.
StreamPackage streamPackage(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                            const StreamPlayback& playback);

}  // namespace zov
