#include "common/platform/memory_platform.h"
#include "frameconv/picture/vic_picture.h"

#include <gtest/gtest.h>

namespace zov {
namespace {

std::string reportOf(const QuantStats& stats, int verbosity) {
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    VicPicture picture;
    picture.reportLoss(stats, verbosity);
    return console.output();
}

QuantStats colourRecord() {
    QuantStats s;
    s.pixelCount = 100;
    s.lumaErrorSum = -12.5;
    s.lumaSqErrorSum = 400;
    s.lostLuma = 96;
    s.chromaPixelCount = s.chromaPixelCount2 = 100;
    s.xErrorSum = 10;
    s.yErrorSum = -10;
    s.xAbsErrorSum = 300;
    s.yAbsErrorSum = 400;
    s.lostX = 30;
    s.lostY = -40;
    s.edgeCount = 48;
    return s;
}

TEST(ReportLoss, ColourPictureLines) {
    EXPECT_EQ(reportOf(colourRecord(), 2),
              "Luma: lost 96, rel.loss 2, quant.err. -2\n"
              "Sat: lost 50, rel.loss 1.04167, quant.err. 5\n"
              "Hue: quantization error -45 degrees.\n");
}

TEST(ReportLoss, MonochromePictureHasTwoLines) {
    QuantStats s = colourRecord();
    s.monochrome = 1;
    s.lumaErrorSum = 3;
    EXPECT_EQ(reportOf(s, 3),
              "Luma: lost 96, rel.loss 2, quant.err. 2\n"
              "Hue and Saturation: no loss, source image is monochrome.\n");
}

TEST(ReportLoss, PerfectMatchReportsZeros) {
    QuantStats s;
    s.pixelCount = s.chromaPixelCount = s.chromaPixelCount2 = 64;
    s.edgeCount = 22;
    EXPECT_EQ(reportOf(s, 2),
              "Luma: lost 0, rel.loss 0, quant.err. 0\n"
              "Sat: lost 0, rel.loss 0, quant.err. 0\n"
              "Hue: quantization error 0 degrees.\n");
}

TEST(ReportLoss, SilentBelowVerbosityTwo) {
    EXPECT_EQ(reportOf(colourRecord(), 1), "");
    EXPECT_EQ(reportOf(colourRecord(), 0), "");
}

}  // namespace
}  // namespace zov
