// What the VIC-II reads to draw one bitmap screen: the bitmap, the screen matrix, the Color RAM and the
// background register, in multicolour or hi-res mode.
#pragma once

#include <array>
#include <cstdint>

namespace zov {

inline constexpr int kScreenWidth = 320;
inline constexpr int kScreenHeight = 200;
inline constexpr int kScreenCards = 1000;   // 40 × 25
inline constexpr int kBitmapBytes = 8000;   // 25 card rows of 320 bytes

enum class VicMode { Multicolour, HiRes };

/// The bytes the chip reads for one screen: bitmap, screen matrix, Color RAM and the background register.
/// Only the low nibble of a Color RAM byte and of the background is a colour.
struct VicScreen {
    std::array<std::uint8_t, kBitmapBytes> bitmap{};
    std::array<std::uint8_t, kScreenCards> matrix{};
    std::array<std::uint8_t, kScreenCards> colourRam{};
    int background = 0;
};

}  // namespace zov
