#include "vicpack/pack_input.h"

#include "common/console/console.h"
#include "vicpack/pack_exit.h"
#include "vicpack/picture_program.h"
#include "vicpack/sound_program.h"
#include "vicview/bitmap_file.h"
#include "vicview/sound_file.h"
#include "formats/zovf_container.h"

#include <cmath>

namespace zov {
namespace {

constexpr std::size_t kSoundHeader = 20;  // a ZOV sound file's samples follow its 20-byte header

std::string seconds(double value) { return formatted("%.2f", value); }

int packPicture(const std::string& name, const BitmapFile& file, const PackSettings& settings,
                std::vector<std::uint8_t>& program) {
    const int border = settings.borderColour >= 0 ? settings.borderColour : file.screen.background & 0x0F;
    program = pictureProgram(file.screen, settings.mode, border);
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

int packSound(const std::string& name, SoundSamples sound, const PackSettings& settings,
              std::vector<std::uint8_t>& program) {
    const int perByte = samplesPerByte(sound.bits);
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
    const std::size_t most = mostSampleBytes(sound.bits);
    const double length = static_cast<double>(sound.bytes.size()) * perByte / sound.rate;
    if (sound.bytes.size() > most) {
        const double fit = std::floor(static_cast<double>(most) * perByte / sound.rate * 100) / 100;
        out() << name << ": " << seconds(length) << " s of sound; " << seconds(fit) << " s fit in the machine's memory ("
              << sound.bits << "-bit samples at " << sound.rate << " Hz): --length " << seconds(fit)
              << " keeps that much" << eol;
        return kPackTooLarge;
    }
    program = soundProgram(sound);
    out() << name << ": " << static_cast<unsigned long>(sound.bytes.size() * static_cast<std::size_t>(perByte))
          << " samples of " << sound.bits << " bits at " << sound.rate << " Hz, played at "
          << formatted("%.2f", playedRate(sound.rate)) << " Hz: " << seconds(length) << " s" << eol;
    return kPackDone;
}

int packZovSound(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
                 std::vector<std::uint8_t>& program) {
    PcmSound decoded;
    int bits = 0;
    FileProblem problem;
    if (!readZovSound(bytes, decoded, bits, problem)) {
        out() << name << ": malformed sound file at offset " << static_cast<unsigned long>(problem.offset) << ": "
              << problem.text << eol;
        return kPackUnusableInput;
    }
    SoundSamples sound{bits, decoded.rate, {bytes.begin() + kSoundHeader, bytes.end()}};
    return packSound(name, std::move(sound), settings, program);
}

}  // namespace

int packInput(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
              std::vector<std::uint8_t>& program) {
    program.clear();
    if (isZovf(bytes)) {
        if (isZovSound(bytes)) return packZovSound(name, bytes, settings, program);
        out() << name << ": a video stream goes alone to a .prg (vicpack " << name
              << " NAME.prg), not with other INPUTs or on a .d64" << eol;
        return kPackUnusableInput;
    }
    BitmapFile file;
    std::string problem;
    if (readBitmapFile(bytes, settings.mode, file, problem)) return packPicture(name, file, settings, program);
    if (settings.rawRate > 0)
        return packSound(name, SoundSamples{2, static_cast<unsigned>(settings.rawRate), bytes}, settings, program);
    // A raw sound track has no header, so a file that is neither of the other kinds may be one.
    out() << name << ": not a bitmap file (" << problem << "); a raw 2-bit sound track is read with --rate HZ" << eol;
    return kPackUnusableInput;
}

}  // namespace zov
