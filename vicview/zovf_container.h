// The ZOVF container shared by video streams and sound files: "ZOVF", a 32-bit length (file length − 8),
// then header chunks, each a head of 0x48, a type byte and a 16-bit payload length. All numbers are
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zov {

inline constexpr std::uint8_t kChunkMark = 0x48;
inline constexpr std::uint8_t kAudioChunk = 0xC1;
inline constexpr std::uint8_t kVideoChunk = 0xD6;

/// Where and why a file is malformed.
struct FileProblem {
    std::size_t offset = 0;
    std::string text;
};

struct ZovfChunk {
    std::uint8_t type = 0;
    std::size_t offset = 0;         // of the chunk head
    std::size_t payloadOffset = 0;  // of the first payload byte
    std::size_t payloadLength = 0;
};

struct ZovfHeader {
    std::uint32_t lengthField = 0;
    std::vector<ZovfChunk> chunks;
    std::size_t end = 0;  // offset of the first byte after the last chunk
    /// The first chunk of a type, or nullptr.
    const ZovfChunk* find(std::uint8_t type) const;
};

/// Whether the bytes begin with the ZOVF magic.
bool isZovf(const std::vector<std::uint8_t>& bytes);

/// Reads the magic, the length field and up to maxChunks chunks (as long as the next byte is 0x48; a sound
/// file's samples may begin with that byte, so its reader asks for one). The length field must match the
/// file's length (or be 0 when nothing follows the header). False with the problem otherwise.
bool readZovfHeader(const std::vector<std::uint8_t>& bytes, std::size_t maxChunks, ZovfHeader& header,
                    FileProblem& problem);

std::uint32_t readU16(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::uint32_t readU24(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::uint32_t readU32(const std::vector<std::uint8_t>& bytes, std::size_t at);

}  // namespace zov
