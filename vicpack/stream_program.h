// A video stream as a program for the Commodore 128 in its native mode and the image of the RAM expansion
// unit (REU) that feeds it: the program loads at 0x1C01 (RUN"NAME"), moves its player up, and plays the
// stream from the unit in real time, its sound as the clock.
#pragma once

#include "formats/stream_walk.h"
#include "vicpack/program_image.h"

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

/// The lowest and the highest audio rate the player keeps, on a PAL or an NTSC machine.
unsigned lowestStreamAudioRate();
unsigned highestStreamAudioRate();

/// How a player keeps time on one machine: the timer's period in cycles, the ticks per source picture and
/// the ticks from the first frame to the end of the sound or the last picture.
struct StreamClock {
    int period = 0;
    std::uint32_t frameTicks = 0;
    std::uint32_t endTicks = 0;
};
/// With sound, the ticks are the samples at the nearest rate the timer gives; without, about a millisecond
/// each, a whole number of them to a picture at the playback's rate. cycles: the machine's a second.
StreamClock streamClock(const StreamInfo& info, const StreamPlayback& playback, std::uint32_t lastFrame, double cycles);
inline constexpr double kPalCycles = 985248.0, kNtscCycles = 1022727.0;

/// Writes the unit's size in KiB as text into a program's setting (for the line that asks for it).
void setUnitSizeText(ProgramImage& program, MachineSetting text, std::uint64_t unitBytes);

/// A stream player's settings for its sound tables, and the tables appended behind the program at the page
/// that tablePage names: four pages of volume values per chip model, then the ramp page; silent without sound.
struct SoundTableSettings {
    MachineSetting tablePage, voice1Control, voice1Sustain, routing;
};
void appendSoundTables(ProgramImage& program, const SoundTableSettings& settings, bool withSound);

/// The program and the REU image that play a stream, walked as walked.
StreamPackage streamPackage(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                            const StreamPlayback& playback);

}  // namespace zov
