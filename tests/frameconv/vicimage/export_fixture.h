// Pictures for the export tests, built directly: geometry, a role per pixel and the per-card arrays.
#pragma once

#include "frameconv/picture/vic_picture.h"

#include <functional>

namespace zov::fixture {

/// Shapes the picture for a source of width × height in the given mode, with role(x, y) in its dither
/// buffer, card k's matrix byte 0x10 + k % 200 and Color RAM byte 0xF0 + k % 16.
inline void buildPicture(VicPicture& p, int width, int height, int cardWidth, int colourArrays, int topCardRow,
                         const std::function<int(int, int)>& role) {
    p.setMode(cardWidth, colourArrays);
    p.width = width;
    p.height = height;
    p.pixelCount = static_cast<std::uint32_t>(width * height);
    p.topCardRow = topCardRow;
    p.paddedWidth = (width + cardWidth - 1) / cardWidth * cardWidth;
    p.paddedHeight = (height + 7) / 8 * 8;
    p.paddedSize = p.paddedWidth * p.paddedHeight;
    p.widthInCards = p.paddedWidth / cardWidth;
    p.heightInCards = p.paddedHeight / 8;
    p.luminancePlane.reset(new std::uint8_t[p.paddedSize]());
    p.lumaDither.reset(new std::int16_t[p.paddedSize]());
    for (int y = 0; y < p.paddedHeight; ++y)
        for (int x = 0; x < p.paddedWidth; ++x)
            p.lumaDither[y * p.paddedWidth + x] = static_cast<std::int16_t>(role(x, y));
    const int cards = p.widthInCards * p.heightInCards;
    p.colourMatrix.reset(new std::uint8_t[cards]);
    p.colourRam.reset(new std::uint8_t[cards]);
    for (int k = 0; k < cards; ++k) {
        p.colourMatrix[k] = static_cast<std::uint8_t>(0x10 + k % 200);
        p.colourRam[k] = static_cast<std::uint8_t>(0xF0 + k % 16);
    }
}

}  // namespace zov::fixture
