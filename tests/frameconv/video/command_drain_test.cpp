// Handing a coded frame out in packets: whole commands only, each counted with its class, bytes,
// destination advance and range.
#include "frameconv/video/command_drain.h"

#include <gtest/gtest.h>

#include <vector>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A frame for region start 0x1C10: header (DestV to 0x1C00, Dest 16), Raw 3, CopyQ -16, RLE_L 300,
// Pat_Q 3 x 3 at +16, Pat_L 2 x 4 from 0x1000, DestQ 8, Frame.
const Bytes kFrame = {0xF0, 0x87, 0x98, 0x10, 0x03, 1, 2, 3, 0x81, 0xF0, 0xB1, 0x2C, 0x00, 0x79, 0x10,
                      0xD2, 0x00, 0x10, 0x04, 0x97, 0xF1, 0x3B, 0x18, 0x78, 0x03, 0x06};
constexpr std::uint32_t kRegionStart = 0x1C10;

CodeStats drainAll(DrainCursor& cursor, Bytes& packet, int space) {
    packet.assign(static_cast<std::size_t>(space), 0);
    return drainCommands(kFrame.data(), static_cast<int>(kFrame.size()), kRegionStart, cursor, packet.data(), space);
}

TEST(CommandDrain, CountsEveryCommandWithItsAdvanceAndRange) {
    DrainCursor cursor;
    Bytes packet;
    CodeStats stats = drainAll(cursor, packet, 240);
    EXPECT_EQ(cursor.position, static_cast<int>(kFrame.size()));
    EXPECT_EQ(Bytes(packet.begin(), packet.begin() + static_cast<long>(kFrame.size())), kFrame);
    struct Row {
        std::int32_t codeClass;
        int bytes, produced, range;
    };
    // The tally runs -16 (DestV), 0, 3, 6, 306, 315, 323, 331.
    const Row rows[] = {
        {kClassDestV, 2, -16, -16}, {kClassDest, 2, 16, 16},      {kClassRaw, 4, 3, 0},
        {kClassCopyQ, 2, 3, -16},   {kClassRleL, 3, 300, 0},     {kClassPatQ, 2, 9, 16},
        {kClassPatL, 4, 8, 0x1000 - (0x1C10 + 315)},              {kClassDestQ, 1, 8, 8},
        {kClassFrame, 6, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codeClass);
        const CodeCounter* counter = stats.find(row.codeClass);
        ASSERT_NE(counter, nullptr);
        EXPECT_EQ(counter->used, 1);
        EXPECT_EQ(counter->bytes, row.bytes);
        EXPECT_EQ(counter->produced, row.produced);
        EXPECT_EQ(counter->range, row.range);
    }
    EXPECT_EQ(stats.sum().bytes, static_cast<int>(kFrame.size()));
    EXPECT_EQ(cursor.addressTally, 331);
}

TEST(CommandDrain, WholeCommandsOnlyAndNothingWhenTheNextDoesNotFit) {
    DrainCursor cursor;
    Bytes packet;
    // 6 bytes take the header only: the Raw command needs 4 more than the 2 left.
    CodeStats stats = drainAll(cursor, packet, 6);
    EXPECT_EQ(stats.sum().bytes, 4);
    EXPECT_EQ(cursor.position, 4);
    // Too little space for the next command: an empty record, the position stays.
    stats = drainAll(cursor, packet, 3);
    EXPECT_EQ(stats.sum().used, 0);
    EXPECT_FALSE(stats.nothingToSend());
    EXPECT_EQ(cursor.position, 4);
    // Exactly enough for it.
    stats = drainAll(cursor, packet, 4);
    EXPECT_EQ(stats.sum().bytes, 4);
    EXPECT_EQ(cursor.position, 8);
    // The rest in small packets adds up to the frame.
    int total = 8;
    while (cursor.position < static_cast<int>(kFrame.size())) {
        stats = drainAll(cursor, packet, 6);
        ASSERT_GT(stats.sum().bytes, 0);
        total += stats.sum().bytes;
    }
    EXPECT_EQ(total, static_cast<int>(kFrame.size()));
    EXPECT_EQ(cursor.addressTally, 331);
}

TEST(CommandDrain, SixtyFourByteRawNeedsSixtyFourBytes) {
    Bytes frame = {0x3F};
    frame.resize(64, 0x11);
    DrainCursor cursor;
    Bytes packet(64);
    CodeStats stats = drainCommands(frame.data(), 64, 0x2000, cursor, packet.data(), 63);
    EXPECT_EQ(stats.sum().used, 0);
    stats = drainCommands(frame.data(), 64, 0x2000, cursor, packet.data(), 64);
    EXPECT_EQ(stats.counter(0).bytes, 64);
    EXPECT_EQ(stats.counter(0).produced, 63);
}

TEST(CommandDrain, InvalidFirstByteMarksNothingToSendWithoutAdvancing) {
    const Bytes frame = {0xF0, 0x88, 0xE0, 0x00};
    DrainCursor cursor;
    Bytes packet(16);
    CodeStats stats = drainCommands(frame.data(), 4, 0x2000, cursor, packet.data(), 16);
    EXPECT_TRUE(stats.nothingToSend());
    EXPECT_EQ(stats.sum().bytes, -1);
    EXPECT_EQ(cursor.position, 2);
    stats = drainCommands(frame.data(), 4, 0x2000, cursor, packet.data(), 16);
    EXPECT_TRUE(stats.nothingToSend());
    EXPECT_EQ(cursor.position, 2);
}

}  // namespace
}  // namespace zov
