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
}

bool AudioReader::open(const std::string& path, std::string& problem, int stream) {
    if (!decoder_.open(path, AVMEDIA_TYPE_AUDIO, stream, problem)) return false;
    rate_ = decoder_.stream().codecpar->sample_rate;
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
    AVFrame* frame = nullptr;
    while (!ended_) {
        const Decoded decoded = decoder_.next(frame);
        if (decoded == Decoded::Frame) {
            if (takeFrame(*frame)) return true;
            continue;
        }
        ended_ = true;
        if (decoded == Decoded::Broken) breakOff_ = decoder_.problem();
    }
    // The converter may still hold samples of a changed rate.
    return converter_ && convert(nullptr) && !pending_.empty();
}

// In a video file the first frame's time stamp says how long after the pictures' start the sound begins. A
// sound alone starts with its first sample, whatever its stamps say (the first frames of some decoders
// carry the stamp of their end).
void AudioReader::leadInSilence(const AVFrame& frame) {
    started_ = true;
    const std::int64_t stamp = frame.best_effort_timestamp;
    if (stamp == AV_NOPTS_VALUE || !decoder_.input().hasStream(AVMEDIA_TYPE_VIDEO)) return;
    const double seconds = decoder_.seconds(stamp);
    if (seconds > 0 && seconds < kLongestLeadIn) silenceLeft_ = static_cast<std::uint64_t>(std::llround(seconds * rate_));
}

// Hands a decoded frame to the converter; true when it gave samples.
bool AudioReader::takeFrame(const AVFrame& frame) {
    if (!started_) leadInSilence(frame);
    return convert(&frame) && !pending_.empty();
}

// Converts a frame (or, with none, what the converter still holds) to doubles at the sound's rate, and mixes
// them to mono. A frame of another layout, format or rate sets the converter up anew.
bool AudioReader::convert(const AVFrame* frame) {
    const bool hasFrame = frame && frame->nb_samples > 0;
    if (hasFrame) {
        const bool fits = converter_ && av_channel_layout_compare(&frame->ch_layout, converterLayout_) == 0 &&
                          frame->format == converterFormat_ && frame->sample_rate == converterRate_;
        if (!fits && !startConverter(*frame)) return false;
    }
    if (!converter_) return false;
    const int channels = converterLayout_->nb_channels;
    const int room = swr_get_out_samples(converter_, hasFrame ? frame->nb_samples : 0);
    if (room <= 0) return false;
    interleaved_.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(channels));
    std::uint8_t* out[] = {reinterpret_cast<std::uint8_t*>(interleaved_.data())};
    const int made = swr_convert(converter_, out, room, hasFrame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                                 hasFrame ? frame->nb_samples : 0);
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
bool AudioReader::startConverter(const AVFrame& frame) {
    swr_free(&converter_);
    if (!converterLayout_) converterLayout_ = new AVChannelLayout{};
    av_channel_layout_uninit(converterLayout_);
    if (frame.ch_layout.nb_channels < 1 || frame.sample_rate < 1 ||
        av_channel_layout_copy(converterLayout_, &frame.ch_layout) < 0)
        return false;
    converterFormat_ = frame.format;
    converterRate_ = frame.sample_rate;
    if (swr_alloc_set_opts2(&converter_, converterLayout_, AV_SAMPLE_FMT_DBL, rate_, converterLayout_,
                            static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr) < 0 ||
        swr_init(converter_) < 0) {
        swr_free(&converter_);
        return false;
    }
    return true;
}

}  // namespace zov
