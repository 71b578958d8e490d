#include "common/media/media_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
#include <libavutil/parseutils.h>
}

#include <cstdio>

namespace zov {
namespace {

// A decoder that answers with nothing but errors is given the next packet after this many in a row.
constexpr int kMostErrorsInRow = 64;

/// The stamp moved by offset; none when it has none or would leave the stamps' range (a damaged file).
std::int64_t shifted(std::int64_t stamp, std::int64_t offset) {
    std::int64_t moved = 0;
    if (stamp == AV_NOPTS_VALUE || __builtin_add_overflow(stamp, offset, &moved)) return AV_NOPTS_VALUE;
    return moved;
}

/// The length that the stream states, in seconds; 0 when it states none. Matroska and WebM files give it as
/// a "DURATION" tag of the track (HH:MM:SS.fraction) rather than as the stream's duration; their muxers
/// count it from the file's start, not from the track's, so endsAtIt says that it is read as the end.
double statedSeconds(const AVStream& stream, bool& endsAtIt) {
    endsAtIt = false;
    if (stream.duration > 0 && stream.duration != AV_NOPTS_VALUE)
        return static_cast<double>(stream.duration) * av_q2d(stream.time_base);
    const AVDictionaryEntry* tag = av_dict_get(stream.metadata, "DURATION", nullptr, 0);
    std::int64_t microseconds = 0;
    if (!tag || av_parse_time(&microseconds, tag->value, 1) < 0 || microseconds <= 0) return 0;
    endsAtIt = true;
    return static_cast<double>(microseconds) / AV_TIME_BASE;
}

}  // namespace

MediaDecoder::MediaDecoder() = default;

MediaDecoder::~MediaDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

void MediaDecoder::CodecDeleter::operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }

bool MediaDecoder::open(const std::string& path, int mediaType, int number, std::string& problem) {
    if (!input_.open(path, problem)) return false;
    stream_ = input_.findStream(mediaType, number, problem);
    if (stream_ < 0) return false;
    if (mediaType == AVMEDIA_TYPE_AUDIO) {
        const AVCodecParameters& parameters = *stream().codecpar;
        if (parameters.ch_layout.nb_channels < 1) {
            problem = "the sound has no channels";
            return false;
        }
        if (parameters.sample_rate < 1) {
            problem = "the sound names a sample rate of " + std::to_string(parameters.sample_rate) + " Hz";
            return false;
        }
    }
    if (!openCodec(problem)) return false;
    input_.readOnly(stream_);
    // Every stamp counts from the file's start, the time that the other streams count from too.
    offset_ = av_rescale_q(-input_.startTime(), AV_TIME_BASE_Q, stream().time_base);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_) {
        problem = "out of memory";
        return false;
    }
    return true;
}

bool MediaDecoder::openCodec(std::string& problem) {
    const AVCodecParameters* parameters = stream().codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) {
        problem = std::string("no decoder for its ") + typeName(parameters->codec_type) + " (" +
                  avcodec_get_name(parameters->codec_id) + ")";
        return false;
    }
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_) {
        problem = "out of memory";
        return false;
    }
    codec_->pkt_timebase = stream().time_base;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "threads", "auto", 0);  // as the ffmpeg program decodes
    int error = avcodec_parameters_to_context(codec_.get(), parameters);
    if (error >= 0) error = avcodec_open2(codec_.get(), codec, &options);
    av_dict_free(&options);
    if (error < 0) {
        problem = std::string("its ") + typeName(parameters->codec_type) + " (" + codec->name + ") cannot be decoded (" +
                  mediaErrorText(error) + ")";
        codec_.reset();
        return false;
    }
    return true;
}

double MediaDecoder::seconds(std::int64_t stamp) const { return static_cast<double>(stamp) * av_q2d(stream().time_base); }

Decoded MediaDecoder::next(AVFrame*& frame) {
    av_frame_unref(frame_);
    frame = frame_;
    int errorsInRow = 0;
    while (!ended_) {
        const int received = avcodec_receive_frame(codec_.get(), frame_);
        if (received == 0) {
            noteEnd(*frame_);
            return Decoded::Frame;
        }
        if (received == AVERROR_EOF) return finish();
        if (received != AVERROR(EAGAIN) && ++errorsInRow < kMostErrorsInRow) continue;  // a frame that cannot be decoded
        if (flushing_) return finish();
        errorsInRow = 0;
        feed();
    }
    return end_;
}

// Where the frames have reached: the last one's time, and for a sound the time its samples last (a frame of
// a sound at a low rate may last long).
void MediaDecoder::noteEnd(const AVFrame& frame) {
    if (frame.best_effort_timestamp == AV_NOPTS_VALUE) return;
    reached_ = seconds(frame.best_effort_timestamp);
    if (frame.sample_rate > 0) reached_ += static_cast<double>(frame.nb_samples) / frame.sample_rate;
    sawStamp_ = true;
}

// Hands the decoder the stream's next packet, or at the end of the packets none, so that it gives out what
// it still holds.
void MediaDecoder::feed() {
    const int read = input_.read(packet_);
    if (read < 0) {
        if (read != AVERROR_EOF)
            problem_ = "breaks off at " + secondsText(sawStamp_ ? reached_ : 0) + " (" + mediaErrorText(read) + ")";
        flushing_ = true;
        avcodec_send_packet(codec_.get(), nullptr);
        return;
    }
    if (packet_->stream_index == stream_) {
        packet_->pts = shifted(packet_->pts, offset_);
        packet_->dts = shifted(packet_->dts, offset_);
        avcodec_send_packet(codec_.get(), packet_);  // a damaged packet is passed over
    }
    av_packet_unref(packet_);
}

// A stream whose frames end well before the length it states has been cut off (a twentieth and half a second
// are allowed for stated lengths that round up or count a last frame's time). It is judged by the stamps of
// its frames: one with none to judge by has no picture or sound that can be decoded, which its reader says.
Decoded MediaDecoder::finish() {
    ended_ = true;
    bool endsAtIt = false;
    const double stated = input_.lengthsEstimated() ? 0 : statedSeconds(stream(), endsAtIt);
    if (problem_.empty() && sawStamp_ && stated > 0) {
        const std::int64_t startStamp = shifted(stream().start_time, offset_);
        const double start = startStamp == AV_NOPTS_VALUE || endsAtIt ? 0 : seconds(startStamp);
        if (reached_ < start + stated * 0.95 - 0.5)
            problem_ = "is cut off: it ends at " + secondsText(reached_) + " of the " + secondsText(start + stated) + " it states";
    }
    end_ = problem_.empty() ? Decoded::End : Decoded::Broken;
    return end_;
}

}  // namespace zov
