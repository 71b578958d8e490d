// The player executes every command as its table row says and refuses malformed input with its offset.
#include "formats/segment_player.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Memory whose byte at address a is (a * 7) & 0xFF, so that copied bytes are recognisable.
void fillRecognisable(TargetMemory& memory) {
    for (std::uint32_t a = kTargetBase; a < kTargetEnd; ++a) memory.at(a) = static_cast<std::uint8_t>(a * 7);
}

struct CommandCase {
    const char* name;
    Bytes command;               // played after DestV to 0x2000 and a skip to 0x2100
    std::uint32_t destination;   // afterwards
    std::uint32_t reference;     // afterwards
    std::uint32_t writtenFrom;   // first address written (0: nothing)
    Bytes written;               // expected bytes from there
};

Bytes copyOf(const TargetMemory& memory, std::uint32_t from, int count) {
    return Bytes(memory.address(from), memory.address(from) + count);
}

Bytes repeated(const Bytes& unit, int times) {
    Bytes all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), unit.begin(), unit.end());
    return all;
}

TEST(SegmentPlayerCommands, EachCommandAsItsRowDefines) {
    TargetMemory original;
    ASSERT_TRUE(original.allocate());
    fillRecognisable(original);
    const Bytes fromRefMinus16 = copyOf(original, 0x2000 - 16, 256);
    const Bytes fromRefPlus16 = copyOf(original, 0x2000 + 16, 3);
    const CommandCase cases[] = {
        {"Raw", {0x03, 1, 2, 3}, 0x2103, 0x2000, 0x2100, {1, 2, 3}},
        {"one-byte Raw", {0x01, 9}, 0x2101, 0x2000, 0x2100, {9}},
        {"empty Raw", {0x00}, 0x2100, 0x2000, 0, {}},
        {"RLE", {0x45, 0xAB}, 0x2105, 0x2000, 0x2100, Bytes(5, 0xAB)},
        {"empty RLE", {0x40, 0xAB}, 0x2100, 0x2000, 0, {}},
        {"RLE_L", {0xB1, 0x02, 0xCD}, 0x2202, 0x2000, 0x2100, Bytes(258, 0xCD)},
        {"DestQ", {0x97}, 0x2108, 0x2000, 0, {}},
        {"Dest forward", {0x9B, 0xFF}, 0x2100 + 1023, 0x2000, 0, {}},
        {"Dest back", {0x9F, 0xFF}, 0x20FF, 0x2000, 0, {}},
        {"DestV ignores the top bits", {0xF0, 0xC5}, 0x1400, 0x1400, 0, {}},
        {"CopyQ", {0x81, 0xF0}, 0x2103, 0x1FF0, 0x2100, Bytes(fromRefMinus16.begin(), fromRefMinus16.begin() + 3)},
        {"Copy of 256", {0xAF, 0xF0, 0x00}, 0x2200, 0x1FF0, 0x2100, fromRefMinus16},
        {"Pat_Q", {0x79, 0x10}, 0x2109, 0x2010, 0x2100, repeated(fromRefPlus16, 3)},
        {"Pat", {0xC0, 0x10, 0x31}, 0x2109, 0x2010, 0x2100, repeated(fromRefPlus16, 3)},
        {"Pat_L", {0xD2, 0x10, 0x20, 0x03}, 0x2106, 0x2010, 0x2100, repeated(fromRefPlus16, 2)},
        {"Pat_L without repeats", {0xD0, 0x10, 0x20, 0x03}, 0x2100, 0x2010, 0, {}},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        TargetMemory memory;
        ASSERT_TRUE(memory.allocate());
        std::memcpy(memory.data(), original.data(), kTargetImageSize);
        SegmentPlayer player(memory);
        Bytes stream = {0xF0, 0x88, 0x99, 0x00};  // dest = ref = 0x2000, then dest += 0x100
        stream.insert(stream.end(), c.command.begin(), c.command.end());
        PlayResult result = player.play(stream.data(), stream.size());
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(player.destination(), c.destination);
        EXPECT_EQ(player.reference(), c.reference);
        if (c.writtenFrom != 0) {
            EXPECT_EQ(copyOf(memory, c.writtenFrom, static_cast<int>(c.written.size())), c.written);
            std::memcpy(memory.address(c.writtenFrom), original.address(c.writtenFrom), c.written.size());
        }
        EXPECT_EQ(std::memcmp(memory.data(), original.data(), kTargetImageSize), 0) << "other bytes changed";
    }
}

TEST(SegmentPlayerCommands, FrameEndsTheFrameWithItsDisplayValues) {
    TargetMemory memory;
    ASSERT_TRUE(memory.allocate());
    SegmentPlayer player(memory);
    const Bytes stream = {0xF0, 0x87, 0xF1, 0x3B, 0x18, 0x78, 0x03, 0x06};
    ASSERT_TRUE(player.play(stream.data(), stream.size()).ok());
    EXPECT_EQ(player.framesEnded(), 1);
    EXPECT_EQ(player.frameM1(), 0x78);
    EXPECT_EQ(player.frameM2(), 0x03);
    EXPECT_EQ(player.frameM3(), 0x06);
}

TEST(SegmentPlayerCommands, StateCarriesOverFromPacketToPacket) {
    TargetMemory whole, split;
    ASSERT_TRUE(whole.allocate() && split.allocate());
    fillRecognisable(whole);
    fillRecognisable(split);
    const Bytes first = {0xF0, 0x88, 0x99, 0x00, 0x81, 0xF0};  // dest 0x2100, copy from 0x1FF0: ref moves
    const Bytes second = {0x81, 0x10, 0x42, 0x07};             // relative to the moved ref
    Bytes all = first;
    all.insert(all.end(), second.begin(), second.end());
    SegmentPlayer one(whole), two(split);
    ASSERT_TRUE(one.play(all.data(), all.size()).ok());
    ASSERT_TRUE(two.play(first.data(), first.size()).ok());
    ASSERT_TRUE(two.play(second.data(), second.size()).ok());
    EXPECT_EQ(std::memcmp(whole.data(), split.data(), kTargetImageSize), 0);
    EXPECT_EQ(two.destination(), 0x2100u + 3 + 3 + 2);
    EXPECT_EQ(two.reference(), 0x2000u);
}

TEST(SegmentPlayerErrors, MalformedCommandsAreReportedWithTheirOffset) {
    struct Case {
        const char* name;
        Bytes stream;
        PlayError error;
        std::size_t offset;
    };
    const Case cases[] = {
        {"invalid E0-EF", {0xF0, 0x88, 0xE3}, PlayError::InvalidCommand, 2},
        {"invalid F2-FF", {0xF0, 0x88, 0x41, 0x01, 0xFF}, PlayError::InvalidCommand, 4},
        {"Raw cut off", {0xF0, 0x88, 0x05, 1, 2}, PlayError::TruncatedCommand, 2},
        {"Frame cut off", {0xF0, 0x88, 0xF1, 0x3B}, PlayError::TruncatedCommand, 2},
        {"copy reading what it writes", {0xF0, 0x88, 0x80, 0xFF}, PlayError::SourceOverlapsDestination, 2},
        {"pattern reading what it writes", {0xF0, 0x88, 0x91, 0xD3, 0x00, 0x20, 0x04}, PlayError::SourceOverlapsDestination, 3},
        {"write before any DestV", {0x41, 0x01}, PlayError::AddressOutOfRange, 0},
        {"write beyond 0xBFFF", {0xF0, 0xAF, 0x9B, 0xFF, 0x42, 0x01}, PlayError::AddressOutOfRange, 4},
        {"source below 0x0200", {0xF0, 0x80, 0x9A, 0x00, 0xD1, 0x00, 0x01, 0x04}, PlayError::AddressOutOfRange, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TargetMemory memory;
        ASSERT_TRUE(memory.allocate());
        SegmentPlayer player(memory);
        PlayResult result = player.play(c.stream.data(), c.stream.size());
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.offset, c.offset);
    }
}

}  // namespace
}  // namespace zov
