#include "frameconv/cardcolour/colour_space.h"

namespace zov {

// The cone-like responses of the values, then their lightness and opponent axes: OKLab's two matrices, here
// over the gamma-encoded values (with no cube root between them), so that the space is linear in them.
ColourPoint colourPointOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const double r = red / 255.0, g = green / 255.0, b = blue / 255.0;
    const double l = 0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b;
    const double m = 0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b;
    const double s = 0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b;
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s, 1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

PalettePoints palettePoints(const VicPaletteRgb& palette) {
    PalettePoints colours;
    for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = colourPointOf(palette[i].r, palette[i].g, palette[i].b);
    return colours;
}

}  // namespace zov
