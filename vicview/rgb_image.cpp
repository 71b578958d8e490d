#include "vicview/rgb_image.h"

#include <algorithm>

namespace zov {

RgbImage::RgbImage(int width, int height, Rgb fill)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3) {
    for (std::size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = fill.r;
        pixels_[i + 1] = fill.g;
        pixels_[i + 2] = fill.b;
    }
}

void RgbImage::paste(const RgbImage& other, int x, int y) {
    for (int row = 0; row < other.height(); ++row) {
        int ty = y + row;
        if (ty < 0 || ty >= height_) continue;
        for (int column = 0; column < other.width(); ++column) {
            int tx = x + column;
            if (tx >= 0 && tx < width_) set(tx, ty, other.at(column, row));
        }
    }
}

RgbImage RgbImage::cropped(int x, int y, int width, int height) const {
    RgbImage part(width, height);
    part.paste(*this, -x, -y);
    return part;
}

RgbImage RgbImage::halved() const {
    RgbImage half(width_ / 2, height_ / 2);
    for (int y = 0; y < half.height(); ++y) {
        for (int x = 0; x < half.width(); ++x) {
            Rgb a = at(2 * x, 2 * y), b = at(2 * x + 1, 2 * y);
            Rgb c = at(2 * x, 2 * y + 1), d = at(2 * x + 1, 2 * y + 1);
            // Rounded mean of the four.
            half.set(x, y,
                     {static_cast<std::uint8_t>((a.r + b.r + c.r + d.r + 2) / 4),
                      static_cast<std::uint8_t>((a.g + b.g + c.g + d.g + 2) / 4),
                      static_cast<std::uint8_t>((a.b + b.b + c.b + d.b + 2) / 4)});
        }
    }
    return half;
}

}  // namespace zov
