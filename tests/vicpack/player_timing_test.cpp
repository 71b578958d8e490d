// The players' timing model (its figures are checked against the player's record in the emulator by
// bench/player_timing): a frame's work is the operations after the Show before it, and a frame is switched in
// at the first raster check at or after both its time and the end of its work, which starts only once the
// frame before it is on screen.
#include "vicpack/player_timing.h"

#include <gtest/gtest.h>

namespace zov {
namespace {

TEST(PlayerTiming, AFrameIsSwitchedInAtAFirstCheckAfterItsTimeAndTheWorkOfItAndTheFrameBefore) {
    constexpr std::uint32_t kTicks = 980;  // a picture at 8 a second, ticks of 126 cycles
    constexpr int kPeriod = 126;
    OperationPages pages;
    auto show = [&](std::uint16_t number) {
        Operation operation;
        operation.kind = OperationKind::Show;
        operation.frameNumber = number;
        operation.dueTicks = (number - 1u) * kTicks;
        pages.add(operation);
    };
    auto puts = [&](int count) {
        Operation operation;
        operation.kind = OperationKind::Put;
        operation.count = kLongestPut;
        operation.bytes.assign(kLongestPut, 1);
        for (int i = 0; i < count; ++i) pages.add(operation);
    };
    show(1);
    puts(4);
    show(2);
    puts(400);  // 100 KB: far more than a picture's time
    show(3);
    puts(4);
    show(4);
    Operation end;
    end.kind = OperationKind::End;
    pages.add(end);

    const std::vector<FrameWork> work = framesWork(pages.bytes());
    ASSERT_EQ(work.size(), 4u);
    EXPECT_GT(work[2].cycles.transfer, 100000.0) << "the heavy frame's work is its own";
    EXPECT_LT(work[3].cycles.transfer, 3000.0);

    const TimingPrediction prediction = predictTiming(work, kC64Player, kPeriod);
    ASSERT_EQ(prediction.frames.size(), 4u);
    EXPECT_EQ(prediction.frames[0].switchTicks, 0u);
    const double wait = longestSwitchWait(kC64Player);
    for (int i : {0, 1}) {
        const PredictedFrame& frame = prediction.frames[static_cast<std::size_t>(i)];
        EXPECT_GE(frame.switchTicks, frame.dueTicks);
        EXPECT_LE((frame.switchTicks - frame.dueTicks) * kPeriod / kC64Player.clock, wait + 0.001);
        EXPECT_FALSE(frame.late);
    }
    EXPECT_TRUE(prediction.frames[2].late);
    EXPECT_TRUE(prediction.frames[3].late) << "its work starts once the late frame before it is on screen";
    EXPECT_GT(prediction.frames[3].switchTicks, prediction.frames[2].switchTicks);
    EXPECT_EQ(prediction.late, 2);
    const double scale = timeKeepingScale(work, kC64Player, kPeriod);
    EXPECT_GT(scale, 0.0);
    EXPECT_LT(scale, 1.0);
    EXPECT_EQ(predictTiming(work, kC64Player, kPeriod, scale).late, 0);
}

}  // namespace
}  // namespace zov
