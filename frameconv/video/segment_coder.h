// Codes the new bytes of a frame region as segment commands against the player's memory image, applying
// every command to that image as it is written, so that the image always equals what the player holds.
#pragma once

#include "frameconv/video/match_index.h"
#include "formats/segment_commands.h"
#include "formats/target_memory.h"

#include <cstdint>
#include <memory>

namespace zov {

/// The three display values the Frame command carries.
struct FrameMarks {
    std::uint8_t m1 = 0;  // bitmap and screen matrix position for the VIC-II
    std::uint8_t m2 = 0;  // VIC-II bank
    std::uint8_t m3 = 0;  // background colour
};

/// The Frame values of a buffer: m1 = ((bitmap >> 10) & 0x0F) OR (screen >> 6) as a byte,
/// m2 = 3 - (region start >> 14), m3 = the background colour.
FrameMarks frameMarks(std::uint32_t bitmapAddress, std::uint32_t screenAddress, std::uint32_t regionStart,
                      std::uint8_t background);

class SegmentCoder {
public:
    SegmentCoder();
    ~SegmentCoder();
    SegmentCoder(const SegmentCoder&) = delete;
    SegmentCoder& operator=(const SegmentCoder&) = delete;

    /// Codes memory[regionStart .. regionStart + regionLength - 1] into newBytes[0 .. regionLength - 1]
    /// and returns the coded length (header, commands, Frame), or 0 when the commands would exceed 9000
    /// bytes, a copy would overlap its destination, the region lies outside 0x0200 .. 0xBFFF, or memory
    /// for the search tables runs out. Memory is changed even on failure; the caller restores it.
    int code(TargetMemory& memory, std::uint32_t regionStart, std::uint32_t regionLength,
             const std::uint8_t* newBytes, FrameMarks marks);

    const std::uint8_t* bytes() const { return buffer_; }
    /// Bytes of the latest coded frame, 0 after a failure.
    int length() const { return length_; }

private:
    class Coding;

    bool allocate();

    std::uint8_t buffer_[kCodedBufferSize] = {};
    int length_ = 0;
    // Search tables, allocated on first use and reused for every frame.
    MatchIndex below_;  // memory below the region followed by the new bytes: backward sources
    MatchIndex above_;  // memory from the region start up, as before coding: forward sources
    std::unique_ptr<std::uint16_t[]> unchangedRun_;
    std::unique_ptr<std::uint16_t[]> nextSameByte_;
    bool allocated_ = false;
};

}  // namespace zov
