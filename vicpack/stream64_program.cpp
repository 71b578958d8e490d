#include "vicpack/stream64_program.h"

#include "formats/machine_numbers.h"
#include "formats/reu_image.h"
#include "formats/reu_stream64.h"
#include "stream64_settings.h"
#include "vicpack/program_image.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace zov {
namespace {

/// The clocks of a PAL and an NTSC machine, with the same ticks to a picture: the operations carry the
/// frames' due ticks for both.
struct Clocks {
    StreamClock pal, ntsc;
};

Clocks clocksOf(const StreamInfo& info, const StreamPlayback& playback, std::uint32_t lastFrame) {
    Clocks clocks{streamClock(info, playback, lastFrame, kPalCycles), streamClock(info, playback, lastFrame, kNtscCycles)};
    if (!info.hasAudio) {
        clocks.ntsc.frameTicks = clocks.pal.frameTicks;
        clocks.ntsc.endTicks = clocks.pal.endTicks;
        clocks.ntsc.period = static_cast<int>(std::clamp<long>(std::lround(kNtscCycles / playback.fps / clocks.pal.frameTicks),
                                                               machine::kShortestStreamPeriod, 65536));
    }
    return clocks;
}

void setAddress(ProgramImage& program, MachineSetting setting, std::uint64_t address) {
    program.set(setting, static_cast<int>(address));
}

}  // namespace

std::optional<C64Stream> translateForC64(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                                         const StreamPlayback& playback, std::string& problem) {
    const StreamInfo& info = walked.info;
    std::optional<MemoryPlan> plan = planC64Memory(stream, info, walked.packets, problem);
    if (!plan) return std::nullopt;
    const Clocks clocks = clocksOf(info, playback, walked.lastFrame());
    C64Stream translated{*plan, translateStream(stream, info, walked.packets, *plan, clocks.pal.frameTicks)};
    return translated;
}

std::uint64_t c64ReuBytesNeeded(const StreamOperations& operations, std::uint32_t frames, std::uint64_t soundBytes) {
    if (frames == 0 || frames > operations.pagesAfterFrame.size()) throw std::logic_error("a cut of frames the stream lacks");
    return ReuStream64Layout{operations.pagesAfterFrame[frames - 1], soundBytes, frames}.bytesUsed();
}

StreamPackage stream64Package(const std::vector<std::uint8_t>& stream, const WalkedStream& walked, const MemoryPlan& plan,
                              const StreamPlayback& playback) {
    const StreamInfo& info = walked.info;
    if (info.hasAudio && (info.audioRate < lowestStreamAudioRate() || info.audioRate > highestStreamAudioRate()))
        throw std::logic_error("an audio rate the player cannot keep");
    const Clocks clocks = clocksOf(info, playback, walked.lastFrame());
    const StreamOperations operations = translateStream(stream, info, walked.packets, plan, clocks.pal.frameTicks);
    const ReuStream64Layout layout{operations.pages.size() / kOperationPageBytes, operations.sound.size(), operations.frames};
    const std::uint64_t unitBytes = reuSizeFor(layout.bytesUsed());
    if (unitBytes == 0) throw std::logic_error("a stream too long for the largest REU");
    StreamPackage package;
    package.reuImage = reuStream64Image(operations.pages, operations.sound, operations.frames, unitBytes);

    using Settings = Stream64Settings;
    ProgramImage program(MachineProgram::Stream64);
    program.set(Settings::identity, static_cast<int>(reuStream64Identity(package.reuImage, layout)));
    setAddress(program, Settings::imageTail, layout.tail());
    setUnitSizeText(program, Settings::reuText, unitBytes);
    setAddress(program, Settings::valueTable, ReuStream64Layout::kValueTable);
    setAddress(program, Settings::scratchAddress, ReuStream64Layout::kScratch);
    setAddress(program, Settings::savedLow, ReuStream64Layout::kSavedLow);
    setAddress(program, Settings::savedHigh, ReuStream64Layout::kSavedHigh);
    setAddress(program, Settings::savedColours, ReuStream64Layout::kSavedColours);
    setAddress(program, Settings::savedUnderIo, ReuStream64Layout::kSavedUnderIo);
    setAddress(program, Settings::operationsPage, ReuStream64Layout::kOperations / kOperationPageBytes);
    setAddress(program, Settings::soundStart, layout.sound());
    setAddress(program, Settings::soundEnd, layout.soundEnd());
    setAddress(program, Settings::recordStart, layout.record());
    program.set(Settings::periodPal, clocks.pal.period - 1);
    program.set(Settings::periodNtsc, clocks.ntsc.period - 1);
    program.set(Settings::endTicks, static_cast<int>(clocks.pal.endTicks));
    program.set(Settings::modeD016, info.multicolour() ? 0x18 : 0x08);
    program.set(Settings::border, playback.borderColour >= 0 ? playback.borderColour : 0xFF);
    appendSoundTables(program, {Settings::tablePage, Settings::voice1Control, Settings::voice1Sustain, Settings::routing}, info.hasAudio);
    package.program = program.file();
    return package;
}

}  // namespace zov
