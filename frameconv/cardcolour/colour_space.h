// The space in which the colour choice per card compares colours: luma and the two colour differences, as
// video pictures are coded for the eye, with the luma counted kLumaWeight times the colour: a picture of few
// colours lives mostly by its lightness, which the eye follows closely. (Measured on photographs, this kept
// both their luminance and their colour closer than OKLab did: bench/README.md.)
#pragma once

#include "formats/vic_colours.h"

#include <array>
#include <cstdint>

namespace zov {

/// A colour as luma y (0 black to 1 white) and the colour differences blue − luma and red − luma.
struct ColourPoint {
    double y = 0, cb = 0, cr = 0;
};

/// An RGB colour (components 0-255) in this space.
inline ColourPoint colourPointOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const double y = (0.299 * red + 0.587 * green + 0.114 * blue) / 255.0;
    return {y, blue / 255.0 - y, red / 255.0 - y};
}

inline constexpr double kLumaWeight = 12;

/// The squared distance by which the colour choice compares.
inline double distance(const ColourPoint& x, const ColourPoint& z) {
    const double dy = x.y - z.y, db = x.cb - z.cb, dr = x.cr - z.cr;
    return kLumaWeight * dy * dy + db * db + dr * dr;
}

/// How far x lies from `from` toward `to`, as a share of the way (unbounded), in the distance's measure.
inline double shareToward(const ColourPoint& x, const ColourPoint& from, const ColourPoint& to) {
    const double wy = to.y - from.y, wb = to.cb - from.cb, wr = to.cr - from.cr;
    const double length = kLumaWeight * wy * wy + wb * wb + wr * wr;
    if (length == 0) return 0;
    return (kLumaWeight * (x.y - from.y) * wy + (x.cb - from.cb) * wb + (x.cr - from.cr) * wr) / length;
}

using PalettePoints = std::array<ColourPoint, 16>;

/// The palette's colours in this space.
inline PalettePoints palettePoints(const VicPaletteRgb& palette) {
    PalettePoints colours;
    for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = colourPointOf(palette[i].r, palette[i].g, palette[i].b);
    return colours;
}

}  // namespace zov
