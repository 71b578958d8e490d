// Coded frames for small constructed regions, byte for byte. Every case is coded by the production coder
// and the exhaustive one (they must agree) and played back to the new bytes.
#include "frameconv/video/segment_coder.h"
#include "formats/segment_player.h"
#include "tests/frameconv/video/reference_segment_coder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

const FrameMarks kMarks{0x78, 0x03, 0x06};
const Bytes kFrame{0xF1, 0x3B, 0x18, 0x78, 0x03, 0x06};

struct Scenario {
    std::uint32_t start = 0x3000;
    Bytes newBytes;
    Bytes oldBytes;                                      // the region before; zero when empty
    std::vector<std::pair<std::uint32_t, Bytes>> elsewhere;  // memory outside the region; zero otherwise
};

// Bytes without any repeated pair and without zero: nothing in them can be copied, repeated or run.
Bytes unrepeatable(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::set<int> pairs;
    Bytes bytes;
    while (static_cast<int>(bytes.size()) < count) {
        int value = 1 + static_cast<int>(random() % 255);
        if (!bytes.empty()) {
            int pair = bytes.back() << 8 | value;
            if (value == bytes.back() || pairs.count(pair) != 0) continue;
            pairs.insert(pair);
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Coded {
    int length = 0;
    Bytes bytes;
};

// Codes a scenario with both coders, requires the same result, and plays a successful frame back.
Coded codeBoth(const Scenario& scenario) {
    TargetMemory memory, other, before;
    EXPECT_TRUE(memory.allocate() && other.allocate() && before.allocate());
    for (const auto& [address, bytes] : scenario.elsewhere) std::memcpy(memory.address(address), bytes.data(), bytes.size());
    if (!scenario.oldBytes.empty()) {
        std::memcpy(memory.address(scenario.start), scenario.oldBytes.data(), scenario.oldBytes.size());
    }
    std::memcpy(other.data(), memory.data(), kTargetImageSize);
    std::memcpy(before.data(), memory.data(), kTargetImageSize);
    const auto length = static_cast<std::uint32_t>(scenario.newBytes.size());

    SegmentCoder fast;
    reference::ReferenceSegmentCoder literal;
    Coded coded;
    coded.length = fast.code(memory, scenario.start, length, scenario.newBytes.data(), kMarks);
    int expected = literal.code(other, scenario.start, length, scenario.newBytes.data(), kMarks.m1, kMarks.m2, kMarks.m3);
    EXPECT_EQ(coded.length, expected);
    EXPECT_EQ(fast.length(), coded.length);
    coded.bytes.assign(fast.bytes(), fast.bytes() + coded.length);
    EXPECT_EQ(coded.bytes, Bytes(literal.bytes(), literal.bytes() + expected));
    EXPECT_EQ(std::memcmp(memory.data(), other.data(), kTargetImageSize), 0);
    if (coded.length > 0) {
        SegmentPlayer player(before);
        PlayResult played = player.play(coded.bytes.data(), coded.bytes.size());
        EXPECT_TRUE(played.ok()) << "at " << played.offset;
        EXPECT_EQ(std::memcmp(before.data(), memory.data(), kTargetImageSize), 0);
        EXPECT_EQ(Bytes(memory.address(scenario.start), memory.address(scenario.start) + length), scenario.newBytes);
    }
    return coded;
}

// The commands between the header and Frame.
Bytes commands(const Coded& coded, int header) {
    if (coded.length < header + kFrameCommandLength) return {};
    EXPECT_EQ(Bytes(coded.bytes.end() - kFrameCommandLength, coded.bytes.end()), kFrame);
    return Bytes(coded.bytes.begin() + header, coded.bytes.end() - kFrameCommandLength);
}

TEST(SegmentCoderHeader, DestVAloneOnAKilobyteAndWithADestSkipElsewhere) {
    struct Case {
        std::uint32_t start;
        Bytes header;
    };
    const Case cases[] = {
        {0x1C00, {0xF0, 0x87}},
        {0x0400, {0xF0, 0x81}},
        {0x0200, {0xF0, 0x80, 0x9A, 0x00}},
        {0x4140, {0xF0, 0x90, 0x99, 0x40}},
        {0xBFFF, {0xF0, 0xAF, 0x9B, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        Scenario scenario;
        scenario.start = c.start;
        scenario.newBytes = {0x55};
        Coded coded = codeBoth(scenario);
        Bytes expected = concat({c.header, {0x41, 0x55}, kFrame});
        EXPECT_EQ(coded.bytes, expected);
    }
}

TEST(SegmentCoderHeader, EmptyRegionIsHeaderAndFrame) {
    Scenario scenario;
    Coded coded = codeBoth(scenario);
    EXPECT_EQ(coded.bytes, concat({{0xF0, 0x8C}, kFrame}));
}

TEST(SegmentCoderSkips, UnchangedFrameIsSkipsOfAtMost1023) {
    Scenario scenario;
    scenario.start = 0x1C00;
    scenario.newBytes = unrepeatable(9024, 1);
    scenario.oldBytes = scenario.newBytes;
    Coded coded = codeBoth(scenario);
    Bytes expected = {0xF0, 0x87};
    for (int i = 0; i < 8; ++i) expected.insert(expected.end(), {0x9B, 0xFF});
    expected.insert(expected.end(), {0x9B, 0x48});  // 840 = 9024 - 8 x 1023
    EXPECT_EQ(coded.bytes, concat({expected, kFrame}));
}

TEST(SegmentCoderSkips, UnchangedRunLongerThan1024BeforeTheEndIsAFill) {
    Scenario scenario;
    scenario.start = 0x2000;
    Bytes head = unrepeatable(10, 2);
    scenario.newBytes = concat({head, Bytes(2000, 0x00), {0x77}});
    scenario.oldBytes = concat({Bytes(10, 0x00), Bytes(2000, 0x00), {0x77}});
    // After the literals, the unchanged run codes as RLE_L (worth 1997 against 1021 for a skip of 1023);
    // the last unchanged byte is a skip.
    EXPECT_EQ(commands(codeBoth(scenario), 2), concat({{0x0A}, head, {0xB7, 0xD0, 0x00, 0x90}}));
}

TEST(SegmentCoderSkips, SingleUnchangedByteIsSkippedOnlyWithoutPendingLiterals) {
    Bytes fresh = unrepeatable(6, 3);
    {
        SCOPED_TRACE("nothing pending");
        Scenario scenario;
        scenario.newBytes = fresh;
        scenario.oldBytes = Bytes(6, 0);
        scenario.oldBytes[0] = fresh[0];
        EXPECT_EQ(commands(codeBoth(scenario), 2), concat({{0x90, 0x05}, Bytes(fresh.begin() + 1, fresh.end())}));
    }
    {
        SCOPED_TRACE("literals pending");
        Scenario scenario;
        scenario.newBytes = fresh;
        scenario.oldBytes = Bytes(6, 0);
        scenario.oldBytes[2] = fresh[2];
        EXPECT_EQ(commands(codeBoth(scenario), 2), concat({{0x06}, fresh}));
    }
    {
        SCOPED_TRACE("two unchanged bytes amid literals");
        Scenario scenario;
        scenario.newBytes = fresh;
        scenario.oldBytes = Bytes(6, 0);
        scenario.oldBytes[2] = fresh[2];
        scenario.oldBytes[3] = fresh[3];
        EXPECT_EQ(commands(codeBoth(scenario), 2),
                  concat({{0x02, fresh[0], fresh[1], 0x91, 0x02, fresh[4], fresh[5]}}));
    }
}

TEST(SegmentCoderLiterals, TwoEqualBytesRunOnlyWithoutPendingLiterals) {
    {
        SCOPED_TRACE("at the start");
        Scenario scenario;
        scenario.newBytes = {0x07, 0x07, 0x01, 0x02};
        EXPECT_EQ(commands(codeBoth(scenario), 2), Bytes({0x42, 0x07, 0x02, 0x01, 0x02}));
    }
    {
        SCOPED_TRACE("after a literal");
        Scenario scenario;
        scenario.newBytes = {0x01, 0x07, 0x07, 0x02, 0x03};
        EXPECT_EQ(commands(codeBoth(scenario), 2), Bytes({0x05, 0x01, 0x07, 0x07, 0x02, 0x03}));
    }
    {
        SCOPED_TRACE("three equal bytes after a literal");
        Scenario scenario;
        scenario.newBytes = {0x01, 0x07, 0x07, 0x07, 0x02};
        EXPECT_EQ(commands(codeBoth(scenario), 2), Bytes({0x41, 0x01, 0x43, 0x07, 0x41, 0x02}));
    }
}

TEST(SegmentCoderLiterals, SixtyThreeLiteralsFlushAsOneRawAndTheNextStartsAnother) {
    Scenario scenario;
    scenario.newBytes = unrepeatable(64, 4);
    Bytes coded = commands(codeBoth(scenario), 2);
    ASSERT_EQ(coded.size(), 66u);
    EXPECT_EQ(coded[0], 0x3F);
    EXPECT_EQ(Bytes(coded.begin() + 1, coded.begin() + 64), Bytes(scenario.newBytes.begin(), scenario.newBytes.begin() + 63));
    EXPECT_EQ(coded[64], 0x41);
    EXPECT_EQ(coded[65], scenario.newBytes[63]);
}

TEST(SegmentCoderFills, RunsUpTo4095PerCommand) {
    struct Case {
        int length;
        Bytes expected;
    };
    const Case cases[] = {
        {47, {0x6F, 0x33}},
        {48, {0xB0, 0x30, 0x33}},
        {4095, {0xBF, 0xFF, 0x33}},
        {4096, {0xBF, 0xFF, 0x33, 0x41, 0x33}},
        {5000, {0xBF, 0xFF, 0x33, 0xB3, 0x89, 0x33}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        Scenario scenario;
        scenario.newBytes = Bytes(static_cast<std::size_t>(c.length), 0x33);
        EXPECT_EQ(commands(codeBoth(scenario), 2), c.expected);
    }
}

// A piece of content placed at some distance from the region start (= ref) and asked for again.
TEST(SegmentCoderCopies, FormFollowsLengthAndDistanceFromRef) {
    struct Case {
        int distance;  // source - ref
        int length;
        Bytes expected;
    };
    const Case cases[] = {
        {-128, 17, {0x8F, 0x80}},
        {-129, 17, {0xAF, 0x7F, 0x11}},
        {-100, 18, {0xAF, 0x9C, 0x12}},
        {-2048, 20, {0xA8, 0x00, 0x14}},
        {-2049, 20, {0xD1, 0xFF, 0x27, 0x14}},
        {-300, 255, {0xAE, 0xD4, 0xFF}},
        {4096, 30, {0xD1, 0x00, 0x40, 0x1E}},
        {2047, 30, {0xA7, 0xFF, 0x1E}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.distance);
        Scenario scenario;
        scenario.start = 0x3000;
        Bytes content = unrepeatable(c.length, 5);
        scenario.elsewhere.push_back({static_cast<std::uint32_t>(0x3000 + c.distance), content});
        scenario.newBytes = content;
        EXPECT_EQ(commands(codeBoth(scenario), 2), c.expected);
    }
}

TEST(SegmentCoderCopies, LongerCopiesAreCutAt255) {
    Scenario scenario;
    Bytes content = unrepeatable(300, 6);
    scenario.elsewhere.push_back({0x3000 - 400, content});
    scenario.newBytes = content;
    Bytes coded = commands(codeBoth(scenario), 2);
    // 255 bytes from 400 below, then the remaining 45 from 255 above the new ref.
    EXPECT_EQ(coded, Bytes({0xAE, 0x70, 0xFF, 0xA0, 0xFF, 0x2D}));
}

TEST(SegmentCoderCopies, ShortCopiesMustBeatTheLiteralsTheyReplace) {
    Bytes content = unrepeatable(3, 7);
    struct Case {
        int distance;
        bool pendingLiteral;
        bool copied;
    };
    // need = 2, + 1 beyond 8 bits, + 1 beyond 12 bits, + 1 with literals pending.
    const Case cases[] = {
        {-50, false, true}, {-50, true, true}, {-500, false, true}, {-500, true, false}, {-3000, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.distance);
        SCOPED_TRACE(c.pendingLiteral);
        Scenario scenario;
        scenario.elsewhere.push_back({static_cast<std::uint32_t>(0x3000 + c.distance), content});
        scenario.newBytes = c.pendingLiteral ? concat({{0xEE}, content}) : content;
        Bytes coded = commands(codeBoth(scenario), 2);
        bool literalOnly = coded.size() == scenario.newBytes.size() + 1;
        EXPECT_EQ(!literalOnly, c.copied);
    }
}

// A unit repeated, followed by one other byte; the source holds half the repeats (at least one unit),
// which covers the longest unit that repeats.
std::uint8_t byteNotIn(const Bytes& bytes) {
    std::uint8_t value = 1;
    while (std::find(bytes.begin(), bytes.end(), value) != bytes.end()) ++value;
    return value;
}

TEST(SegmentCoderPatterns, FormFollowsUnitRepeatsAndDistance) {
    struct Case {
        int distance;
        int unit;
        int repeats;
        Bytes expected;
    };
    const Case cases[] = {
        {-16, 2, 3, {0x78, 0xF0}},
        {-16, 9, 2, {0x77, 0xF0}},
        {-16, 10, 2, {0xCF, 0xF0, 0x28}},
        {-16, 3, 5, {0xCF, 0xF0, 0x51}},
        {-1000, 17, 15, {0xCC, 0x18, 0xFF}},
        {-3000, 4, 4, {0xD4, 0x48, 0x24, 0x04}},
        {-32, 18, 3, {0xD3, 0xE0, 0x2F, 0x12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        SCOPED_TRACE(c.distance);
        Scenario scenario;
        Bytes unit = unrepeatable(c.unit, 8), source;
        for (int i = 0; i < std::max(1, c.repeats / 2); ++i) source.insert(source.end(), unit.begin(), unit.end());
        scenario.elsewhere.push_back({static_cast<std::uint32_t>(0x3000 + c.distance), source});
        for (int i = 0; i < c.repeats; ++i) scenario.newBytes.insert(scenario.newBytes.end(), unit.begin(), unit.end());
        std::uint8_t last = byteNotIn(unit);
        scenario.newBytes.push_back(last);
        EXPECT_EQ(commands(codeBoth(scenario), 2), concat({c.expected, {0x41, last}}));
    }
}

TEST(SegmentCoderPatterns, TwoByTwoNeedsASourceWithin8Bits) {
    for (int distance : {-128, -129}) {
        SCOPED_TRACE(distance);
        Scenario scenario;
        scenario.elsewhere.push_back({static_cast<std::uint32_t>(0x3000 + distance), Bytes{0x11, 0x22}});
        scenario.newBytes = {0x11, 0x22, 0x11, 0x22, 0x33};
        Bytes coded = commands(codeBoth(scenario), 2);
        if (distance == -128) EXPECT_EQ(coded, Bytes({0x70, 0x80, 0x41, 0x33}));
        else EXPECT_EQ(coded, Bytes({0x05, 0x11, 0x22, 0x11, 0x22, 0x33}));  // a copy of 2 does not pay either
    }
}

// Incompressible content: 2 header bytes plus Raw commands of 64 bytes, the last one shorter.
TEST(SegmentCoderLimit, CommandsOf9000BytesFitAndOneMoreFails) {
    const int literalsFor9000 = 140 * 63 + 37;  // 2 + 140 x 64 + 38 = 9000
    for (int extra : {0, 1}) {
        SCOPED_TRACE(extra);
        Scenario scenario;
        scenario.start = 0x1000;
        scenario.newBytes = unrepeatable(literalsFor9000 + extra, 9);
        Coded coded = codeBoth(scenario);
        EXPECT_EQ(coded.length, extra == 0 ? kCodedBufferSize : 0);
    }
}

TEST(SegmentCoderLimit, RegionOutsideTargetMemoryIsRefused) {
    TargetMemory memory;
    ASSERT_TRUE(memory.allocate());
    SegmentCoder coder;
    Bytes bytes(16, 1);
    EXPECT_EQ(coder.code(memory, 0x01F0, 16, bytes.data(), kMarks), 0);
    EXPECT_EQ(coder.code(memory, 0xBFF8, 16, bytes.data(), kMarks), 0);
    EXPECT_EQ(coder.code(memory, 0xBFF0, 16, bytes.data(), kMarks), 4 + 2 + 6);  // header, RLE, Frame
}

TEST(FrameMarksTest, BitmapScreenBankAndBackground) {
    FrameMarks first = frameMarks(0x2000, 0x1C00, 0x1C00, 6);
    EXPECT_EQ(first.m1, 0x78);
    EXPECT_EQ(first.m2, 3);
    EXPECT_EQ(first.m3, 6);
    FrameMarks third = frameMarks(0x8000, 0xA000, 0x8000, 0);
    EXPECT_EQ(third.m1, 0x80);  // the screen matrix bits beyond a byte are dropped
    EXPECT_EQ(third.m2, 1);
}

}  // namespace
}  // namespace zov
