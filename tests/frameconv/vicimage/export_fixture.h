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
    p.geometry.width = width;
    p.geometry.height = height;
    p.geometry.pixelCount = static_cast<std::uint32_t>(width * height);
    p.geometry.topCardRow = topCardRow;
    p.geometry.paddedWidth = (width + cardWidth - 1) / cardWidth * cardWidth;
    p.geometry.paddedHeight = (height + 7) / 8 * 8;
    p.geometry.paddedSize = p.geometry.paddedWidth * p.geometry.paddedHeight;
    p.geometry.widthInCards = p.geometry.paddedWidth / cardWidth;
    p.geometry.heightInCards = p.geometry.paddedHeight / 8;
    p.planes.luminancePlane.reset(new std::uint8_t[p.geometry.paddedSize]());
    p.planes.lumaDither.reset(new std::int16_t[p.geometry.paddedSize]());
    for (int y = 0; y < p.geometry.paddedHeight; ++y)
        for (int x = 0; x < p.geometry.paddedWidth; ++x)
            p.planes.lumaDither[y * p.geometry.paddedWidth + x] = static_cast<std::int16_t>(role(x, y));
    const int cards = p.geometry.widthInCards * p.geometry.heightInCards;
    p.cardColours.colourMatrix.reset(new std::uint8_t[cards]);
    p.cardColours.colourRam.reset(new std::uint8_t[cards]);
    for (int k = 0; k < cards; ++k) {
        p.cardColours.colourMatrix[k] = static_cast<std::uint8_t>(0x10 + k % 200);
        p.cardColours.colourRam[k] = static_cast<std::uint8_t>(0xF0 + k % 16);
    }
}

}  // namespace zov::fixture
