#include "vicview/sound_file.h"

#include "common/console/console.h"

namespace zov {
namespace {

constexpr std::size_t kSoundPayload = 8;
constexpr std::size_t kSamplesStart = 20;

bool hasSoundTag(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] == 'P' && bytes[at + 1] == 'C' && bytes[at + 2] == 'M' &&
           (bytes[at + 3] == 'U' || bytes[at + 3] == 'L');
}

}  // namespace

bool isZovSound(const std::vector<std::uint8_t>& bytes) {
    return isZovf(bytes) && bytes.size() >= kSamplesStart && bytes[8] == kChunkMark && bytes[9] == kAudioChunk &&
           readU16(bytes, 10) == kSoundPayload && hasSoundTag(bytes, 12);
}

bool readZovSound(const std::vector<std::uint8_t>& bytes, PcmSound& sound, int& bits, FileProblem& problem) {
    sound = PcmSound{};
    ZovfHeader header;
    if (!readZovfHeader(bytes, 1, header, problem)) return false;
    if (header.chunks.empty() || header.chunks[0].type != kAudioChunk) {
        problem = {8, "no audio chunk"};
        return false;
    }
    const ZovfChunk& chunk = header.chunks[0];
    if (chunk.payloadLength != kSoundPayload || !hasSoundTag(bytes, chunk.payloadOffset)) {
        problem = {chunk.offset, "the audio chunk is not that of a sound file"};
        return false;
    }
    bits = bytes[18];
    int tagBits = bytes[15] == 'U' ? 8 : 4;
    if (bits != tagBits) {
        problem = {18, formatted("%d bits per sample under a %d-bit format tag", bits, tagBits)};
        return false;
    }
    if (bytes[19] != 1) {
        problem = {19, formatted("%d channels; sound files have one", bytes[19])};
        return false;
    }
    sound.rate = readU16(bytes, 16);
    if (sound.rate == 0) {
        problem = {16, "a sample rate of 0 Hz"};
        return false;
    }
    for (std::size_t at = kSamplesStart; at < bytes.size(); ++at) {
        if (bits == 8) {
            sound.samples.push_back(widenSample(bytes[at], 8));
        } else {
            sound.samples.push_back(widenSample(bytes[at] & 0x0F, 4));
            sound.samples.push_back(widenSample(bytes[at] >> 4, 4));
        }
    }
    return true;
}

}  // namespace zov
