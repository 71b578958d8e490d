// The code statistics: classes of first bytes, the absolute-range rule of sums, and the table's exact text.
#include "frameconv/video/code_stats.h"
#include "formats/segment_commands.h"

#include "common/platform/memory_platform.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

std::string printed(const CodeCounter& counter, const char* label = nullptr, bool header = false) {
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    counter.print(label, header);
    return console.output();
}

CodeCounter counter(std::int32_t codeClass, int used, int bytes, int produced, int range, int absoluteRange) {
    return CodeCounter{codeClass, used, bytes, produced, range, absoluteRange};
}

TEST(CodeStatsClasses, FirstBytesReduceToTheirRow) {
    const std::pair<int, std::int32_t> cases[] = {
        {0x00, kClassRaw},   {0x3F, kClassRaw},   {0x41, kClassRle},   {0x6F, kClassRle},   {0x70, kClassPatQ},
        {0x8F, kClassCopyQ}, {0x90, kClassDestQ}, {0x97, kClassDestQ}, {0x98, kClassDest},  {0x9F, kClassDest},
        {0xA5, kClassCopy},  {0xBF, kClassRleL},  {0xC3, kClassPat},   {0xD1, kClassPatL},  {0xF0, kClassDestV},
        {0xF1, kClassFrame}, {0xE7, 0xE0},        {0xF5, 0xF5},
    };
    for (auto [firstByte, codeClass] : cases) {
        SCOPED_TRACE(firstByte);
        EXPECT_EQ(commandClass(static_cast<std::uint8_t>(firstByte)), codeClass);
    }
    EXPECT_STREQ(codeClassName(kClassDest), "Dest  ");
    EXPECT_STREQ(codeClassName(0xE0), "UNDEF ");
}

TEST(CodeStatsCounting, RecordAddsIntoItsClassAndIgnoresOthers) {
    CodeStats stats;
    stats.record(kClassCopyQ, 1, 2, 5, -16);
    stats.record(kClassCopyQ, 1, 2, 3, 10);
    stats.record(0xE0, 1, 9, 9, 9);
    const CodeCounter* copies = stats.find(kClassCopyQ);
    ASSERT_NE(copies, nullptr);
    EXPECT_EQ(copies->used, 2);
    EXPECT_EQ(copies->bytes, 4);
    EXPECT_EQ(copies->produced, 8);
    EXPECT_EQ(copies->range, -6);
    EXPECT_EQ(copies->absoluteRange, 26);
    EXPECT_EQ(stats.sum().used, 2);
    stats.reset();
    EXPECT_EQ(stats.sum().used, 0);
    EXPECT_EQ(stats.counter(11).codeClass, kClassFrame);
}

TEST(CodeStatsCounting, SumsCarryTheAbsoluteValueOfEachRangeSum) {
    CodeStats stats;
    stats.record(kClassCopy, 1, 3, 20, -5);
    stats.record(kClassCopyQ, 1, 2, 4, 10);
    stats.record(kClassCopyQ, 1, 2, 4, -10);  // CopyQ: range 0, absolute range 20
    CodeCounter subtotal = *stats.find(kClassCopyQ);
    subtotal.add(*stats.find(kClassCopy));
    EXPECT_EQ(subtotal.range, -5);
    EXPECT_EQ(subtotal.absoluteRange, 25);  // CopyQ's own 20, then |-5|
    CodeCounter reversed = *stats.find(kClassCopy);
    reversed.add(*stats.find(kClassCopyQ));
    EXPECT_EQ(reversed.absoluteRange, 5);  // Copy's own 5, then |0|
    CodeCounter sum = stats.sum();
    EXPECT_EQ(sum.codeClass, kClassSum);
    EXPECT_EQ(sum.absoluteRange, 5);
    CodeStats twice = stats;
    twice.add(stats);
    EXPECT_EQ(twice.find(kClassCopyQ)->absoluteRange, 20);
    EXPECT_EQ(twice.find(kClassCopy)->absoluteRange, 10);
}

TEST(CodeStatsCounting, NothingToSendIsMinusOneFrameBytes) {
    CodeStats stats;
    EXPECT_FALSE(stats.nothingToSend());
    stats.markNothingToSend();
    EXPECT_TRUE(stats.nothingToSend());
    EXPECT_EQ(stats.find(kClassFrame)->bytes, -1);
    EXPECT_EQ(stats.sum().bytes, -1);
}

TEST(CodeStatsPrinting, RowFormats) {
    struct Case {
        CodeCounter row;
        const char* label;
        const char* text;
    };
    const Case cases[] = {
        {counter(kClassRaw, 2, 130, 126, 0, 0), nullptr,
         "Raw         2       0     130     126      -4    00.0   63.00   -2.00\r\n"},
        {counter(kClassCopy, 4, 12, 80, 9999, 14), nullptr,
         "Copy        4    9999      12      80      68    03.5   20.00   17.00\r\n"},
        {counter(kClassPatL, 3, 12, 90, 10000, 50), nullptr,
         "Pat_L       3     10K      12      90      78    16.7   30.00   26.00\r\n"},
        {counter(kClassCopyQ, 3, 6, 9, -1500000, 50), nullptr,
         "CopyQ       3     -1M       6       9       3   -16.7    3.00    1.00\r\n"},
        {counter(kClassDest, 1, 2, 100, -999999, 1), " subt ",
         " subt       1   -999K       2     100      98    -1.0  100.00   98.00\r\n"},
        {counter(kClassFrame, 0, 0, 0, 0, 0), nullptr,
         "Frame       0       0       0       0       0    00.0    0.00    0.00\r\n"},
        {counter(0x42, 1, 1, 1, 0, 0), nullptr,
         "UNDEF       1       0       1       1       0    00.0    1.00    0.00\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(printed(c.row, c.label), c.text);
    }
    EXPECT_EQ(printed(counter(kClassRaw, 0, 0, 0, 0, 0), nullptr, true),
              "Code    #used   Range  byUsed byDecom  saving avRange avDecom avSaved\r\n"
              "Raw         0       0       0       0       0    00.0    0.00    0.00\r\n");
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

TEST(CodeStatsPrinting, ReportRowsSubtotalsAndTotal) {
    CodeStats stats;
    stats.record(kClassRaw, 1, 10, 9, 0);
    stats.record(kClassFrame, 1, 6, 0, 0);
    stats.record(kClassDestV, 1, 2, -16, -16);
    stats.record(kClassDest, 1, 2, 16, 16);
    stats.record(kClassCopyQ, 1, 2, 5, 100);
    stats.record(kClassCopyQ, 1, 2, 5, -100);
    stats.record(kClassPatQ, 1, 2, 6, 20);
    StringConsole console;
    {
        PlatformOverride use(nullptr, &console);
        stats.printReport();
    }
    std::vector<std::string> rows = lines(console.output());
    ASSERT_EQ(rows.size(), 19u);
    const char* names[] = {"Code  ", "Raw   ", "Frame ", "DestV ", " subt ", "DestQ ", "Dest  ", " subt ", "RLE   ", "RLE_L ",
                           " subt ", "CopyQ ", "Copy  ", " subt ", "Pat_L ", "Pat   ", "Pat_Q ", " subt ", "Total "};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].substr(0, 6), names[i]);
        EXPECT_EQ(rows[i].back(), '\r');
    }
    // Raw, Frame and DestV: absolute range 0 + |0| + |-16|; the copies' subtotal keeps CopyQ's own 200.
    EXPECT_EQ(rows[4], " subt       3     -16      18      -7     -25    -5.3   -2.33   -8.33\r");
    EXPECT_EQ(rows[13], " subt       2       0       4      10       6    00.0    5.00    3.00\r");
    // Total: the first subtotal's own absolute range (16) plus |16|, |0|, |0| and |20| = 52 over 7.
    EXPECT_EQ(rows[18], "Total       7      20      26      25      -1    07.4    3.57   -0.14\r");
}

}  // namespace
}  // namespace zov
