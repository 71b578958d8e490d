#include "vicview/zovf_stream.h"

#include "common/console/console.h"

namespace zov {
namespace {

constexpr std::size_t kVideoPayload = 18;
constexpr std::size_t kAudioPayload = 12;

bool hasTag(const std::vector<std::uint8_t>& bytes, std::size_t at, const char* tag) {
    for (int i = 0; i < 4; ++i)
        if (bytes[at + static_cast<std::size_t>(i)] != static_cast<std::uint8_t>(tag[i])) return false;
    return true;
}

bool readVideoChunk(const std::vector<std::uint8_t>& bytes, const ZovfChunk& chunk, StreamInfo& info,
                    FileProblem& problem) {
    std::size_t p = chunk.payloadOffset;
    if (chunk.payloadLength != kVideoPayload) {
        problem = {chunk.offset + 2, formatted("video chunk of %zu bytes; it has 18", chunk.payloadLength)};
        return false;
    }
    if (!hasTag(bytes, p, "Q5RV")) {
        problem = {p, "the video chunk's format tag is not \"Q5RV\""};
        return false;
    }
    info.width = static_cast<int>(readU16(bytes, p + 4));
    info.height = static_cast<int>(readU16(bytes, p + 6));
    info.frames = readU24(bytes, p + 8);
    info.framesField = p + 8;
    info.samplesPerFrame = static_cast<int>(readU16(bytes, p + 11));
    info.topCardRow = bytes[p + 13] >> 3;
    info.roleCount = bytes[p + 14];
    info.videoByteRate = readU24(bytes, p + 15);
    if (info.roleCount != 2 && info.roleCount != 4) {
        problem = {p + 14, formatted("role count %d; it is 4 (multicolour) or 2 (hi-res)", info.roleCount)};
        return false;
    }
    int cardWidth = info.multicolour() ? 4 : 8;
    if (info.width <= 0 || info.width % cardWidth != 0 || info.widthInCards() > 40) {
        problem = {p + 4, formatted("picture width %d is not 1 to 40 cards of %d pixels", info.width, cardWidth)};
        return false;
    }
    if (info.height <= 0 || info.height % 8 != 0 || info.topCardRow + info.heightInCards() > 25) {
        problem = {p + 6, formatted("picture height %d from card row %d does not fit the 25 card rows", info.height,
                                    info.topCardRow)};
        return false;
    }
    return true;
}

bool readAudioChunk(const std::vector<std::uint8_t>& bytes, const ZovfChunk& chunk, StreamInfo& info,
                    FileProblem& problem) {
    std::size_t p = chunk.payloadOffset;
    if (chunk.payloadLength != kAudioPayload || !hasTag(bytes, p, "PCMV")) {
        problem = {chunk.offset, "the audio chunk is not that of a video stream"};
        return false;
    }
    info.hasAudio = true;
    info.audioRate = readU16(bytes, p + 4);
    info.samples = readU32(bytes, p + 8);
    info.samplesField = p + 8;
    if (bytes[p + 6] != 2 || bytes[p + 7] != 1) {
        problem = {p + 6, formatted("audio of %d bits and %d channels; streams carry 2-bit mono", bytes[p + 6],
                                    bytes[p + 7])};
        return false;
    }
    if (info.audioRate == 0) {
        problem = {p + 4, "an audio rate of 0 Hz"};
        return false;
    }
    return true;
}

}  // namespace

bool readStreamHeader(const std::vector<std::uint8_t>& bytes, StreamInfo& info, FileProblem& problem) {
    info = StreamInfo{};
    ZovfHeader header;
    if (!readZovfHeader(bytes, static_cast<std::size_t>(-1), header, problem)) return false;
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

bool readPacket(const std::vector<std::uint8_t>& bytes, std::size_t& at, StreamPacket& packet, FileProblem& problem) {
    packet = StreamPacket{};
    packet.offset = at;
    if (at + 4 > bytes.size()) {
        problem = {at, "the file ends inside a packet head"};
        return false;
    }
    std::uint8_t type = bytes[at], sub = bytes[at + 1];
    if (type == 'A' && sub == '1') {
        packet.kind = PacketKind::Audio;
    } else if (type == 'V' && sub == '0') {
        packet.kind = PacketKind::FirstVideo;
    } else if (type == 'V' && sub == 0xB0) {
        packet.kind = PacketKind::MoreVideo;
    } else {
        problem = {at, formatted("unknown packet head 0x%02X 0x%02X", type, sub)};
        return false;
    }
    packet.payloadOffset = at + 4;
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
            problem = {at, formatted("a video packet of %zu bytes; at most 254 fit", packet.payloadLength)};
            return false;
        }
        if (packet.kind == PacketKind::FirstVideo) {
            if (packet.payloadLength < 2) {
                problem = {at, "a first video packet without its frame number"};
                return false;
            }
            packet.frameNumber = readU16(bytes, packet.payloadOffset);
            packet.contentOffset += 2;
            packet.contentLength -= 2;
        }
    }
    at = packet.payloadOffset + packet.payloadLength;
    return true;
}

bool readStreamPackets(const std::vector<std::uint8_t>& bytes, const StreamInfo& info,
                       std::vector<StreamPacket>& packets, FileProblem& problem) {
    packets.clear();
    std::size_t at = info.packetsStart;
    while (at < bytes.size()) {
        StreamPacket packet;
        if (!readPacket(bytes, at, packet, problem)) return false;
        packets.push_back(packet);
    }
    return true;
}

}  // namespace zov
