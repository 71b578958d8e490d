// Arbitrary bytes as an input of vicpack, through its recognition of the kinds and the making of a
// program: as a bitmap file in either mode, a ZOV sound file, or a raw track at a rate, with or without
// --length or --reu (the settings picked by the input's size). Whatever the input, the result is a program
// or a refusal with one line; a program loads at 0x0801, stays below the I/O area at 0xD000, a sound
// program's samples (or the ramps before its ring) end on a page boundary, and an REU image has one of the
// unit's sizes.
#include "fuzz/fuzz_support.h"
#include "vicpack/pack_exit.h"
#include "vicpack/pack_input.h"

#include <algorithm>

namespace {

zov::PackSettings settingsFor(std::size_t size) {
    zov::PackSettings settings;
    switch (size % 5) {
    case 0: break;
    case 1: settings.mode = zov::VicMode::HiRes, settings.borderColour = 3, settings.reu = true; break;
    case 2: settings.rawRate = 7843; break;
    case 3: settings.rawRate = 1, settings.length = 1e300; break;
    default: settings.rawRate = 65535, settings.length = 0.01; break;
    }
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zov::fuzz::QuietPlatform platform;
    std::vector<std::uint8_t> bytes(data, data + size);
    zov::PackedInput packed;
    int exit = zov::packInput("in", bytes, settingsFor(size), packed);
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
