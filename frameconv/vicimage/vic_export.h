// Laying out a dithered picture as the VIC-II sees it: bitmap, screen matrix and Color RAM, with the
// picture centred horizontally at its top card row and the rest of the screen filled.
#pragma once

#include "frameconv/vicimage/vic_image.h"

#include <cstdint>

namespace zov {

/// What the export needs to know about a picture.
struct VicExportSource {
    const std::int16_t* roles = nullptr;  // one role index per pixel, row stride paddedWidth
    std::int32_t roleElements = 0;        // elements in roles
    std::int32_t paddedWidth = 0;
    std::int32_t width = 0;               // source width in pixels
    std::int32_t cardWidth = 4;           // 4 multicolour, 8 hi-res
    std::int32_t topCardRow = 0;          // screen card row of the picture's first card row
    std::int32_t widthInCards = 0;
    std::int32_t heightInCards = 0;
    const std::uint8_t* colourMatrix = nullptr;  // one byte per picture card
    const std::uint8_t* colourRam = nullptr;     // one byte per picture card
    std::int32_t colourArrays = 2;        // bit 0 Color RAM wanted, bit 1 screen matrix wanted
    std::int32_t fillColour = 0;          // palette index of the screen outside the picture
};

/// Builds the image from the picture, creating its storage when it has none. Fill decides what the screen
/// above and below the picture holds (0xFF bitmap bytes and the fill colour, or zeros). Returns the bitmap
/// bytes of the picture's card rows, or 0 when nothing was exported: no role buffer, no storage (a message
/// is printed), no colour matrix, no Color RAM array when the Color RAM is exported, or a geometry that
/// does not fit the screen or the role buffer.
int buildVicImage(VicImage& image, const VicExportSource& source, bool fill);

}  // namespace zov
