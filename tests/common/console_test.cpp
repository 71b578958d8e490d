#include "common/console/console.h"
#include "common/platform/memory_platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zov {
namespace {

TEST(FormatReal, SixSignificantDigitsWithoutTrailingZeros) {
    EXPECT_EQ(formatReal(0.0), "0");
    EXPECT_EQ(formatReal(4.0), "4");
    EXPECT_EQ(formatReal(0.25), "0.25");
    EXPECT_EQ(formatReal(1234567.0), "1.23457e+06");
    EXPECT_EQ(formatReal(999999.0), "999999");
    EXPECT_EQ(formatReal(0.0001), "0.0001");
    EXPECT_EQ(formatReal(0.00001), "1e-05");
    EXPECT_EQ(formatReal(-2.5), "-2.5");
}

TEST(FormatReal, NonFiniteValuesHaveOneSpellingEach) {
    EXPECT_EQ(formatReal(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(formatReal(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(formatReal(std::nan("")), "nan");
    EXPECT_EQ(formatReal(-std::nan("")), "nan");
}

TEST(ReadNumbers, DecimalTextUpToTheFirstCharacterThatDoesNotFit) {
    EXPECT_EQ(readReal("120"), 120.0);
    EXPECT_EQ(readReal("  -12.5e1xyz"), -125.0);
    EXPECT_EQ(readReal("+.5"), 0.5);
    EXPECT_EQ(readReal("3e"), 3.0);
    EXPECT_EQ(readReal(""), 0.0);
    EXPECT_EQ(readReal("abc"), 0.0);
    EXPECT_EQ(readReal("inf"), 0.0);
    EXPECT_EQ(readReal("nan"), 0.0);
    EXPECT_EQ(readReal("0x10"), 0.0);
    EXPECT_EQ(readInteger("8.9"), 8);
    EXPECT_EQ(readInteger(" -3x"), -3);
    EXPECT_EQ(readInteger(""), 0);
    EXPECT_EQ(readInteger("99999999999999"), 2147483647);
    EXPECT_EQ(readInteger("-99999999999999"), -2147483647 - 1);
}

TEST(ConsoleOut, LinesEndWithLineFeedAndFlush) {
    StringConsole captured;
    PlatformOverride use(nullptr, &captured);
    out() << "Frame " << 3 << ": " << 0.5 << eol;
    EXPECT_EQ(captured.output(), "Frame 3: 0.5\n");
    EXPECT_EQ(captured.flushes(), 1);
}

}  // namespace
}  // namespace zov
