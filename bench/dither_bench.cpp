// The still-picture back end on a full multicolour screen: dithering, VIC-II export and the file bytes.
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"
#include "frameconv/vicimage/bitmap_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace zov {
namespace {

/// A 160 × 200 colour picture with smooth luminance, hue and saturation ramps and four chosen roles.
void makeScene(VicPicture& p) {
    p.setMode(4, 3);
    p.monochrome = 0;
    p.geometry.width = p.geometry.paddedWidth = 160;
    p.geometry.height = p.geometry.paddedHeight = 200;
    p.geometry.pixelCount = 160 * 200;
    p.geometry.paddedSize = 160 * 200;
    p.geometry.widthInCards = 40;
    p.geometry.heightInCards = 25;
    const auto n = static_cast<std::size_t>(p.geometry.paddedSize);
    p.planes.luminancePlane.reset(new std::uint8_t[n]);
    p.planes.huePlane.reset(new std::uint8_t[n]);
    p.planes.saturationPlane.reset(new std::uint8_t[n]);
    p.planes.lumaDither.reset(new std::int16_t[n]);
    p.planes.hueDither.reset(new std::int16_t[n]);
    p.planes.saturationDither.reset(new std::int16_t[n]);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 160; ++x) {
            const int i = y * 160 + x;
            p.planes.luminancePlane[i] = static_cast<std::uint8_t>((x + y) * 255 / 358);
            p.planes.huePlane[i] = static_cast<std::uint8_t>(x * 3 + y / 2);
            p.planes.saturationPlane[i] = static_cast<std::uint8_t>(y);
        }
    const int roles[5] = {kBlue, kOrange, kLightGreen, kBlack, kBlack};
    std::copy(roles, roles + 5, p.colours.roleColours);
    p.cardColours.colourMatrix.reset(new std::uint8_t[1000]);
    p.cardColours.colourRam.reset(new std::uint8_t[1000]);
    std::fill_n(p.cardColours.colourMatrix.get(), 1000, static_cast<std::uint8_t>(kOrange * 16 + kLightGreen));
    std::fill_n(p.cardColours.colourRam.get(), 1000, static_cast<std::uint8_t>(kBlack));
}

void BM_QuantisePicture(benchmark::State& state) {
    VicPicture p;
    makeScene(p);
    for (auto _ : state) benchmark::DoNotOptimize(p.quantisePicture());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuantisePicture);

void BM_ExportAndFileBytes(benchmark::State& state) {
    VicPicture p;
    makeScene(p);
    p.quantisePicture();
    for (auto _ : state) {
        const int bitmapBytes = p.exportVicImage(true);
        BitmapFileLayout layout{3, true, p.colours.roleColours[0], p.colours.roleColours[3], 0, bitmapBytes};
        benchmark::DoNotOptimize(bitmapFileBytes(p.image, layout));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExportAndFileBytes);

}  // namespace
}  // namespace zov

BENCHMARK_MAIN();
