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

/// Converts the pixels of one load into the picture's planes and statistics, a stored row at a time (from
/// its last pixel to its first). What depends on one source value or one chroma alone is worked out once
/// per load, in tables, with the very arithmetic a pixel would do.
class PixelConverter {
public:
    explicit PixelConverter(VicPicture& picture);

    /// A row of grey pixels, one byte each: only the luminance plane is written.
    void greyRow(const std::uint8_t* pixels, std::size_t rowStart, std::int32_t width);
    /// A row of colour pixels, three bytes each (components 0-255) in the order red, green, blue or, with
    /// blueFirst, blue, green, red: luminance, saturation and hue.
    void colourRow(const std::uint8_t* pixels, std::size_t rowStart, std::int32_t width, bool blueFirst);

    /// What one value gives on a plane: the level before clipping, the byte, and the error with its
    /// magnitude and square.
    struct Level {
        std::int32_t unclipped = 0;
        std::int32_t clipped = 0;  // 1 when the byte had to be clipped
        std::uint8_t byte = 0;
        double error = 0, absError = 0, sqError = 0;
    };

private:
    template <bool BlueFirst>
    void colourPixels(const std::uint8_t* pixels, std::size_t rowStart, std::int32_t width);

    VicPicture& picture_;
    std::uint8_t* luma_;
    std::uint8_t* saturation_;
    std::uint8_t* hue_;
    double lumaGain_, lumaOffset_, saturationGain_, saturationOffset_, hueShift_;
    Level greyLevels_[256];      // the luminance of every grey value, made at the first grey row
    bool greyLevelsMade_ = false;
    Level saturationLevels_[256];  // the saturation of every chroma (maximum − minimum component)
    bool saturationLevelsMade_ = false;
};

/// Clears the statistics at the start of a load (a grey source has saturation extremes of 0).
void resetConversionStatistics(VicPicture& picture);

/// The "Luma:", "Sat:" and "Hue:" lines of a loaded picture (only the first for a grey source). Where no
/// pixel has a hue the average shows 180 degrees and the error 0.
void printConversionStatistics(const VicPicture& picture);

}  // namespace zov
