// The space in which the colour choice per card compares and mixes colours: a lightness and two opponent
// axes, green to red and blue to yellow, as OKLab forms them, but over the display's gamma-encoded values
// rather than over light. Its mixes are straight lines in those values, which is how a dither's pixels
// average for the eye at a distance (as closely as the values' blur measures it; in OKLab itself a mix with
// Black comes out far too light), while its axes keep OKLab's hues. Colours are compared in each pixel's
// own measure (PixelMetric), which counts a wrong hue above a wrong lightness or strength: a grey wall in
// light green or a face in yellow looks wrong, a paler face does not (bench/README.md).
#pragma once

#include "formats/vic_colours.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace zov {

/// A colour as its lightness l (0 black to 1 white) and its two opponent axes a (green to red) and
/// b (blue to yellow).
struct ColourPoint {
    double l = 0, a = 0, b = 0;
};

/// An RGB colour (gamma-encoded components 0-255) in this space.
ColourPoint colourPointOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

inline const double kLightnessWeight = std::getenv("ZOV_W") ? std::atof(std::getenv("ZOV_W")) : 1;  // DEV
inline const double kHueWeight = std::getenv("ZOV_H") ? std::atof(std::getenv("ZOV_H")) : 3;  // DEV
inline const double kGreyChroma = std::getenv("ZOV_GREY") ? std::atof(std::getenv("ZOV_GREY")) : 0.01;  // DEV
inline const double kHueChroma = std::getenv("ZOV_HUEC") ? std::atof(std::getenv("ZOV_HUEC")) : 0.04;  // DEV

/// How colours compare as stand-ins for one pixel's colour: the lightness counted kLightnessWeight times,
/// a difference across the pixel's hue (toward another hue) kHueWeight times, one along it (the same hue
/// stronger or weaker) once; for a grey pixel any colour at all counts kHueWeight times. The eye forgives
/// a colour that is paler or darker than it should be far more than one of another hue.
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
        metric.along = kHueWeight + (1 - kHueWeight) * hued;
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

    /// x in coordinates in which the metric's distances are plain squared distances.
    void scaled(const ColourPoint& x, double* u) const {
        u[0] = std::sqrt(kLightnessWeight) * x.l;
        u[1] = std::sqrt(along) * (ua * x.a + ub * x.b);
        u[2] = std::sqrt(across) * (ua * x.b - ub * x.a);
    }
};

using PalettePoints = std::array<ColourPoint, 16>;

/// The palette's colours in this space.
PalettePoints palettePoints(const VicPaletteRgb& palette);

}  // namespace zov
