#include "formats/zovf_stream.h"

#include "common/console/console.h"

namespace zov {
namespace {

bool hasTag(const std::vector<std::uint8_t>& bytes, std::size_t at, const char (&tag)[4]) {
    for (int i = 0; i < 4; ++i)
        if (bytes[at + static_cast<std::size_t>(i)] != static_cast<std::uint8_t>(tag[i])) return false;
    return true;
}

bool readVideoChunk(const std::vector<std::uint8_t>& bytes, const ZovfChunk& chunk, StreamInfo& info,
                    FileProblem& problem) {
    std::size_t p = chunk.payloadOffset;
    if (chunk.payloadLength != kVideoChunkPayload) {
        problem = {chunk.offset + 2, formatted("video chunk of %zu bytes; it has 18", chunk.payloadLength)};
        return false;
    }
    if (!hasTag(bytes, p, kVideoFormatTag)) {
        problem = {p, "the video chunk's format tag is not \"Q5RV\""};
        return false;
    }
    info.width = static_cast<int>(readU16(bytes, p + kVideoWidthAt));
    info.height = static_cast<int>(readU16(bytes, p + kVideoHeightAt));
    info.frames = readU24(bytes, p + kVideoFramesAt);
    info.framesField = p + kVideoFramesAt;
    info.samplesPerFrame = static_cast<int>(readU16(bytes, p + kVideoSamplesPerFrameAt));
    info.topCardRow = bytes[p + kVideoTopRowAt] >> 3;
    info.roleCount = bytes[p + kVideoRolesAt];
    info.videoByteRate = readU24(bytes, p + kVideoByteRateAt);
    if (info.roleCount != 2 && info.roleCount != 4) {
        problem = {p + kVideoRolesAt, formatted("role count %d; it is 4 (multicolour) or 2 (hi-res)", info.roleCount)};
        return false;
    }
    int cardWidth = info.multicolour() ? 4 : 8;
    if (info.width <= 0 || info.width % cardWidth != 0 || info.widthInCards() > 40) {
        problem = {p + kVideoWidthAt, formatted("picture width %d is not 1 to 40 cards of %d pixels", info.width, cardWidth)};
        return false;
    }
    if (info.height <= 0 || info.height % 8 != 0 || info.topCardRow + info.heightInCards() > 25) {
        problem = {p + kVideoHeightAt, formatted("picture height %d from card row %d does not fit the 25 card rows", info.height,
                                    info.topCardRow)};
        return false;
    }
    return true;
}

bool readAudioChunk(const std::vector<std::uint8_t>& bytes, const ZovfChunk& chunk, StreamInfo& info,
                    FileProblem& problem) {
    std::size_t p = chunk.payloadOffset;
    if (chunk.payloadLength != kStreamAudioChunkPayload || !hasTag(bytes, p, kStreamAudioTag)) {
        problem = {chunk.offset, "the audio chunk is not that of a video stream"};
        return false;
    }
    info.hasAudio = true;
    info.audioRate = readU16(bytes, p + kAudioRateAt);
    info.samples = readU32(bytes, p + kAudioSamplesAt);
    info.samplesField = p + kAudioSamplesAt;
    if (bytes[p + kAudioBitsAt] != kStreamAudioBits || bytes[p + kAudioChannelsAt] != 1) {
        problem = {p + kAudioBitsAt, formatted("audio of %d bits and %d channels; streams carry 2-bit mono",
                                               bytes[p + kAudioBitsAt], bytes[p + kAudioChannelsAt])};
        return false;
    }
    if (info.audioRate == 0) {
        problem = {p + kAudioRateAt, "an audio rate of 0 Hz"};
        return false;
    }
    return true;
}

/// The stream's fields from its chunks.
bool readStreamChunks(const std::vector<std::uint8_t>& bytes, const ZovfHeader& header, StreamInfo& info,
                      FileProblem& problem) {
    const ZovfChunk* video = header.find(kVideoChunk);
    if (!video) {
        problem = {header.end, "no video chunk"};
        return false;
    }
    if (!readVideoChunk(bytes, *video, info, problem)) return false;
    if (const ZovfChunk* audio = header.find(kAudioChunk)) {
        if (!readAudioChunk(bytes, *audio, info, problem)) return false;
    }
    info.packetsStart = header.end;
    return true;
}

}  // namespace

bool readStreamHeader(const std::vector<std::uint8_t>& bytes, StreamInfo& info, FileProblem& problem) {
    info = StreamInfo{};
    ZovfHeader header;
    return readZovfHeader(bytes, static_cast<std::size_t>(-1), header, problem) &&
           readStreamChunks(bytes, header, info, problem);
}

bool readStreamHead(const std::vector<std::uint8_t>& head, StreamInfo& info, FileProblem& problem) {
    info = StreamInfo{};
    ZovfHeader header;
    return readZovfHead(head, static_cast<std::size_t>(-1), header, problem) &&
           readStreamChunks(head, header, info, problem);
}

bool readPacket(const std::vector<std::uint8_t>& bytes, std::size_t& at, StreamPacket& packet, FileProblem& problem) {
    packet = StreamPacket{};
    packet.offset = at;
    if (at + kPacketHeadLength > bytes.size()) {
        problem = {at, "the file ends inside a packet head"};
        return false;
    }
    if (!packetKindOf(bytes[at], bytes[at + 1], packet.kind)) {
        problem = {at, formatted("unknown packet head 0x%02X 0x%02X", bytes[at], bytes[at + 1])};
        return false;
    }
    packet.payloadOffset = at + kPacketHeadLength;
    packet.payloadLength = readU16(bytes, at + 2);
    if (packet.payloadOffset + packet.payloadLength > bytes.size()) {
        problem = {at, formatted("a packet of %zu bytes, but the file ends after %zu", packet.payloadLength,
                                 bytes.size() - packet.payloadOffset)};
        return false;
    }
    packet.contentOffset = packet.payloadOffset;
    packet.contentLength = packet.payloadLength;
    if (packet.kind != PacketKind::Audio) {
        if (packet.payloadLength > kMaxVideoPayload) {
            problem = {at, formatted("a video packet of %zu bytes; at most %zu fit", packet.payloadLength,
                                     kMaxVideoPayload)};
            return false;
        }
        if (packet.kind == PacketKind::FirstVideo) {
            if (packet.payloadLength < kFrameNumberBytes) {
                problem = {at, "a first video packet without its frame number"};
                return false;
            }
            packet.frameNumber = readU16(bytes, packet.payloadOffset);
            packet.contentOffset += kFrameNumberBytes;
            packet.contentLength -= kFrameNumberBytes;
        }
    }
    at = packet.payloadOffset + packet.payloadLength;
    return true;
}

}  // namespace zov
