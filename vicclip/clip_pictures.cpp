#include "vicclip/clip_pictures.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstdio>

namespace zov {
namespace {

/// The clip's turn in degrees (0 to 360) from its display matrix, rounded as the ffmpeg program rounds it.
double turnOf(const std::int32_t* matrix) {
    double theta = matrix ? -std::round(av_display_rotation_get(matrix)) : 0;
    return theta - 360 * std::floor(theta / 360 + 0.9 / 360);
}

/// The filters that show a turned clip upright, before the others, as the ffmpeg program puts them.
std::string uprightFilters(const std::int32_t* matrix) {
    const double theta = turnOf(matrix);
    if (std::fabs(theta - 90) < 1.0) return matrix[3] > 0 ? "transpose=cclock_flip," : "transpose=clock,";
    if (std::fabs(theta - 180) < 1.0) {
        std::string filters;
        if (matrix[0] < 0) filters += "hflip,";
        if (matrix[4] < 0) filters += "vflip,";
        return filters;
    }
    if (std::fabs(theta - 270) < 1.0) return matrix[3] < 0 ? "transpose=clock_flip," : "transpose=cclock,";
    if (std::fabs(theta) > 1.0) {
        char rotate[64];
        std::snprintf(rotate, sizeof rotate, "rotate=%f*PI/180,", theta);
        return rotate;
    }
    return matrix && matrix[4] < 0 ? "vflip," : "";
}

}  // namespace

std::string pictureFilters(const PictureSettings& settings) {
    std::string chain = settings.fps.empty() ? "" : "fps=" + settings.fps + ",";
    if (settings.crop)
        chain += "scale=320:200:force_original_aspect_ratio=increase,crop=320:200";
    else
        chain += "scale=320:200:force_original_aspect_ratio=decrease,pad=320:200:(ow-iw)/2:(oh-ih)/2";
    if (!settings.hires) chain += ",scale=160:200";
    return chain;
}

ClipPictures::~ClipPictures() {
    avfilter_graph_free(&graph_);
    av_frame_free(&picture_);
}

bool ClipPictures::open(const std::string& path, const PictureSettings& settings, std::string& problem) {
    settings_ = settings;
    if (!decoder_.open(path, AVMEDIA_TYPE_VIDEO, -1, problem)) return false;
    picture_ = av_frame_alloc();
    if (!picture_) {
        problem = "out of memory";
        return false;
    }
    return true;
}

bool ClipPictures::hasSound() const { return decoder_.input().hasStream(AVMEDIA_TYPE_AUDIO); }

double ClipPictures::statedSeconds() const { return decoder_.input().statedSeconds(); }

bool ClipPictures::run(const Receiver& take, std::string& problem) {
    bool stop = false;
    if (!decode(take, problem, stop)) return false;
    if (stop) return problem.empty();
    if (!graph_) {
        problem = broken_ ? decoder_.problem() : "no picture of it can be decoded";
        return false;
    }
    // The pictures end at the last one's time, as the ffmpeg program ends them.
    const AVRational base = decoder_.stream().time_base;
    const std::int64_t end = av_rescale_q_rnd(av_rescale_q(lastStamp_, base, AV_TIME_BASE_Q), AV_TIME_BASE_Q, base,
                                              static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    if (int error = av_buffersrc_close(source_, end, AV_BUFFERSRC_FLAG_PUSH); error < 0) {
        problem = "its pictures cannot be filtered (" + mediaErrorText(error) + ")";
        return false;
    }
    if (!drain(take, problem, stop)) return false;
    if (stop) return problem.empty();
    // Where the clip breaks off, the pictures before the break are kept when they were all that was wanted.
    if (broken_) {
        problem = decoder_.problem();
        return false;
    }
    return true;
}

bool ClipPictures::decode(const Receiver& take, std::string& problem, bool& stop) {
    AVFrame* frame = nullptr;
    for (;;) {
        const Decoded decoded = decoder_.next(frame);
        if (decoded != Decoded::Frame) {
            broken_ = decoded == Decoded::Broken;
            return true;
        }
        if (!filter(frame, take, problem, stop)) return false;
        if (stop) return true;
    }
}

bool ClipPictures::filter(AVFrame* frame, const Receiver& take, std::string& problem, bool& stop) {
    if (!graph_ && !startFilters(frame, problem)) return false;
    if (frame->width != width_ || frame->height != height_ || frame->format != pixelFormat_) {
        problem = "its pictures change their size or kind at " + secondsText(decoder_.seconds(lastStamp_));
        return false;
    }
    frame->pts = frame->best_effort_timestamp;
    if (frame->pts != AV_NOPTS_VALUE) lastStamp_ = frame->pts;
    if (int error = av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_PUSH); error < 0) {
        problem = "its pictures cannot be filtered (" + mediaErrorText(error) + ")";
        av_frame_unref(frame);
        return false;
    }
    return drain(take, problem, stop);
}

bool ClipPictures::startFilters(const AVFrame* frame, std::string& problem) {
    const AVStream* stream = &decoder_.stream();
    width_ = frame->width;
    height_ = frame->height;
    pixelFormat_ = frame->format;
    AVRational aspect = frame->sample_aspect_ratio.den ? frame->sample_aspect_ratio : AVRational{0, 1};
    AVRational rate = decoder_.input().frameRate(stream->index);
    char arguments[256];
    int length = std::snprintf(arguments, sizeof arguments, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                               width_, height_, pixelFormat_, stream->time_base.num, stream->time_base.den, aspect.num,
                               aspect.den);
    if (rate.num && rate.den)
        std::snprintf(arguments + length, sizeof arguments - static_cast<std::size_t>(length), ":frame_rate=%d/%d", rate.num, rate.den);

    const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_DISPLAYMATRIX);
    const auto* matrix = side ? reinterpret_cast<const std::int32_t*>(side->data)
                              : reinterpret_cast<const std::int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    const std::string chain = uprightFilters(matrix) + pictureFilters(settings_) + (settings_.hires ? ",format=rgb24" : ",format=bgr24");

    graph_ = avfilter_graph_alloc();
    if (!graph_) {
        problem = "out of memory";
        return false;
    }
    graph_->scale_sws_opts = av_strdup("flags=bicubic");  // the ffmpeg program's scaling
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    int error = avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in", arguments, nullptr, graph_);
    if (error >= 0) error = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_);
    if (error >= 0 && outputs && inputs) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = source_;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink_;
        error = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr);
    } else if (error >= 0) {
        error = AVERROR(ENOMEM);
    }
    if (error >= 0) error = avfilter_graph_config(graph_, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (error < 0) {
        problem = "its pictures cannot be filtered (" + mediaErrorText(error) + ")";
        return false;
    }
    return true;
}

// Takes the pictures the filters have ready. At a constant rate the ffmpeg program writes a picture that
// comes later than its place once for every place up to its own (so a clip whose pictures start late begins
// with copies of its first picture), and leaves out one that comes more than a place too early.
bool ClipPictures::drain(const Receiver& take, std::string& problem, bool& stop) {
    for (;;) {
        int got = av_buffersink_get_frame(sink_, picture_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) {
            problem = "its pictures cannot be filtered (" + mediaErrorText(got) + ")";
            return false;
        }
        const double delta = static_cast<double>(picture_->pts - outputCount_) + 1;
        long copies = 1;
        if (delta < -1.1) copies = 0;
        else if (delta > 1.1) copies = std::lrint(delta);
        outputCount_ += copies;
        for (long i = 0; i < copies && !stop; ++i) {
            PictureAnswer answer = take(picture_->data[0], picture_->linesize[0]);
            if (answer == PictureAnswer::Failed) {  // the receiver has said why
                problem.clear();
                av_frame_unref(picture_);
                return false;
            }
            if (answer == PictureAnswer::Enough) stop = true;
        }
        av_frame_unref(picture_);
        if (stop) return true;
    }
}

}  // namespace zov
