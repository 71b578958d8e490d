#include "soundconv/wave_reader.h"

#include "common/console/console.h"
#include "formats/little_endian.h"
#include "formats/wave_file.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace zov {
namespace {

// The format chunk's fields end here in the first read; a longer chunk's extra bytes count follows them.
constexpr std::size_t kFormatFieldsEnd = kFormatPayloadAt + kFormatFieldsLength;
constexpr std::size_t kExtraCountEnd = kFormatPayloadAt + kFormatExtraCountAt + 2;
constexpr std::size_t kSubFormatEnd = kFormatPayloadAt + kFormatSubFormatAt + sizeof kPcmSubFormat;
constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint64_t>::max();

bool invalidFile(const std::string& source) {
    out() << "Invalid WAVE file; skipping " << source << eol;
    return false;
}

// The format chunk is expected to be 16 bytes; a longer one is accepted when its extra bytes are exactly
// those its extra count announces.
bool checkFormatSize(const unsigned char* block, std::size_t count, bool verbose, std::uint32_t size) {
    if (size == kFormatFieldsLength) return true;
    out() << "Unexpected WAVE fmt size";
    if (verbose) out() << " (" << size << ")";
    if (size < kFormatFieldsLength || count < kExtraCountEnd) return false;
    std::int64_t extra = readLe16(block + kFormatPayloadAt + kFormatExtraCountAt);
    if (static_cast<std::int64_t>(size) - extra - 2 != static_cast<std::int64_t>(kFormatFieldsLength)) return false;
    out() << "; assuming first 16 bytes valid." << eol;
    return true;
}

bool isExtensiblePcm(const unsigned char* block, std::size_t count, std::uint32_t size) {
    return readLe16(block + kFormatPayloadAt + kFormatTagAt) == kExtensibleFormatTag && size >= kExtensibleFormatLength &&
           count >= kSubFormatEnd &&
           std::memcmp(block + kFormatPayloadAt + kFormatSubFormatAt, kPcmSubFormat, sizeof kPcmSubFormat) == 0;
}

void printWaveInfo(const unsigned char* block) {
    std::string line = "WAVE info:";
    for (std::size_t i = kFormatPayloadAt; i < kFormatFieldsEnd; ++i) line += formatted(" %02x", block[i]);
    out() << line << eol;
}

}  // namespace

bool readWaveFormat(const unsigned char* block, std::size_t count, const std::string& source, bool verbose,
                    WaveFormat& format) {
    // A header shorter than its fields is rejected before any field is looked at.
    if (count < kFormatFieldsEnd) return invalidFile(source);
    if (!hasWaveTag(block, kRiffTag) || !hasWaveTag(block + kWaveTagAt, kWaveTag) ||
        !hasWaveTag(block + kFormatChunkAt, kFormatChunkTag)) {
        return invalidFile(source);
    }
    format.formatSize = readLe32(block + kFormatChunkAt + kWaveChunkLengthAt);
    // The extensible format is meant to be longer than 16 bytes: its size is no surprise.
    format.extensible = isExtensiblePcm(block, count, format.formatSize);
    if (!format.extensible && !checkFormatSize(block, count, verbose, format.formatSize)) return invalidFile(source);
    if (verbose) printWaveInfo(block);

    const WaveFormatFields fields = readFormatFields(block + kFormatPayloadAt);
    format.formatTag = fields.formatTag;
    if (format.extensible) format.validBits = readLe16(block + kFormatPayloadAt + kFormatValidBitsAt);
    if (verbose) {
        out() << "Format type: " << format.formatTag;
        if (format.extensible) out() << " extensible PCM (" << format.validBits << " valid bits)" << eol;
        else out() << (format.formatTag != kPcmFormatTag ? " not" : "") << " PCM" << eol;
    }
    if (format.formatTag != kPcmFormatTag && !format.extensible) return invalidFile(source);

    format.channels = fields.channels;
    if (format.channels == 0) {
        out() << "No audio channels!" << eol;
        return invalidFile(source);
    }
    if (verbose) out() << "Number of channels: " << format.channels << eol;

    format.sampleRate = fields.sampleRate;
    if (format.sampleRate == 0) {
        out() << "Zero sample rate!" << eol;
        return invalidFile(source);
    }
    format.blockAlign = fields.blockAlign;
    format.bitsPerSample = fields.bitsPerSample;
    if (verbose) {
        out() << "Sample frequency: " << format.sampleRate << "Hz; " << "Byte align: " << format.blockAlign
              << "; " << "Sample size: " << format.bitsPerSample << " bits" << eol;
    }

    if (format.bitsPerSample % 8 != 0) {
        out() << "Not integer #bytes/sample in " << source << "; result may be corrupt." << eol;
    }
    if (format.bitsPerSample == 0) {
        out() << "Zero bytes/sample!" << eol;
        return invalidFile(source);
    }
    if (format.bitsPerSample > 32) {
        out() << "Over 32 bits/sample!" << eol;
        return invalidFile(source);
    }
    format.bytesPerSample = (format.bitsPerSample + 7) / 8;
    format.fullScale = std::int64_t{1} << (8 * format.bytesPerSample - 1);
    if (format.extensible) {
        if (format.validBits == 0 || format.validBits > format.bitsPerSample) return invalidFile(source);
        // The valid bits are the top ones of the sample's bytes; the bits below them are padding.
        const int padding = 8 * format.bytesPerSample - format.validBits;
        format.sampleMask = ~((std::uint32_t{1} << padding) - 1);
    } else {
        format.validBits = format.bitsPerSample;
    }
    // Frames are consumed channel by channel, so the frame size must be what the header says it is.
    if (format.blockAlign != format.channels * format.bytesPerSample) return invalidFile(source);
    return true;
}

std::int64_t findDataTag(const unsigned char* block, std::size_t count, std::uint64_t from) {
    for (std::uint64_t p = from; p + kWaveChunkHeadLength <= count; ++p) {
        if (hasWaveTag(block + p, kDataChunkTag)) return static_cast<std::int64_t>(p);
    }
    return -1;
}

bool locateSoundData(const unsigned char* block, std::size_t count, std::uint64_t fileLength,
                     const WaveFormat& format, const std::string& source, const SoundOptions& options,
                     SoundData& data) {
    std::int64_t tag = findDataTag(block, count, std::uint64_t{kFormatPayloadAt} + format.formatSize);
    bool usable = tag >= 0;
    if (usable) {
        data.start = static_cast<std::uint64_t>(tag) + kWaveChunkHeadLength;
        data.length = readLe32(block + tag + kWaveChunkLengthAt);
        if (options.verbose) {
            out() << "Data length: " << data.length << " bytes; File length: " << fileLength << eol;
        }
        std::uint64_t rest = fileLength > data.start ? fileLength - data.start : 0;
        if (data.length != rest) {
            out() << "\r\nBad DATA size in " << source;
            if (options.verbose) out() << " (" << data.length << " bytes)";
            out() << eol;
            if (options.ignoreDataLength) {
                data.length = rest;
                out() << "Will use remaining file length";
                if (options.verbose) out() << " (" << rest << " bytes)";
                out() << eol;
            } else if (data.length > rest) {
                usable = false;
            }
        }
    }
    if (!usable) {
        if (tag < 0 || data.start + 4 >= count) out() << eol << "No DATA packet found in " << source;
        out() << " ...skipping." << eol;
        return false;
    }
    if (options.verbose) {
        double seconds = static_cast<double>(data.length / format.blockAlign) / format.sampleRate;
        out() << source << " is " << seconds << " seconds." << eol;
    }
    return true;
}

std::uint64_t framesIn(double seconds, std::uint32_t sampleRate) {
    double frames = sampleRate * seconds;
    if (!(frames > 0)) return 0;  // also NaN
    if (frames >= 18446744073709551616.0) return kMaxCount;
    return static_cast<std::uint64_t>(frames);
}

std::uint64_t bytesOf(std::uint64_t frames, std::uint16_t blockAlign) {
    if (blockAlign != 0 && frames > kMaxCount / blockAlign) return kMaxCount;
    return frames * blockAlign;
}

bool applyJump(const WaveFormat& format, const std::string& source, const SoundOptions& options,
               SoundData& data) {
    if (options.jump == 0) return true;
    std::uint64_t frames = framesIn(options.jump, format.sampleRate);
    if (options.verbose) {
        out() << "JUMP past first " << frames << " samples (" << options.jump << " seconds)." << eol;
    }
    std::uint64_t bytes = bytesOf(frames, format.blockAlign);
    if (bytes >= data.length) {
        out() << "\r\nJUMP past all data in " << source << " ...skipping." << eol;
        return false;
    }
    data.start += bytes;
    data.length -= bytes;
    return true;
}

bool applyCut(const WaveFormat& format, const std::string& source, const SoundOptions& options,
              SoundData& data) {
    if (options.cut == 0) return true;
    std::uint64_t frames = framesIn(options.cut, format.sampleRate);
    if (options.verbose) out() << "CUT final " << frames << " samples (" << options.cut << " seconds)." << eol;
    std::uint64_t bytes = bytesOf(frames, format.blockAlign);
    if (bytes >= data.length) {
        out() << "\r\nCUT all data in " << source << " ...skipping." << eol;
        return false;
    }
    data.length -= bytes;
    return true;
}

void applyLength(const WaveFormat& format, const std::string& source, const SoundOptions& options,
                 SoundData& data) {
    if (options.length == 0) return;
    std::uint64_t frames = framesIn(options.length, format.sampleRate);
    if (options.verbose) {
        out() << "LENGTH to record: " << frames << " samples (" << options.length << " seconds)." << eol;
    }
    std::uint64_t bytes = bytesOf(frames, format.blockAlign);
    if (bytes > data.length) {
        out() << "\r\nLENGTH > (remaining) file time in " << source << " ...processing all data." << eol;
    } else {
        data.length = bytes;
    }
}

std::int32_t mixFrame(const unsigned char* frame, int channels, int bytesPerSample, std::uint32_t sampleMask) {
    std::int64_t sum = 0;
    switch (bytesPerSample) {
    case 1:
        for (int c = 0; c < channels; ++c) sum += static_cast<int>(frame[c] & sampleMask) - 128;
        break;
    case 2:
        for (int c = 0; c < channels; ++c, frame += 2) {
            sum += static_cast<std::int16_t>(readLe16(frame) & sampleMask);
        }
        break;
    case 3:
        for (int c = 0; c < channels; ++c, frame += 3) {
            std::int32_t value = static_cast<std::int32_t>(readLe24(frame) & sampleMask);
            sum += value >= 0x800000 ? value - 0x1000000 : value;
        }
        break;
    default:
        for (int c = 0; c < channels; ++c, frame += 4) sum += static_cast<std::int32_t>(readLe32(frame) & sampleMask);
        break;
    }
    return static_cast<std::int32_t>(sum / channels);
}

}  // namespace zov
