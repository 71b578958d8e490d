#include "vicpack/sound_program.h"

#include "sound2_settings.h"
#include "sound4_settings.h"
#include "sound8_settings.h"
#include "vicpack/program_image.h"
#include "vicpack/sid_levels.h"

#include <cmath>

namespace zov {
namespace {

constexpr int kLongestPeriod = 65536;  // the timer counts from 65535 down
// The sample interrupt takes at most 68 cycles for 8-bit samples and 87 for the last sample of a 4- or
// 2-bit byte, with up to 7 more before it starts: the periods keep a few cycles to spare.
constexpr int kShortestPeriod8 = 80;
constexpr int kShortestPeriodPacked = 100;

MachineProgram playerFor(int bits) {
    return bits == 8 ? MachineProgram::Sound8 : bits == 4 ? MachineProgram::Sound4 : MachineProgram::Sound2;
}

/// Where the parts of a sound program go: the tables from the first page after the player (each model's on
/// pages that start at a multiple of their count, so that the player can step through them by the page's
/// low bits), the ramp page after them, then the samples, placed so that they end on a page boundary.
struct SoundLayout {
    int tablePages[2] = {0, 0};
    int rampPage = 0;
    int samplesFrom = 0;  // the first address the samples may take
};

SoundLayout layOut(int bits) {
    const int pages = samplesPerByte(bits);
    const int playerEnd = static_cast<int>(machineProgram(playerFor(bits)).size()) - 2 + kLoadAddress;
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
    int shortest = bits == 8 ? kShortestPeriod8 : kShortestPeriodPacked;
    return static_cast<unsigned>(std::floor(kMachineClock / (shortest - 0.5)));
}

std::size_t mostSampleBytes(int bits) { return static_cast<std::size_t>(kLoadLimit - layOut(bits).samplesFrom); }

namespace {

/// The program of the player for the sound's sample width, whose settings are Settings; the per-model ones
/// hold the 6581's value, then the 8580's.
template <typename Settings>
std::vector<std::uint8_t> soundProgramWith(const SoundSamples& sound) {
    const SoundLayout layout = layOut(sound.bits);
    ProgramImage program(playerFor(sound.bits));
    const int count = static_cast<int>(sound.bytes.size());
    const int end = layout.samplesFrom + pageAlignedUp(count);
    program.set(Settings::period, samplePeriod(sound.rate) - 1);
    program.set(Settings::firstByte, end - count);
    program.set(Settings::endPage, end / 256);
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
    program.padTo(end - count);
    program.append(sound.bytes);
    return program.file();
}

}  // namespace

std::vector<std::uint8_t> soundProgram(const SoundSamples& sound) {
    switch (sound.bits) {
        case 8: return soundProgramWith<Sound8Settings>(sound);
        case 4: return soundProgramWith<Sound4Settings>(sound);
        default: return soundProgramWith<Sound2Settings>(sound);
    }
}

}  // namespace zov
