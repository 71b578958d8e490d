// A checked stream's segment commands translated, at pack time, into the operations that a player runs on
// its machine's own memory (formats/stream_operations.h). The stream's memory (0x0200-0xBFFF) is taken in
// blocks of 1 KiB, each placed by a MemoryPlan at one or more blocks of the machine's memory; every write
// goes to each of its block's places, split where the places do not follow each other, and a copy reads from
// its source's first place. A copy of bytes that all hold one value becomes a fill of it (so a copy from
// memory no frame wrote fills zeros), and writes into a block that no frame shows and nothing reads are left
// out.
//
// The C64's VIC-II sees its character ROM where the stream puts some frames, so planC64Memory moves them:
// each frame buffer that a Frame command shows gets a bitmap at an 8 KiB boundary where the chip sees RAM
// and a screen matrix in the same 16 KiB bank. Only what the picture depends on must be there: a bitmap's
// block of cards whose colours are all the same (the empty rows of a letterboxed picture) may hold something
// else. Every frame then shows on the machine as it shows in the stream's memory, colour index for colour
// index.
#pragma once

#include "formats/stream_operations.h"
#include "formats/zovf_stream.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zov {

inline constexpr int kStreamBlocks = 48;   // 1 KiB blocks of the stream's memory, 0x0000-0xBFFF
inline constexpr int kMachineBlocks = 64;

/// Where the frame buffer that a Frame command shows lies in the stream's memory and on the machine.
struct ShownBuffer {
    std::uint32_t bitmap = 0, matrix = 0;                // in the stream's memory
    std::uint32_t machineBitmap = 0, machineMatrix = 0;  // on the machine
};

struct MemoryPlan {
    /// The machine's 1 KiB blocks that hold each block of the stream's memory; writes go to each, reads come
    /// from the first. A block without places is never read and never shown.
    std::array<std::vector<int>, kStreamBlocks> places;
    std::vector<ShownBuffer> buffers;

    /// The machine's address of a stream address in a place (one of the block's places).
    static std::uint32_t machineAddress(int place, std::uint32_t address) { return place * 1024u + address % 1024; }
    const ShownBuffer* bufferShowing(std::uint32_t bitmap, std::uint32_t matrix) const;
};

/// The plan of a machine whose memory is the stream's (the C128's): every block and buffer in its place.
MemoryPlan identityPlan(const std::vector<std::uint8_t>& stream, const StreamInfo& info,
                        const std::vector<StreamPacket>& packets);

/// The C64's plan for a checked stream, or nothing with the reason when its buffers do not fit where the
/// C64's VIC-II sees RAM. The player keeps 0x0000-0x03FF, 0x1000-0x1FFF and 0x9000-0x9FFF for itself.
std::optional<MemoryPlan> planC64Memory(const std::vector<std::uint8_t>& stream, const StreamInfo& info,
                                        const std::vector<StreamPacket>& packets, std::string& problem);

struct StreamOperations {
    std::vector<std::uint8_t> pages;  // the operation pages, End after the last frame
    std::vector<std::uint8_t> sound;  // the sound packets' bytes in order
    std::uint32_t frames = 0;
    /// The pages that the operations would take if the stream ended after the first i + 1 frames.
    std::vector<std::uint64_t> pagesAfterFrame;
};

/// Translates the commands of a checked stream with a plan made for it (or for a stream that it begins).
/// Each frame's Show is due at (number − 1) × ticksPerPicture.
StreamOperations translateStream(const std::vector<std::uint8_t>& stream, const StreamInfo& info,
                                 const std::vector<StreamPacket>& packets, const MemoryPlan& plan,
                                 std::uint32_t ticksPerPicture);

/// A compile's frames one at a time, as its encoder makes them: a frame's segment commands translated into the
/// operations a player runs, each block of the stream's memory in its own place (the C64's plan is known
/// only once the stream is whole; it moves blocks, which costs the player about the same), played on a model
/// of the memory that holds the frames accepted so far.
class FrameTranslator {
public:
    FrameTranslator();
    ~FrameTranslator();
    /// The operation pages of a frame's commands (their last a Frame command) after the frames accepted so
    /// far; the frame is not kept until accept().
    std::vector<std::uint8_t> translate(const std::uint8_t* commands, std::size_t length);
    /// Keeps the frame translated last: the frames after it find what it wrote.
    void accept();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zov
