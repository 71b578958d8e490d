// One picture with every frame of a stream as a half-size thumbnail, in rows of up to eight, in order.
#pragma once

#include "vicview/rgb_image.h"

namespace zov {

class ContactSheet {
public:
    static constexpr int kColumns = 8;
    static constexpr int kGap = 4;
    /// Above this many frames only every n-th frame gets a thumbnail, so the sheet stays a sensible size.
    static constexpr int kMaxThumbnails = 1024;

    /// A sheet for frameCount frames of the given size.
    ContactSheet(int frameCount, int frameWidth, int frameHeight);

    /// Every how many frames one is shown (1: all of them).
    int step() const { return step_; }
    /// Puts frame number index (0-based, in stream order) on the sheet if it is one that is shown.
    void add(int index, const RgbImage& frame);

    const RgbImage& picture() const { return sheet_; }

private:
    int step_ = 1;
    int thumbWidth_ = 0;
    int thumbHeight_ = 0;
    RgbImage sheet_;
};

}  // namespace zov
