// The production coder against the literal exhaustive one on thousands of regions: the same coded bytes
// and the same memory afterwards. Every coded frame is also played back on the memory as it was, and must
// rebuild the region and touch nothing else.
#include "frameconv/video/segment_coder.h"
#include "formats/segment_player.h"
#include "tests/frameconv/video/reference_segment_coder.h"
#include "tests/frameconv/video/region_samples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zov {
namespace {

using samples::Content;
using samples::RegionSample;

struct Outcome {
    int coded = 0;
    int failed = 0;
};

std::string describe(const RegionSample& sample, int index) {
    return "sample " + std::to_string(index) + " start " + std::to_string(sample.start) + " length " +
           std::to_string(sample.length);
}

// Codes one sample with both coders, compares, and plays the frame back.
void checkSample(RegionSample& sample, int index, SegmentCoder& fast, reference::ReferenceSegmentCoder& literal,
                 Outcome& outcome) {
    SCOPED_TRACE(describe(sample, index));
    TargetMemory before, fastMemory;
    ASSERT_TRUE(before.allocate() && fastMemory.allocate());
    std::memcpy(before.data(), sample.memory.data(), kTargetImageSize);
    std::memcpy(fastMemory.data(), sample.memory.data(), kTargetImageSize);
    const FrameMarks marks{0x18, 0x03, 0x06};

    int expected = literal.code(sample.memory, sample.start, sample.length, sample.newBytes.data(), marks.m1,
                                marks.m2, marks.m3);
    int actual = fast.code(fastMemory, sample.start, sample.length, sample.newBytes.data(), marks);
    ASSERT_EQ(actual, expected);
    ASSERT_EQ(std::memcmp(fast.bytes(), literal.bytes(), static_cast<std::size_t>(actual)), 0);
    ASSERT_EQ(std::memcmp(fastMemory.data(), sample.memory.data(), kTargetImageSize), 0);
    if (actual == 0) {
        ++outcome.failed;
        return;
    }
    ++outcome.coded;

    SegmentPlayer player(before);
    PlayResult played = player.play(fast.bytes(), static_cast<std::size_t>(actual));
    ASSERT_TRUE(played.ok()) << "command at " << played.offset;
    EXPECT_EQ(player.framesEnded(), 1);
    EXPECT_EQ(player.destination(), sample.start + sample.length);
    ASSERT_EQ(std::memcmp(before.data(), fastMemory.data(), kTargetImageSize), 0);
    ASSERT_EQ(std::memcmp(before.address(sample.start), sample.newBytes.data(), sample.length), 0);
}

void runKind(Content content, int samples, int maxLength, unsigned seed, Outcome& outcome) {
    samples::SampleMaker maker(seed);
    SegmentCoder fast;
    reference::ReferenceSegmentCoder literal;
    for (int i = 0; i < samples; ++i) {
        RegionSample sample = maker.make(content, maxLength);
        checkSample(sample, i, fast, literal, outcome);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

struct KindCase {
    const char* name;
    Content content;
    int samples;
    int maxLength;
};

class SegmentCoderDifferential : public ::testing::TestWithParam<KindCase> {};

TEST_P(SegmentCoderDifferential, SameBytesAndMemoryAsTheExhaustiveScans) {
    const KindCase& kind = GetParam();
    Outcome outcome;
    runKind(kind.content, kind.samples, kind.maxLength, 1000u + static_cast<unsigned>(kind.content), outcome);
    EXPECT_GT(outcome.coded, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, SegmentCoderDifferential,
    ::testing::Values(KindCase{"RandomBytes", Content::RandomBytes, 300, 200},
                      KindCase{"SparseChanges", Content::SparseChanges, 300, 400},
                      KindCase{"LongRuns", Content::LongRuns, 300, 9000},
                      KindCase{"RepeatedUnits", Content::RepeatedUnits, 300, 500},
                      KindCase{"CopiedNear", Content::CopiedNear, 300, 600},
                      KindCase{"CopiedFar", Content::CopiedFar, 300, 600},
                      KindCase{"ShiftedInPlace", Content::ShiftedInPlace, 300, 500},
                      KindCase{"SmallAlphabet", Content::SmallAlphabet, 300, 400},
                      KindCase{"Bitmap", Content::Bitmap, 200, 600}),
    [](const ::testing::TestParamInfo<KindCase>& info) { return std::string(info.param.name); });

// Whole full-screen frames of a moving picture coded into a ring one after another, so that each frame
// is coded against memory that the earlier ones produced.
TEST(SegmentCoderDifferentialFrames, FullScreenSequenceIntoARing) {
    TargetMemory fastMemory, literalMemory;
    ASSERT_TRUE(fastMemory.allocate() && literalMemory.allocate());
    SegmentCoder fast;
    reference::ReferenceSegmentCoder literal;
    const std::uint32_t regions[3] = {0x1C00, 0x4000, 0x8000};
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        samples::BitmapFrame picture = samples::makeBitmapFrame(7, frame);
        std::vector<std::uint8_t> bytes = samples::fullScreenRegion(picture);
        std::uint32_t start = regions[frame % 3];
        int expected = literal.code(literalMemory, start, 9024, bytes.data(), 1, 2, 3);
        int actual = fast.code(fastMemory, start, 9024, bytes.data(), FrameMarks{1, 2, 3});
        ASSERT_EQ(actual, expected);
        ASSERT_EQ(std::memcmp(fast.bytes(), literal.bytes(), static_cast<std::size_t>(actual)), 0);
        ASSERT_EQ(std::memcmp(fastMemory.data(), literalMemory.data(), kTargetImageSize), 0);
        if (actual == 0) std::memcpy(fastMemory.address(start), bytes.data(), 9024);  // as if sent raw
        if (actual == 0) std::memcpy(literalMemory.address(start), bytes.data(), 9024);
    }
}

}  // namespace
}  // namespace zov
