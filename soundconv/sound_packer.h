// Turns the mono input samples of one source into a ZOV sound file: resampling to the output frequency,
// volume and offset, quantising with clipping, nibble or byte packing, and the 20-byte header.
#pragma once

#include "common/platform/platform.h"
#include "formats/sound_header.h"
#include "soundconv/sound_options.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zov {

class SoundPacker {
public:
    enum class OpenResult {
        NotOpened,          // the destination did not open; the source has been closed
        Opened,             // header written
        HeaderWriteFailed,  // opened, but the header write failed: take no samples, then finish
    };

    /// sampleRate is the source's rate in Hz (not 0); fullScale is 2 to the power (8 × bytes per sample − 1).
    SoundPacker(const SoundOptions& options, std::uint32_t sampleRate, std::int64_t fullScale);

    /// Opens the destination (the existing file without cutting it, when it existed, else a new one) and
    /// writes the header. refused: the destination is an input of the run, and is handled as one that does
    /// not open. The source is closed here when the destination does not open, and by finishOutput otherwise.
    OpenResult openOutput(const std::string& path, bool existed, File& source, bool refused = false);

    /// One mono input sample in input units; false once a write has failed (take no more samples then).
    bool takeSample(std::int32_t x);

    /// Ends the file: the last flush and the statistics line (only when ok), closing the source, the
    /// verbose write report, the length field. True when no write failed at any point.
    bool finishOutput(bool ok);

    // Counters of the conversion so far.
    std::int32_t maxValue() const { return maxValue_; }
    std::int64_t clipped() const { return clipped_; }
    std::int64_t silent() const { return silent_; }
    std::uint64_t written() const { return written_; }

private:
    void produce(double tIn, double tOut);
    std::int64_t interpolate(double tIn, double tOut) const;
    int quantise(std::int64_t y);
    void pack(int v);
    bool flushFullBuffer();
    bool writeBytes(const unsigned char* bytes, std::size_t count);
    void finishLengthField();
    std::uint64_t writePosition();

    const SoundOptions& options_;
    const double inPeriod_;
    const double outPeriod_;
    const double gain_;
    const std::int32_t offset_;
    const int midpoint_;              // H: 8 for 4 bits, 128 for 8 bits
    const bool severalPerInput_;      // the output rate is above the input rate

    std::string path_;
    std::unique_ptr<File> file_;
    File* source_ = nullptr;
    bool failed_ = false;             // some write has failed

    // The three newest input samples, oldest first; only newest_ is valid for the first input sample, and
    // beforePrevious_ from the third on.
    std::int32_t beforePrevious_ = 0, previous_ = 0, newest_ = 0;
    std::int64_t inIndex_ = 0;
    std::int64_t outIndex_ = 0;
    // The newest output values, oldest first; recentCount of them are valid.
    std::array<int, 3> recent_{};
    int recentCount_ = 0;
    int pending_ = 0;

    std::array<unsigned char, 1024> buffer_{};
    std::size_t bufferLength_ = 0;

    std::int32_t maxValue_ = INT32_MIN;
    std::int64_t clipped_ = 0;
    std::int64_t silent_ = 0;
    std::uint64_t written_ = 0;
};

}  // namespace zov
