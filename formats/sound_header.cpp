#include "formats/sound_header.h"

#include "common/console/console.h"

#include <cmath>

namespace zov {
namespace {

constexpr std::size_t kTagAt = kFileHeadLength + kChunkHeadLength;
constexpr std::size_t kRateAt = kTagAt + kAudioRateAt;
constexpr std::size_t kBitsAt = kTagAt + kAudioBitsAt;
constexpr std::size_t kChannelsAt = kTagAt + kAudioChannelsAt;

/// The low 8 bits of the integer part of x; 0 when x is not finite.
std::uint8_t lowByteOfIntegerPart(double x) {
    if (!std::isfinite(x)) return 0;
    double wrapped = std::fmod(std::trunc(x), 256.0);  // within (-256, 256), so the conversion is safe
    return static_cast<std::uint8_t>(static_cast<int>(wrapped) & 0xFF);
}

bool hasSoundTag(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] == 'P' && bytes[at + 1] == 'C' && bytes[at + 2] == 'M' &&
           (bytes[at + 3] == 'U' || bytes[at + 3] == 'L');
}

}  // namespace

std::array<std::uint8_t, kSoundHeaderSize> soundFileHeader(double frequency, int bitsPerSample) {
    std::array<std::uint8_t, kSoundHeaderSize> header{};
    putFileHead(header.data(), 0);  // the length field is set when the file is finished
    putChunkHead(header.data() + kFileHeadLength, kAudioChunk, kSoundChunkPayload);
    const std::uint8_t tag[4] = {'P', 'C', 'M', static_cast<std::uint8_t>(bitsPerSample == 8 ? 'U' : 'L')};
    std::copy(tag, tag + 4, header.begin() + kTagAt);
    header[kRateAt] = lowByteOfIntegerPart(frequency);
    header[kRateAt + 1] = lowByteOfIntegerPart(frequency / 256);
    header[kBitsAt] = static_cast<std::uint8_t>(bitsPerSample);
    header[kChannelsAt] = 1;
    return header;
}

bool isZovSound(const std::vector<std::uint8_t>& bytes) {
    return isZovf(bytes) && bytes.size() >= kSoundHeaderSize && bytes[kFileHeadLength] == kChunkMark &&
           bytes[kFileHeadLength + 1] == kAudioChunk && readU16(bytes, kFileHeadLength + 2) == kSoundChunkPayload &&
           hasSoundTag(bytes, kTagAt);
}

bool readSoundHeader(const std::vector<std::uint8_t>& bytes, SoundHeader& sound, FileProblem& problem) {
    sound = SoundHeader{};
    ZovfHeader header;
    if (!readZovfHeader(bytes, 1, header, problem)) return false;
    if (header.chunks.empty() || header.chunks[0].type != kAudioChunk) {
        problem = {kFileHeadLength, "no audio chunk"};
        return false;
    }
    const ZovfChunk& chunk = header.chunks[0];
    if (chunk.payloadLength != kSoundChunkPayload || !hasSoundTag(bytes, chunk.payloadOffset)) {
        problem = {chunk.offset, "the audio chunk is not that of a sound file"};
        return false;
    }
    sound.bits = bytes[kBitsAt];
    int tagBits = bytes[kTagAt + 3] == 'U' ? 8 : 4;
    if (sound.bits != tagBits) {
        problem = {kBitsAt, formatted("%d bits per sample under a %d-bit format tag", sound.bits, tagBits)};
        return false;
    }
    if (bytes[kChannelsAt] != 1) {
        problem = {kChannelsAt, formatted("%d channels; sound files have one", bytes[kChannelsAt])};
        return false;
    }
    sound.rate = readU16(bytes, kRateAt);
    if (sound.rate == 0) {
        problem = {kRateAt, "a sample rate of 0 Hz"};
        return false;
    }
    return true;
}

}  // namespace zov
