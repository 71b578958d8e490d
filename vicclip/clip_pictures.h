// The pictures of a clip at a fixed rate, fitted into the screen's shape, as the long route's ffmpeg command
// extracts them: the same filters (fps, scale with force_original_aspect_ratio, pad or crop, scale) built
// with libavfilter, with what that command adds by itself: the clip's start time taken off every time stamp,
// the turn of a clip filmed on its side undone, bicubic scaling, the conversion to 24-bit pixels, the end of
// the pictures at the last one's time, and the copies of the first picture that a clip starting late gets at
// a constant rate.
#pragma once

#include "common/media/media_decoder.h"

#include <cstdint>
#include <functional>
#include <string>

struct AVFilterContext;
struct AVFilterGraph;
struct AVFrame;

namespace zov {

struct PictureSettings {
    std::string fps = "4";  // pictures per second, as given: the filter and frameconv's /ir read the same text;
                            // empty: every picture as it comes (a still has no rate to convert)
    bool hires = false;     // 320 × 200 pictures; multicolour ones are 160 × 200
    bool crop = false;      // fill the screen's shape (cut off what is left over) instead of black bars
};

/// The filter chain of the long route's command for these settings, e.g.
/// "fps=4,scale=320:200:force_original_aspect_ratio=decrease,pad=320:200:(ow-iw)/2:(oh-ih)/2,scale=160:200".
std::string pictureFilters(const PictureSettings& settings);

/// What the receiver of a picture answers.
enum class PictureAnswer { More, Enough, Failed };

class ClipPictures {
public:
    ClipPictures() = default;
    ~ClipPictures();
    ClipPictures(const ClipPictures&) = delete;
    ClipPictures& operator=(const ClipPictures&) = delete;

    /// Opens the clip and its first video stream; false with the reason.
    bool open(const std::string& path, const PictureSettings& settings, std::string& problem);

    /// Whether the clip has a sound (an audio stream) too.
    bool hasSound() const;

    /// The clip's length in seconds as its container states it; 0 when it states none.
    double statedSeconds() const;

    /// Hands every picture in order to take: rows top first, 3 bytes a pixel (B, G, R multicolour; R, G, B
    /// hi-res), stride bytes apart. Ends when take answers Enough (true) or Failed (false), at the clip's end
    /// (true), or where the clip is unreadable, breaks off or is cut off before take has enough (false with
    /// the reason).
    using Receiver = std::function<PictureAnswer(const std::uint8_t* rows, int stride)>;
    bool run(const Receiver& take, std::string& problem);

private:
    bool decode(const Receiver& take, std::string& problem, bool& stop);
    bool filter(AVFrame* frame, const Receiver& take, std::string& problem, bool& stop);
    bool startFilters(const AVFrame* frame, std::string& problem);
    bool drain(const Receiver& take, std::string& problem, bool& stop);

    MediaDecoder decoder_;
    PictureSettings settings_;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    AVFrame* picture_ = nullptr;
    int width_ = 0, height_ = 0, pixelFormat_ = -1;
    std::int64_t lastStamp_ = 0;  // of the last decoded picture, counted from the clip's start
    bool broken_ = false;         // the decoder's end was a break: its problem is the clip's
    std::int64_t outputCount_ = 0;  // pictures handed out at the constant rate so far
};

}  // namespace zov
