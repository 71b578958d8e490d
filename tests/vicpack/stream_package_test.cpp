// The package of a stream for the C128 (checked on the emulated machine in stream_machine_test.cpp; here
// what needs no emulator, so that it also runs under the sanitizers): the REU image holds the stream's
// operations between its marks, which replay to the stream's own frames, a stream without sound keeps its
// picture rate on either machine, and a rate the player cannot keep is refused.
#include "common/platform/memory_platform.h"
#include "formats/little_endian.h"
#include "formats/reu_image.h"
#include "formats/reu_stream.h"
#include "frameconv/app/frameconv_app.h"
#include "stream_settings.h"
#include "support/c64_frames.h"
#include "support/picture_files.h"
#include "vicpack/stream_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

/// Four changing pictures compiled without sound, or with a track at a rate.
Bytes compiledStream(unsigned audioRate) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    for (int i = 0; i < 4; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/clip/p%d.bmp", i);
        fs.addFile(name, picture_files::bmp(picture_files::RgbGrid::generate(40, 32, [i](int x, int y) {
            return picture_files::Rgb{static_cast<std::uint8_t>(x * 6 + i * 40), static_cast<std::uint8_t>(y * 7), 90};
        })));
    }
    std::vector<std::string> args{"frameconv", "/clip", "/clip.zov", "/c", "/v0"};
    if (audioRate > 0) {
        fs.addFile("/clip.raw", MemoryFileSystem::Bytes(2000, 0x1B));
        args.insert(args.end(), {"/af", "/clip.raw", "/ar" + std::to_string(audioRate)});
    }
    EXPECT_EQ(runFrameconv(args), 0) << console.output();
    MemoryFileSystem::Bytes bytes = fs.contents("/clip.zov");
    return Bytes(bytes.begin(), bytes.end());
}

TEST(StreamPackage, TheImageHoldsTheOperationsBetweenItsMarksAndTheClockKeepsThePictureRate) {
    const Bytes stream = compiledStream(0);
    WalkedStream walked;
    StreamFault fault;
    ASSERT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("stream", fault);
    const StreamInfo& info = walked.info;
    StreamPlayback playback;
    playback.fps = 7;
    const StreamPackage package = streamPackage(stream, walked, playback);

    const StreamOperations operations = translateForC128(stream, walked, playback);
    const ReuStreamLayout layout{{operations.pages.size() / 256, operations.sound.size(), info.frames}};
    EXPECT_EQ(package.reuImage.size(), reuSizeFor(c128ReuBytesNeeded(operations, info.frames, 0)));
    const Bytes mark{'Z', 'O', 'V', 'R', 0, 0, 0, 0};
    Bytes head(package.reuImage.begin(), package.reuImage.begin() + 8);
    Bytes tail(package.reuImage.begin() + static_cast<long>(layout.tail()), package.reuImage.begin() + static_cast<long>(layout.tail()) + 8);
    EXPECT_EQ(head, tail);
    EXPECT_TRUE(std::equal(mark.begin(), mark.begin() + 4, head.begin()));
    EXPECT_TRUE(std::equal(operations.pages.begin(), operations.pages.end(), package.reuImage.begin() + ReuStreamLayout::kOperations));
    // The C128's memory is the stream's: the operations make the segment player's frames where it makes them.
    const std::uint32_t ticks = streamClock(info, playback, 0, kPalCycles).frameTicks;
    EXPECT_EQ(testing::c64FramesDiffer(stream, info, walked.packets, operations.pages, ticks, false), "");
    ReuStreamRecord record;
    ASSERT_TRUE(readReuStreamRecord(package.reuImage, layout, record));
    EXPECT_EQ(record.ending, 0);
    EXPECT_TRUE(record.frames.empty());

    // Ticks of (period + 1) cycles, the same whole number of them to a picture on either machine: about a
    // millisecond, the picture time within a twentieth of a per cent.
    const auto& p = package.program;
    const double clocks[2] = {985248.0, 1022727.0};
    const MachineSetting periods[2] = {StreamSettings::periodPal, StreamSettings::periodNtsc};
    for (int machine = 0; machine < 2; ++machine) {
        const double period = readLe16(&p[periods[machine].offset]) + 1;
        EXPECT_NEAR(period * ticks / clocks[machine] * playback.fps, 1.0, 0.0005) << machine;
        EXPECT_NEAR(period / clocks[machine], 0.001, 0.0002) << machine;
    }
}

TEST(StreamPackage, ASoundFasterThanThePlayerKeepsIsRefused) {
    const Bytes stream = compiledStream(highestStreamAudioRate() + 1);
    WalkedStream walked;
    StreamFault fault;
    ASSERT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("stream", fault);
    EXPECT_THROW(streamPackage(stream, walked, StreamPlayback{}), std::logic_error);
}

}  // namespace
}  // namespace zov
