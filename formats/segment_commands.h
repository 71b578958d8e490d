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

/// Command classes: the first command byte reduced to its row of the command table.
enum CodeClass : std::int32_t {
    kClassRaw = 0,
    kClassRle = 64,
    kClassPatQ = 112,
    kClassCopyQ = 128,
    kClassDestQ = 144,
    kClassDest = 152,
    kClassCopy = 160,
    kClassRleL = 176,
    kClassPat = 192,
    kClassPatL = 208,
    kClassDestV = 240,
    kClassFrame = 241,
    kClassSum = 255,  // a counter that sums several classes
};

inline constexpr int kCommandClassCount = 12;
/// The classes in the order of the statistics table.
inline constexpr std::int32_t kCommandClassOrder[kCommandClassCount] = {
    kClassRaw, kClassRle, kClassRleL, kClassDestQ, kClassDest, kClassDestV,
    kClassCopyQ, kClassCopy, kClassPatL, kClassPat, kClassPatQ, kClassFrame,
};

/// The six-character row name of a class ("UNDEF " for a class outside the table).
const char* codeClassName(std::int32_t codeClass);

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

// ---- encoding: each command in the shortest form that holds it ---------------------------------------------

/// One command of up to four bytes (a run of literals is written as its head, then the bytes).
struct EncodedCommand {
    std::uint8_t bytes[4] = {};
    int length = 0;
};

inline constexpr int kMaxLiteralRun = 63;  // literal bytes behind one head

/// The head of a run of 1 to 63 literal bytes (a single byte is written as a fill of one).
inline std::uint8_t literalHead(int count) {
    return static_cast<std::uint8_t>(count == 1 ? kSingleLiteral : count);
}

/// DestV: the destination and the reference move to the start of the KiB that holds address.
EncodedCommand encodeBankStart(int address);
/// Dest: the destination moves on by 0 to 2047 bytes, always in the two-byte form.
EncodedCommand encodeLongSkip(int count);
/// DestQ for 1 to 8 bytes, else Dest.
EncodedCommand encodeSkip(int count);
/// RLE for up to 47 bytes, else RLE_L: count copies of one byte.
EncodedCommand encodeFill(int count, std::uint8_t value);
/// Pat_Q, Pat or Pat_L: unit bytes from source (offset = source − reference) written repeats times.
EncodedCommand encodePattern(int unit, int repeats, int offset, int source);
/// CopyQ, Copy or Pat_L of one repeat: length bytes from source (offset = source − reference).
EncodedCommand encodeCopy(int length, int offset, int source);
/// Frame: the end of a frame with its three display values.
void encodeFrame(std::uint8_t m1, std::uint8_t m2, std::uint8_t m3, std::uint8_t (&bytes)[kFrameCommandLength]);

}  // namespace zov
