// The space in which the colour choice per card compares and mixes colours: luma and the two colour
// differences, red − luma and blue − luma, over the display's gamma-encoded values. Its mixes are straight
// lines in those values, which is how a dither's pixels average for the eye at a distance, and it follows
// the measured RGB and luminance figures more closely than OKLab's axes did (bench/README.md). Colours are
// compared in each pixel's own measure (PixelMetric), which counts a wrong hue above a paler or darker
// one: a grey wall in light green or a face in yellow looks wrong, a paler face does not.
#pragma once

#include "formats/vic_colours.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace zov {

/// A colour as its luma l (0 black to 1 white) and its colour differences a (red − luma) and b (blue − luma).
struct ColourPoint {
    double l = 0, a = 0, b = 0;
};

/// An RGB colour (gamma-encoded components 0-255) in this space.
ColourPoint colourPointOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// The weights of PixelMetric, tuned on seven pictures for their hues with the RGB figure kept
// (bench/README.md): a difference in luma, across a pixel's hue, and along it.
inline constexpr double kLightnessWeight = 6;
inline constexpr double kHueWeight = 4;
inline constexpr double kAlongWeight = 2;
// A pixel whose colour differences are within kGreyChroma is grey: any hue counts across it; beyond
// kHueChroma it has its hue, and between the two the weight along it goes over from one to the other.
inline constexpr double kGreyChroma = 0.02;
inline constexpr double kHueChroma = 0.08;

/// How colours compare as stand-ins for one pixel's colour: the luma counted kLightnessWeight times, a
/// difference across the pixel's hue (toward another hue) kHueWeight times, one along it (the same hue
/// stronger or weaker) kAlongWeight times; for a grey pixel any colour at all counts kHueWeight times. The
/// eye forgives a colour that is paler than it should be more than one of another hue.
struct PixelMetric {
    double ua = 1, ub = 0;          // the pixel's hue, a unit vector in the a, b plane
    double along = kHueWeight;      // the weight of a difference along the hue
    double across = kHueWeight;     // and across it

    static PixelMetric of(const ColourPoint& x) {
        PixelMetric metric;
        const double chroma = std::sqrt(x.a * x.a + x.b * x.b);
        if (chroma <= kGreyChroma) return metric;
        metric.ua = x.a / chroma, metric.ub = x.b / chroma;
        const double hued = std::min((chroma - kGreyChroma) / (kHueChroma - kGreyChroma), 1.0);
        metric.along = kHueWeight + (kAlongWeight - kHueWeight) * hued;
        return metric;
    }

    /// The inner product of two differences of colours, whose square is the distance.
    double inner(const ColourPoint& d, const ColourPoint& e) const {
        return kLightnessWeight * d.l * e.l + along * (ua * d.a + ub * d.b) * (ua * e.a + ub * e.b) +
               across * (ua * d.b - ub * d.a) * (ua * e.b - ub * e.a);
    }

    /// The squared distance of x and z.
    double distance(const ColourPoint& x, const ColourPoint& z) const {
        const ColourPoint d{x.l - z.l, x.a - z.a, x.b - z.b};
        return inner(d, d);
    }
};

using PalettePoints = std::array<ColourPoint, 16>;

/// The palette's colours in this space.
PalettePoints palettePoints(const VicPaletteRgb& palette);

}  // namespace zov
