#include "formats/stream_head.h"

#include "formats/little_endian.h"

#include <cstring>

namespace zov {

void putStreamHead(std::uint8_t* at, const StreamHead& head) {
    const StreamHeadLayout layout{head.withAudio};
    putFileHead(at, head.lengthField);
    if (head.withAudio) {
        std::uint8_t* chunk = at + layout.audioChunk();
        putChunkHead(chunk, kAudioChunk, kStreamAudioChunkPayload);
        std::uint8_t* payload = chunk + kChunkHeadLength;
        std::memcpy(payload, kStreamAudioTag, sizeof kStreamAudioTag);
        putTruncatedLe16(payload + kAudioRateAt, head.audioRate);
        payload[kAudioBitsAt] = kStreamAudioBits;
        payload[kAudioChannelsAt] = 1;
        putLe32(payload + kAudioSamplesAt, head.samples);
    }
    std::uint8_t* chunk = at + layout.videoChunk();
    putChunkHead(chunk, kVideoChunk, kVideoChunkPayload);
    std::uint8_t* payload = chunk + kChunkHeadLength;
    std::memcpy(payload, kVideoFormatTag, sizeof kVideoFormatTag);
    putLe16(payload + kVideoWidthAt, static_cast<std::uint32_t>(head.width));
    putLe16(payload + kVideoHeightAt, static_cast<std::uint32_t>(head.height));
    putLe24(payload + kVideoFramesAt, head.frames);
    putTruncatedLe16(payload + kVideoSamplesPerFrameAt, head.samplesPerPicture);
    payload[kVideoTopRowAt] = static_cast<std::uint8_t>((head.topCardRow * 8) | 3);
    payload[kVideoRolesAt] = static_cast<std::uint8_t>(head.roleCount);
    putLe24(payload + kVideoByteRateAt, head.videoByteRate);
}

}  // namespace zov
