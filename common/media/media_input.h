// A media file opened with libavformat. The bytes come through the platform's file system (so the tests'
// in-memory disk and the fuzz targets reach the same code), and nothing of FFmpeg's own logging reaches the
// console: every problem is handed back as text for the one line that reports it.
#pragma once

#include "common/platform/platform.h"

#include <cstdint>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVIOContext;
struct AVStream;

namespace zov {

/// FFmpeg's text for one of its error codes.
std::string mediaErrorText(int error);

class MediaInput {
public:
    MediaInput() = default;
    ~MediaInput();
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    /// Opens the file and reads what its streams hold; false with the reason when it cannot be opened or
    /// is no media file that the libraries read.
    bool open(const std::string& path, std::string& problem);

    AVFormatContext* format() const { return format_; }

    /// The time that every stream counts from, in AV_TIME_BASE units: the container's start time (the
    /// earliest of its streams), 0 when it names none. The ffmpeg program counts from it too.
    std::int64_t startTime() const;

    /// The stream of the given kind (AVMEDIA_TYPE_*): number, when not -1, is the file's stream number
    /// (as ffprobe lists it, "Stream #0:N"); otherwise the first of that kind. -1 with the reason when
    /// there is none.
    int findStream(int mediaType, int number, std::string& problem) const;

    /// A decoder for the stream, opened with threads chosen by the library; nullptr with the reason.
    AVCodecContext* openDecoder(int stream, std::string& problem) const;

private:
    std::unique_ptr<File> file_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
};

/// Frees a decoder opened by MediaInput::openDecoder.
struct DecoderDeleter {
    void operator()(AVCodecContext* decoder) const;
};
using DecoderHandle = std::unique_ptr<AVCodecContext, DecoderDeleter>;

}  // namespace zov
