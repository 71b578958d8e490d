// Laying out a dithered picture as the VIC-II sees it: bitmap, screen matrix and Color RAM, with the
// picture centred horizontally at its top card row and the rest of the screen filled.
#pragma once

#include "frameconv/vicimage/picture_geometry.h"
#include "frameconv/vicimage/vic_image.h"

#include <cstdint>

namespace zov {

/// What the export needs to know about a picture.
struct VicExportSource {
    PictureGeometry geometry;
    const std::int16_t* roles = nullptr;         // one role index per pixel, geometry.paddedSize of them
    const std::uint8_t* colourMatrix = nullptr;  // one byte per picture card
    const std::uint8_t* colourRam = nullptr;     // one byte per picture card
    std::int32_t fillColour = 0;                 // palette index of the screen outside the picture
};

/// Builds the image from the picture, creating its storage when it has none. Fill decides what the screen
/// above and below the picture holds (0xFF bitmap bytes and the fill colour, or zeros). Returns the bitmap
/// bytes of the picture's card rows, or 0 when nothing was exported: no role buffer, no storage (a message
/// is printed), no colour matrix, no Color RAM array when the Color RAM is exported, or a geometry that
/// does not fit the screen or the role buffer.
int buildVicImage(VicImage& image, const VicExportSource& source, bool fill);

}  // namespace zov
