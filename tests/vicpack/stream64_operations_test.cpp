// The C64 stream player's operation interpreter, run in the sim65 simulator with the RAM expansion unit
// emulated (stream64_operations_harness.s), against the format library's replay of the same operations: at
// every Show the Show's values and the memory must be the same, on streams that frameconv compiles (full
// screen, and a letterboxed ring of 6 that needs the RAM under the I/O area) and on operations made up to
// reach every form and length edge of each.
#include "common/platform/memory_platform.h"
#include "formats/stream_operations.h"
#include "formats/stream_walk.h"
#include "frameconv/app/frameconv_app.h"
#include "machine_support.h"
#include "support/compiled_stream.h"
#include "support/temp_tree.h"
#include "vicpack/stream_translation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempTree;

// What the harness writes at each Show: the Show's nine values, then these stretches of memory.
constexpr std::uint32_t kShownValues = 9;
constexpr std::pair<std::uint32_t, std::uint32_t> kStretches[] = {{0x0400, 0x1000}, {0x2000, 0x9000}, {0xA000, 0x10000}};
constexpr std::uint32_t kUnitRegisters = 0xDF00, kUnitRegistersEnd = 0xDF10;  // the harness's emulated unit

struct Shown {
    Bytes values;
    std::unique_ptr<MachineMemory> memory;
};

/// The format library's replay: the values and the memory at every Show.
std::vector<Shown> replayed(const Bytes& pages) {
    std::vector<Shown> shown;
    auto memory = std::make_unique<MachineMemory>();
    memory->fill(0);
    const bool ended = replayOperations(pages, *memory, [&](const Operation& show) {
        Shown one;
        one.values = {show.d018, show.bankBits, show.background, static_cast<std::uint8_t>(show.frameNumber),
                      static_cast<std::uint8_t>(show.frameNumber >> 8)};
        for (int i = 0; i < 4; ++i) one.values.push_back(static_cast<std::uint8_t>(show.dueTicks >> (8 * i)));
        one.memory = std::make_unique<MachineMemory>(*memory);
        shown.push_back(std::move(one));
    });
    EXPECT_TRUE(ended);
    return shown;
}

class InterpreterOfOperations : public ::testing::Test {
protected:
    TempTree folder{"stream64-operations"};

    void SetUp() override {
        if (std::string(ZOV_SIM65).empty()) GTEST_SKIP() << "sim65 (Debian's cc65) is missing: the player's operations are not simulated";
    }

    /// Runs the harness on the pages and compares every Show with the replay's.
    void expectSameShows(const Bytes& pages, const std::string& what) {
        const std::vector<Shown> expected = replayed(pages);
        ASSERT_GE(expected.size(), 5u) << what;
        folder.save("input.bin", TempTree::Bytes(pages.begin(), pages.end()));
        auto pid = testing::startCommand({ZOV_SIM65, ZOV_OPERATIONS_HARNESS, folder.path("input.bin")}, folder.path("output.bin"));
        ASSERT_EQ(testing::finishCommand(pid), 0) << what;
        TempTree::Bytes output = folder.load("output.bin");
        std::size_t showBytes = kShownValues;
        for (const auto& [from, to] : kStretches) showBytes += to - from;
        ASSERT_EQ(output.size(), expected.size() * showBytes) << what << ": Shows run";
        for (std::size_t s = 0; s < expected.size(); ++s) {
            const std::uint8_t* shown = output.data() + s * showBytes;
            ASSERT_EQ(std::memcmp(shown, expected[s].values.data(), kShownValues), 0) << what << ": the values of Show " << s;
            std::size_t at = kShownValues;
            for (const auto& [from, to] : kStretches)
                for (std::uint32_t address = from; address < to; ++address, ++at) {
                    if (address >= kUnitRegisters && address < kUnitRegistersEnd) {
                        ASSERT_EQ((*expected[s].memory)[address], 0) << what << ": an operation wrote the harness's unit";
                        continue;
                    }
                    ASSERT_EQ(shown[at], (*expected[s].memory)[address]) << what << ": Show " << s << " at 0x" << std::hex << address;
                }
        }
    }
};

/// The operations of a stream compiled by frameconv from pictures that change, translated for the C64.
Bytes translatedStream(const std::string& options, int width, int height, int pictures) {
    const Bytes stream = testing::compiledStream(options, width, height, pictures);
    WalkedStream walked;
    StreamFault fault;
    EXPECT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("stream", fault);
    std::string why;
    const std::optional<MemoryPlan> plan = planC64Memory(stream, walked.info, walked.packets, why);
    EXPECT_TRUE(plan) << why;
    return plan ? translateStream(stream, walked.info, walked.packets, *plan, 1960).pages : Bytes{};
}

TEST_F(InterpreterOfOperations, CompiledStreamsMakeTheSameMemory) {
    expectSameShows(translatedStream("/ir4 /bw8000", 160, 200, 12), "full-screen multicolour");
    expectSameShows(translatedStream("/ir8 /bw16000 /m1", 320, 96, 12), "letterboxed hi-res, a ring of 6");
}

/// Operations made up at random: every kind, with lengths at the edges of the pieces the unit moves, into
/// every part of the memory the frames may take (the RAM under I/O by the hidden forms), and Shows between.
class OperationMaker {
public:
    explicit OperationMaker(unsigned seed) : random_(seed) {}

    Bytes pages(int count) {
        OperationPages pages;
        for (int i = 1; i <= count; ++i) {
            pages.add(i % 40 == 0 ? show(i / 40) : writing());
        }
        Operation end;
        end.kind = OperationKind::End;
        pages.add(end);
        return pages.bytes();
    }

private:
    int pick(int from, int to) { return std::uniform_int_distribution<int>(from, to)(random_); }
    int among(std::initializer_list<int> values) { return *(values.begin() + pick(0, static_cast<int>(values.size()) - 1)); }

    /// A place for count bytes where frames may lie: in the RAM under I/O when hidden, else elsewhere.
    std::uint16_t place(std::uint32_t count, bool hidden) {
        for (;;) {
            const std::uint32_t at = hidden ? static_cast<std::uint32_t>(pick(0xD000, 0xDEFF)) : static_cast<std::uint32_t>(pick(0x0400, 0xFFEF));
            const std::uint32_t end = at + count;
            auto clear = [&](std::uint32_t from, std::uint32_t to) { return end <= from || at >= to; };
            if (end <= 0xFFF0 && clear(0x1000, 0x2000) && clear(0x9000, 0xA000) && clear(kUnitRegisters, kUnitRegistersEnd) &&
                (hidden ? end <= kUnitRegisters : clear(kHiddenFrom, kHiddenTo)))
                return static_cast<std::uint16_t>(at);
        }
    }

    Operation writing() {
        const Mover mover = static_cast<Mover>(pick(0, 2));
        const bool hidden = mover == Mover::Hidden;
        Operation operation;
        switch (pick(0, 2)) {
            case 0: {
                const int count = among({1, 2, 3, 4, 31, 32, 33, 64, 65, 200, kLongestPut});
                operation.kind = putKind(mover);
                for (int i = 0; i < count; ++i) operation.bytes.push_back(static_cast<std::uint8_t>(pick(0, 255)));
                operation.count = static_cast<std::uint32_t>(count);
                operation.destination = place(operation.count, hidden);
                break;
            }
            case 1:
                operation.kind = fillKind(mover);
                operation.count = static_cast<std::uint32_t>(among({1, 4, 5, 31, 32, 33, 255, 256, 257, 288, 1000, hidden ? 3000 : 8191}));
                operation.value = static_cast<std::uint8_t>(pick(0, 255));
                operation.destination = place(operation.count, hidden);
                break;
            default:
                operation.kind = copyKind(mover);
                operation.count = static_cast<std::uint32_t>(among({1, 5, 6, 31, 32, 33, 64, 128, 200, 255, 256}));
                operation.destination = place(operation.count, hidden);
                do operation.source = place(operation.count, hidden && pick(0, 1) == 0);
                while (operation.source < operation.destination + operation.count && operation.destination < operation.source + operation.count);
                break;
        }
        return operation;
    }

    Operation show(int number) {
        Operation operation;
        operation.kind = OperationKind::Show;
        operation.d018 = static_cast<std::uint8_t>(pick(0, 255));
        operation.bankBits = static_cast<std::uint8_t>(pick(0, 3));
        operation.background = static_cast<std::uint8_t>(pick(0, 15));
        operation.frameNumber = static_cast<std::uint16_t>(number);
        operation.dueTicks = static_cast<std::uint32_t>(pick(0, 1 << 30)) * 3u;
        return operation;
    }

    std::mt19937 random_;
};

TEST_F(InterpreterOfOperations, EveryOperationFormMakesItsBytes) {
    OperationMaker maker(64);
    expectSameShows(maker.pages(600), "made-up operations");
}

}  // namespace
}  // namespace zov
