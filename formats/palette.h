// The 16 colours of the VIC-II with the luminance, saturation and hue direction that the colour choice and
// the dithering compare against. The cosines and sines are stored constants, not recomputed.
#pragma once

#include <cstdint>

namespace zov {

struct PaletteColour {
    const char* name;  // five characters, spaces kept
    int luminance;
    int saturation;    // 0 for the greys, 224 for every chromatic colour
    double cosine;
    double sine;
};

enum PaletteIndex : int {
    kBlack = 0,
    kWhite = 1,
    kRed = 2,
    kCyan = 3,
    kPurple = 4,
    kGreen = 5,
    kBlue = 6,
    kYellow = 7,
    kOrange = 8,
    kBrown = 9,
    kLightRed = 10,
    kDarkGrey = 11,
    kMidGrey = 12,
    kLightGreen = 13,
    kLightBlue = 14,
    kLightGrey = 15,
    kNoColour = 16,
};

inline constexpr PaletteColour kPalette[17] = {
    {"Black", 0, 0, 1.0, 0.0},
    {"White", 255, 0, 1.0, 0.0},
    {" Red ", 80, 224, 1.0, 0.0},
    {" Cyan", 160, 224, -1.0, 0.0},
    {"Purpl", 96, 224, 0.514102744193, -0.85772861},
    {"Green", 128, 224, -0.49289819223, 0.870086991109},
    {" Blue", 64, 224, -0.49289819223, -0.870086991109},
    {"Yello", 192, 224, 0.49289819223, 0.870086991109},
    {"Orang", 96, 224, 0.870086991109, 0.49289819223},
    {"Brown", 64, 224, 0.707106781187, 0.707106781187},
    {"L.Red", 128, 224, 1.0, 0.0},
    {"DGray", 80, 0, 1.0, 0.0},
    {"MGray", 120, 0, 1.0, 0.0},
    {"L.Grn", 192, 224, -0.49289819223, 0.870086991109},
    {"L.Blu", 120, 224, -0.49289819223, -0.870086991109},
    {"LGray", 160, 0, 1.0, 0.0},
    {"NColr", 0, 0, 1.0, 0.0},
};

}  // namespace zov
