// What the C64's VIC-II shows when the C64 stream player's operations are replayed on a model of its memory,
// against the frames that the segment player makes of the stream: the translation's tests and its fuzz
// target hold the two against each other, colour index for colour index. Where the C64's VIC-II sees its
// character ROM the model shows bytes no frame has; the C128's player has its VIC-II see RAM everywhere.
#pragma once

#include "formats/displayed_frame.h"
#include "formats/segment_player.h"
#include "formats/stream_operations.h"
#include "formats/zovf_stream.h"
#include "vicview/vic_screen.h"

#include <memory>
#include <string>
#include <vector>

namespace zov::testing {

/// What the VIC-II reads for a Show: RAM, but on the C64 its character ROM at 0x1000-0x1FFF of banks 0 and 2.
inline VicScreen c64Screen(const MachineMemory& memory, const Operation& show, bool characterRom = true) {
    const std::uint32_t bank = (3u - (show.bankBits & 3)) * 0x4000;
    const std::uint32_t bitmap = bank + (show.d018 & 0x08 ? 0x2000 : 0), matrix = bank + (show.d018 >> 4) * 0x400u;
    auto seen = [&](std::uint32_t address) -> std::uint8_t {
        if (characterRom && (bank == 0 || bank == 0x8000) && address % 0x4000 >= 0x1000 && address % 0x4000 < 0x2000)
            return static_cast<std::uint8_t>(0x3C ^ address ^ address >> 8);
        return memory[address];
    };
    VicScreen screen;
    for (std::uint32_t i = 0; i < kBitmapBytes; ++i) screen.bitmap[i] = seen(bitmap + i);
    for (std::uint32_t i = 0; i < kScreenCards; ++i) screen.matrix[i] = seen(matrix + i);
    screen.colourRam.fill(0);
    screen.background = show.background & 15;
    return screen;
}

/// The frames the segment player makes of a checked stream's packets (Colour RAM black), with their numbers.
inline std::vector<VicScreen> segmentPlayerFrames(const std::vector<std::uint8_t>& stream, const std::vector<StreamPacket>& packets,
                                                  std::vector<std::uint32_t>& numbers) {
    TargetMemory target;
    target.allocate();
    SegmentPlayer player(target);
    std::vector<VicScreen> frames;
    for (const StreamPacket& packet : packets) {
        if (packet.kind == PacketKind::Audio) continue;
        if (packet.kind == PacketKind::FirstVideo) numbers.push_back(packet.frameNumber);
        std::size_t at = 0;
        while (at < packet.contentLength) {
            const int before = player.framesEnded();
            int length = 0;
            if (player.playCommand(&stream[packet.contentOffset + at], packet.contentLength - at, &length) != PlayError::None) return frames;
            at += static_cast<std::size_t>(length);
            if (player.framesEnded() != before)
                frames.push_back(screenFromMemory(target, decodeFrameRegisters(player.frameM1(), player.frameM2(), player.frameM3()), 0));
        }
    }
    return frames;
}

/// Replays the operation pages on a model of the C64's memory and sets each Show's picture against the
/// segment player's frame of the stream: "" when every frame shows alike, in order, each with its number
/// and due at (number − 1) × ticksPerPicture; else what differs. Without characterRom, as the C128 shows them.
inline std::string c64FramesDiffer(const std::vector<std::uint8_t>& stream, const StreamInfo& info, const std::vector<StreamPacket>& packets,
                                   const std::vector<std::uint8_t>& pages, std::uint32_t ticksPerPicture, bool characterRom = true) {
    std::vector<std::uint32_t> numbers;
    const std::vector<VicScreen> expected = segmentPlayerFrames(stream, packets, numbers);
    const VicMode mode = info.multicolour() ? VicMode::Multicolour : VicMode::HiRes;
    auto machine = std::make_unique<MachineMemory>();
    machine->fill(0);
    std::size_t frame = 0;
    std::string problem;
    const bool ended = replayOperations(pages, *machine, [&](const Operation& show) {
        if (!problem.empty()) return;
        if (frame >= expected.size()) {
            problem = "more Shows than frames";
            return;
        }
        if (show.frameNumber != static_cast<std::uint16_t>(numbers[frame]) || show.dueTicks != (numbers[frame] - 1) * ticksPerPicture)
            problem = "Show " + std::to_string(frame) + ": another number or due time";
        const VicScreen shown = c64Screen(*machine, show, characterRom);
        for (int y = 0; y < kScreenHeight && problem.empty(); ++y)
            for (int x = 0; x < kScreenWidth && problem.empty(); ++x)
                if (screenColour(shown, mode, x, y) != screenColour(expected[frame], mode, x, y))
                    problem = "frame " + std::to_string(numbers[frame]) + ": pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        ++frame;
    });
    if (!problem.empty()) return problem;
    if (!ended) return "the operations do not end";
    if (frame != expected.size()) return std::to_string(frame) + " Shows of " + std::to_string(expected.size()) + " frames";
    return "";
}

}  // namespace zov::testing
