// Colours in OKLab, a perceptual colour space in which equal distances look about equally different: the
// 16 VIC-II colours from their measured RGB values, and the source's pixels.
#pragma once

#include "formats/vic_colours.h"

#include <array>
#include <cstdint>

namespace zov {

struct Lab {
    double l = 0, a = 0, b = 0;
};

/// An sRGB colour (components 0-255) in OKLab (l from 0 for black to 1 for white).
Lab labOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

/// The squared distance by which the colour choice compares: lightness counts lightnessWeight times the
/// two colour axes, since the eye (and a picture of few colours) lives mostly by its lightness.
inline constexpr double kLightnessWeight = 1.5;
inline double distance(const Lab& x, const Lab& y) {
    const double dl = x.l - y.l, da = x.a - y.a, db = x.b - y.b;
    return kLightnessWeight * dl * dl + da * da + db * db;
}

using PaletteLab = std::array<Lab, 16>;

/// The palette's colours in OKLab.
PaletteLab paletteLab(const VicPaletteRgb& palette);

}  // namespace zov
