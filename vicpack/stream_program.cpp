#include "vicpack/stream_program.h"

#include "formats/machine_numbers.h"
#include "formats/reu_image.h"
#include "formats/reu_stream.h"
#include "stream_settings.h"
#include "vicpack/program_image.h"
#include "vicpack/sid_levels.h"
#include "vicpack/sound_program.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace zov {
namespace {

constexpr double kClocks[2] = {kPalCycles, kNtscCycles};  // cycles per second
constexpr int kStreamBits = 2;
constexpr int kLongestPeriod = 65536;  // the timer counts from 65535 down
constexpr double kTicksPerSecond = 1000;  // the clock of a stream without sound: about a millisecond a tick

}  // namespace

void setUnitSizeText(ProgramImage& program, MachineSetting text, std::uint64_t unitBytes) {
    const std::string kilobytes = std::to_string(unitBytes / 1024);
    for (std::size_t i = 0; i < kilobytes.size(); ++i) program.setByteOf(text, static_cast<int>(i), kilobytes[i]);
}

void appendSoundTables(ProgramImage& program, const SoundTableSettings& settings, bool withSound) {
    // Four pages per chip model, then the ramp page; all silent without sound.
    const int tablePage = pageAlignedUp(program.end()) / 256;
    program.set(settings.tablePage, tablePage);
    program.padTo(tablePage * 256);
    for (int model = 0; model < 2; ++model) {
        const SidSetup& setup = sidSetup(kSidModels[model]);
        program.setByteOf(settings.voice1Control, model, setup.voice1Control);
        program.setByteOf(settings.voice1Sustain, model, setup.voice1Sustain);
        program.setByteOf(settings.routing, model, setup.routing);
        std::vector<std::uint8_t> pages = volumeTablePages(setup, kStreamBits);
        if (!withSound) std::fill(pages.begin(), pages.end(), 0);
        program.append(pages);
    }
    std::vector<std::uint8_t> ramps = volumeRampPage(kStreamBits);
    if (!withSound) std::fill(ramps.begin(), ramps.end(), 0);
    program.append(ramps);
}

StreamClock streamClock(const StreamInfo& info, const StreamPlayback& playback, std::uint32_t lastFrame, double cycles) {
    StreamClock clock;
    if (info.hasAudio) {
        clock.period = static_cast<int>(std::lround(cycles / info.audioRate));
        clock.frameTicks = static_cast<std::uint32_t>(info.samplesPerFrame);
        clock.endTicks = std::max(info.samples, lastFrame * clock.frameTicks);
        return clock;
    }
    const double cyclesPerPicture = cycles / playback.fps;
    clock.frameTicks = static_cast<std::uint32_t>(std::clamp(std::lround(cyclesPerPicture / (cycles / kTicksPerSecond)), 1L, 65535L));
    // A picture rate beyond what the player can show still gets ticks its interrupt can keep up with.
    clock.period = static_cast<int>(std::clamp<long>(std::lround(cyclesPerPicture / clock.frameTicks), machine::kShortestStreamPeriod, kLongestPeriod));
    clock.endTicks = lastFrame * clock.frameTicks;
    return clock;
}

PlayerClocks playerClocks(const StreamInfo& info, const StreamPlayback& playback, std::uint32_t lastFrame) {
    PlayerClocks clocks{streamClock(info, playback, lastFrame, kPalCycles), streamClock(info, playback, lastFrame, kNtscCycles)};
    if (!info.hasAudio) {
        clocks.ntsc.frameTicks = clocks.pal.frameTicks;
        clocks.ntsc.endTicks = clocks.pal.endTicks;
        clocks.ntsc.period = static_cast<int>(std::clamp<long>(std::lround(kNtscCycles / playback.fps / clocks.pal.frameTicks),
                                                               machine::kShortestStreamPeriod, 65536));
    }
    return clocks;
}

unsigned lowestStreamAudioRate() {
    return static_cast<unsigned>(std::ceil(std::max(kClocks[0], kClocks[1]) / (kLongestPeriod + 0.5)));
}

unsigned highestStreamAudioRate() { return static_cast<unsigned>(std::floor(kMachineClock / (machine::kShortestStreamPeriod - 0.5))); }

StreamOperations translateForC128(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                                  const StreamPlayback& playback) {
    const PlayerClocks clocks = playerClocks(walked.info, playback, walked.lastFrame());
    return translateStream(stream, walked.info, walked.packets, identityPlan(stream, walked.info, walked.packets), clocks.pal.frameTicks);
}

std::uint64_t c128ReuBytesNeeded(const StreamOperations& operations, std::uint32_t frames, std::uint64_t soundBytes) {
    return reuBytesNeededFor<ReuStreamLayout>(operations, frames, soundBytes);
}

StreamPackage streamPackage(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                            const StreamPlayback& playback) {
    const StreamInfo& info = walked.info;
    if (info.hasAudio && (info.audioRate < lowestStreamAudioRate() || info.audioRate > highestStreamAudioRate()))
        throw std::logic_error("an audio rate the player cannot keep");
    StreamOperations operations = translateForC128(stream, walked, playback);
    const ReuStreamLayout layout{{operations.pages.size() / kOperationPageBytes, operations.sound.size(), operations.frames}};
    const std::uint64_t unitBytes = reuSizeFor(layout.bytesUsed());
    if (unitBytes == 0) throw std::logic_error("a stream too long for the largest REU");
    StreamPackage package;
    package.reuImage = reuStreamImage(operations.pages, operations.sound, operations.frames, unitBytes);
    ProgramImage program(MachineProgram::Stream, kLoadAddress128);
    program.set(StreamSettings::savedTop, static_cast<int>(ReuStreamLayout::kSavedTop));
    setImageSettings<StreamSettings>(program, layout, unitBytes, reuOperationsIdentity(package.reuImage, layout), info, playback,
                                     playerClocks(info, playback, walked.lastFrame()));
    package.program = program.file();
    package.operationPages = std::move(operations.pages);
    return package;
}

}  // namespace zov
