// Arbitrary bytes as an input of vicpack, through its recognition of the kinds and the making of a
// program: as a bitmap file in either mode, a ZOV sound file, a raw track at a rate, or a video stream,
// with or without --length or --reu (the settings picked by the input's size). Whatever the input, the
// result is a program or a refusal with one line; a program loads at 0x0801, stays below the I/O area at
// 0xD000, a sound program's samples (or the ramps before its ring) end on a page boundary, and an REU image
// has one of the unit's sizes. A stream that is packed says nothing, and what is packed of it (after any
// cut) keeps the walk's rules again, with frames, in an REU image of a standard size; packed for the C64, its
// operations replayed show every frame as the segment player does.
#include "formats/reu_image.h"
#include "formats/stream_walk.h"
#include "fuzz/fuzz_support.h"
#include "vicpack/pack_exit.h"
#include "vicpack/pack_input.h"
#include "vicpack/stream64_program.h"
#include "vicpack/stream_pack.h"
#include "support/c64_frames.h"

#include <algorithm>

namespace {

zov::PackSettings settingsFor(std::size_t size) {
    zov::PackSettings settings;
    switch (size % 5) {
    case 0: break;
    case 1: settings.mode = zov::VicMode::HiRes, settings.borderColour = 3, settings.reu = true, settings.fps = 0.001, settings.c128 = true; break;
    case 2: settings.rawRate = 7843, settings.length = 0.5; break;
    case 3: settings.rawRate = 1, settings.length = 1e300, settings.fps = 1e300; break;
    default: settings.rawRate = 65535, settings.length = 0.01; break;
    }
    return settings;
}

void checkPackedStream(const std::vector<std::uint8_t>& bytes, const zov::PackSettings& settings,
                       const zov::fuzz::QuietPlatform& platform) {
    zov::PackedStream packed;
    const int exit = zov::packStream("in", bytes, settings, packed);
    const std::string& said = platform.console.output();
    if (exit != zov::kPackDone) {
        zov::fuzz::require(std::count(said.begin(), said.end(), '\n') == 1, "one line on a refusal", platform.console);
        zov::fuzz::require(exit == zov::kPackUnusableInput || exit == zov::kPackTooLarge, "a refusal's code",
                           platform.console);
        return;
    }
    zov::fuzz::require(said.empty(), "nothing said of a packed stream", platform.console);
    zov::WalkedStream again;
    zov::StreamFault fault;
    zov::fuzz::require(zov::walkStream(packed.stream, again, fault), "the packed stream keeps the rules", platform.console);
    zov::fuzz::require(again.info.frames > 0 && again.info.frames == packed.info.frames, "frames packed",
                       platform.console);
    if (!settings.length) zov::fuzz::require(packed.stream == bytes, "the whole stream without --length", platform.console);
    const std::uint64_t image = packed.package.reuImage.size();
    zov::fuzz::require(zov::reuSizeFor(image) == image && image >= packed.stream.size(), "an REU image of a standard size",
                       platform.console);
    if (settings.c128) return;
    std::string problem;
    const zov::StreamPlayback playback{settings.borderColour, settings.fps};
    const std::optional<zov::C64Stream> c64 = zov::translateForC64(packed.stream, again, playback, problem);
    zov::fuzz::require(c64.has_value(), "a packed stream's cut has a C64 plan", platform.console);
    const std::uint32_t ticks = zov::streamClock(packed.info, playback, 0, zov::kPalCycles).frameTicks;
    zov::fuzz::require(zov::testing::c64FramesDiffer(packed.stream, packed.info, again.packets, c64->operations.pages, ticks).empty(),
                       "the C64's frames are the segment player's", platform.console);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zov::fuzz::QuietPlatform platform;
    std::vector<std::uint8_t> bytes(data, data + size);
    const zov::PackSettings settings = settingsFor(size);
    if (zov::isVideoStream(bytes)) {
        checkPackedStream(bytes, settings, platform);
        return 0;
    }
    zov::PackedInput packed;
    int exit = zov::packInput("in", bytes, settings, packed);
    const std::vector<std::uint8_t>& program = packed.program;
    const std::string& said = platform.console.output();
    zov::fuzz::require(std::count(said.begin(), said.end(), '\n') == 1, "one line about the input", platform.console);
    if (exit != zov::kPackDone) {
        zov::fuzz::require(program.empty(), "no program after a refusal", platform.console);
        return 0;
    }
    zov::fuzz::require(program.size() > 2 && program[0] == 0x01 && program[1] == 0x08, "loads at 0x0801", platform.console);
    zov::fuzz::require(0x0801 + program.size() - 2 <= 0xD000, "ends below 0xD000", platform.console);
    bool sound = said.find(" samples of ") != std::string::npos;
    if (sound) zov::fuzz::require((0x0801 + program.size() - 2) % 256 == 0, "samples end on a page", platform.console);
    const std::size_t unit = packed.reuImage.size();
    zov::fuzz::require(unit == 0 || (unit >= 128 * 1024 && unit <= 16 * 1024 * 1024 && (unit & (unit - 1)) == 0),
                       "an REU image of a standard size", platform.console);
    return 0;
}
