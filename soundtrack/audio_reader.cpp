#include "soundtrack/audio_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace zov {
namespace {

constexpr double kLargest = 1e6;  // 120 dB above full scale
// A lead-in longer than this is a broken time stamp, not a sound that starts late.
constexpr double kLongestLeadIn = 3600;

}  // namespace

AudioReader::AudioReader() = default;

AudioReader::~AudioReader() {
    swr_free(&converter_);
    if (converterLayout_) av_channel_layout_uninit(converterLayout_);
    delete converterLayout_;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

bool AudioReader::open(const std::string& path, std::string& problem, int stream) {
    if (!input_.open(path, problem)) return false;
    stream_ = input_.findStream(AVMEDIA_TYPE_AUDIO, stream, problem);
    if (stream_ < 0) return false;
    const AVCodecParameters* parameters = input_.format()->streams[stream_]->codecpar;
    channels_ = parameters->ch_layout.nb_channels;
    rate_ = parameters->sample_rate;
    if (channels_ < 1) {
        problem = "the sound has no channels";
        return false;
    }
    if (rate_ < 1) {
        problem = "the sound names a sample rate of " + std::to_string(rate_) + " Hz";
        return false;
    }
    decoder_.reset(input_.openDecoder(stream_, problem));
    if (!decoder_) return false;
    // Only the sound's packets are read.
    for (unsigned i = 0; i < input_.format()->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) input_.format()->streams[i]->discard = AVDISCARD_ALL;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_) {
        problem = "out of memory";
        return false;
    }
    return true;
}

std::size_t AudioReader::readMono(std::vector<double>& mono, std::size_t count) {
    mono.clear();
    while (mono.size() < count) {
        if (silenceLeft_ > 0) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(silenceLeft_, count - mono.size()));
            mono.insert(mono.end(), take, 0.0);
            silenceLeft_ -= take;
            continue;
        }
        if (pendingAt_ == pending_.size()) {
            pending_.clear();
            pendingAt_ = 0;
            if (!decodeMore()) break;
            continue;
        }
        std::size_t take = std::min(count - mono.size(), pending_.size() - pendingAt_);
        mono.insert(mono.end(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_),
                    pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_ + take));
        pendingAt_ += take;
    }
    samplesRead_ += mono.size();
    return mono.size();
}

// Decodes until some samples are pending; false at the end of the sound.
bool AudioReader::decodeMore() {
    while (!ended_) {
        int received = avcodec_receive_frame(decoder_.get(), frame_);
        if (received == 0) {
            if (takeFrame()) return true;
            continue;
        }
        if (received != AVERROR(EAGAIN)) {  // the end, or a decoder that cannot go on
            ended_ = true;
            break;
        }
        if (flushing_) {
            ended_ = true;
            break;
        }
        int read = av_read_frame(input_.format(), packet_);
        if (read < 0) {  // the end of the file, or where it breaks off: what the decoder holds still counts
            flushing_ = true;
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_);  // a damaged packet is skipped
        av_packet_unref(packet_);
    }
    if (converter_ && !pending_.empty()) return true;
    // The converter may still hold samples of a changed rate.
    if (converter_ && convert()) return !pending_.empty();
    return false;
}

// In a video file the first frame's time stamp says how long after the pictures' start the sound begins. A
// sound alone starts with its first sample, whatever its stamps say (the first frames of some decoders
// carry the stamp of their end).
void AudioReader::leadInSilence() {
    started_ = true;
    const std::int64_t stamp = frame_->best_effort_timestamp;
    std::string none;
    if (stamp == AV_NOPTS_VALUE || input_.findStream(AVMEDIA_TYPE_VIDEO, -1, none) < 0) return;
    const AVStream* stream = input_.format()->streams[stream_];
    const std::int64_t start = av_rescale_q(input_.startTime(), AV_TIME_BASE_Q, stream->time_base);
    const double seconds = static_cast<double>(stamp - start) * av_q2d(stream->time_base);
    if (seconds > 0 && seconds < kLongestLeadIn) silenceLeft_ = static_cast<std::uint64_t>(std::llround(seconds * rate_));
}

// Hands a decoded frame to the converter; true when it gave samples.
bool AudioReader::takeFrame() {
    if (!started_) leadInSilence();
    bool ok = convert();
    av_frame_unref(frame_);
    return ok && !pending_.empty();
}

// Converts frame_ (or, with no frame, what the converter still holds) to doubles at the sound's rate, and
// mixes them to mono. A frame of another layout, format or rate sets the converter up anew.
bool AudioReader::convert() {
    const bool hasFrame = frame_->nb_samples > 0;
    if (hasFrame) {
        const bool fits = converter_ && av_channel_layout_compare(&frame_->ch_layout, converterLayout_) == 0 &&
                          frame_->format == converterFormat_ && frame_->sample_rate == converterRate_;
        if (!fits && !startConverter()) return false;
    }
    if (!converter_) return false;
    const int channels = converterLayout_->nb_channels;
    const int room = swr_get_out_samples(converter_, hasFrame ? frame_->nb_samples : 0);
    if (room <= 0) return false;
    interleaved_.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(channels));
    std::uint8_t* out[] = {reinterpret_cast<std::uint8_t*>(interleaved_.data())};
    const int made = swr_convert(converter_, out, room, hasFrame ? const_cast<const std::uint8_t**>(frame_->extended_data) : nullptr,
                                 hasFrame ? frame_->nb_samples : 0);
    if (made <= 0) return false;
    const double* sample = interleaved_.data();
    for (int i = 0; i < made; ++i) {
        double sum = 0;
        for (int c = 0; c < channels; ++c) sum += *sample++;
        // Floating-point sound may hold NaN or infinities: they play as silence, and huge values are held
        // where their squares cannot overflow the level's sums.
        const double value = sum / channels;
        pending_.push_back(std::isfinite(value) ? std::clamp(value, -kLargest, kLargest) : 0.0);
    }
    return true;
}

// Sample format conversion only (to doubles, every channel kept: the mean is taken here, as it always was),
// unless a frame comes at another rate than the sound's: that frame is resampled to it.
bool AudioReader::startConverter() {
    swr_free(&converter_);
    if (!converterLayout_) converterLayout_ = new AVChannelLayout{};
    av_channel_layout_uninit(converterLayout_);
    if (frame_->ch_layout.nb_channels < 1 || frame_->sample_rate < 1 ||
        av_channel_layout_copy(converterLayout_, &frame_->ch_layout) < 0)
        return false;
    converterFormat_ = frame_->format;
    converterRate_ = frame_->sample_rate;
    if (swr_alloc_set_opts2(&converter_, converterLayout_, AV_SAMPLE_FMT_DBL, rate_, converterLayout_,
                            static_cast<AVSampleFormat>(frame_->format), frame_->sample_rate, 0, nullptr) < 0 ||
        swr_init(converter_) < 0) {
        swr_free(&converter_);
        return false;
    }
    return true;
}

}  // namespace zov
