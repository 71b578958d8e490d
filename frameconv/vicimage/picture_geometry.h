// The shape of a picture as the VIC-II shows it: its size, its planes padded to whole cards, its card grid
// and place on the screen, and the mode with the colour arrays wanted.
#pragma once

#include <cstdint>

namespace zov {

struct PictureGeometry {
    std::int32_t width = 0;        // source width in pixels
    std::int32_t height = 0;       // source height in pixels
    std::uint32_t pixelCount = 0;  // width × height
    std::int32_t topCardRow = 0;   // screen card row of the picture's first card row

    // Element (x, y) of every plane is at y × paddedWidth + x, y = 0 the top row.
    std::int32_t paddedWidth = 0;   // width rounded up to whole cards
    std::int32_t paddedHeight = 0;  // height rounded up to whole card rows
    std::int32_t paddedSize = 0;    // elements of every plane
    std::int32_t widthInCards = 0;
    std::int32_t heightInCards = 0;

    std::int32_t cardWidth = 4;     // pixels per card row: 4 multicolour, 8 hi-res
    std::int32_t roleCount = 4;     // colour roles: 4 multicolour, 2 hi-res
    std::int32_t colourArrays = 2;  // bit 0 Color RAM wanted, bit 1 screen matrix wanted
};

}  // namespace zov
