// Time of the colour choice for a full-size multicolour picture (160 × 200).
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using zov::VicPicture;

void shapeFullPicture(VicPicture& picture) {
    picture.reset();
    picture.setMode(4, 3);
    picture.geometry.width = picture.geometry.paddedWidth = 160;
    picture.geometry.height = picture.geometry.paddedHeight = 200;
    picture.geometry.pixelCount = 160 * 200;
    picture.geometry.paddedSize = 160 * 200;
    picture.monochrome = 0;
    picture.planes.luminancePlane.reset(new std::uint8_t[picture.geometry.paddedSize]);
    picture.planes.huePlane.reset(new std::uint8_t[picture.geometry.paddedSize]);
    picture.planes.saturationPlane.reset(new std::uint8_t[picture.geometry.paddedSize]);
}

void set(VicPicture& picture, int x, int y, int luma, int saturation, int hue) {
    const int index = y * picture.geometry.paddedWidth + x;
    picture.planes.luminancePlane[index] = static_cast<std::uint8_t>(luma);
    picture.planes.saturationPlane[index] = static_cast<std::uint8_t>(saturation);
    picture.planes.huePlane[index] = static_cast<std::uint8_t>(hue);
}

// Every hue across the width, saturation growing down the picture, luminance in bands.
void paintColourField(VicPicture& picture) {
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 160; ++x) set(picture, x, y, (x * 3 + y * 5) % 256, y * 255 / 199, x * 256 / 160);
    }
}

// A dark scene with a few flat colour areas: red, blue, a little green and grey.
void paintFlatAreas(VicPicture& picture) {
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 160; ++x) {
            if (y < 80 && x < 90) {
                set(picture, x, y, 80, 224, 0);
            } else if (y >= 120 && x >= 60) {
                set(picture, x, y, 64, 200, 171);
            } else if (y < 40 && x >= 130) {
                set(picture, x, y, 128, 180, 85);
            } else {
                set(picture, x, y, (x + y) % 40, 0, 0);
            }
        }
    }
}

void pinBlack(VicPicture& picture) {
    for (int slot = 0; slot < 4; ++slot) {
        picture.colours.pinnedRoles[slot] = -1;
        picture.colours.pinnedColours[slot] = zov::kNoColour;
    }
    picture.colours.pinnedRoles[0] = 3;
    picture.colours.pinnedColours[0] = zov::kBlack;
    picture.colours.freeRoleMask = 0;
}

template <void (*Paint)(VicPicture&)>
void chooseColours(benchmark::State& state) {
    VicPicture picture;
    shapeFullPicture(picture);
    Paint(picture);
    for (auto _ : state) {
        pinBlack(picture);
        benchmark::DoNotOptimize(picture.chooseColours());
        benchmark::DoNotOptimize(picture.colours.roleColours);
    }
}

BENCHMARK(chooseColours<paintColourField>)->Name("chooseColours/colourField160x200")->Unit(benchmark::kMillisecond);
BENCHMARK(chooseColours<paintFlatAreas>)->Name("chooseColours/flatAreas160x200")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
