#include "vicpack/sound_program.h"

#include "formats/machine_numbers.h"
#include "formats/reu_sound.h"
#include "sound2_reu_settings.h"
#include "sound2_settings.h"
#include "sound4_reu_settings.h"
#include "sound4_settings.h"
#include "sound8_reu_settings.h"
#include "sound8_settings.h"
#include "vicpack/program_image.h"
#include "vicpack/sid_levels.h"

#include <cmath>

namespace zov {
namespace {

constexpr int kLongestPeriod = 65536;  // the timer counts from 65535 down

MachineProgram playerFor(int bits) {
    return bits == 8 ? MachineProgram::Sound8 : bits == 4 ? MachineProgram::Sound4 : MachineProgram::Sound2;
}

MachineProgram reuPlayerFor(int bits) {
    return bits == 8 ? MachineProgram::Sound8Reu : bits == 4 ? MachineProgram::Sound4Reu : MachineProgram::Sound2Reu;
}

/// Where the parts of a sound program go: the tables from the first page after the player (each model's on
/// pages that start at a multiple of their count, so that the player can step through them by the page's
/// low bits), the ramp page after them, then the samples, placed so that they end on a page boundary, or
/// the ring page of the player that reads them from a unit.
struct SoundLayout {
    int tablePages[2] = {0, 0};
    int rampPage = 0;
    int samplesFrom = 0;  // the first address the samples (or the ring) may take
};

SoundLayout layOut(MachineProgram player, int bits) {
    const int pages = samplesPerByte(bits);
    const int playerEnd = static_cast<int>(machineProgram(player).size()) - 2 + kLoadAddress;
    SoundLayout layout;
    int page = pageAlignedUp(playerEnd) / 256;
    page = (page + pages - 1) / pages * pages;
    layout.tablePages[0] = page;
    layout.tablePages[1] = page + pages;
    layout.rampPage = page + 2 * pages;
    layout.samplesFrom = (layout.rampPage + 1) * 256;
    return layout;
}

}  // namespace

int samplePeriod(unsigned rate) { return static_cast<int>(std::lround(kMachineClock / rate)); }

unsigned lowestRate() { return static_cast<unsigned>(std::ceil(kMachineClock / (kLongestPeriod + 0.5))); }

unsigned highestRate(int bits) {
    int shortest = bits == 8 ? machine::kShortestPeriod8 : machine::kShortestPeriodPacked;
    return static_cast<unsigned>(std::floor(kMachineClock / (shortest - 0.5)));
}

std::size_t mostSampleBytes(int bits) {
    return static_cast<std::size_t>(kLoadLimit - layOut(playerFor(bits), bits).samplesFrom);
}

namespace {

/// The player for the sound's sample width, whose settings are Settings, with its rate, level tables and
/// ramps; the per-model settings hold the 6581's value, then the 8580's.
template <typename Settings>
ProgramImage playerWithTables(MachineProgram player, const SoundLayout& layout, const SoundSamples& sound) {
    ProgramImage program(player);
    program.set(Settings::period, samplePeriod(sound.rate) - 1);
    program.set(Settings::rampPage, layout.rampPage);
    for (int model = 0; model < 2; ++model) {
        const SidSetup& setup = sidSetup(kSidModels[model]);
        program.setByteOf(Settings::tablePages, model, layout.tablePages[model]);
        program.setByteOf(Settings::voice1Control, model, setup.voice1Control);
        program.setByteOf(Settings::voice1Sustain, model, setup.voice1Sustain);
        program.setByteOf(Settings::routing, model, setup.routing);
        program.padTo(layout.tablePages[model] * 256);
        program.append(volumeTablePages(setup, sound.bits));
    }
    program.append(volumeRampPage(sound.bits));
    return program;
}

template <typename Settings>
std::vector<std::uint8_t> soundProgramWith(const SoundSamples& sound) {
    const MachineProgram player = playerFor(sound.bits);
    const SoundLayout layout = layOut(player, sound.bits);
    ProgramImage program = playerWithTables<Settings>(player, layout, sound);
    const int count = static_cast<int>(sound.bytes.size());
    const int end = layout.samplesFrom + pageAlignedUp(count);
    program.set(Settings::firstByte, end - count);
    program.set(Settings::endPage, end / 256);
    program.padTo(end - count);
    program.append(sound.bytes);
    return program.file();
}

/// The player reads the samples from a ring page after the ramps at the same low byte as their unit address.
template <typename Settings>
ReuSoundPackage reuSoundPackageWith(const SoundSamples& sound) {
    const MachineProgram player = reuPlayerFor(sound.bits);
    const SoundLayout layout = layOut(player, sound.bits);
    ProgramImage program = playerWithTables<Settings>(player, layout, sound);
    const ReuSoundLayout unit = reuSoundLayout(sound.bytes.size());
    program.set(Settings::firstByte, layout.samplesFrom + static_cast<int>(unit.firstSample % 256));
    program.set(Settings::firstSample, static_cast<int>(unit.firstSample));
    program.set(Settings::soundEnd, static_cast<int>(unit.end));
    const ReuSoundMark mark = reuSoundMark(sound.bits, sound.rate, sound.bytes);
    for (std::size_t i = 0; i < mark.size(); ++i) program.setByteOf(Settings::mark, static_cast<int>(i), mark[i]);
    program.set(Settings::unitKib, static_cast<int>(unit.unitSize / 1024));
    return {program.file(), reuSoundImage(sound.bits, sound.rate, sound.bytes)};
}

}  // namespace

std::vector<std::uint8_t> soundProgram(const SoundSamples& sound) {
    switch (sound.bits) {
        case 8: return soundProgramWith<Sound8Settings>(sound);
        case 4: return soundProgramWith<Sound4Settings>(sound);
        default: return soundProgramWith<Sound2Settings>(sound);
    }
}

ReuSoundPackage reuSoundPackage(const SoundSamples& sound) {
    switch (sound.bits) {
        case 8: return reuSoundPackageWith<Sound8ReuSettings>(sound);
        case 4: return reuSoundPackageWith<Sound4ReuSettings>(sound);
        default: return reuSoundPackageWith<Sound2ReuSettings>(sound);
    }
}

}  // namespace zov
