// The 16 colours of the VIC-II as a desktop shows them: measured RGB values of the chip's output.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zov {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

using VicPaletteRgb = std::array<Rgb, 16>;

/// The palette used unless another is asked for (Philip "Pepto" Timmermann's measurement, 2001).
const VicPaletteRgb& peptoPalette();
/// The same author's later measurement (2017), somewhat more saturated.
const VicPaletteRgb& colodorePalette();

/// The palette of a given name ("pepto" or "colodore", any case); nullptr for another name.
const VicPaletteRgb* paletteNamed(std::string_view name);

}  // namespace zov
