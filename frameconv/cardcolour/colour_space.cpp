#include "frameconv/cardcolour/colour_space.h"

namespace zov {

ColourPoint colourPointOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const double r = red / 255.0, g = green / 255.0, b = blue / 255.0;
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    return {y, r - y, b - y};
}

PalettePoints palettePoints(const VicPaletteRgb& palette) {
    PalettePoints colours;
    for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = colourPointOf(palette[i].r, palette[i].g, palette[i].b);
    return colours;
}

}  // namespace zov
