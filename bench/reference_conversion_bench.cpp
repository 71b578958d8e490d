// Conversion of a full-screen 160 × 200 multicolour frame against a ring of three earlier, similar frames.
#include "formats/palette.h"
#include "frameconv/video/frame_store.h"
#include "frameconv/video/reference_conversion.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>

namespace zov {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 200;
constexpr std::int32_t kRoles[5] = {kLightGrey, kDarkGrey, kMidGrey, kBlack, kBlack};

void shapeFrame(VicPicture& picture) {
    picture.geometry.width = kWidth;
    picture.geometry.height = kHeight;
    picture.geometry.pixelCount = kWidth * kHeight;
    picture.geometry.cardWidth = 4;
    picture.geometry.roleCount = 4;
    picture.geometry.paddedWidth = kWidth;
    picture.geometry.paddedHeight = kHeight;
    picture.geometry.paddedSize = kWidth * kHeight;
    picture.geometry.widthInCards = kWidth / 4;
    picture.geometry.heightInCards = kHeight / 8;
    picture.geometry.topCardRow = 0;
    picture.monochrome = 1;
    picture.geometry.colourArrays = 3;
    picture.colours.pinnedRoles[0] = 3;
    picture.colours.pinnedColours[0] = kBlack;
    picture.colours.pinnedCount = 1;
    picture.planes.luminancePlane.reset(new std::uint8_t[picture.geometry.paddedSize]());
    picture.planes.lumaDither.reset(new std::int16_t[picture.geometry.paddedSize]());
    picture.cardColours.colourMatrix.reset(new std::uint8_t[1000]());
    picture.cardColours.colourRam.reset(new std::uint8_t[1000]());
}

// Soft shapes drifting a little from frame to frame, over a fine grain.
void drawFrame(VicPicture& picture, int time) {
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double wave = std::sin((x + 2.0 * time) / 9.0) * std::cos((y + time) / 13.0);
            const int grain = static_cast<int>((static_cast<unsigned>(x * 7919 + y * 104729) >> 3) % 9) - 4;
            const int value = 128 + static_cast<int>(90.0 * wave) + grain;
            picture.planes.luminancePlane[y * kWidth + x] = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
        }
    }
    std::copy(std::begin(kRoles), std::end(kRoles), picture.colours.roleColours);
}

// Keeps the working slot's frame in ring slot k, as the encoder does for an accepted frame.
void accept(FrameStore& store, int k) {
    FrameSlot& slot = store.slot(k);
    const FrameSlot& working = store.workingSlot();
    std::copy_n(working.planes.luminancePlane.get(), kWidth * kHeight, slot.planes.luminancePlane.get());
    std::copy_n(working.planes.lumaDither.get(), kWidth * kHeight, slot.planes.lumaDither.get());
    std::copy(std::begin(working.colours.roleColours), std::end(working.colours.roleColours), slot.colours.roleColours);
    slot.firstFrameLoaded = 1;
}

void BM_ConvertWithReference(benchmark::State& state) {
    VicPicture picture;
    shapeFrame(picture);
    FrameStore store;
    if (store.allocate(3) != 0 || store.setUpWorkingSlot(picture) != 0 || store.place(picture, 1, 3, 1) != 0) {
        state.SkipWithError("frame store could not be set up");
        return;
    }
    for (int k = 0; k < 3; ++k) {
        drawFrame(picture, k);
        store.workingSlot().takePlacement(store.slot(k));
        convertWithReference(store, picture, k);
        accept(store, k);
    }

    drawFrame(picture, 3);
    std::unique_ptr<std::uint8_t[]> next(new std::uint8_t[kWidth * kHeight]);
    std::copy_n(picture.planes.luminancePlane.get(), kWidth * kHeight, next.get());

    std::int64_t copied = 0;
    for (auto _ : state) {
        std::copy_n(next.get(), kWidth * kHeight, picture.planes.luminancePlane.get());
        std::copy(std::begin(kRoles), std::end(kRoles), picture.colours.roleColours);
        store.workingSlot().takePlacement(store.slot(0));
        const QuantStats stats = convertWithReference(store, picture, 0);
        copied = stats.copiedPixels;
        benchmark::DoNotOptimize(stats);
    }
    state.counters["copied_pixels"] = static_cast<double>(copied);
}
BENCHMARK(BM_ConvertWithReference)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zov

BENCHMARK_MAIN();
