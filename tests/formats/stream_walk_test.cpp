// The walk of a stream: what it finds in a well-formed one, every rule it holds a stream to with the one line
// that names the frame and the packet, and the odd frame numbers that vicview and vicpack refuse alike.
#include "common/platform/memory_platform.h"
#include "formats/stream_walk.h"
#include "support/stream_builder.h"
#include "vicpack/vicpack_app.h"
#include "vicview/vicview_app.h"

#include <gtest/gtest.h>

#include <string>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Frame k writes 40 bytes of k at 0x1C00 and shows bank 0 (matrix 0x1C00, bitmap 0x2000) on background k;
// a packet of it is 16 bytes long.
Bytes frameCommands(unsigned k, std::uint8_t bank = 0x03) {
    return {0xF0, 0x07, 0x68, static_cast<std::uint8_t>(k), 0xF1, 0x3B, 0x18, 0x78, bank, static_cast<std::uint8_t>(k & 15)};
}

Bytes framesNumbered(std::initializer_list<unsigned> numbers, bool sound = false) {
    StreamBuilder stream(StreamGeometry{}, sound);
    for (unsigned k : numbers) {
        if (sound) stream.sound(Bytes(49, static_cast<std::uint8_t>(k)));
        stream.frame(k, frameCommands(k));
    }
    return stream.bytes();
}

Bytes with(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

Bytes withLengthField(Bytes bytes) {
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i) bytes[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
    return bytes;
}

TEST(StreamWalk, FindsTheFramesTheSoundAndThePlayedScreens) {
    struct Shown final : StreamVisitor {
        std::vector<unsigned> backgrounds;
        void shown(std::uint32_t, const TargetMemory& memory, const DisplayAddresses& display) override {
            EXPECT_EQ(memory.at(0x1C00 + 39), display.background);
            backgrounds.push_back(static_cast<unsigned>(display.background));
        }
    } shown;
    WalkedStream stream;
    StreamFault fault;
    ASSERT_TRUE(walkStream(framesNumbered({1, 3, 4}, true), stream, fault, {&shown})) << fault.text;
    EXPECT_EQ(stream.frames, (std::vector<std::uint32_t>{1, 3, 4}));
    EXPECT_EQ(stream.lastFrame(), 4u);
    EXPECT_EQ(stream.samples, 3u * 49 * 4);
    EXPECT_EQ(stream.packets.size(), 6u);
    EXPECT_EQ(shown.backgrounds, (std::vector<unsigned>{1, 3, 4}));
}

// Every rule, with the line that every program prints for it.
TEST(StreamWalk, EveryRuleBrokenIsNamedWithItsFrameAndPacket) {
    const Bytes good = framesNumbered({1, 2, 3});
    Bytes longer = good;
    longer.push_back(0x41);
    Bytes cutInPacket = StreamBuilder().frame(1, frameCommands(1)).frame(2, {0xF0, 0x07}).more({0x68, 0x02}).bytes();
    cutInPacket = withLengthField(Bytes(cutInPacket.begin(), cutInPacket.end() - 1));
    Bytes noVideo = withLengthField({'Z', 'O', 'V', 'F', 0, 0, 0, 0, 0x48, 0x99, 0, 0});
    Bytes samples = framesNumbered({1}, true);
    samples[20] = 9;
    Bytes frameless = frameCommands(2);
    frameless.resize(2);

    const struct {
        Bytes stream;
        std::string line;
    } cases[] = {
        {longer, "the header (offset 4): the length field says 70 bytes follow it, the file has 71"},
        {with(good, 26, 3), "the header (offset 26): role count 3; it is 4 (multicolour) or 2 (hi-res)"},
        {with(good, 12, 'X'), "the header (offset 12): the video chunk's format tag is not \"Q5RV\""},
        {with(good, 25, 1 * 8 | 3), "the header (offset 18): picture height 200 from card row 1 does not fit the 25 card rows"},
        {noVideo, "the header (offset 12): no video chunk"},
        {with(good, 20, 4), "the header (offset 20): it announces 4 frames, the stream holds 3"},
        {samples, "the header (offset 20): it announces 9 samples, the stream holds 196"},

        {StreamBuilder().packet('X', '0', 0, false, {}).bytes(), "before the first frame (packet at offset 30): unknown packet head 0x58 0x30"},
        {StreamBuilder().frame(1, Bytes(253, 0x90)).bytes(), "before the first frame (packet at offset 30): a video packet of 255 bytes; at most 254 fit"},
        {StreamBuilder().packet('V', '0', 0, false, {0x01}).bytes(), "before the first frame (packet at offset 30): a first video packet without its frame number"},
        {StreamBuilder().more(frameCommands(1)).bytes(), "before the first frame (packet at offset 30): a further video packet outside a frame"},
        {cutInPacket, "frame 2 (packet at offset 54): a packet of 2 bytes, but the file ends after 1"},
        {StreamBuilder().frame(1, frameCommands(1)).sound({1}).bytes(), "after frame 1 (packet at offset 46): a sound packet in a stream whose header has no sound"},

        {StreamBuilder().frame(1, frameless).bytes(), "frame 1 (packet at offset 30): the stream ends before its Frame command"},
        {StreamBuilder().frame(1, frameless).frame(2, frameCommands(2)).bytes(), "frame 1 (packet at offset 38): no Frame command before frame 2 begins"},
        {framesNumbered({0, 1}), "frame 0 (packet at offset 30): frames are numbered from 1"},
        {framesNumbered({1, 5, 5}), "frame 5 (packet at offset 62): it follows frame 5; frame numbers rise"},
        {framesNumbered({1, 5, 3}), "frame 3 (packet at offset 62): it follows frame 5; frame numbers rise"},

        {StreamBuilder().frame(1, {0xF0, 0x07, 0xE5}).bytes(), "frame 1 (packet at offset 30): an invalid command byte 0xE5"},
        {StreamBuilder().frame(1, {0xF0, 0x07, 0xA0, 0x00}).bytes(), "frame 1 (packet at offset 30): a command cut off by the end of its packet"},
        {StreamBuilder().frame(1, {0xF0, 0x88, 0x85, 0x04}).bytes(), "frame 1 (packet at offset 30): a copy whose source overlaps its destination"},
        {StreamBuilder().frame(1, frameCommands(1)).frame(2, {0xF0, 0x2F, 0xBF, 0xFF, 0x00}).bytes(),
         "frame 2 (packet at offset 46): a command that writes or reads outside 0x0200-0xBFFF"},
        {StreamBuilder().frame(1, {0xF0, 0x88, 0xD1, 0x00, 0x01, 0x10}).bytes(), "frame 1 (packet at offset 30): a command that writes or reads outside 0x0200-0xBFFF"},
        {StreamBuilder().frame(1, frameCommands(1)).frame(2, frameCommands(2, 0x00)).bytes(),
         "frame 2 (packet at offset 46): its Frame command shows memory at 0xC000-0xFFFF"},
        {[] { Bytes more = frameCommands(1); more.push_back(0x90); return StreamBuilder().frame(1, more).bytes(); }(),
         "frame 1 (packet at offset 30): commands after its Frame command"},
    };
    for (const auto& c : cases) {
        WalkedStream stream;
        StreamFault fault;
        EXPECT_FALSE(walkStream(c.stream, stream, fault)) << c.line;
        EXPECT_EQ(streamRefusal("clip.zov", fault), "clip.zov: a damaged stream, " + c.line);
    }
}

/// Runs a program on a disk that holds only the stream, with nothing else on the PATH.
struct ProgramRun {
    MemoryFileSystem files;
    StringConsole console;
    MemoryPrograms programs{files};
    PlatformOverride use{&files, &console, &programs};
    int exit = 0;

    ProgramRun(const Bytes& stream, std::vector<std::string> args) {
        files.addFile("clip.zov", MemoryFileSystem::Bytes(stream.begin(), stream.end()));
        exit = args[0] == "vicview" ? runVicview(args) : runVicpack(args);
    }
    std::vector<std::string> names() {
        std::vector<std::string> names;
        files.list("", names);
        return names;
    }
};

// Frames numbered from 0, a number repeated, numbers falling: vicview, whatever it is to write, and vicpack
// refuse them with the same line, each with its exit code for a malformed stream, and write nothing.
TEST(StreamWalk, OddFrameNumbersAreRefusedAlikeByEveryProgram) {
    const struct {
        Bytes stream;
        std::string where;
    } odd[] = {
        {framesNumbered({0, 1}, true), "frame 0 (packet at offset 99): frames are numbered from 1"},
        {framesNumbered({1, 5, 5}, true), "frame 5 (packet at offset 237): it follows frame 5; frame numbers rise"},
        {framesNumbered({1, 5, 3}, true), "frame 3 (packet at offset 237): it follows frame 5; frame numbers rise"},
    };
    const std::vector<std::vector<std::string>> commands = {
        {"vicview", "clip.zov", "out"},     {"vicview", "clip.zov", "out", "--timeline", "--wav", "out.wav"},
        {"vicview", "clip.zov", "out.mp4"}, {"vicview", "clip.zov", "out.gif"},
        {"vicpack", "clip.zov", "out.prg"},
    };
    for (const auto& stream : odd) {
        for (const auto& args : commands) {
            ProgramRun run(stream.stream, args);
            EXPECT_EQ(run.exit, args[0] == "vicview" ? 3 : 2) << args[2];
            EXPECT_EQ(run.console.output(), "clip.zov: a damaged stream, " + stream.where + "\n") << args[2];
            EXPECT_EQ(run.names(), std::vector<std::string>{"clip.zov"}) << args[2];
        }
    }
}

}  // namespace
}  // namespace zov
