// The segment commands that rebuild a frame in the player's memory: their byte layouts, shared by the
// coder that writes them, the drain that hands them out and the player that executes them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zov {

inline constexpr int kCodedCommandLimit = 9000;  // bytes of commands before Frame
inline constexpr int kFrameCommandLength = 6;
inline constexpr int kCodedBufferSize = kCodedCommandLimit + kFrameCommandLength;

// First bytes (or their bases) of the commands the coder writes.
inline constexpr std::uint8_t kSingleLiteral = 0x41;  // RLE of one byte
inline constexpr std::uint8_t kRleBase = 0x40;
inline constexpr std::uint8_t kRleLongBase = 0xB0;
inline constexpr std::uint8_t kDestQBase = 0x90;
inline constexpr std::uint8_t kDestBase = 0x98;
inline constexpr std::uint8_t kDestV = 0xF0;
inline constexpr std::uint8_t kCopyQBase = 0x80;
inline constexpr std::uint8_t kCopyBase = 0xA0;
inline constexpr std::uint8_t kPatQBase = 0x70;
inline constexpr std::uint8_t kPatBase = 0xC0;
inline constexpr std::uint8_t kPatLBase = 0xD0;
inline constexpr std::uint8_t kFrameCommand = 0xF1;

/// The statistics class of a first byte (see CodeClass); invalid bytes give a class outside the table.
std::int32_t commandClass(std::uint8_t firstByte);

/// The length of the command that a first byte opens, 0 when the byte is invalid.
int commandLength(std::uint8_t firstByte);

enum class CommandKind {
    Raw,             // count literal bytes at data
    Fill,            // count copies of data[0]
    Skip,            // destination += count (signed)
    SetDestination,  // destination = reference = count
    Copy,            // unit bytes from reference + offset, written repeats times; reference = source
    AbsoluteCopy,    // as Copy from the absolute address in offset; reference = that address
    Frame,           // end of frame; data[0..2] are m1, m2, m3
};

struct SegmentCommand {
    CommandKind kind = CommandKind::Raw;
    std::int32_t codeClass = 0;
    int length = 0;   // stream bytes of the command
    int count = 0;    // Raw, Fill: bytes written; Skip: signed advance; SetDestination: new address
    int unit = 0;     // Copy, AbsoluteCopy: bytes read from the source
    int repeats = 0;  // Copy, AbsoluteCopy: times the unit is written (1 for plain copies)
    int offset = 0;   // Copy: signed offset from the reference; AbsoluteCopy: source address
    const std::uint8_t* data = nullptr;

    /// How far the command moves the destination (for SetDestination: relative to the given one).
    int destinationAdvance(int destination) const;
};

enum class DecodeStatus { Ok, Invalid, Truncated };

/// Decodes the command at bytes[0 .. available-1].
DecodeStatus decodeCommand(const std::uint8_t* bytes, std::size_t available, SegmentCommand& command);

/// Signed ranges of the short offset forms.
inline bool within8Bits(int offset) { return offset >= -128 && offset <= 127; }
inline bool within12Bits(int offset) { return offset >= -2048 && offset <= 2047; }

}  // namespace zov
