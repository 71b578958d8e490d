#include "view_test_support.h"

namespace zov {
namespace {

// A raw track has no header: only --rate makes vicview read one, the first sample in bits 7-6.
TEST_F(ViewRun, RawTracksPlayWithTheRateGiven) {
    put("t.raw", {0x1B, 0xE4});  // levels 0 1 2 3, then 3 2 1 0
    ASSERT_EQ(run("t.raw t.wav --rate 7843"), kViewDone) << console.output();
    EXPECT_EQ(console.output(), "t.wav: 8 samples of 2 bits at 7843 Hz as 16-bit WAVE\n");
    WaveContent wave = decodeWave(file("t.wav"));
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.rate, 7843u);
    EXPECT_EQ(wave.samples,
              (std::vector<std::int16_t>{-24576, -8192, 8192, 24576, 24576, 8192, -8192, -24576}));

    EXPECT_EQ(run("t.raw t2.wav --rate 7843 --palette colodore"), kViewBadCommandLine);
    put("e.raw", {});
    EXPECT_EQ(run("e.raw e.wav --rate 7843"), kViewUnreadableInput);
    EXPECT_FALSE(fs.exists("t2.wav") || fs.exists("e.wav"));
}

}  // namespace
}  // namespace zov
