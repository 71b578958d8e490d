// A media file opened with libavformat. The bytes come through the platform's file system (so the tests'
// in-memory disk and the fuzz targets reach the same code), and nothing of FFmpeg's own logging reaches the
// console: every problem is handed back as text for the one line that reports it. Its packets are read by a
// MediaDecoder alone (media_decoder.h).
#pragma once

#include "common/platform/platform.h"

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;
struct AVStream;

namespace zov {

/// FFmpeg's text for one of its error codes.
std::string mediaErrorText(int error);

/// "audio", "video" or "media" for an AVMEDIA_TYPE_*.
const char* typeName(int mediaType);

/// A time in a media file as its messages give it: "6.2 s".
std::string secondsText(double seconds);

class MediaInput {
public:
    MediaInput() = default;
    ~MediaInput();
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    /// Opens the file and reads what its streams hold; false with the reason when it cannot be opened or
    /// is no media file that the libraries read.
    bool open(const std::string& path, std::string& problem);

    /// The time that every stream counts from, in AV_TIME_BASE units: the container's start time (the
    /// earliest of its streams), 0 when it names none. The ffmpeg program counts from it too.
    std::int64_t startTime() const;

    /// The file's length in seconds as its container states it; 0 when it states none.
    double statedSeconds() const;

    /// Whether the lengths of the file's streams are only estimated from their bit rate (a raw stream
    /// without an index): they may be far off, so they say nothing about where the file should end.
    bool lengthsEstimated() const;

    /// The stream of the given kind (AVMEDIA_TYPE_*): number, when not -1, is the file's stream number
    /// (as ffprobe lists it, "Stream #0:N"); otherwise the first of that kind. -1 with the reason when
    /// there is none.
    int findStream(int mediaType, int number, std::string& problem) const;
    /// Whether findStream finds a stream of that kind (a cover picture is no video).
    bool hasStream(int mediaType) const;

    /// A stream of the file (0 <= index < the streams' count): its parameters, time base, side data.
    const AVStream& stream(int index) const;
    /// The picture rate of a video stream as the ffmpeg program guesses it; 0/1 when none.
    AVRational frameRate(int index) const;

private:
    friend class MediaDecoder;
    /// Only the packets of this stream are read.
    void readOnly(int stream);
    /// The next packet (av_read_frame's answer).
    int read(AVPacket* packet);

    std::unique_ptr<File> file_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
};

}  // namespace zov
