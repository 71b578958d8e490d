#include "vicview/vic_screen.h"

namespace zov {

int screenColour(const VicScreen& screen, VicMode mode, int x, int y) {
    int card = (y / 8) * 40 + x / 8;
    std::uint8_t bits = screen.bitmap[static_cast<std::size_t>((y / 8) * 320 + (x / 8) * 8 + y % 8)];
    std::uint8_t matrix = screen.matrix[static_cast<std::size_t>(card)];
    if (mode == VicMode::HiRes) {
        bool set = (bits >> (7 - x % 8)) & 1;
        return set ? matrix >> 4 : matrix & 0x0F;
    }
    // Pixel 0 of a byte is in bits 7-6; each covers two screen pixels.
    int pixel = (x % 8) / 2;
    switch ((bits >> (6 - 2 * pixel)) & 3) {
    case 0: return screen.background & 0x0F;
    case 1: return matrix >> 4;
    case 2: return matrix & 0x0F;
    default: return screen.colourRam[static_cast<std::size_t>(card)] & 0x0F;
    }
}

RgbImage renderScreen(const VicScreen& screen, const RenderSettings& settings) {
    const VicPaletteRgb& palette = settings.palette ? *settings.palette : peptoPalette();
    int left = settings.border ? kBorderLeftRight : 0;
    int top = settings.border ? kBorderTop : 0;
    RgbImage picture(kScreenWidth + 2 * left, kScreenHeight + (settings.border ? kBorderTop + kBorderBottom : 0),
                     palette[static_cast<std::size_t>(settings.borderColour & 0x0F)]);
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x)
            picture.set(left + x, top + y, palette[static_cast<std::size_t>(screenColour(screen, settings.mode, x, y))]);
    return picture;
}

}  // namespace zov
