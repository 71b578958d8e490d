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

std::optional<C64Stream> translateForC64(const std::vector<std::uint8_t>& stream, const WalkedStream& walked,
                                         const StreamPlayback& playback, std::string& problem) {
    const StreamInfo& info = walked.info;
    std::optional<MemoryPlan> plan = planC64Memory(stream, info, walked.packets, problem);
    if (!plan) return std::nullopt;
    const PlayerClocks clocks = playerClocks(info, playback, walked.lastFrame());
    C64Stream translated{*plan, translateStream(stream, info, walked.packets, *plan, clocks.pal.frameTicks)};
    return translated;
}

std::uint64_t c64ReuBytesNeeded(const StreamOperations& operations, std::uint32_t frames, std::uint64_t soundBytes) {
    return reuBytesNeededFor<ReuStream64Layout>(operations, frames, soundBytes);
}

StreamPackage stream64Package(const std::vector<std::uint8_t>& stream, const WalkedStream& walked, const MemoryPlan& plan,
                              const StreamPlayback& playback) {
    const StreamInfo& info = walked.info;
    if (info.hasAudio && (info.audioRate < lowestStreamAudioRate() || info.audioRate > highestStreamAudioRate()))
        throw std::logic_error("an audio rate the player cannot keep");
    const PlayerClocks clocks = playerClocks(info, playback, walked.lastFrame());
    StreamOperations operations = translateStream(stream, info, walked.packets, plan, clocks.pal.frameTicks);
    const ReuStream64Layout layout{{operations.pages.size() / kOperationPageBytes, operations.sound.size(), operations.frames}};
    const std::uint64_t unitBytes = reuSizeFor(layout.bytesUsed());
    if (unitBytes == 0) throw std::logic_error("a stream too long for the largest REU");
    StreamPackage package;
    package.reuImage = reuStream64Image(operations.pages, operations.sound, operations.frames, unitBytes);

    ProgramImage program(MachineProgram::Stream64);
    program.set(Stream64Settings::savedUnderIo, static_cast<int>(ReuStream64Layout::kSavedUnderIo));
    setImageSettings<Stream64Settings>(program, layout, unitBytes, reuOperationsIdentity(package.reuImage, layout), info, playback, clocks);
    package.program = program.file();
    package.operationPages = std::move(operations.pages);
    return package;
}

}  // namespace zov
