// Pictures built directly in the planes from exact palette colours, for the colour choice tests.
#pragma once

#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <cstdint>
#include <cstring>

namespace zov::testing_pictures {

struct Swatch {
    std::uint8_t luminance;
    std::uint8_t saturation;
    std::uint8_t hue;
};

// The plane values of a palette colour: its luminance, saturation 224 (0 for greys) and its hue byte.
inline Swatch swatchOf(int colour) {
    static constexpr std::uint8_t kHueByte[16] = {0, 0, 0, 128, 214, 85, 171, 43, 21, 32, 0, 0, 0, 85, 171, 0};
    return {static_cast<std::uint8_t>(kPalette[colour].luminance),
            static_cast<std::uint8_t>(kPalette[colour].saturation), kHueByte[colour]};
}

// Shapes the picture (Black everywhere) for the mode: card width 4 is multicolour, 8 hi-res.
inline void shapePicture(VicPicture& picture, int width, int height, int cardWidth, bool colour) {
    picture.reset();
    picture.setMode(cardWidth, cardWidth == 8 ? 2 : 3);
    picture.geometry.width = width;
    picture.geometry.height = height;
    picture.geometry.pixelCount = static_cast<std::uint32_t>(width * height);
    picture.geometry.paddedWidth = (width + cardWidth - 1) / cardWidth * cardWidth;
    picture.geometry.paddedHeight = (height + 7) / 8 * 8;
    picture.geometry.paddedSize = picture.geometry.paddedWidth * picture.geometry.paddedHeight;
    picture.monochrome = colour ? 0 : 1;
    picture.planes.luminancePlane.reset(new std::uint8_t[picture.geometry.paddedSize]());
    if (colour) {
        picture.planes.huePlane.reset(new std::uint8_t[picture.geometry.paddedSize]());
        picture.planes.saturationPlane.reset(new std::uint8_t[picture.geometry.paddedSize]());
    }
}

inline void paintPixel(VicPicture& picture, int x, int y, Swatch swatch) {
    const int index = y * picture.geometry.paddedWidth + x;
    picture.planes.luminancePlane[index] = swatch.luminance;
    if (picture.planes.huePlane) {
        picture.planes.huePlane[index] = swatch.hue;
        picture.planes.saturationPlane[index] = swatch.saturation;
    }
}

// Paints the first `pixels` pixels in row order from the top-left pixel `start` on.
inline void paintRun(VicPicture& picture, int start, int pixels, Swatch swatch) {
    for (int i = start; i < start + pixels; ++i)
        paintPixel(picture, i % picture.geometry.width, i / picture.geometry.width, swatch);
}

// What the driver does before every choice: clear the pins, then pin Black to FG (multicolour) or to the
// background (hi-res).
inline void pinBlack(VicPicture& picture) {
    for (int slot = 0; slot < 4; ++slot) {
        picture.colours.pinnedRoles[slot] = -1;
        picture.colours.pinnedColours[slot] = kNoColour;
    }
    picture.colours.pinnedRoles[0] = picture.geometry.cardWidth == 4 ? 3 : 0;
    picture.colours.pinnedColours[0] = kBlack;
    picture.colours.freeRoleMask = 0;
}

}  // namespace zov::testing_pictures
