// One stream of a media file decoded frame by frame: the sound that soundtrack and vicclip make tracks of,
// the pictures that vicclip takes. Every reader of a media file goes through this one loop, so a damaged or
// cut file is treated alike wherever it is read.
#pragma once

#include "common/media/media_input.h"

#include <cstdint>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace zov {

/// What MediaDecoder::next gives.
enum class Decoded {
    Frame,   // a decoded frame
    End,     // the stream has ended whole
    Broken,  // the stream has ended where the file breaks off or is cut off; problem() says where
};

class MediaDecoder {
public:
    MediaDecoder();
    ~MediaDecoder();
    MediaDecoder(const MediaDecoder&) = delete;
    MediaDecoder& operator=(const MediaDecoder&) = delete;

    /// Opens the file and a decoder for its stream of mediaType (AVMEDIA_TYPE_AUDIO or AVMEDIA_TYPE_VIDEO):
    /// the file's stream number when number is not -1, otherwise the first of that kind. A sound must name
    /// its channels and a rate. False with the reason.
    bool open(const std::string& path, int mediaType, int number, std::string& problem);

    const MediaInput& input() const { return input_; }
    const AVStream& stream() const { return input_.stream(stream_); }
    /// A time stamp of the stream's frames in seconds.
    double seconds(std::int64_t stamp) const;

    /// After a successful open: the next frame of the stream, valid until the next call. Its stamps count from the file's start (the
    /// container's start time is taken off, as the ffmpeg program takes it off). A packet or frame that
    /// cannot be decoded is passed over, as the ffmpeg program passes it over; what the decoder holds at
    /// the end is given out too. Then End, or Broken when the file could not be read to its end or ends
    /// well before the length its stream states (a download that broke off): a reader that has what it
    /// needs by then has lost nothing, one that needs more reports problem(). Every later call answers the
    /// same.
    Decoded next(AVFrame*& frame);

    /// Where and why the stream broke off, after Broken: "breaks off at 6.2 s (I/O error)" or "is cut off:
    /// it ends at 6.2 s of the 15.2 s it states".
    const std::string& problem() const { return problem_; }

private:
    struct CodecDeleter {
        void operator()(AVCodecContext* codec) const;
    };
    bool openCodec(std::string& problem);
    void noteEnd(const AVFrame& frame);
    void feed();
    Decoded finish();

    MediaInput input_;
    int stream_ = -1;
    std::unique_ptr<AVCodecContext, CodecDeleter> codec_;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::int64_t offset_ = 0;     // the container's start time in the stream's time base, taken off every stamp
    double reached_ = 0;          // seconds from the file's start where the decoded frames end
    bool sawStamp_ = false;
    bool flushing_ = false;       // the packets have ended: the decoder gives what it still holds
    bool ended_ = false;
    Decoded end_ = Decoded::End;
    std::string problem_;
};

}  // namespace zov
