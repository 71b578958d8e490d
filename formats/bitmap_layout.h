// The individual VIC-II bitmap file: a load address, then the image's areas in the order a loader on the
// target machine puts them in place. Which areas it holds depends on the colour arrays setting (COLOR) and
// the bitmap mode:
//   COLOR 3: 0x2000, bitmap (8000), screen matrix (1000), Color RAM (1000), background    10003 bytes
//   COLOR 1: 0x2000, bitmap (8000), Color RAM (1000), background                            9003 bytes
//   COLOR 2: 0x1C00, matrix (1000), [background, FG] or padding to 1024, bitmap cut after the picture's rows
//   COLOR 0: 0x2000, bitmap cut after the picture's last card row
#pragma once

#include <cstdint>
#include <vector>

namespace zov {

inline constexpr int kLoadBitmapFirst = 0x2000;
inline constexpr int kLoadMatrixFirst = 0x1C00;  // COLOR 2: the matrix first, the bitmap then lands at 0x2000
inline constexpr int kLoadAddressBytes = 2;
inline constexpr int kFileBitmapBytes = 8000;    // 25 card rows
inline constexpr int kFileCardRowBytes = 320;
inline constexpr int kFileAreaBytes = 1000;      // screen matrix and Color RAM: one byte a card
inline constexpr int kMatrixBlockBytes = 1024;   // COLOR 2: the matrix with its spare bytes
inline constexpr std::uint8_t kUnusedColourRam = 0xF0;
inline constexpr int kFullFileLength = kLoadAddressBytes + kFileBitmapBytes + 2 * kFileAreaBytes + 1;  // COLOR 3
inline constexpr int kColourRamFileLength = kLoadAddressBytes + kFileBitmapBytes + kFileAreaBytes + 1;  // COLOR 1
inline constexpr int kMatrixFirstHead = kLoadAddressBytes + kMatrixBlockBytes;  // COLOR 2, before the bitmap
// COLOR 2 in multicolour: the two colours outside the matrix, in its spare bytes.
inline constexpr int kMatrixFirstBackgroundAt = kLoadAddressBytes + kFileAreaBytes;
inline constexpr int kMatrixFirstForegroundAt = kMatrixFirstBackgroundAt + 1;

struct BitmapFileLayout {
    std::int32_t colourArrays = 3;      // COLOR: 0 none, 1 Color RAM, 2 screen matrix, 3 both
    bool multicolour = true;            // false for hi-res
    std::int32_t backgroundColour = 0;  // role 0
    std::int32_t foregroundColour = 0;  // role 3, the Color RAM colour (multicolour only)
    std::int32_t topCardRow = 0;
    std::int32_t bitmapBytes = 0;       // bitmap bytes of the picture's card rows, as the export returned
};

/// The areas of a VIC-II memory image; an area that is nullptr is written as zeros (Color RAM: 0xF0).
struct BitmapAreas {
    const std::uint8_t* bitmap = nullptr;
    const std::uint8_t* matrix = nullptr;
    const std::uint8_t* colourRam = nullptr;
};

/// The whole file. Without a Color RAM area (hi-res), the Color RAM block holds 0xF0 bytes.
std::vector<std::uint8_t> bitmapFileBytes(const BitmapAreas& areas, const BitmapFileLayout& layout);

}  // namespace zov
