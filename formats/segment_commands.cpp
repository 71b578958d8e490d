#include "formats/segment_commands.h"

#include "formats/little_endian.h"
#include "formats/machine_numbers.h"

#include <algorithm>
#include <initializer_list>

namespace zov {

namespace {

bool invalidFirstByte(std::uint8_t b) { return (b >= 0xE0 && b <= 0xEF) || b >= 0xF2; }

int signExtend(int value, int bits) {
    int sign = 1 << (bits - 1);
    return (value ^ sign) - sign;
}

// Offsets of 12 bits keep bits 8-11 in the low nibble of the first byte.
int offset12(const std::uint8_t* bytes) { return signExtend(((bytes[0] & 0x0F) << 8) | bytes[1], 12); }

int offset8(std::uint8_t b) { return signExtend(b, 8); }

}  // namespace

const char* codeClassName(std::int32_t codeClass) {
    switch (codeClass) {
        case kClassRaw: return "Raw   ";
        case kClassRle: return "RLE   ";
        case kClassRleL: return "RLE_L ";
        case kClassDestQ: return "DestQ ";
        case kClassDest: return "Dest  ";
        case kClassDestV: return "DestV ";
        case kClassCopyQ: return "CopyQ ";
        case kClassCopy: return "Copy  ";
        case kClassPatL: return "Pat_L ";
        case kClassPat: return "Pat   ";
        case kClassPatQ: return "Pat_Q ";
        case kClassFrame: return "Frame ";
        default: return "UNDEF ";
    }
}

std::int32_t commandClass(std::uint8_t b) {
    if (b < 0x70) return b & 0xC0;
    if (b >= 0x98 && b <= 0x9F) return kClassDest;
    if (b < 0xF0) return b & 0xF0;
    return b;
}

int commandLength(std::uint8_t b) {
    if (invalidFirstByte(b)) return 0;
    if (b < 0x40) return 1 + (b & 0x3F);
    if (b < 0x90) return 2;  // RLE, Pat_Q, CopyQ
    if (b < 0x98) return 1;  // DestQ
    if (b < 0xA0) return 2;  // Dest
    if (b < 0xD0) return 3;  // Copy, RLE_L, Pat
    if (b < 0xE0) return 4;  // Pat_L
    return b == kDestV ? 2 : kFrameCommandLength;
}

int SegmentCommand::destinationAdvance(int destination) const {
    switch (kind) {
        case CommandKind::Raw:
        case CommandKind::Fill:
        case CommandKind::Skip: return count;
        case CommandKind::SetDestination: return count - destination;
        case CommandKind::Copy:
        case CommandKind::AbsoluteCopy: return unit * repeats;
        case CommandKind::Frame: return 0;
    }
    return 0;
}

DecodeStatus decodeCommand(const std::uint8_t* bytes, std::size_t available, SegmentCommand& command) {
    if (available == 0) return DecodeStatus::Truncated;
    std::uint8_t b = bytes[0];
    int length = commandLength(b);
    if (length == 0) return DecodeStatus::Invalid;
    if (static_cast<std::size_t>(length) > available) return DecodeStatus::Truncated;
    command = SegmentCommand{};
    command.codeClass = commandClass(b);
    command.length = length;
    command.repeats = 1;
    if (b < 0x40) {
        command.kind = CommandKind::Raw;
        command.count = b & 0x3F;
        command.data = bytes + 1;
    } else if (b < 0x70) {
        command.kind = CommandKind::Fill;
        command.count = b & 0x3F;
        command.data = bytes + 1;
    } else if (b < 0x80) {  // Pat_Q
        command.kind = CommandKind::Copy;
        command.unit = (b & 7) + 2;
        command.repeats = (b & 8) != 0 ? 3 : 2;
        command.offset = offset8(bytes[1]);
    } else if (b < 0x90) {  // CopyQ
        command.kind = CommandKind::Copy;
        command.unit = (b & 0x0F) + 2;
        command.offset = offset8(bytes[1]);
    } else if (b < 0x98) {  // DestQ
        command.kind = CommandKind::Skip;
        command.count = (b & 7) + 1;
    } else if (b < 0xA0) {  // Dest: 11-bit signed skip
        command.kind = CommandKind::Skip;
        command.count = signExtend(((b & 7) << 8) | bytes[1], 11);
    } else if (b < 0xB0) {  // Copy
        command.kind = CommandKind::Copy;
        command.offset = offset12(bytes);
        command.unit = bytes[2] == 0 ? 256 : bytes[2];
    } else if (b < 0xC0) {  // RLE_L
        command.kind = CommandKind::Fill;
        command.count = ((b & 0x0F) << 8) | bytes[1];
        command.data = bytes + 2;
    } else if (b < 0xD0) {  // Pat
        command.kind = CommandKind::Copy;
        command.offset = offset12(bytes);
        command.unit = (bytes[2] & 0x0F) + 2;
        command.repeats = bytes[2] >> 4;
    } else if (b < 0xE0) {  // Pat_L
        command.kind = CommandKind::AbsoluteCopy;
        command.repeats = b & 0x0F;
        command.offset = readLe16(bytes + 1);
        command.unit = bytes[3] == 0 ? 256 : bytes[3];
    } else if (b == kDestV) {
        command.kind = CommandKind::SetDestination;
        command.count = (bytes[1] & 0x3F) * 1024;
    } else {
        command.kind = CommandKind::Frame;
        command.data = bytes + 3;
    }
    return DecodeStatus::Ok;
}

namespace {

EncodedCommand command(std::initializer_list<int> bytes) {
    EncodedCommand encoded;
    for (int b : bytes) encoded.bytes[encoded.length++] = static_cast<std::uint8_t>(b);
    return encoded;
}

}  // namespace

EncodedCommand encodeBankStart(int address) { return command({kDestV, (address >> 10) | 0x80}); }

EncodedCommand encodeLongSkip(int count) { return command({kDestBase | (count >> 8), count & 0xFF}); }

EncodedCommand encodeSkip(int count) { return count <= 8 ? command({kDestQBase | (count - 1)}) : encodeLongSkip(count); }

EncodedCommand encodeFill(int count, std::uint8_t value) {
    if (count < 48) return command({kRleBase | count, value});
    return command({kRleLongBase | (count >> 8), count & 0xFF, value});
}

EncodedCommand encodePattern(int unit, int repeats, int offset, int source) {
    if (unit <= 9 && repeats <= 3 && within8Bits(offset))
        return command({kPatQBase | (repeats == 3 ? 8 : 0) | (unit - 2), offset & 0xFF});
    if (unit <= 17 && within12Bits(offset))
        return command({kPatBase | ((offset >> 8) & 0x0F), offset & 0xFF, (repeats << 4) | (unit - 2)});
    return command({kPatLBase | repeats, source & 0xFF, source >> 8, unit});
}

EncodedCommand encodeCopy(int length, int offset, int source) {
    if (length <= 17 && within8Bits(offset)) return command({kCopyQBase | (length - 2), offset & 0xFF});
    if (within12Bits(offset)) return command({kCopyBase | ((offset >> 8) & 0x0F), offset & 0xFF, length});
    return command({kPatLBase | 1, source & 0xFF, source >> 8, length});
}

void encodeFrame(std::uint8_t m1, std::uint8_t m2, std::uint8_t m3, std::uint8_t (&bytes)[kFrameCommandLength]) {
    // The two fixed bytes are the VIC-II's control register values of a multicolour bitmap screen.
    const std::uint8_t frame[kFrameCommandLength] = {kFrameCommand, machine::kBitmapScreenControl,
                                                     machine::kMulticolourControl, m1, m2, m3};
    std::copy(frame, frame + kFrameCommandLength, bytes);
}

}  // namespace zov
