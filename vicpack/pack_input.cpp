#include "vicpack/pack_input.h"

#include "common/console/console.h"
#include "vicpack/pack_exit.h"
#include "vicpack/picture_program.h"
#include "vicpack/sound_program.h"
#include "formats/bitmap_file.h"
#include "formats/reu_image.h"
#include "formats/reu_sound.h"
#include "formats/sound_file.h"
#include "formats/zovf_container.h"

#include <cmath>

namespace zov {
namespace {

std::string seconds(double value) { return formatted("%.2f", value); }

int packPicture(const std::string& name, const BitmapFile& file, const PackSettings& settings, PackedInput& packed) {
    const int border = settings.borderColour >= 0 ? settings.borderColour : file.screen.background & 0x0F;
    packed.program = pictureProgram(file.screen, settings.mode, border);
    out() << name << ": " << (settings.mode == VicMode::HiRes ? "hi-res" : "multicolour") << " picture, COLOR "
          << file.colour << ", border " << border << eol;
    return kPackDone;
}

/// Keeps the samples of the first --length seconds, in whole bytes.
bool keepLength(const std::string& name, const PackSettings& settings, SoundSamples& sound) {
    if (!settings.length) return true;
    const double kept = std::floor(*settings.length * sound.rate);
    if (kept < 1) {
        out() << name << ": --length " << formatted("%g", *settings.length) << " keeps no sample at " << sound.rate
              << " Hz" << eol;
        return false;
    }
    const double bytes = std::ceil(kept / samplesPerByte(sound.bits));
    if (bytes < static_cast<double>(sound.bytes.size())) sound.bytes.resize(static_cast<std::size_t>(bytes));
    return true;
}

double lengthOf(const SoundSamples& sound, std::uint64_t bytes) {
    return static_cast<double>(bytes) * samplesPerByte(sound.bits) / sound.rate;
}

/// The line of a sound longer than fits where it would go: the seconds that fit there, and what to do.
int refuseLength(const std::string& name, const SoundSamples& sound, std::uint64_t most, const std::string& where,
                 const std::string& instead) {
    const double fit = std::floor(lengthOf(sound, most) * 100) / 100;
    out() << name << ": " << seconds(lengthOf(sound, sound.bytes.size())) << " s of sound; " << seconds(fit)
          << " s fit in " << where << " (" << sound.bits << "-bit samples at " << sound.rate << " Hz): " << instead
          << "--length " << seconds(fit) << " keeps that much" << eol;
    return kPackTooLarge;
}

/// The program of a sound that does not fit into memory (or that --reu puts into an REU image): the player
/// and the image it reads the samples from.
int packReuSound(const std::string& name, const SoundSamples& sound, const PackSettings& settings,
                 PackedInput& packed) {
    const bool unitHoldsIt = sound.bytes.size() <= mostReuSoundBytes();
    if (settings.diskImage)
        return refuseLength(name, sound, mostSampleBytes(sound.bits), "the machine's memory",
                            unitHoldsIt ? "a .prg OUTPUT plays it all from an REU image; " : "");
    if (!unitHoldsIt) {
        const std::string largest = "an REU of " + std::to_string(kLargestReu >> 20) + " MiB, the largest";
        return refuseLength(name, sound, mostReuSoundBytes(), largest, "");
    }
    ReuSoundPackage package = reuSoundPackage(sound);
    packed.program = std::move(package.program);
    packed.reuImage = std::move(package.reuImage);
    return kPackDone;
}

int packSound(const std::string& name, SoundSamples sound, const PackSettings& settings, PackedInput& packed) {
    if (sound.bytes.empty()) {
        out() << name << ": a sound without samples" << eol;
        return kPackUnusableInput;
    }
    if (sound.rate < lowestRate() || sound.rate > highestRate(sound.bits)) {
        out() << name << ": the player keeps " << sound.bits << "-bit samples at " << lowestRate() << " to "
              << highestRate(sound.bits) << " Hz, not " << sound.rate << " Hz" << eol;
        return kPackTooLarge;
    }
    if (!keepLength(name, settings, sound)) return kPackUnusableInput;
    if (settings.reu || sound.bytes.size() > mostSampleBytes(sound.bits)) {
        if (int exit = packReuSound(name, sound, settings, packed); exit != kPackDone) return exit;
    } else {
        packed.program = soundProgram(sound);
    }
    out() << name << ": " << static_cast<unsigned long>(sound.bytes.size() * static_cast<std::size_t>(samplesPerByte(sound.bits)))
          << " samples of " << sound.bits << " bits at " << sound.rate << " Hz, played at "
          << formatted("%.2f", playedRate(sound.rate)) << " Hz: " << seconds(lengthOf(sound, sound.bytes.size())) << " s"
          << (packed.reuImage.empty() ? "" : ", from an REU") << eol;
    return kPackDone;
}

int packZovSound(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
                 PackedInput& packed) {
    ZovSound file;
    FileProblem problem;
    if (!readZovSound(bytes, file, problem)) {
        out() << name << ": malformed sound file at offset " << static_cast<unsigned long>(problem.offset) << ": "
              << problem.text << eol;
        return kPackUnusableInput;
    }
    return packSound(name, SoundSamples{file.bits, file.rate, std::move(file.sampleBytes)}, settings, packed);
}

}  // namespace

int packInput(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
              PackedInput& packed) {
    packed = {};
    if (isZovf(bytes)) {
        if (isZovSound(bytes)) return packZovSound(name, bytes, settings, packed);
        out() << name << ": a video stream goes alone to a .prg (vicpack " << name
              << " NAME.prg), not with other INPUTs or on a .d64" << eol;
        return kPackUnusableInput;
    }
    BitmapFile file;
    std::string problem;
    if (readBitmapFile(bytes, settings.mode, file, problem)) return packPicture(name, file, settings, packed);
    if (settings.rawRate > 0)
        return packSound(name, SoundSamples{2, static_cast<unsigned>(settings.rawRate), bytes}, settings, packed);
    // A raw sound track has no header, so a file that is neither of the other kinds may be one.
    out() << name << ": not a bitmap file (" << problem << "); a raw 2-bit sound track is read with --rate HZ" << eol;
    return kPackUnusableInput;
}

}  // namespace zov
