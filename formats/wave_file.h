// The byte layout of a WAVE file: the RIFF head ("RIFF", the length of the rest, "WAVE"), then chunks, each a
// four-letter tag and a 32-bit length before its payload. The format chunk's payload begins with the format
// fields; an extensible one adds the valid bits and a sub-format. A PCM file of the usual form has its format
// chunk first, 16 bytes long, and its data chunk right behind: a 44-byte head. All numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

using WaveTag = char[4];
inline constexpr WaveTag kRiffTag = {'R', 'I', 'F', 'F'};
inline constexpr WaveTag kWaveTag = {'W', 'A', 'V', 'E'};
inline constexpr WaveTag kFormatChunkTag = {'f', 'm', 't', ' '};
inline constexpr WaveTag kDataChunkTag = {'d', 'a', 't', 'a'};

inline constexpr std::size_t kRiffHeadLength = 12;
inline constexpr std::size_t kWaveTagAt = 8;
inline constexpr std::size_t kWaveChunkHeadLength = 8;  // the tag and the payload's length
inline constexpr std::size_t kWaveChunkLengthAt = 4;
/// Where the format chunk lies in a file that begins with it, and where its payload begins.
inline constexpr std::size_t kFormatChunkAt = kRiffHeadLength;
inline constexpr std::size_t kFormatPayloadAt = kFormatChunkAt + kWaveChunkHeadLength;

// ---- the format chunk's payload: offsets from its first byte ------------------------------------------------
inline constexpr std::size_t kFormatFieldsLength = 16;  // the fields every format chunk has
inline constexpr std::size_t kFormatTagAt = 0;
inline constexpr std::size_t kFormatChannelsAt = 2;
inline constexpr std::size_t kFormatRateAt = 4;
inline constexpr std::size_t kFormatByteRateAt = 8;
inline constexpr std::size_t kFormatBlockAlignAt = 12;  // bytes per frame
inline constexpr std::size_t kFormatBitsAt = 14;        // the container size of a sample
inline constexpr std::size_t kFormatExtraCountAt = 16;  // a longer chunk: the count of the bytes after this one
inline constexpr std::size_t kFormatValidBitsAt = 18;   // extensible: the bits that carry sound
inline constexpr std::size_t kFormatSubFormatAt = 24;   // extensible: the sub-format's 16 bytes
/// The usual head of a PCM file: the RIFF head, the 16-byte format chunk, the data chunk's head.
inline constexpr std::size_t kPcmWaveHeadLength = kFormatPayloadAt + kFormatFieldsLength + kWaveChunkHeadLength;

inline constexpr std::uint16_t kPcmFormatTag = 1;
inline constexpr std::uint16_t kExtensibleFormatTag = 0xFFFE;
inline constexpr std::uint32_t kExtensibleFormatLength = 40;
/// The PCM sub-format: the tag 1 followed by the tail that every standard sub-format shares.
inline constexpr std::uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct WaveFormatFields {
    std::uint16_t formatTag = kPcmFormatTag;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t byteRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
};

/// Plain PCM of whole bytes a sample, its frame size and byte rate as they follow from the others.
WaveFormatFields pcmFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample);

/// Whether the four bytes at at are the tag.
bool hasWaveTag(const std::uint8_t* at, const WaveTag& tag);
/// Reads the format fields from the first kFormatFieldsLength bytes of a format chunk's payload.
WaveFormatFields readFormatFields(const std::uint8_t* payload);

/// Appends the RIFF head with the length of what follows it.
void appendRiffHead(std::vector<std::uint8_t>& bytes, std::uint32_t restLength);
/// Appends a chunk head.
void appendChunkHead(std::vector<std::uint8_t>& bytes, const WaveTag& tag, std::uint32_t payloadLength);
/// Appends the format fields (kFormatFieldsLength bytes).
void appendFormatFields(std::vector<std::uint8_t>& bytes, const WaveFormatFields& format);
/// The 44-byte head of a PCM file whose dataLength bytes of samples follow it.
std::vector<std::uint8_t> pcmWaveHead(const WaveFormatFields& format, std::uint32_t dataLength);

/// Mono 16-bit samples at a rate.
struct PcmSound {
    std::uint32_t rate = 0;
    std::vector<std::int16_t> samples;
};

/// The whole file of a mono 16-bit sound: its 44-byte head and the samples.
std::vector<std::uint8_t> encodeWave(const PcmSound& sound);

}  // namespace zov
