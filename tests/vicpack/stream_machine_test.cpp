// The stream player on the emulated C128 with an REU (stream_machine_support.h says what is checked).
// Skipped, with one line saying why, where x128 is not on the PATH.
#include "stream_machine_support.h"

#include "formats/little_endian.h"
#include "stream_settings.h"

namespace zov {
namespace {

class StreamOnMachine : public StreamPlayRun {
protected:
    // x128 without a disk drive starts a program by 3.3 M cycles.
    StreamOnMachine() : StreamPlayRun({"x128", 3300000, "-exitscreenshotvicii", 0x1C01, {}}) {}

    StreamPackage pack(const StreamPlayback& playback) override {
        const StreamOperations operations = translateForC128(stream, walked, playback);
        layout_ = {{operations.pages.size() / 256, operations.sound.size(), operations.frames}};
        ticksPerPicture_ = streamClock(info, playback, 0, kPalCycles).frameTicks;
        return streamPackage(stream, walked, playback);
    }
    bool readRecord(const Bytes& image, ReuStreamRecord& record) const override {
        return readReuStreamRecord(image, layout_, record);
    }
    double ticksPerSecond() const override {
        return kPalClock / (readLe16(&package.program[StreamSettings::periodPal.offset]) + 1);
    }
    std::uint32_t ticksPerPicture() const override { return ticksPerPicture_; }

    ReuStreamLayout layout_;
    std::uint32_t ticksPerPicture_ = 0;
};

TEST_F(StreamOnMachine, FullScreenMulticolourWithSoundShowsEveryFrameOnTime) {
    compile("/ir4 /bw8000", 160, 200, 12, 7843 * 3 / 4);
    expectPlayedToTheEnd(3);
    expectFramesShownAt({1.0, 1.9, 2.8});
}

TEST_F(StreamOnMachine, FramesWithColoursChosenPerCardShowAsVicviewDrawsThem) {
    CardColourSettings cards;
    cards.colourRamPerCard = false;
    cards.background = 6;
    cards.dither = CardDither::Ordered;
    compile("/ir4 /bw8000", 160, 200, 12, 7843 * 3 / 4, {}, &cards);
    expectFramesShownAt({1.0, 2.8});
}

TEST_F(StreamOnMachine, ItsSoundFollowsVicviewsOnBothChipModels) {
    const double seconds = 3;
    compile("/ir4 /bw8000", 160, 200, 12, static_cast<std::size_t>(7843 * seconds / 4));
    expectSoundFollowsOnBothChipModels(seconds);
}

TEST_F(StreamOnMachine, LetterboxedHiResShowsItsEmptyRowsBlank) {
    // 96 lines high: a ring of 5 or 6 slots, the first at 0x0000, where zero page and stack would show.
    compile("/ir6 /bw9000 /m1", 320, 96, 15, 7843 * 5 / 8);
    expectPlayedToTheEnd(2.5);
    expectFramesShownAt({0.9, 1.6, 2.4});
}

TEST_F(StreamOnMachine, ALetterboxedMulticolourFrameAtZeroShowsNoZeroPage) {
    // The first of 6 slots has its bitmap at 0x0000: its empty top rows show the background, where bytes
    // of zero page or stack would show as pixels of other colours. One picture for a second, so that no
    // later frame writes into its empty rows while it shows (from about 0.6 s).
    compile("/ir1 /bw4000", 160, 96, 1, 7843 / 4);
    expectFramesShownAt({0.9, 1.4}, 1);
}

TEST_F(StreamOnMachine, WithoutItsImageItSaysSoInOneLineAndReturns) {
    compile("/ir4 /bw4000", 80, 64, 2, 0);
    expectRefusalsInOneLine(layout_.tail());
}

TEST_F(StreamOnMachine, AStreamWithoutSoundKeepsItsPictureRate) {
    StreamPlayback playback;
    playback.fps = 5;
    playback.borderColour = 6;
    compile("/ir5 /bw6000", 120, 160, 12, 0, playback);
    expectPlayedToTheEnd(12.0 / 5);
    expectFramesShownAt({1.0, 1.8, 2.6});
}

}  // namespace
}  // namespace zov
