// What the VIC-II reads to draw one bitmap screen, and the 320 × 200 picture it draws from it.
#pragma once

#include "vicview/rgb_image.h"
#include "formats/vic_colours.h"

#include <array>
#include <cstdint>

namespace zov {

inline constexpr int kScreenWidth = 320;
inline constexpr int kScreenHeight = 200;
inline constexpr int kScreenCards = 1000;   // 40 × 25
inline constexpr int kBitmapBytes = 8000;   // 25 card rows of 320 bytes
// The border as far as a monitor shows it around the 320 × 200 screen: PAL lines 16 to 287, of which the
// 25-row display takes lines 51 to 250, so one line less above it than below.
inline constexpr int kBorderLeftRight = 32;
inline constexpr int kBorderTop = 35;
inline constexpr int kBorderBottom = 37;

enum class VicMode { Multicolour, HiRes };

/// The bytes the chip reads for one screen: bitmap, screen matrix, Color RAM and the background register.
/// Only the low nibble of a Color RAM byte and of the background is a colour.
struct VicScreen {
    std::array<std::uint8_t, kBitmapBytes> bitmap{};
    std::array<std::uint8_t, kScreenCards> matrix{};
    std::array<std::uint8_t, kScreenCards> colourRam{};
    int background = 0;
};

struct RenderSettings {
    VicMode mode = VicMode::Multicolour;
    const VicPaletteRgb* palette = nullptr;  // nullptr: the default palette
    bool border = false;
    int borderColour = 0;                    // palette index, with border
};

/// The palette index of the screen pixel (x, y), 0 ≤ x < 320, 0 ≤ y < 200. A multicolour pixel covers two
/// screen pixels.
int screenColour(const VicScreen& screen, VicMode mode, int x, int y);

/// The screen as a picture of 320 × 200 pixels, or 384 × 272 with the border around it.
RgbImage renderScreen(const VicScreen& screen, const RenderSettings& settings);

}  // namespace zov
