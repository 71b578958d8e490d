// The result record of one dithering pass, read by the reports, the driver and the video encoder.
#pragma once

#include <cstdint>

namespace zov {

struct QuantStats {
    std::int32_t pixelCount = 0;
    double lumaErrorSum = 0, lumaAbsErrorSum = 0, lumaSqErrorSum = 0;  // luminance steps
    double lostLuma = 0;                                               // 1/32 steps not passed on
    std::int32_t chromaPixelCount = 0;
    double xErrorSum = 0, xAbsErrorSum = 0, xSqErrorSum = 0;
    double lostX = 0;
    std::int32_t chromaPixelCount2 = 0;
    double yErrorSum = 0, yAbsErrorSum = 0, ySqErrorSum = 0;
    double lostY = 0;
    std::uint8_t monochrome = 0;
    std::int32_t edgeCount = 0;      // width + 2 × height − 2
    std::int32_t copiedPixels = 0;   // pixels taken over from earlier video frames
};

}  // namespace zov
