// A plain RGB picture, 8 bits per channel, rows from the top, as it goes into a PNG file.
#pragma once

#include "formats/vic_colours.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

class RgbImage {
public:
    RgbImage() = default;
    RgbImage(int width, int height, Rgb fill = {});

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    Rgb at(int x, int y) const {
        const std::uint8_t* p = &pixels_[offset(x, y)];
        return {p[0], p[1], p[2]};
    }
    void set(int x, int y, Rgb colour) {
        std::uint8_t* p = &pixels_[offset(x, y)];
        p[0] = colour.r;
        p[1] = colour.g;
        p[2] = colour.b;
    }

    /// Copies another picture in with its top-left corner at (x, y); parts outside are cut off.
    void paste(const RgbImage& other, int x, int y);
    /// The rectangle from (x, y) of the given size; it must lie inside the picture.
    RgbImage cropped(int x, int y, int width, int height) const;
    /// Half the width and height (rounded down), each pixel the mean of a 2 × 2 block.
    RgbImage halved() const;

    /// Three bytes per pixel, rows from the top, no padding.
    const std::vector<std::uint8_t>& bytes() const { return pixels_; }

private:
    std::size_t offset(int x, int y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
    }

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace zov
