#include "common/platform/memory_platform.h"
#include "frameconv/video/stream_muxer.h"
#include "fake_frame_encoder.h"
#include "support/zovf_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zov {
namespace {

using testing::checkZovf;
using testing::FakeFrameEncoder;
using testing::ZovfStream;

constexpr const char* kStreamPath = "out/video.zov";
constexpr const char* kAudioPath = "in/audio.raw";

std::vector<std::uint8_t> audioPattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::uint32_t x = 12345;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

/// A muxer on an in-memory disk with the fake encoder connected.
struct Rig {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use{&fs, &console};
    FakeFrameEncoder encoder;
    StreamMuxer muxer;
    VicPicture picture;
    std::vector<std::uint8_t> audio;

    explicit Rig(int bwidth = 4000, double irate = 4.0, double rate = 4.0) {
        fs.addDirectory("out");
        fs.addDirectory("in");
        muxer.bwidth = bwidth;
        muxer.irate = irate;
        muxer.rate = rate;
        muxer.connect(encoder);
        muxer.setOutputPath(kStreamPath);
        picture.geometry.heightInCards = 25;
    }
    int withAudio(std::size_t bytes, double aRate = 7843.0) {
        audio = audioPattern(bytes);
        fs.addFile(kAudioPath, std::vector<unsigned char>(audio.begin(), audio.end()));
        return muxer.audio().open(kAudioPath, aRate, 0.25, false);
    }
    FrameReport frame(double t) { return muxer.compileFrame(picture, t); }
    std::vector<std::uint8_t> stream() const {
        auto bytes = fs.contents(kStreamPath);
        return {bytes.begin(), bytes.end()};
    }
    std::string check(ZovfStream& parsed) const {
        return checkZovf(stream(), parsed, audio, muxer.audio().sampleRate);
    }
};

// ---- container layout -------------------------------------------------------------------------------------

TEST(StreamHeader, WithoutAudioTheVideoChunkFollowsTheLength) {
    Rig rig;
    rig.encoder.slot.geometry.paddedWidth = 96;
    rig.encoder.slot.geometry.paddedHeight = 96;
    rig.encoder.slot.geometry.topCardRow = 7;
    rig.encoder.slot.geometry.roleCount = 2;
    ASSERT_FALSE(rig.frame(0).abort);
    auto b = rig.stream();
    const std::vector<std::uint8_t> head{'Z', 'O', 'V', 'F'};
    ASSERT_GT(b.size(), 34u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), b.begin()));
    EXPECT_EQ(le(b, 4, 4), b.size() - 8);
    const std::vector<std::uint8_t> chunk{0x48, 0xD6, 18, 0, 'Q', '5', 'R', 'V', 96, 0, 96, 0,
                                          1,    0,    0,  0, 0,   7 * 8 | 3, 2, 0, 0, 0};
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), b.begin() + 8));
    EXPECT_EQ(le(b, 20, 3), 1u);  // the frame count
    EXPECT_EQ(b[30], 'V');        // the first packet
    EXPECT_EQ(b[31], 0x30);
    EXPECT_EQ(rig.muxer.bytesWritten(), static_cast<int>(b.size()));
}

TEST(StreamHeader, WithAudioTheAudioChunkComesFirst) {
    Rig rig;
    ASSERT_EQ(rig.withAudio(1000), 4000);  // a 1000-byte file holds 4000 samples
    ASSERT_FALSE(rig.frame(0).abort);
    auto b = rig.stream();
    ASSERT_GT(b.size(), 50u);
    const std::vector<std::uint8_t> chunk{0x48, 0xC1, 12, 0, 'P', 'C', 'M', 'V', 0xA3, 0x1E, 2, 1};
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), b.begin() + 8));
    EXPECT_EQ(b[24], 0x48);
    EXPECT_EQ(b[25], 0xD6);
    EXPECT_EQ(le(b, 36, 3), 1u);           // frames
    EXPECT_EQ(b[39], 0xA8);                // 7843 / 4 = 1960.75 samples per source frame
    EXPECT_EQ(b[40], 0x07);
    EXPECT_EQ(le(b, 4, 4), b.size() - 8);
    EXPECT_GT(le(b, 20, 4), 0u);           // samples sent
    EXPECT_EQ(le(b, 20, 4), static_cast<std::uint32_t>(rig.muxer.samplesSent()));
    double samples = le(b, 20, 4);
    EXPECT_EQ(le(b, 43, 3), static_cast<std::uint32_t>((b.size() - samples * 0.25) / (samples / 7843.0)));
    EXPECT_EQ(b[46], 'A');  // the first packet
    ZovfStream parsed;
    EXPECT_EQ(rig.check(parsed), "");
}

TEST(StreamHeader, AnEmptyAudioFileLeavesTheAudioChunkOut) {
    Rig rig;
    EXPECT_EQ(rig.withAudio(0), 0);
    ASSERT_FALSE(rig.frame(0).abort);
    ZovfStream parsed;
    EXPECT_EQ(rig.check(parsed), "");
    EXPECT_FALSE(parsed.hasAudio);
    EXPECT_EQ(parsed.headerLength, 30);
}

// ---- budget and frame-rate conversion ---------------------------------------------------------------------

struct FirstBudgetCase {
    const char* what;
    double t;
    int bwidth;
    bool audio;
    std::uint32_t budget;
};

TEST(StreamBudget, FirstFrameGetsASecondAndAHalfAtTimeZero) {
    const FirstBudgetCase cases[] = {
        {"time 0", 0.0, 4000, false, 6000},
        {"time 0 with audio: nothing is kept back for it", 0.0, 4000, true, 6000},
        {"odd bandwidth", 0.0, 1001, false, 1501},
        {"first picture a quarter second late", 0.25, 4000, false, 1000},
    };
    for (const auto& c : cases) {
        Rig rig(c.bwidth);
        if (c.audio) rig.withAudio(20000);
        rig.frame(c.t);
        ASSERT_EQ(rig.encoder.budgets.size(), 1u) << c.what;
        EXPECT_EQ(rig.encoder.budgets[0], c.budget) << c.what;
    }
}

TEST(StreamBudget, HalfTheSourceRateDropsEverySecondPictureUncoded) {
    Rig rig(4000, 4.0, 2.0);
    rig.picture.geometry.heightInCards = 24;
    std::size_t lengthBefore = 0;
    for (int k = 0; k < 8; ++k) {
        FrameReport report = rig.frame(k * 0.25);
        ASSERT_FALSE(report.abort);
        EXPECT_EQ(report.dropped, k % 2 == 1) << k;
        if (report.dropped) {
            EXPECT_EQ(rig.stream().size(), lengthBefore) << "nothing is written for a dropped picture";
            EXPECT_EQ(report.encodeResult.exportResult, 24 * 320);
            EXPECT_EQ(report.encodeResult.codedSize, 0);
            EXPECT_EQ(report.encodeResult.stats.pixelCount, 0);
            EXPECT_EQ(report.videoPackets + report.audioPackets, 0);
        }
        lengthBefore = rig.stream().size();
    }
    EXPECT_EQ(rig.encoder.budgets.size(), 4u);  // only the due pictures were coded
    EXPECT_EQ(rig.muxer.framesOffered(), 8);
    EXPECT_EQ(rig.muxer.framesDropped(), 4);
    ZovfStream parsed;
    ASSERT_EQ(rig.check(parsed), "");
    ASSERT_EQ(parsed.frames.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(parsed.frames[i].number, 2 * i + 1) << "numbers count dropped frames";
}

TEST(StreamBudget, AFrameOverBudgetLeavesItsAllowanceToTheNext) {
    Rig rig;
    rig.encoder.sizes = {100, 5000, 100};
    ASSERT_FALSE(rig.frame(0).dropped);
    double due = rig.muxer.nextOutputTime();
    std::size_t length = rig.stream().size();

    FrameReport over = rig.frame(0.25);
    EXPECT_TRUE(over.dropped);
    EXPECT_FALSE(over.abort);
    EXPECT_EQ(over.encodeResult.stats.pixelCount, 1234) << "a coded frame keeps its conversion record";
    EXPECT_EQ(rig.stream().size(), length);
    EXPECT_EQ(rig.muxer.nextOutputTime(), due) << "the output clock stays";

    FrameReport next = rig.frame(0.5);
    EXPECT_FALSE(next.dropped);
    ASSERT_EQ(rig.encoder.budgets.size(), 3u);
    EXPECT_EQ(rig.encoder.budgets[1], 1000u);
    EXPECT_EQ(rig.encoder.budgets[2], 2000u);
    ZovfStream parsed;
    ASSERT_EQ(rig.check(parsed), "");
    ASSERT_EQ(parsed.frames.size(), 2u);
    EXPECT_EQ(parsed.frames[0].number, 1);
    EXPECT_EQ(parsed.frames[1].number, 3);
}

TEST(StreamBudget, AnOverspentStreamOffersNothing) {
    Rig rig(20);
    rig.encoder.sizes = {8, 40, 10};
    rig.frame(0);
    FrameReport full = rig.frame(2.0);  // 40 bytes of commands plus 6 of packet head and frame number
    ASSERT_FALSE(full.dropped);
    EXPECT_EQ(full.unusedBytes, -6);
    FrameReport next = rig.frame(2.25);  // 5 bytes of allowance less the 6 overspent
    ASSERT_EQ(rig.encoder.budgets.size(), 3u);
    EXPECT_EQ(rig.encoder.budgets[2], 0u);
    EXPECT_TRUE(next.dropped);
}

TEST(StreamBudget, AnUnderspendIsCarriedOnlyAsFarAsItCanBeUsed) {
    Rig rig(40000);
    rig.encoder.sizes = {8};
    rig.frame(0);
    // 10000 bytes allowed, 14 sent; without audio 3840 + 4 + 240 bytes may be carried on.
    FrameReport report = rig.frame(0.25);
    EXPECT_EQ(report.unusedBytes, 9986 - 4084);
    EXPECT_EQ(rig.muxer.carry(), -4084);
    rig.frame(0.5);
    EXPECT_EQ(rig.encoder.budgets[2], 14084u);
}

// ---- audio limits -----------------------------------------------------------------------------------------

TEST(StreamAudio, TheFirstTwoFramesFillTheBufferToItsLimits) {
    Rig rig(20000);
    rig.withAudio(20000);
    rig.encoder.sizes = {100};
    FrameReport first = rig.frame(0);
    EXPECT_EQ(first.audioBytes, 2457);  // three fifths of the buffer
    EXPECT_EQ(first.audioPackets, 1);
    FrameReport second = rig.frame(0.25);
    EXPECT_EQ(second.audioBytes, 4096 - 2457 - 16);
    EXPECT_EQ(rig.muxer.audio().level, 4080.0);
    // 3267 bytes of the 5000 allowed were left unsent; they stand for -0.16335 s in which the buffer,
    // 16 bytes short of full, fills beyond its room: none is left, and 4 + 240 bytes are carried on.
    EXPECT_EQ(rig.muxer.audioRoom(), 0.0);
    EXPECT_EQ(second.unusedBytes, 3267 - 244);
    ZovfStream parsed;
    ASSERT_EQ(rig.check(parsed), "");
    ASSERT_GE(parsed.packets.size(), 2u);
    EXPECT_EQ(parsed.packets[0].kind, 'A');
    EXPECT_EQ(parsed.packets[0].payload, 2457);
}

TEST(StreamAudio, ALowBufferKeepsAudioBackFromTheVideoBudget) {
    Rig rig;
    rig.withAudio(20000);
    rig.encoder.sizes = {100};
    rig.frame(0);     // 2457 audio bytes
    rig.frame(0.25);  // 890: what the allowance leaves
    EXPECT_EQ(rig.muxer.audio().level, 3347.0);
    rig.frame(2.0);
    // The buffer has played 1.75 s (3431.3125 bytes) by now and holds -84.3125: at least 1722 + 40 bytes
    // of audio must come, which the video may not take.
    ASSERT_EQ(rig.encoder.budgets.size(), 3u);
    EXPECT_EQ(rig.encoder.budgets[2], 7000u - 1762u);
}

TEST(StreamAudio, RestsBelowFortyBytesWaitWhileTheFileHasMore) {
    Rig rig;
    rig.withAudio(20000);
    // 6000 bytes allowed: 5858 of video, 24 packet heads of 4, 6 for the first head and number, leaving
    // 36 bytes of audio.
    rig.encoder.sizes = {5858};
    FrameReport report = rig.frame(0);
    ASSERT_FALSE(report.dropped);
    EXPECT_EQ(report.audioPackets, 0);
    EXPECT_EQ(rig.muxer.samplesSent(), 0);
    ZovfStream parsed;
    EXPECT_EQ(rig.check(parsed), "");
}

TEST(StreamAudio, MoreAudioThanAPacketHoldsIsSplit) {
    Rig rig(100000);
    rig.withAudio(60000);
    rig.encoder.sizes = {100};
    for (double t : {0.0, 0.25, 10.0, 10.25, 10.5}) ASSERT_FALSE(rig.frame(t).abort) << t;
    ZovfStream parsed;
    ASSERT_EQ(rig.check(parsed), "");
    int largest = 0;
    for (const auto& p : parsed.packets)
        if (p.kind == 'A') largest = std::max(largest, p.payload);
    EXPECT_EQ(largest, 4092);
    EXPECT_LE(rig.muxer.audio().level, 4096.0);
}

// ---- a long run -------------------------------------------------------------------------------------------

struct LongRun {
    const char* what;
    int bwidth;
    std::size_t audioBytes;  // 0: no audio
    double rate;
};

TEST(StreamRun, EveryStreamIsWellFormedAndItsHeaderTellsWhatItHolds) {
    const LongRun runs[] = {
        {"video only", 4000, 0, 4.0},
        {"with audio", 4000, 30000, 4.0},
        {"audio runs out", 4000, 3000, 4.0},
        {"wide bandwidth", 16000, 100000, 4.0},
        {"narrow bandwidth, lower output rate", 2500, 50000, 3.0},
    };
    for (const LongRun& run : runs) {
        SCOPED_TRACE(run.what);
        Rig rig(run.bwidth, 4.0, run.rate);
        if (run.audioBytes) rig.withAudio(run.audioBytes);
        std::uint32_t x = 99;
        for (int i = 0; i < 200; ++i) {
            x = x * 1664525u + 1013904223u;
            int size = 8 + static_cast<int>(x >> 8) % (i % 7 == 3 ? 9000 : 900);
            rig.encoder.sizes.push_back(size);
        }
        std::vector<int> acceptedNumbers;
        int videoBytes = 0, audioBytes = 0, videoPackets = 0, audioPackets = 0, codedBytes = 0;
        for (int i = 0; i < 200; ++i) {
            FrameReport report = rig.frame(i * 0.25);
            ASSERT_FALSE(report.abort) << i;
            if (!report.dropped) {
                acceptedNumbers.push_back(i + 1);
                EXPECT_EQ(report.codeStats.sum().bytes, report.encodeResult.codedSize) << i;
                EXPECT_EQ(report.videoBytes, report.encodeResult.codedSize + 2) << i;
            }
            videoBytes += report.videoBytes;
            audioBytes += report.audioBytes;
            videoPackets += report.videoPackets;
            audioPackets += report.audioPackets;
            codedBytes += report.encodeResult.codedSize;
            EXPECT_LE(rig.muxer.audio().level, 4096.0) << "the player's buffer would overflow at " << i;
        }

        ZovfStream parsed;
        ASSERT_EQ(rig.check(parsed), "");
        ASSERT_EQ(parsed.frames.size(), acceptedNumbers.size());
        ASSERT_EQ(rig.encoder.accepted.size(), acceptedNumbers.size());
        for (std::size_t f = 0; f < parsed.frames.size(); ++f) {
            EXPECT_EQ(parsed.frames[f].number, acceptedNumbers[f]);
            EXPECT_EQ(parsed.frames[f].commands, rig.encoder.accepted[f]) << "frame " << f;
        }
        EXPECT_GT(rig.muxer.framesDropped(), 0);
        EXPECT_EQ(rig.muxer.framesOffered(), 200);
        EXPECT_EQ(rig.muxer.framesInStream(), static_cast<int>(parsed.frames.size()));
        EXPECT_EQ(rig.muxer.videoPackets(), parsed.videoPackets);
        EXPECT_EQ(rig.muxer.audioPackets(), parsed.audioPackets);
        EXPECT_EQ(videoPackets, parsed.videoPackets);
        EXPECT_EQ(audioPackets, parsed.audioPackets);
        EXPECT_EQ(audioBytes, static_cast<int>(parsed.audio.size()));
        EXPECT_EQ(rig.muxer.samplesSent(), 4 * audioBytes);
        EXPECT_EQ(rig.muxer.bytesWritten(), static_cast<int>(rig.stream().size()));
        EXPECT_EQ(rig.encoder.totals().sum().bytes, codedBytes);
        int payload = 0;
        for (const auto& p : parsed.packets) {
            if (p.kind == 'V') payload += p.payload;
            if (p.kind == 'A') {
                EXPECT_GE(p.payload, 40) << "audio rests below 40 bytes are never sent";
            }
        }
        EXPECT_EQ(payload, videoBytes);
        if (run.audioBytes == 3000) {
            EXPECT_GE(parsed.audio.size(), 3000u - 39u) << "the file is used up";
        }

        // Audio and video alternate while a frame's video is pending: no two audio packets in a row then.
        bool videoPending = false;
        char previous = 0;
        for (const auto& p : parsed.packets) {
            if (p.kind == 'V') videoPending = !p.endsFrame;
            if (p.kind == 'A' && previous == 'A') {
                EXPECT_FALSE(videoPending);
            }
            previous = p.kind;
        }
    }
}

// ---- failures ---------------------------------------------------------------------------------------------

/// Frames of a short run with audio, some large enough for several video packets, one over budget.
const int kFailureRunSizes[] = {700, 300, 5000, 900, 120, 640, 80, 1500};

void runUntilAbort(Rig& rig, std::vector<FrameReport>& reports) {
    rig.withAudio(8000);
    rig.encoder.sizes.assign(std::begin(kFailureRunSizes), std::end(kFailureRunSizes));
    for (int i = 0; i < 8; ++i) {
        reports.push_back(rig.frame(i * 0.25));
        if (reports.back().abort) return;
    }
}

TEST(StreamFailure, AWriteErrorLeavesTheFramesWrittenBeforeIt) {
    Rig clean;
    std::vector<FrameReport> cleanReports;
    runUntilAbort(clean, cleanReports);
    ASSERT_EQ(cleanReports.size(), 8u);
    const auto full = clean.stream();
    const int writes = clean.fs.calls(FileOp::Write);
    ASSERT_GT(writes, 30);

    for (int n = 0; n < writes; ++n) {
        SCOPED_TRACE("write " + std::to_string(n) + " fails");
        Rig rig;
        rig.fs.failAt(FileOp::Write, n);
        std::vector<FrameReport> reports;
        runUntilAbort(rig, reports);
        ASSERT_TRUE(reports.back().abort);
        EXPECT_NE(rig.console.output().find("\r\nWrite error: No space left on device\n"), std::string::npos);

        auto b = rig.stream();
        if (n == 0) {
            EXPECT_TRUE(b.empty()) << "the header itself could not be written";
            continue;
        }
        ZovfStream parsed;
        ASSERT_EQ(rig.check(parsed), "");
        int complete = 0;
        for (std::size_t i = 0; i + 1 < reports.size(); ++i) complete += reports[i].dropped ? 0 : 1;
        EXPECT_EQ(static_cast<int>(parsed.frames.size()), complete);
        EXPECT_EQ(rig.muxer.framesInStream(), complete);
        EXPECT_EQ(rig.muxer.bytesWritten(), static_cast<int>(b.size()));
        EXPECT_EQ(rig.muxer.samplesSent(), static_cast<int>(4 * parsed.audio.size()));
        EXPECT_EQ(rig.muxer.videoPackets(), parsed.videoPackets);
        EXPECT_EQ(rig.muxer.audioPackets(), parsed.audioPackets);
        // Up to the failure the packets are those of the undisturbed run.
        ASSERT_LE(b.size(), full.size());
        EXPECT_TRUE(std::equal(b.begin() + parsed.headerLength, b.end(), full.begin() + parsed.headerLength));
    }
}

TEST(StreamFailure, AStreamThatCannotBeOpenedStopsTheRun) {
    {
        Rig rig;
        rig.fs.failAt(FileOp::Create, 0);
        FrameReport report = rig.frame(0);
        EXPECT_TRUE(report.abort);
        EXPECT_EQ(rig.console.output(), "\r\nCouldn't open destination: out/video.zov\n");
        EXPECT_EQ(rig.muxer.framesOffered(), 0);
        EXPECT_TRUE(rig.encoder.budgets.empty());
    }
    {
        Rig rig;
        ASSERT_FALSE(rig.frame(0).abort);
        auto before = rig.stream();
        rig.fs.failAt(FileOp::OpenExisting, 0);
        EXPECT_TRUE(rig.frame(0.25).abort);
        EXPECT_EQ(rig.console.output(), "\r\nCouldn't open destination: out/video.zov\n");
        EXPECT_EQ(rig.stream(), before);
    }
    {
        Rig rig;
        rig.muxer.setOutputPath("");
        EXPECT_TRUE(rig.frame(0).abort);
        EXPECT_EQ(rig.console.output(), "");
        EXPECT_FALSE(rig.fs.exists(kStreamPath));
    }
}

TEST(StreamFailure, EncoderFailuresStopTheRunWithTheStreamIntact) {
    for (bool exportFails : {true, false}) {
        SCOPED_TRACE(exportFails ? "export fails" : "drain hands out nothing");
        Rig rig;
        rig.withAudio(8000);
        rig.encoder.sizes = {500};
        ASSERT_FALSE(rig.frame(0).abort);
        auto before = rig.stream();
        rig.encoder.exportResult = exportFails ? 0 : 8000;
        rig.encoder.failDrain = !exportFails;
        FrameReport report = rig.frame(0.25);
        EXPECT_TRUE(report.abort);
        EXPECT_EQ(rig.console.output(), "");
        EXPECT_EQ(rig.stream(), before);
        EXPECT_EQ(rig.muxer.framesInStream(), 1);
        ZovfStream parsed;
        EXPECT_EQ(rig.check(parsed), "");
    }
}

}  // namespace
}  // namespace zov
