// The raw 2-bit audio that goes into a video stream, and a model of the player's audio buffer
// (kPlayerAudioBufferBytes): reading adds to the modelled level, playing time (credit) takes from it.
#pragma once

#include "common/platform/platform.h"
#include "formats/zovf_container.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zov {

class AudioSource {
public:
    static constexpr int capacity = kPlayerAudioBufferBytes;

    /// Opens the audio file and returns its sample count: 0 when refused (rate or bytes per sample not above
    /// 0) or when the file cannot be opened, the negated count left when a file with samples is still open.
    int open(const std::string& path, double sampleRate, double bytesPerSample, bool twoChannels);
    /// Lets the modelled buffer play for the given time; returns the bytes it can take afterwards.
    int credit(double seconds);
    /// Reads up to n bytes (no more than the samples left) into destination; returns the count read.
    int read(std::uint8_t* destination, int n);
    /// Audio bytes that play in the given time.
    double bytesFor(double seconds) const;

    bool hasSamples() const { return samplesLeft > 0; }
    /// Whole bytes still to read.
    int bytesLeft() const;

    double level = 0;              // bytes in the modelled buffer; negative when it ran dry
    double bytesPerSample = 0.25;  // four 2-bit samples per byte
    double sampleRate = 0;         // aRate in Hz
    int samplesLeft = 0;

private:
    std::unique_ptr<File> file_;
};

/// Truncates a real toward zero into the int range; NaN gives 0 and values beyond the range saturate.
int truncatedInt(double value);

}  // namespace zov
