// vicpack with a video stream: the stream is checked before anything is written, its program and REU image
// are written both or neither, and a stream too large for the largest REU is refused with the seconds that
// fit. What vicpack writes is compared with what the stream programs (the C64's by default, the C128's with
// --c128) make of the same (cut) stream.
#include "pack_test_support.h"
#include "support/stream_builder.h"

#include "formats/little_endian.h"
#include "formats/reu_image.h"
#include "formats/stream_cut.h"
#include "common/console/console.h"
#include "vicpack/stream64_program.h"
#include "vicpack/stream_program.h"

#include <cstdlib>

namespace zov {
namespace {

// Frame k writes 40 bytes of k at 0x1C00 and shows bank 0 (matrix 0x1C00, bitmap 0x2000) on background k.
Bytes frameCommands(unsigned k, std::uint8_t bank = 0x03) {
    return {0xF0, 0x07, 0x68, static_cast<std::uint8_t>(k), 0xF1, 0x3B, 0x18, 0x78, bank, static_cast<std::uint8_t>(k & 15)};
}

/// Frames 1 to count, each after 490 bytes of sound (a picture's 1960 samples) when the stream has sound.
Bytes smallStream(bool sound, unsigned count) {
    StreamBuilder stream(StreamGeometry{}, sound);
    for (unsigned k = 1; k <= count; ++k) {
        if (sound) stream.sound(Bytes(490, static_cast<std::uint8_t>(k)));
        stream.frame(k, frameCommands(k));
    }
    return stream.bytes();
}

WalkedStream walked(const Bytes& stream) {
    WalkedStream walked;
    StreamFault fault;
    EXPECT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("stream", fault);
    return walked;
}

class StreamPack : public PackRun {
protected:
    std::size_t filesIn(const std::string& directory) {
        std::vector<std::string> names;
        fs.list(directory, names);
        return names.size();
    }
    /// The program and REU image vicpack must write for a stream, cut to seconds, for the C64 (through the
    /// plan of the whole stream) or the C128.
    StreamPackage expected(const Bytes& stream, StreamPlayback playback, double seconds = 1e300, bool c128 = false) {
        const WalkedStream whole = walked(stream);
        Bytes cut = cutStream(stream, whole, planStreamCut(whole, seconds, playback.fps));
        if (c128) return streamPackage(cut, walked(cut), playback);
        std::string why;
        const std::optional<C64Stream> c64 = translateForC64(stream, whole, playback, why);
        EXPECT_TRUE(c64) << why;
        return stream64Package(cut, walked(cut), c64->plan, playback);
    }
};

Bytes withByte(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

// Every rule of the walk is tested with it (tests/formats); here vicpack's part: one line, exit 2, nothing written.
TEST_F(StreamPack, ADamagedStreamIsRefusedNamingTheFrameAndNothingIsWritten) {
    StreamBuilder damaged;
    damaged.frame(1, frameCommands(1)).frame(2, {0xF0, 0x07, 0xE5});
    const Bytes good = smallStream(false, 3);
    const std::size_t roles = 8 + 4 + 14;

    const struct {
        Bytes stream;
        const char* line;
    } cases[] = {
        {damaged.bytes(), "frame 2 (packet at offset 46): an invalid command byte 0xE5"},
        {withByte(good, roles, 3), "the header (offset 26): role count 3; it is 4 (multicolour) or 2 (hi-res)"},
    };
    for (const auto& c : cases) {
        put("/in/clip.zov", c.stream);
        EXPECT_EQ(run("/in/clip.zov /out/clip.prg"), kPackUnusableInput) << c.line;
        EXPECT_EQ(output(), std::string("/in/clip.zov: a damaged stream, ") + c.line + "\n");
        EXPECT_EQ(filesIn("/out"), 0u);
    }

    // A stream goes alone to a .prg: on a disk image it is refused with one line.
    put("/in/clip.zov", good);
    put("/in/a.bin", fullBitmapFile());
    EXPECT_EQ(run("/in/clip.zov /in/a.bin /out/both.d64"), kPackUnusableInput);
    EXPECT_NE(output().find("/in/clip.zov: a video stream goes alone to a .prg"), std::string::npos) << output();
    EXPECT_EQ(std::count(output().begin(), output().end(), '\n'), 1) << output();
    EXPECT_EQ(filesIn("/out"), 0u);
}

TEST_F(StreamPack, TheProgramAndTheReuImageAreWrittenBothOrNeither) {
    const Bytes stream = smallStream(false, 6);
    put("/clip.zov", stream);
    fs.addDirectory("/out");
    for (FileOp op : {FileOp::Write, FileOp::Rename}) {
        fs.failAt(op, fs.calls(op) + 1);  // the second file's
        EXPECT_EQ(run("/clip.zov /out/clip.prg"), kPackWriteFailed);
        EXPECT_NE(output().find("Couldn't write /out/clip.reu: No space left"), std::string::npos) << output();
        EXPECT_EQ(filesIn("/out"), 0u) << "neither file, nothing passing";
        fs.failAt(op, -1);
    }

    ASSERT_EQ(run("/clip.zov /out/clip.prg --border 2 --fps 8"), kPackDone) << output();
    const StreamPackage package = expected(stream, StreamPlayback{2, 8});
    EXPECT_EQ(file("/out/clip.prg"), package.program);
    EXPECT_EQ(file("/out/clip.reu"), package.reuImage);
    const std::string timing = "/out/clip.prg on a PAL C64, by the player's timing model: every frame on time";
    EXPECT_EQ(output().substr(0, output().find(timing)),
              "/out/clip.prg, /out/clip.reu: 0.75 s of a multicolour stream without sound at 8 pictures a second, "
              "6 frames; set a 128 KiB REU with the image /out/clip.reu, LOAD\"CLIP\",8 and RUN on a C64 "
              "(x64sc -reu -reusize 128 -reuimage /out/clip.reu /out/clip.prg)\n");
    EXPECT_EQ(std::count(output().begin(), output().end(), '\n'), 2) << "the package's line and the timing model's";

    ASSERT_EQ(run("/clip.zov /out/clip.prg --border 2 --fps 8 --c128 --force"), kPackDone) << output();
    const StreamPackage native = expected(stream, StreamPlayback{2, 8}, 1e300, true);
    EXPECT_EQ(file("/out/clip.prg"), native.program);
    EXPECT_EQ(file("/out/clip.reu"), native.reuImage);
    EXPECT_EQ(native.reuImage.size(), reuSizeFor(c128ReuBytesNeeded(translateForC128(stream, walked(stream), {2, 8}), 6, 0)));
    EXPECT_EQ(output().substr(0, output().find("/out/clip.prg on a PAL C128, by the player's timing model: every frame on time")),
              "/out/clip.prg, /out/clip.reu: 0.75 s of a multicolour stream without sound at 8 pictures a second, "
              "6 frames; set a " + std::to_string(native.reuImage.size() >> 10) + " KiB REU with the image "
              "/out/clip.reu and RUN\"CLIP\" on a C128 (x128 -40col -reu -reusize " +
              std::to_string(native.reuImage.size() >> 10) + " -reuimage /out/clip.reu /out/clip.prg)\n");
}

TEST_F(StreamPack, AnExistingReuImageIsKeptUnlessForcedAndIsNeverAnInput) {
    put("/clip.zov", smallStream(true, 3));
    put("/clip.reu", Bytes{1, 2, 3});
    EXPECT_EQ(run("/clip.zov /clip.prg"), kPackOutputRefused);
    EXPECT_EQ(output(), "/clip.reu: exists; --force overwrites it\n");
    EXPECT_EQ(file("/clip.reu"), (Bytes{1, 2, 3}));
    EXPECT_FALSE(fs.exists("/clip.prg"));
    EXPECT_EQ(run("/clip.zov /clip.prg --force"), kPackDone) << output();
    EXPECT_EQ(file("/clip.reu"), expected(smallStream(true, 3), {}).reuImage);

    // The stream itself under the REU image's name, or linked there, is never replaced.
    put("/video.reu", smallStream(true, 3));
    EXPECT_EQ(run("/video.reu /video.prg --force"), kPackOutputRefused);
    EXPECT_NE(output().find("/video.reu: is the INPUT /video.reu"), std::string::npos) << output();
    fs.addHardLink("/linked.reu", "/clip.zov");
    EXPECT_EQ(run("/clip.zov /linked.prg --force"), kPackOutputRefused);
    EXPECT_EQ(file("/clip.zov"), smallStream(true, 3));
    EXPECT_FALSE(fs.exists("/video.prg"));
    EXPECT_FALSE(fs.exists("/linked.prg"));
}

TEST_F(StreamPack, LengthKeepsTheStartOfTheStream) {
    const Bytes stream = smallStream(true, 8);
    put("/clip.zov", stream);
    ASSERT_EQ(run("/clip.zov /clip.prg --length 1.1"), kPackDone) << output();
    EXPECT_EQ(output().rfind("/clip.prg, /clip.reu: 1.10 s of a multicolour stream with sound, 5 frames;", 0), 0u)
        << output();
    const StreamPackage package = expected(stream, {}, 1.1);
    EXPECT_EQ(file("/clip.prg"), package.program);
    EXPECT_EQ(file("/clip.reu"), package.reuImage);
    ASSERT_EQ(run("/clip.zov /c128.prg --length 1.1 --c128"), kPackDone) << output();
    EXPECT_EQ(file("/c128.prg"), expected(stream, {}, 1.1, true).program);

    EXPECT_EQ(run("/clip.zov /none.prg --length 0.00001"), kPackDone) << "frame 1 is due at once";
    StreamBuilder late;
    late.frame(5, frameCommands(5));
    put("/late.zov", late.bytes());
    EXPECT_EQ(run("/late.zov /late.prg --length 0.5"), kPackUnusableInput);
    EXPECT_EQ(output(), "/late.zov: --length 0.5 keeps no frame; the first is due at 1.00 s\n");
}

// The sound of this stream alone takes more than the largest REU: 4100 packets of 4096 bytes, a frame every
// 1000 pictures.
Bytes streamBeyondTheLargestReu() {
    StreamBuilder stream(StreamGeometry{}, true);
    const Bytes sound(4096, 0x1B);
    for (unsigned packet = 0; packet < 4100; ++packet) {
        if (packet % 120 == 0) stream.frame(1 + packet / 120 * 1000, frameCommands(packet / 120 + 1));
        stream.sound(sound);
    }
    return stream.bytes();
}

TEST_F(StreamPack, AStreamBeyondTheLargestReuIsRefusedWithTheSecondsThatFit) {
    put("/long.zov", streamBeyondTheLargestReu());
    EXPECT_EQ(run("/long.zov /long.prg"), kPackTooLarge);
    const std::string said = output();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    const std::size_t fit = said.find(" s fit: --length ");
    ASSERT_NE(fit, std::string::npos) << said;
    const std::string seconds = said.substr(said.rfind(' ', fit - 1) + 1, fit - said.rfind(' ', fit - 1) - 1);
    EXPECT_EQ(said.substr(fit), " s fit: --length " + seconds + " keeps that much\n");
    EXPECT_FALSE(fs.exists("/long.prg"));

    ASSERT_EQ(run("/long.zov /long.prg --length " + seconds), kPackDone) << output();
    EXPECT_EQ(file("/long.reu").size(), kLargestReu);
    const std::string more = formatted("%.2f", std::atof(seconds.c_str()) + 0.01);
    EXPECT_EQ(run("/long.zov /longer.prg --length " + more), kPackTooLarge);
    EXPECT_NE(output().find(seconds + " s fit"), std::string::npos) << output();
}

TEST_F(StreamPack, SoundAtARateThePlayerCannotKeepIsRefusedAndAnyPictureRateIsPacked) {
    const Bytes stream = smallStream(true, 2);
    for (unsigned rate : {lowestStreamAudioRate() - 1, highestStreamAudioRate() + 1}) {
        Bytes changed = stream;
        putLe16(&changed[16], rate);  // the audio chunk's rate
        put("/odd.zov", changed);
        EXPECT_EQ(run("/odd.zov /odd.prg"), kPackTooLarge) << rate;
        EXPECT_NE(output().find(" Hz, not " + std::to_string(rate) + " Hz\n"), std::string::npos) << output();
    }
    EXPECT_FALSE(fs.exists("/odd.prg"));
    put("/silent.zov", smallStream(false, 2));
    for (const char* fps : {"1e9", "1e-9"})
        EXPECT_EQ(run(std::string("/silent.zov /silent.prg --force --fps ") + fps), kPackDone) << output();
}

TEST_F(StreamPack, OptionsOfOtherInputsAreRefusedWithAStream) {
    put("/clip.zov", smallStream(true, 2));
    put("/a.bin", fullBitmapFile());
    EXPECT_EQ(run("/clip.zov /clip.prg --hires"), kPackBadCommandLine);
    EXPECT_EQ(run("/clip.zov /clip.prg --rate 7843"), kPackBadCommandLine);
    EXPECT_EQ(run("/clip.zov /clip.prg --fps 8"), kPackBadCommandLine) << "the sound times the pictures";
    EXPECT_EQ(run("/a.bin /a.prg --fps 8"), kPackBadCommandLine);
    EXPECT_EQ(run("/a.bin /a.d64 --fps 8"), kPackBadCommandLine);
    EXPECT_EQ(run("/a.bin /a.prg --c128"), kPackBadCommandLine);
    EXPECT_EQ(run("/a.bin /a.d64 --c128"), kPackBadCommandLine);
    EXPECT_EQ(filesIn("/"), 2u);
}

}  // namespace
}  // namespace zov
