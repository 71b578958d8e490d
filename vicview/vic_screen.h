// The 320 × 200 picture that the VIC-II draws from the bytes of one bitmap screen (formats/screen_bytes.h).
#pragma once

#include "vicview/rgb_image.h"
#include "formats/screen_bytes.h"
#include "formats/vic_colours.h"

namespace zov {
// The border as far as a monitor shows it around the 320 × 200 screen: PAL lines 16 to 287, of which the
// 25-row display takes lines 51 to 250, so one line less above it than below.
inline constexpr int kBorderLeftRight = 32;
inline constexpr int kBorderTop = 35;
inline constexpr int kBorderBottom = 37;

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
