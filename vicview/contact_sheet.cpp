#include "vicview/contact_sheet.h"

#include <algorithm>

namespace zov {
namespace {

constexpr Rgb kSheetBackground{0x20, 0x20, 0x20};

}  // namespace

ContactSheet::ContactSheet(int frameCount, int frameWidth, int frameHeight) {
    frameCount = std::max(frameCount, 0);
    step_ = std::max(1, (frameCount + kMaxThumbnails - 1) / kMaxThumbnails);
    int thumbnails = (frameCount + step_ - 1) / step_;
    thumbWidth_ = frameWidth / 2;
    thumbHeight_ = frameHeight / 2;
    int columns = std::clamp(thumbnails, 1, kColumns);
    int rows = std::max(1, (thumbnails + columns - 1) / columns);
    sheet_ = RgbImage(kGap + columns * (thumbWidth_ + kGap), kGap + rows * (thumbHeight_ + kGap), kSheetBackground);
}

void ContactSheet::add(int index, const RgbImage& frame) {
    if (index < 0 || index % step_ != 0) return;
    int slot = index / step_;
    int x = kGap + (slot % kColumns) * (thumbWidth_ + kGap);
    int y = kGap + (slot / kColumns) * (thumbHeight_ + kGap);
    sheet_.paste(frame.halved(), x, y);
}

}  // namespace zov
