// The stream player on the emulated C64 with an REU (stream_machine_support.h says what is checked): at the
// default bandwidth full screen with sound, letterboxed hi-res with a ring of 6 (its first bitmap at
// 0x0000, where the C64 cannot show it), without sound; and a key ends it with BASIC's screen back.
// Skipped, with one line saying why, where x64sc is not on the PATH.
#include "stream_machine_support.h"

#include "formats/little_endian.h"
#include "formats/reu_stream64.h"
#include "stream64_settings.h"
#include "vicpack/stream64_program.h"

namespace zov {
namespace {

class StreamOnC64 : public StreamPlayRun {
protected:
    // A program starts at 2.97 M cycles; the autostart without a random delay.
    StreamOnC64() : StreamPlayRun({"x64sc", 3000000, "-exitscreenshot", 0x0801, {"+autostart-delay-random"}}) {}

    StreamPackage pack(const StreamPlayback& playback) override {
        std::string problem;
        const std::optional<C64Stream> translated = translateForC64(stream, walked, playback, problem);
        EXPECT_TRUE(translated) << problem;
        if (!translated) return {};
        layout_ = {translated->operations.pages.size() / 256, translated->operations.sound.size(), translated->operations.frames};
        ticksPerPicture_ = streamClock(info, playback, 0, kPalCycles).frameTicks;
        return stream64Package(stream, walked, translated->plan, playback);
    }
    bool readRecord(const Bytes& image, ReuStreamRecord& record) const override {
        return readReuStream64Record(image, layout_, record);
    }
    double ticksPerSecond() const override {
        return kPalClock / (readLe16(&package.program[Stream64Settings::periodPal.offset]) + 1);
    }
    std::uint32_t ticksPerPicture() const override { return ticksPerPicture_; }

    ReuStream64Layout layout_;
    std::uint32_t ticksPerPicture_ = 0;
};

TEST_F(StreamOnC64, FullScreenMulticolourWithSoundShowsEveryFrameOnTime) {
    picture = movingBall;
    compile("/ir4 /bw4000", 160, 200, 12, 7843 * 3 / 4);
    EXPECT_GE(info.frames, 10u) << "the pictures kept at the default bandwidth";
    expectPlayedToTheEnd(3);
    expectFramesShownAt({1.0, 1.9, 2.8});
}

TEST_F(StreamOnC64, ItsSoundFollowsVicviewsOnBothChipModels) {
    const double seconds = 3;
    picture = movingBall;
    compile("/ir4 /bw4000", 160, 200, 12, static_cast<std::size_t>(7843 * seconds / 4));
    expectSoundFollowsOnBothChipModels(seconds);
}

TEST_F(StreamOnC64, LetterboxedHiResWithARingOfSixShowsItsEmptyRowsBlank) {
    // 96 lines high: a ring of 6 slots, the first at 0x0000; one lies in the RAM under the I/O area.
    compile("/ir6 /bw9000 /m1", 320, 96, 15, 7843 * 5 / 8);
    expectPlayedToTheEnd(2.5);
    expectFramesShownAt({0.9, 1.6, 2.4});
}

TEST_F(StreamOnC64, AStreamWithoutSoundKeepsItsPictureRate) {
    StreamPlayback playback;
    playback.fps = 5;
    playback.borderColour = 6;
    compile("/ir5 /bw6000", 120, 160, 12, 0, playback);
    expectPlayedToTheEnd(12.0 / 5);
    expectFramesShownAt({1.0, 1.8, 2.6});
}

TEST_F(StreamOnC64, WithoutItsImageItSaysSoInOneLineAndReturns) {
    compile("/ir4 /bw4000", 80, 64, 2, 0);
    expectRefusalsInOneLine(layout_.tail());
}

TEST_F(StreamOnC64, AKeyEndsItAndBasicHasItsScreenBack) {
    picture = movingBall;
    compile("/ir4 /bw4000", 160, 200, 12, 7843 * 3 / 4);
    // Keys typed while it plays: the first ends it. BASIC's screen is then that after a program that only
    // returns, but for the row where the keys that neither program took are typed.
    const std::vector<std::string> keys{"-keybuf", std::string(30, ' ')};
    const long cycles = cyclesAfterStart(2);
    auto ended = start("key", cycles, {"-warp", keys[0], keys[1]});
    folder.save("plain.prg", plainReturnProgram());
    auto plain = testing::startCommand(plainRun(cycles, "plain", "plain.prg", keys), folder.path("plain.log"));
    PlayedStream played = finish("key", ended);
    EXPECT_EQ(testing::finishCommand(plain), 1);
    EXPECT_EQ(played.record.ending, 2) << "a key ended it";
    const RgbImage expected = decodePng(realFile("plain.png"));
    ASSERT_EQ(played.shot.width(), expected.width());
    int top = expected.height(), bottom = -1;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (!(played.shot.at(x, y) == expected.at(x, y))) top = std::min(top, y), bottom = std::max(bottom, y);
    EXPECT_LT(bottom - top, 8) << "rows " << top << " to " << bottom;
}

}  // namespace
}  // namespace zov
