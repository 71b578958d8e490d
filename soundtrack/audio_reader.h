// Reads any audio file that libsndfile reads (WAVE of every kind, FLAC, Ogg, AIFF, MP3 where the library has
// it) through the platform's file system, and hands its sound over as mono samples, full scale ±1.
#pragma once

#include "common/platform/platform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

namespace zov {

class AudioReader {
public:
    AudioReader();
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    /// Opens the file and reads its head; false with the reason when it cannot be opened, is not audio that
    /// the library reads, or has no channels, no usable rate or no samples.
    bool open(const std::string& path, std::string& problem);

    int rate() const { return rate_; }
    int channels() const { return channels_; }
    std::int64_t frames() const { return frames_; }

    /// Goes to a frame (0 to frames()); false when the file cannot go there.
    bool seek(std::int64_t frame);

    /// Reads up to count frames, each the mean of its channels, into mono; returns how many were read
    /// (0 at the end or when the file breaks off).
    std::size_t readMono(std::vector<double>& mono, std::size_t count);

private:
    std::unique_ptr<File> file_;
    sf_private_tag* sound_ = nullptr;
    int rate_ = 0;
    int channels_ = 0;
    std::int64_t frames_ = 0;
    std::vector<double> interleaved_;
};

}  // namespace zov
