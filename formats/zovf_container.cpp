#include "formats/zovf_container.h"

#include "common/console/console.h"

#include <cstring>

namespace zov {

void putFileHead(std::uint8_t* at, std::uint32_t lengthField) {
    std::memcpy(at, kZovfMagic, sizeof kZovfMagic);
    putLe32(at + kLengthFieldOffset, lengthField);
}

void putChunkHead(std::uint8_t* at, std::uint8_t type, std::uint16_t payloadLength) {
    at[0] = kChunkMark;
    at[1] = type;
    putLe16(at + 2, payloadLength);
}

void putPacketHead(std::uint8_t* at, PacketKind kind, std::uint16_t payloadLength) {
    const std::uint8_t* head = kind == PacketKind::Audio        ? kAudioPacketHead
                               : kind == PacketKind::FirstVideo ? kFirstVideoPacketHead
                                                                : kMoreVideoPacketHead;
    at[0] = head[0];
    at[1] = head[1];
    putLe16(at + 2, payloadLength);
}

bool packetKindOf(std::uint8_t first, std::uint8_t second, PacketKind& kind) {
    for (PacketKind candidate : {PacketKind::Audio, PacketKind::FirstVideo, PacketKind::MoreVideo}) {
        std::uint8_t head[kPacketHeadLength];
        putPacketHead(head, candidate, 0);
        if (head[0] == first && head[1] == second) {
            kind = candidate;
            return true;
        }
    }
    return false;
}

const ZovfChunk* ZovfHeader::find(std::uint8_t type) const {
    for (const ZovfChunk& chunk : chunks)
        if (chunk.type == type) return &chunk;
    return nullptr;
}

bool isZovf(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= sizeof kZovfMagic && std::memcmp(bytes.data(), kZovfMagic, sizeof kZovfMagic) == 0;
}

bool readZovfHead(const std::vector<std::uint8_t>& bytes, std::size_t maxChunks, ZovfHeader& header,
                  FileProblem& problem) {
    header = ZovfHeader{};
    if (!isZovf(bytes)) {
        problem = {0, "no \"ZOVF\" mark"};
        return false;
    }
    if (bytes.size() < kFileHeadLength) {
        problem = {kLengthFieldOffset, "the file ends inside the length field"};
        return false;
    }
    header.lengthField = readU32(bytes, kLengthFieldOffset);
    std::size_t at = kFileHeadLength;
    while (header.chunks.size() < maxChunks && at < bytes.size() && bytes[at] == kChunkMark) {
        if (at + kChunkHeadLength > bytes.size()) {
            problem = {at, "the file ends inside a chunk head"};
            return false;
        }
        ZovfChunk chunk;
        chunk.type = bytes[at + 1];
        chunk.offset = at;
        chunk.payloadOffset = at + kChunkHeadLength;
        chunk.payloadLength = readU16(bytes, at + 2);
        if (chunk.payloadOffset + chunk.payloadLength > bytes.size()) {
            problem = {at, "the file ends inside a chunk"};
            return false;
        }
        header.chunks.push_back(chunk);
        at = chunk.payloadOffset + chunk.payloadLength;
    }
    header.end = at;
    return true;
}

bool readZovfHeader(const std::vector<std::uint8_t>& bytes, std::size_t maxChunks, ZovfHeader& header,
                    FileProblem& problem) {
    if (!readZovfHead(bytes, maxChunks, header, problem)) return false;
    // A file holding nothing but its header may still have 0 there: the writer sets it after the first
    // frame, or when the sound is finished.
    bool emptyUnfinished = header.lengthField == 0 && header.end == bytes.size();
    if (header.lengthField != bytes.size() - kFileHeadLength && !emptyUnfinished) {
        problem = {kLengthFieldOffset, formatted("the length field says %lu bytes follow it, the file has %lu",
                                static_cast<unsigned long>(header.lengthField),
                                static_cast<unsigned long>(bytes.size() - kFileHeadLength))};
        return false;
    }
    return true;
}

}  // namespace zov
