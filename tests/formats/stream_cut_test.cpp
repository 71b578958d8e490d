// A cut stream is a stream of its own: read back, its totals match its packets, it plays frame by frame to
// the same memory as the stream it came from, and it holds exactly the pictures due before the cut and the
// sound up to it.
#include "formats/segment_player.h"
#include "formats/stream_cut.h"
#include "support/stream_builder.h"
#include "support/zovf_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Frame k fills 40 bytes of the matrix at 0x1C00 with k and ends with a Frame command of background k.
Bytes frameCommands(unsigned k) {
    return {0xF0, 0x07, 0x68, static_cast<std::uint8_t>(k), 0xF1, 0x3B, 0x18, 0x78, 0x03, static_cast<std::uint8_t>(k)};
}

// Frames numbered with gaps (dropped pictures), some of them split over two packets with sound between, as
// the compiler interleaves them. Sound bytes count up, so a kept prefix is recognisable.
Bytes interleaved(bool audio, const std::vector<unsigned>& numbers) {
    StreamBuilder stream(StreamGeometry{}, audio);
    std::uint8_t next = 0;
    auto sound = [&](int bytes) {
        Bytes payload;
        for (int i = 0; i < bytes; ++i) payload.push_back(next++);
        if (audio) stream.sound(payload);
    };
    sound(700);
    for (unsigned k : numbers) {
        Bytes commands = frameCommands(k);
        if (k % 2 == 0) {
            stream.frame(k, Bytes(commands.begin(), commands.begin() + 4));
            sound(300);
            stream.more(Bytes(commands.begin() + 4, commands.end()));
        } else {
            stream.frame(k, commands);
        }
        sound(190);
    }
    sound(2000);
    return stream.bytes();
}

using Read = WalkedStream;

Read readBack(const Bytes& bytes) {
    Read read;
    StreamFault fault;
    EXPECT_TRUE(walkStream(bytes, read, fault)) << streamRefusal("stream", fault);
    return read;
}

// The frame numbers in the stream and the background each leaves, played on the target memory.
std::vector<unsigned> playedFrames(const Bytes& bytes, const Read& read) {
    TargetMemory memory;
    EXPECT_TRUE(memory.allocate());
    SegmentPlayer player(memory);
    std::vector<unsigned> frames;
    for (const StreamPacket& packet : read.packets) {
        if (packet.kind == PacketKind::Audio) continue;
        if (packet.kind == PacketKind::FirstVideo) frames.push_back(packet.frameNumber);
        const int ended = player.framesEnded();
        EXPECT_TRUE(player.play(&bytes[packet.contentOffset], packet.contentLength).ok());
        if (player.framesEnded() > ended) {
            EXPECT_EQ(player.frameM3(), frames.back() & 0xFF);
            EXPECT_EQ(memory.at(0x1C00 + 39), frames.back() & 0xFF);
        }
    }
    EXPECT_EQ(player.framesEnded(), static_cast<int>(frames.size()));
    return frames;
}

TEST(StreamCut, KeepsThePicturesDueBeforeTheCutAndTheSoundUpToIt) {
    const std::vector<unsigned> numbers{1, 2, 4, 5, 8, 9, 12};
    const Bytes stream = interleaved(true, numbers);
    const Read whole = readBack(stream);
    testing::ZovfStream parsed;
    ASSERT_EQ(testing::parseZovf(stream, parsed), "");
    const Bytes sound = parsed.audio;
    const double frame8 = 7.0 * 1960 / 7843;  // due after 7 pictures of the builder's 1960 samples at 7843 Hz

    // Just before frame 8 is due, exactly when it is due, and between two samples.
    for (double seconds : {frame8 - 1e-6, frame8, 0.3, 1.0 / 7843}) {
        SCOPED_TRACE(seconds);
        const StreamCut plan = planStreamCut(whole, seconds, 4);
        const Bytes cut = cutStream(stream, whole, plan);
        EXPECT_EQ(cut.size(), plan.length);
        testing::ZovfStream back;
        ASSERT_EQ(testing::checkZovf(cut, back, sound, 7843), "") << "header totals, byte rate and sound";
        // Every kept sample has played by the cut, and the next byte's would not have.
        const double keptSamples = 4.0 * static_cast<double>(back.audio.size());
        EXPECT_LE(keptSamples, seconds * 7843 + 1e-6);
        EXPECT_GT(keptSamples + 4, seconds * 7843 - 1e-6);
        std::vector<unsigned> due;
        for (unsigned k : numbers)
            if ((k - 1.0) * 1960 / 7843 < seconds) due.push_back(k);
        EXPECT_EQ(playedFrames(cut, readBack(cut)), due);
        EXPECT_EQ(plan.frames, due.size());
    }

    // At the stream's own length or beyond, the cut is the stream.
    const double length = streamSeconds(whole, 4);
    EXPECT_DOUBLE_EQ(length, std::max(12.0 * 1960 / 7843, 4.0 * static_cast<double>(sound.size()) / 7843));
    for (double seconds : {length, 1e300}) {
        const StreamCut plan = planStreamCut(whole, seconds, 4);
        EXPECT_TRUE(plan.whole);
        EXPECT_EQ(cutStream(stream, whole, plan), stream);
    }
}

TEST(StreamCut, WithoutSoundThePictureRateTimesTheFrames) {
    const Bytes stream = interleaved(false, {1, 2, 4, 7});
    const Read whole = readBack(stream);
    EXPECT_DOUBLE_EQ(streamSeconds(whole, 2), 3.5);
    const StreamCut plan = planStreamCut(whole, 1.5, 2);  // frame 4 is due at 1.5 s
    const Bytes cut = cutStream(stream, whole, plan);
    testing::ZovfStream back;
    ASSERT_EQ(testing::checkZovf(cut, back), "");
    EXPECT_EQ(playedFrames(cut, readBack(cut)), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(plan.lastFrame, 2u);
}

}  // namespace
}  // namespace zov
