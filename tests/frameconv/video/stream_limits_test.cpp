// The video stream past 65535 frames: frame numbers are 16 bits and wrap, the header's frame count (24 bits)
// keeps counting, and the stream stays well formed throughout.
#include "common/platform/memory_platform.h"
#include "frameconv/video/stream_muxer.h"
#include "fake_frame_encoder.h"
#include "support/zovf_stream.h"

#include <gtest/gtest.h>

namespace zov {
namespace {

TEST(StreamLimits, FrameNumbersWrapAfter65535WhileTheHeaderKeepsCounting) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    testing::FakeFrameEncoder encoder;
    encoder.sizes = {8};
    StreamMuxer muxer;
    muxer.connect(encoder);
    muxer.setOutputPath("v.zov");
    VicPicture picture;
    picture.geometry.heightInCards = 25;

    constexpr int kFrames = 65537;
    for (int i = 0; i < kFrames; ++i) {
        FrameReport report = muxer.compileFrame(picture, i * 0.25);
        ASSERT_FALSE(report.abort) << i;
        ASSERT_FALSE(report.dropped) << i;
    }
    EXPECT_EQ(muxer.framesOffered(), kFrames);
    EXPECT_EQ(console.output(), "");

    const auto bytes = fs.contents("v.zov");
    testing::ZovfStream stream;
    ASSERT_EQ(testing::checkZovf(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), stream), "");
    ASSERT_EQ(stream.frames.size(), static_cast<std::size_t>(kFrames));
    EXPECT_EQ(stream.framesField, static_cast<std::uint32_t>(kFrames));
    EXPECT_EQ(stream.frames[65533].number, 65534);
    EXPECT_EQ(stream.frames[65534].number, 65535);
    EXPECT_EQ(stream.frames[65535].number, 0);
    EXPECT_EQ(stream.frames[65536].number, 1);
}

}  // namespace
}  // namespace zov
