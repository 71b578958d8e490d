// The ZOVF container shared by video streams and sound files: "ZOVF", a 32-bit length (file length − 8),
// then header chunks, each a head of 0x48, a type byte and a 16-bit payload length. A video stream's
// header holds a video chunk and perhaps an audio chunk; packets of audio and of segment commands follow
// it. All numbers are little-endian.
#pragma once

#include "formats/little_endian.h"
#include "formats/machine_numbers.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zov {

// ---- the file head and the header chunks ------------------------------------------------------------------
inline constexpr char kZovfMagic[4] = {'Z', 'O', 'V', 'F'};
inline constexpr int kFileHeadLength = 8;    // the magic and the length field
inline constexpr int kLengthFieldOffset = 4;  // file length − 8
inline constexpr int kChunkHeadLength = 4;   // mark, type, 16-bit payload length
inline constexpr std::uint8_t kChunkMark = 0x48;
inline constexpr std::uint8_t kAudioChunk = 0xC1;
inline constexpr std::uint8_t kVideoChunk = 0xD6;

/// Writes the magic and a length field.
void putFileHead(std::uint8_t* at, std::uint32_t lengthField);
/// Writes a chunk head.
void putChunkHead(std::uint8_t* at, std::uint8_t type, std::uint16_t payloadLength);

// ---- the video stream's chunks: payload layouts (offsets from the first payload byte) -----------------------
inline constexpr std::size_t kVideoChunkPayload = 18;
inline constexpr char kVideoFormatTag[4] = {'Q', '5', 'R', 'V'};
inline constexpr std::size_t kVideoWidthAt = 4;             // 16 bits, pixels
inline constexpr std::size_t kVideoHeightAt = 6;            // 16 bits, pixels
inline constexpr std::size_t kVideoFramesAt = 8;            // 24 bits
inline constexpr std::size_t kVideoSamplesPerFrameAt = 11;  // 16 bits
inline constexpr std::size_t kVideoTopRowAt = 13;           // top card row × 8, OR 3
inline constexpr std::size_t kVideoRolesAt = 14;            // 4 multicolour, 2 hi-res
inline constexpr std::size_t kVideoByteRateAt = 15;         // 24 bits

inline constexpr std::size_t kStreamAudioChunkPayload = 12;
inline constexpr char kStreamAudioTag[4] = {'P', 'C', 'M', 'V'};
inline constexpr std::size_t kAudioRateAt = 4;      // 16 bits, Hz
inline constexpr std::size_t kAudioBitsAt = 6;
inline constexpr std::size_t kAudioChannelsAt = 7;
inline constexpr std::size_t kAudioSamplesAt = 8;   // 32 bits, stream audio only
inline constexpr int kStreamAudioBits = 2;

/// The stream header as a writer lays it out: the audio chunk (when there is audio) before the video chunk.
struct StreamHeadLayout {
    bool withAudio = false;
    constexpr int audioChunk() const { return kFileHeadLength; }
    constexpr int videoChunk() const {
        return kFileHeadLength + (withAudio ? kChunkHeadLength + static_cast<int>(kStreamAudioChunkPayload) : 0);
    }
    constexpr int length() const { return videoChunk() + kChunkHeadLength + static_cast<int>(kVideoChunkPayload); }
    /// File offsets of the totals that a writer rewrites after every frame.
    constexpr int samplesField() const { return audioChunk() + kChunkHeadLength + static_cast<int>(kAudioSamplesAt); }
    constexpr int framesField() const { return videoChunk() + kChunkHeadLength + static_cast<int>(kVideoFramesAt); }
    constexpr int byteRateField() const { return videoChunk() + kChunkHeadLength + static_cast<int>(kVideoByteRateAt); }
};

// ---- the video stream's packets ----------------------------------------------------------------------------
enum class PacketKind { Audio, FirstVideo, MoreVideo };

inline constexpr int kPacketHeadLength = 4;  // two kind bytes, 16-bit payload length
inline constexpr std::size_t kMaxVideoPayload = 254;
inline constexpr int kFrameNumberBytes = 2;  // at the start of a frame's first video packet
inline constexpr std::uint8_t kAudioPacketHead[2] = {'A', '1'};
inline constexpr std::uint8_t kFirstVideoPacketHead[2] = {'V', '0'};
inline constexpr std::uint8_t kMoreVideoPacketHead[2] = {'V', 0xB0};
/// Bytes in the stream player's audio buffer on the machine: a stream's audio packets never fill it over.
inline constexpr int kPlayerAudioBufferBytes = machine::kAudioRingBytes;

/// Writes a packet head.
void putPacketHead(std::uint8_t* at, PacketKind kind, std::uint16_t payloadLength);
/// The kind of a packet head's two first bytes; false for bytes of no packet.
bool packetKindOf(std::uint8_t first, std::uint8_t second, PacketKind& kind);

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

/// The same from a file's first bytes only: the length field is read but not compared with them.
bool readZovfHead(const std::vector<std::uint8_t>& bytes, std::size_t maxChunks, ZovfHeader& header,
                  FileProblem& problem);

}  // namespace zov
