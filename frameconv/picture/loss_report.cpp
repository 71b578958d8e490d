// The loss lines of a dithering pass: how much luminance and chroma error the diffusion could not pass
// on, relative to the picture's edge, and the mean error of the chosen colours.
#include "common/console/console.h"
#include "frameconv/picture/vic_picture.h"

#include <cmath>

namespace zov {
namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

double signOf(double value) {
    return value > 0 ? 1.0 : (value < 0 ? -1.0 : 0.0);
}

}  // namespace

void VicPicture::reportLoss(const QuantStats& stats, int verbosity) const {
    if (verbosity < 2) return;
    const double edges = stats.edgeCount;
    const double pixels = stats.pixelCount;
    const double lumaError = signOf(stats.lumaErrorSum) * std::sqrt(stats.lumaSqErrorSum / pixels);
    out() << "Luma: lost " << stats.lostLuma << ", rel.loss " << stats.lostLuma / edges << ", quant.err. "
          << lumaError << eol;
    if (stats.monochrome) {
        out() << "Hue and Saturation: no loss, source image is monochrome." << eol;
        return;
    }
    const double lostChroma = std::sqrt(stats.lostX * stats.lostX + stats.lostY * stats.lostY);
    // Saturation error: the length of the mean absolute chroma error vector. Hue error: the direction of
    // the summed chroma error.
    const double saturationError = std::sqrt(stats.xAbsErrorSum * stats.xAbsErrorSum +
                                             stats.yAbsErrorSum * stats.yAbsErrorSum);
    const double hueError = std::atan2(stats.yErrorSum, stats.xErrorSum) * kDegreesPerRadian;
    out() << "Sat: lost " << lostChroma << ", rel.loss " << lostChroma / edges << ", quant.err. "
          << saturationError / pixels << eol;
    out() << "Hue: quantization error " << hueError << " degrees." << eol;
}

}  // namespace zov
