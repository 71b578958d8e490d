#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/input_files.h"
#include "common/walk/output_naming.h"
#include "soundconv/sound_packer.h"
#include "soundconv/soundconv_app.h"
#include "soundconv/wave_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zov {
namespace {

/// An output that is there (without /y) stops the walk; the directory line is left open.
constexpr ExistingOutputRules kSoundOutputRules{"  Skipping...", false, OutputDecision::Stop,
                                                 "and will be skipped.", OutputDecision::Stop, true};

bool abandon(File& source) {
    source.close();
    return false;
}

/// Feeds every whole frame of the sound data, mixed to mono, to the packer. The buffer keeps the partial
/// frame left over from one read in front of the next read. False when a write failed.
bool streamSoundData(File& source, std::uint64_t position, std::uint64_t fileLength, std::uint64_t length,
                     const WaveFormat& format, SoundPacker& packer) {
    const std::size_t frameSize = format.blockAlign;
    std::vector<unsigned char> buffer(frameSize - 1 + kWaveReadSize);
    std::size_t carry = 0;
    std::uint64_t remaining = length;
    // Once less than a frame remains, no further frame can be formed.
    while (position < fileLength && remaining >= frameSize) {
        std::size_t got = source.read(buffer.data() + carry, kWaveReadSize);
        if (got == 0) break;
        position += got;
        auto valid = static_cast<std::size_t>(std::min<std::uint64_t>(carry + got, remaining));
        std::size_t offset = 0;
        for (; valid - offset >= frameSize; offset += frameSize) {
            std::int32_t sample = mixFrame(buffer.data() + offset, format.channels, format.bytesPerSample,
                                            format.sampleMask);
            if (!packer.takeSample(sample)) return false;
        }
        remaining -= offset;
        carry = valid - offset;
        std::memmove(buffer.data(), buffer.data() + offset, carry);
    }
    return true;
}

}  // namespace

bool convertSoundFile(const std::string& source, const std::string& dest, const SoundOptions& options,
                      const InputFiles* inputs) {
    auto file = fileSystem().openRead(source);
    if (!file) {
        out() << eol << "Couldn't open: " << source << eol;
        return false;
    }
    std::string output = outputPath(source, dest);
    bool existed = false;
    if (checkExistingOutput(output, kSoundOutputRules, options.yes, &existed) != OutputDecision::Write) {
        return abandon(*file);
    }

    std::uint64_t fileLength = 0;
    try {
        fileLength = file->length();
    } catch (const FileError&) {
        out() << eol << "Couldn't open: " << source << eol;
        return abandon(*file);
    }
    std::vector<unsigned char> header(kWaveReadSize);
    std::size_t headerCount = file->read(header.data(), header.size());

    WaveFormat format;
    if (!readWaveFormat(header.data(), headerCount, source, options.verbose, format)) return abandon(*file);
    SoundData data;
    if (!locateSoundData(header.data(), headerCount, fileLength, format, source, options, data)) {
        return abandon(*file);
    }
    if (!applyJump(format, source, options, data)) return abandon(*file);
    try {
        file->seek(data.start);
    } catch (const FileError& error) {
        out() << "\r\nRead error: " << error.what() << eol;
        return abandon(*file);
    }
    if (!applyCut(format, source, options, data)) return abandon(*file);
    applyLength(format, source, options, data);

    SoundPacker packer(options, format.sampleRate, format.fullScale);
    static const InputFiles noOtherInputs;
    const bool refused = (inputs ? *inputs : noOtherInputs).refuses(output, source);
    SoundPacker::OpenResult opened = packer.openOutput(output, existed, *file, refused);
    if (opened == SoundPacker::OpenResult::NotOpened) return false;
    bool ok = opened == SoundPacker::OpenResult::Opened &&
              streamSoundData(*file, data.start, fileLength, data.length, format, packer);
    return packer.finishOutput(ok);
}

}  // namespace zov
