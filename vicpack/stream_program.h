// A video stream as a program for the Commodore 128 in its native mode and the image of the RAM expansion
// unit (REU) that feeds it: the program loads at 0x1C01 (RUN"NAME"), moves its player up, and plays the
// stream's operations (vicpack/stream_translation.h) from the unit in real time, its sound as the clock. The
// C128's memory is the stream's, so its operations write where the stream's commands do. And what both
// stream players' programs share: their clocks, their sound tables and the settings of their images.
#pragma once

#include "formats/stream_walk.h"
#include "vicpack/program_image.h"
#include "vicpack/stream_translation.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace zov {

struct StreamPlayback {
    int borderColour = -1;  // -1: each frame's background colour, as vicview's film draws the border
    double fps = 4;         // pictures a second of a stream without sound, whose header carries no rate
};

struct StreamPackage {
    std::vector<std::uint8_t> program;   // NAME.prg
    std::vector<std::uint8_t> reuImage;  // NAME.reu, of a standard REU size (formats/reu_image.h)
    std::vector<std::uint8_t> operationPages;  // the operations in the image, for the player's timing model
};

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

/// The clocks of a PAL and an NTSC machine, with the same ticks to a picture: the operations carry the
/// frames' due ticks for both (without sound, the NTSC machine's period makes its ticks as many).
struct PlayerClocks {
    StreamClock pal, ntsc;
};
PlayerClocks playerClocks(const StreamInfo& info, const StreamPlayback& playback, std::uint32_t lastFrame);

/// Writes the unit's size in KiB as text into a program's setting (for the line that asks for it).
void setUnitSizeText(ProgramImage& program, MachineSetting text, std::uint64_t unitBytes);

/// A stream player's settings for its sound tables, and the tables appended behind the program at the page
/// that tablePage names: four pages of volume values per chip model, then the ramp page; silent without sound.
struct SoundTableSettings {
    MachineSetting tablePage, voice1Control, voice1Sustain, routing;
};
void appendSoundTables(ProgramImage& program, const SoundTableSettings& settings, bool withSound);

/// The settings that both stream players' programs name alike, filled in for an image of a layout (with the
/// unit's size), its identity and the clocks, and the sound tables appended.
template <typename Settings, typename Layout>
void setImageSettings(ProgramImage& program, const Layout& layout, std::uint64_t unitBytes, std::uint32_t identity,
                      const StreamInfo& info, const StreamPlayback& playback, const PlayerClocks& clocks) {
    auto address = [&program](MachineSetting setting, std::uint64_t value) { program.set(setting, static_cast<int>(value)); };
    program.set(Settings::identity, static_cast<int>(identity));
    address(Settings::imageTail, layout.tail());
    setUnitSizeText(program, Settings::reuText, unitBytes);
    address(Settings::valueTable, Layout::kValueTable);
    address(Settings::scratchAddress, Layout::kScratch);
    address(Settings::savedLow, Layout::kSavedLow);
    address(Settings::savedHigh, Layout::kSavedHigh);
    address(Settings::savedColours, Layout::kSavedColours);
    address(Settings::operationsPage, Layout::kOperations / machine::kOperationPageBytes);
    address(Settings::soundStart, layout.sound());
    address(Settings::soundEnd, layout.soundEnd());
    address(Settings::recordStart, layout.record());
    program.set(Settings::periodPal, clocks.pal.period - 1);
    program.set(Settings::periodNtsc, clocks.ntsc.period - 1);
    program.set(Settings::endTicks, static_cast<int>(clocks.pal.endTicks));
    program.set(Settings::modeD016, info.multicolour() ? machine::kMulticolourControl : machine::kHiResControl);
    program.set(Settings::border, playback.borderColour >= 0 ? playback.borderColour : 0xFF);
    appendSoundTables(program, {Settings::tablePage, Settings::voice1Control, Settings::voice1Sustain, Settings::routing}, info.hasAudio);
}

/// The bytes the REU image of a layout needs for the first frames of translated operations with soundBytes
/// of their sound, before rounding up to a standard size.
template <typename Layout>
std::uint64_t reuBytesNeededFor(const StreamOperations& operations, std::uint32_t frames, std::uint64_t soundBytes) {
    if (frames == 0 || frames > operations.pagesAfterFrame.size()) throw std::logic_error("a cut of frames the stream lacks");
    return Layout{{operations.pagesAfterFrame[frames - 1], soundBytes, frames}}.bytesUsed();
}

/// The operations of a walked stream on the C128, whose memory is the stream's.
StreamOperations translateForC128(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                                  const StreamPlayback& playback);

/// The bytes the C128's REU image needs for the first frames of the translated stream with soundBytes of its
/// sound.
std::uint64_t c128ReuBytesNeeded(const StreamOperations& operations, std::uint32_t frames, std::uint64_t soundBytes);

/// The program and the REU image that play a stream, walked as walked, on the C128.
StreamPackage streamPackage(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                            const StreamPlayback& playback);

}  // namespace zov
