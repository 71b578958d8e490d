// Conversion of source pixels into the luminance, saturation and hue planes of a picture, with the running
// statistics of the truncation and clipping it makes. Used by the picture reader while it reads the rows.
#pragma once

#include "frameconv/picture/vic_picture.h"

#include <cstddef>
#include <cstdint>

namespace zov {

/// Truncation toward zero that saturates at the 32-bit range instead of overflowing; NaN gives 0. Values
/// that fit give exactly what a plain conversion gives.
std::int32_t truncateSaturating(double value);

/// Converts the pixels of one load into the picture's planes and statistics. Holds the adjustments and plane
/// pointers so that the per-pixel work reads nothing else.
class PixelConverter {
public:
    explicit PixelConverter(VicPicture& picture);

    /// A grey source pixel: only the luminance plane is written.
    void grey(std::size_t index, int value);
    /// A colour source pixel (components 0-255): luminance, saturation and hue.
    void colour(std::size_t index, int red, int green, int blue);

private:
    void luminance(std::size_t index, double intensity);
    std::uint8_t hue(int red, int green, int blue, int maximum, std::int32_t divisor);

    VicPicture& picture_;
    std::uint8_t* luma_;
    std::uint8_t* saturation_;
    std::uint8_t* hue_;
    double lumaGain_, lumaOffset_, saturationGain_, saturationOffset_, hueShift_;
};

/// Clears the statistics at the start of a load (a grey source has saturation extremes of 0).
void resetConversionStatistics(VicPicture& picture);

/// The "Luma:", "Sat:" and "Hue:" lines of a loaded picture (only the first for a grey source). Where no
/// pixel has a hue the average shows 180 degrees and the error 0.
void printConversionStatistics(const VicPicture& picture);

}  // namespace zov
