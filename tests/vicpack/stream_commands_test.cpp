// The C128 stream player's command interpreter, run in the sim65 simulator with the RAM expansion unit
// emulated (stream_commands_harness.s), against the format library's segment player: after every frame the
// frame memory and the display values must be the same, on streams that frameconv compiles and on
// commands made up to reach every form and edge of the command set. The packets lie in the unit across a
// 512 KiB boundary, where the unit's address wraps unless the player splits its transfers.
#include "common/platform/memory_platform.h"
#include "formats/segment_commands.h"
#include "formats/segment_player.h"
#include "formats/stream_walk.h"
#include "frameconv/app/frameconv_app.h"
#include "machine_support.h"
#include "support/compiled_stream.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempTree;

constexpr std::uint32_t kWindowBytes = 0x1000;
constexpr std::uint32_t kReservedFrom = 0x100, kReservedTo = 0x300;  // value table and scratch in the window

/// Where a unit address lies in the harness's window (as its window_of works it out).
std::uint32_t windowOf(std::uint32_t address) {
    return ((address & 0xFFFF) + (address >> 16) * 0x0B00) % kWindowBytes;
}

struct Frame {
    std::uint8_t marks[3];
    Bytes memory;  // 0x0200-0xBFFF
};

/// Packets of commands as the harness takes them, and the frames the format library's player shows on them.
class CommandRun {
public:
    explicit CommandRun(std::uint32_t firstAddress) : address_(firstAddress) {
        memory_.allocate();
    }

    /// Adds a packet of whole commands; false when the format library's player refuses one.
    bool add(const std::uint8_t* commands, std::size_t length) {
        // The next unit address whose bytes keep clear of the harness's table and scratch.
        for (;;) {
            bool clear = true;
            std::uint32_t at = address_;
            for (std::size_t i = 0; i < length && clear; ++i, at = at + 1) {
                const std::uint32_t w = windowOf(at);
                clear = w < kReservedFrom || w >= kReservedTo;
            }
            if (clear) break;
            address_ += 0x100;
        }
        input_.insert(input_.end(), {1, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                     static_cast<std::uint8_t>(address_), static_cast<std::uint8_t>(address_ >> 8),
                                     static_cast<std::uint8_t>(address_ >> 16)});
        input_.insert(input_.end(), commands, commands + length);
        address_ += static_cast<std::uint32_t>(length) + 4;  // as behind a packet head
        std::size_t offset = 0;
        while (offset < length) {
            int framesBefore = player_.framesEnded(), commandLength = 0;
            if (player_.playCommand(commands + offset, length - offset, &commandLength) != PlayError::None) return false;
            offset += static_cast<std::size_t>(commandLength);
            if (player_.framesEnded() != framesBefore)
                frames_.push_back({{player_.frameM1(), player_.frameM2(), player_.frameM3()},
                                   Bytes(memory_.data(), memory_.data() + kTargetImageSize)});
        }
        return true;
    }

    /// The input file's bytes, ended.
    Bytes input() const {
        Bytes bytes = input_;
        bytes.push_back(0);
        return bytes;
    }
    const std::vector<Frame>& frames() const { return frames_; }
    std::uint32_t address() const { return address_; }

private:
    TargetMemory memory_;
    SegmentPlayer player_{memory_};
    Bytes input_;
    std::vector<Frame> frames_;
    std::uint32_t address_;
};

class InterpreterInSimulator : public ::testing::Test {
protected:
    TempTree folder{"stream-commands"};

    void SetUp() override {
        if (std::string(ZOV_SIM65).empty()) GTEST_SKIP() << "sim65 (Debian's cc65) is missing: the player's commands are not simulated";
    }

    /// Runs the harness on the packets and compares every frame it shows with the expected ones.
    void expectSameFrames(const CommandRun& run, const std::string& what) {
        ASSERT_GE(run.frames().size(), 5u) << what;
        const Bytes input = run.input();
        folder.save("input.bin", TempTree::Bytes(input.begin(), input.end()));
        auto pid = testing::startCommand({ZOV_SIM65, ZOV_STREAM_COMMANDS_HARNESS, folder.path("input.bin")}, folder.path("output.bin"));
        ASSERT_EQ(testing::finishCommand(pid), 0) << what;
        TempTree::Bytes output = folder.load("output.bin");
        const std::size_t frameBytes = 3 + kTargetImageSize;
        ASSERT_EQ(output.size(), run.frames().size() * frameBytes) << what << ": frames shown";
        for (std::size_t f = 0; f < run.frames().size(); ++f) {
            const std::uint8_t* shown = output.data() + f * frameBytes;
            const Frame& expected = run.frames()[f];
            ASSERT_EQ(std::memcmp(shown, expected.marks, 3), 0) << what << ": display values of frame " << f;
            for (std::uint32_t i = 0; i < kTargetImageSize; ++i)
                ASSERT_EQ(shown[3 + i], expected.memory[i])
                    << what << ": frame " << f << " at 0x" << std::hex << kTargetBase + i;
        }
    }
};

TEST_F(InterpreterInSimulator, CompiledStreamsRebuildEveryFrame) {
    struct Case {
        const char* options;
        int width, height, pictures;
        std::uint32_t firstAddress;
    } cases[] = {
        {"/ir4 /bw8000", 160, 200, 16, 0x07F000},          // full-screen multicolour
        {"/ir8 /bw16000 /m1", 320, 96, 16, 0x07FD37},      // letterboxed hi-res: a ring of 5 or 6 slots
        {"/ir4 /bw3000", 100, 152, 12, 0x0FF800},          // a narrow picture on a tight budget
        {"/ir12 /bw48000", 160, 200, 12, 0x17FF01},        // much changed at once
    };
    for (const Case& c : cases) {
        Bytes stream = testing::compiledStream(c.options, c.width, c.height, c.pictures);
        WalkedStream walked;
        StreamFault fault;
        ASSERT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("stream", fault);
        CommandRun run(c.firstAddress);
        for (const StreamPacket& packet : walked.packets) {
            if (packet.kind == PacketKind::Audio) continue;
            ASSERT_TRUE(run.add(&stream[packet.contentOffset], packet.contentLength)) << c.options;
        }
        EXPECT_GT(run.address(), (c.firstAddress | 0x7FFFF) + 1) << c.options << ": the packets cross a 512 KiB boundary";
        expectSameFrames(run, c.options);
    }
}

/// Commands made up at random, each kept only when the format library's player takes it: every form, with
/// lengths, counts and offsets at the edges of each.
class CommandMaker {
public:
    explicit CommandMaker(unsigned seed) : random_(seed) { memory_.allocate(); }

    /// One frame's commands: count commands, then Frame.
    Bytes frame(int count) {
        Bytes commands;
        while (count > 0) {
            Bytes command = candidate();
            int length = 0;
            if (player_.playCommand(command.data(), command.size(), &length) != PlayError::None) continue;
            commands.insert(commands.end(), command.begin(), command.end());
            --count;
        }
        Bytes frameCommand = {kFrameCommand, 0x3B, 0x18, pick(0, 255), pick(0, 3), pick(0, 15)};
        int length = 0;
        player_.playCommand(frameCommand.data(), frameCommand.size(), &length);
        commands.insert(commands.end(), frameCommand.begin(), frameCommand.end());
        return commands;
    }

private:
    std::uint8_t pick(int from, int to) { return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(from, to)(random_)); }
    int among(std::initializer_list<int> values) {
        return *(values.begin() + std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random_));
    }

    Bytes candidate() {
        switch (pick(0, 11)) {
            case 0: {
                int n = among({0, 1, 2, 3, 4, 31, 32, 33, 62, 63});
                Bytes raw{static_cast<std::uint8_t>(n)};
                for (int i = 0; i < n; ++i) raw.push_back(pick(0, 255));
                return raw;
            }
            case 1: return {static_cast<std::uint8_t>(kRleBase | among({0, 1, 2, 7, 8, 9, 32, 33, 47})), pick(0, 255)};
            case 2: {
                int n = among({8, 48, 255, 256, 257, 1000, 4095});
                return {static_cast<std::uint8_t>(kRleLongBase | n >> 8), static_cast<std::uint8_t>(n), pick(0, 255)};
            }
            case 3: return {static_cast<std::uint8_t>(kDestQBase | pick(0, 7))};
            case 4: {
                int skip = among({-1024, -300, -1, 0, 1, 255, 256, 1023});
                return {static_cast<std::uint8_t>(kDestBase | ((skip >> 8) & 7)), static_cast<std::uint8_t>(skip)};
            }
            case 5: return {kDestV, static_cast<std::uint8_t>(0x80 | pick(1, 47))};
            case 6: return {static_cast<std::uint8_t>(kCopyQBase | pick(0, 15)), static_cast<std::uint8_t>(among({-128, -40, -1, 1, 60, 127}))};
            case 7: {
                int offset = among({-2048, -700, -64, 33, 500, 2047});
                return {static_cast<std::uint8_t>(kCopyBase | ((offset >> 8) & 15)), static_cast<std::uint8_t>(offset),
                        static_cast<std::uint8_t>(among({0, 1, 2, 3, 4, 5, 32, 33, 64, 200, 255}))};
            }
            case 8: return {static_cast<std::uint8_t>(kPatQBase | pick(0, 15)), static_cast<std::uint8_t>(among({-128, -20, 5, 127}))};
            case 9: {
                int offset = among({-2048, -100, -18, 40, 1000, 2047});
                return {static_cast<std::uint8_t>(kPatBase | ((offset >> 8) & 15)), static_cast<std::uint8_t>(offset),
                        static_cast<std::uint8_t>(pick(0, 15) << 4 | pick(0, 15))};
            }
            case 10: {
                int source = pick(2, 0xBE) << 8 | pick(0, 255);
                return {static_cast<std::uint8_t>(kPatLBase | among({0, 1, 2, 3, 4, 15})), static_cast<std::uint8_t>(source),
                        static_cast<std::uint8_t>(source >> 8), static_cast<std::uint8_t>(among({0, 1, 2, 3, 4, 17, 32, 33, 100}))};
            }
            default: {
                // A copy from near the destination, where short copies take the processor's path.
                int offset = static_cast<int>(player_.destination()) - static_cast<int>(player_.reference()) - among({3, 20, 100});
                int length = among({1, 2, 3, 4});
                if (!within12Bits(offset)) return {kDestV, static_cast<std::uint8_t>(0x80 | pick(1, 47))};
                return {static_cast<std::uint8_t>(kCopyBase | ((offset >> 8) & 15)), static_cast<std::uint8_t>(offset),
                        static_cast<std::uint8_t>(length)};
            }
        }
    }

    std::mt19937 random_;
    TargetMemory memory_;
    SegmentPlayer player_{memory_};
};

TEST_F(InterpreterInSimulator, EveryCommandFormRebuildsItsBytes) {
    CommandMaker maker(27);
    CommandRun run(0x07F7F3);
    for (int frame = 0; frame < 40; ++frame) {
        Bytes commands = maker.frame(60);
        // Packets of whole commands up to 254 bytes, as the muxer hands them out.
        std::size_t at = 0;
        while (at < commands.size()) {
            std::size_t end = at;
            while (end < commands.size()) {
                const int length = commandLength(commands[end]);
                if (end - at + static_cast<std::size_t>(length) > kMaxVideoPayload) break;
                end += static_cast<std::size_t>(length);
            }
            ASSERT_TRUE(run.add(&commands[at], end - at));
            at = end;
        }
    }
    EXPECT_GT(run.address(), 0x080000u);
    expectSameFrames(run, "made-up commands");
}

}  // namespace
}  // namespace zov
