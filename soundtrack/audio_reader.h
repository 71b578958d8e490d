// Reads the sound of any media file that FFmpeg's libraries read (WAVE of every kind, FLAC, Ogg, Opus, MP3,
// AAC, AC3, AIFF, and the sound of video files: MP4, MKV, AVI, WebM) through the platform's file system, and
// hands it over as mono samples, full scale ±1, a block at a time.
#pragma once

#include "common/media/media_decoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVChannelLayout;
struct AVFrame;
struct SwrContext;

namespace zov {

class AudioReader {
public:
    AudioReader();
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    /// Opens the file and its sound: the first audio stream, or the file's stream number stream when that
    /// is not -1. False with the reason when it cannot be opened, has no such sound, or names no channels or
    /// no usable rate.
    bool open(const std::string& path, std::string& problem, int stream = -1);

    int rate() const { return rate_; }

    /// Reads up to count samples, each the mean of its channels, into mono; returns how many were read (0 at
    /// the end, also where the file breaks off). The samples count from the file's start, the time the
    /// pictures of a video count from too: a sound that begins later is preceded by silence.
    std::size_t readMono(std::vector<double>& mono, std::size_t count);

    /// Once readMono has reached the end: why the sound ended before its time ("breaks off at ..." or "is cut
    /// off: ..."), the line to print when more of it was wanted; empty when it ended whole.
    const std::string& breakOff() const { return breakOff_; }

    /// Samples of the sound read so far, the silence before it included.
    std::uint64_t samplesRead() const { return samplesRead_; }

private:
    bool decodeMore();
    bool takeFrame(const AVFrame& frame);
    void leadInSilence(const AVFrame& frame);
    bool convert(const AVFrame* frame);
    bool startConverter(const AVFrame& frame);

    MediaDecoder decoder_;
    SwrContext* converter_ = nullptr;
    AVChannelLayout* converterLayout_ = nullptr;  // what the converter was set up for
    int converterFormat_ = -1;
    int converterRate_ = 0;
    int rate_ = 0;
    bool started_ = false;   // the first frame has been seen (and the silence before it added)
    bool ended_ = false;
    std::string breakOff_;
    std::uint64_t silenceLeft_ = 0;  // samples of lead-in silence not yet handed over (before pending_)
    std::vector<double> pending_;  // mono samples decoded but not yet handed over
    std::size_t pendingAt_ = 0;
    std::vector<double> interleaved_;
    std::uint64_t samplesRead_ = 0;
};

}  // namespace zov
