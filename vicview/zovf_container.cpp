#include "vicview/zovf_container.h"

#include "common/console/console.h"

namespace zov {

std::uint32_t readU16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t readU24(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return readU16(bytes, at) | static_cast<std::uint32_t>(bytes[at + 2]) << 16;
}

std::uint32_t readU32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return readU24(bytes, at) | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

const ZovfChunk* ZovfHeader::find(std::uint8_t type) const {
    for (const ZovfChunk& chunk : chunks)
        if (chunk.type == type) return &chunk;
    return nullptr;
}

bool isZovf(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 4 && bytes[0] == 'Z' && bytes[1] == 'O' && bytes[2] == 'V' && bytes[3] == 'F';
}

bool readZovfHeader(const std::vector<std::uint8_t>& bytes, std::size_t maxChunks, ZovfHeader& header,
                    FileProblem& problem) {
    header = ZovfHeader{};
    if (!isZovf(bytes)) {
        problem = {0, "no \"ZOVF\" mark"};
        return false;
    }
    if (bytes.size() < 8) {
        problem = {4, "the file ends inside the length field"};
        return false;
    }
    header.lengthField = readU32(bytes, 4);
    std::size_t at = 8;
    while (header.chunks.size() < maxChunks && at < bytes.size() && bytes[at] == kChunkMark) {
        if (at + 4 > bytes.size()) {
            problem = {at, "the file ends inside a chunk head"};
            return false;
        }
        ZovfChunk chunk;
        chunk.type = bytes[at + 1];
        chunk.offset = at;
        chunk.payloadOffset = at + 4;
        chunk.payloadLength = readU16(bytes, at + 2);
        if (chunk.payloadOffset + chunk.payloadLength > bytes.size()) {
            problem = {at, "the file ends inside a chunk"};
            return false;
        }
        header.chunks.push_back(chunk);
        at = chunk.payloadOffset + chunk.payloadLength;
    }
    header.end = at;
    // A file holding nothing but its header may still have 0 there: the writer sets it after the first
    // frame, or when the sound is finished.
    bool emptyUnfinished = header.lengthField == 0 && header.end == bytes.size();
    if (header.lengthField != bytes.size() - 8 && !emptyUnfinished) {
        problem = {4, formatted("the length field says %lu bytes follow it, the file has %lu",
                                static_cast<unsigned long>(header.lengthField),
                                static_cast<unsigned long>(bytes.size() - 8))};
        return false;
    }
    return true;
}

}  // namespace zov
