// Reading PCM WAVE files: the header checks with their messages, finding the sound data, narrowing it by
// JUMP, CUT and LEN, and mixing one frame down to a mono sample. Besides the plain PCM format (tag 1) the
// extensible format (tag 0xFFFE) is read when its sub-format is PCM. The fields lie where
// formats/wave_file.h puts them.
#pragma once

#include "soundconv/sound_options.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zov {

/// The size of the first read of a source, which holds every header field; also the size of each read
/// of the sound data.
constexpr std::size_t kWaveReadSize = 1024;

struct WaveFormat {
    std::uint32_t formatSize = 0;      // S, the size of the format chunk
    std::uint16_t formatTag = 0;
    bool extensible = false;           // tag 0xFFFE with the PCM sub-format
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;      // bytes per frame; always channels × bytesPerSample once checked
    std::uint16_t bitsPerSample = 0;   // the container size of a sample
    std::uint16_t validBits = 0;       // the bits of a sample that carry sound (extensible: the top ones)
    int bytesPerSample = 0;            // B: 1 to 4
    std::uint32_t sampleMask = 0xFFFFFFFF;  // the valid bits of a B-byte sample; the others read as 0
    std::int64_t fullScale = 0;        // F: 2 to the power (8 × B − 1)
};

/// Where the sound bytes lie in the source and how many of them are converted.
struct SoundData {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

/// Checks the format fields of the header block (count bytes of it were read), printing the messages
/// and, when verbose, the file information. False when the file is invalid; the invalid-file line has
/// been printed then.
bool readWaveFormat(const unsigned char* block, std::size_t count, const std::string& source, bool verbose,
                    WaveFormat& format);

/// Offset of the first "data" tag at or after from whose tag and length both lie within the count bytes
/// read, looking at every byte offset; -1 when there is none.
std::int64_t findDataTag(const unsigned char* block, std::size_t count, std::uint64_t from);

/// Finds the sound data behind the format chunk and checks its stored length against the rest of the
/// file (fileLength bytes), with their messages. False when there is no usable data ("...skipping.").
bool locateSoundData(const unsigned char* block, std::size_t count, std::uint64_t fileLength,
                     const WaveFormat& format, const std::string& source, const SoundOptions& options,
                     SoundData& data);

/// Whole frames in the given seconds at the given rate, truncated towards zero; saturates at the largest
/// 64-bit count instead of overflowing, and a negative or NaN time gives 0.
std::uint64_t framesIn(double seconds, std::uint32_t sampleRate);

/// frames × blockAlign, saturating at the largest 64-bit count.
std::uint64_t bytesOf(std::uint64_t frames, std::uint16_t blockAlign);

/// JUMP: skips the first seconds of the data. False (after its message) when nothing would be left.
bool applyJump(const WaveFormat& format, const std::string& source, const SoundOptions& options,
               SoundData& data);
/// CUT: leaves out the last seconds of the data. False (after its message) when nothing would be left.
bool applyCut(const WaveFormat& format, const std::string& source, const SoundOptions& options,
              SoundData& data);
/// LEN: keeps at most the first seconds of the data; longer than the data keeps it all, with a message.
void applyLength(const WaveFormat& format, const std::string& source, const SoundOptions& options,
                 SoundData& data);

/// The mono value of one frame: the mean of its channels' signed values, truncated towards zero. Each
/// channel is bytesPerSample bytes, little-endian, of which only the bits in sampleMask count; 8-bit samples
/// are unsigned around 128.
std::int32_t mixFrame(const unsigned char* frame, int channels, int bytesPerSample,
                      std::uint32_t sampleMask = 0xFFFFFFFF);

}  // namespace zov
