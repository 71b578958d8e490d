#include "frameconv/cardcolour/perceptual.h"

#include <cmath>

namespace zov {
namespace {

/// sRGB's transfer curve undone: the linear light of each byte value.
const std::array<double, 256>& linearLight() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> values{};
        for (int v = 0; v < 256; ++v) {
            const double s = v / 255.0;
            values[static_cast<std::size_t>(v)] = s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        }
        return values;
    }();
    return table;
}

}  // namespace

// Björn Ottosson's OKLab: linear sRGB to cone responses, their cube roots, then to lightness and two
// opponent axes.
Lab labOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const std::array<double, 256>& linear = linearLight();
    const double r = linear[red], g = linear[green], b = linear[blue];
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

PaletteLab paletteLab(const VicPaletteRgb& palette) {
    PaletteLab colours;
    for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = labOf(palette[i].r, palette[i].g, palette[i].b);
    return colours;
}

}  // namespace zov
