// The image of a RAM expansion unit (REU) that the C64's stream player plays from, laid out as the C128's
// (formats/reu_stream.h) but for the parts of the memory that the player saves: a head that marks it as the
// image of one stream, the tables and scratch the player uses, room where the player saves the machine's
// memory while it plays, the stream's operations (formats/stream_operations.h) in pages, its sound bytes, the
// record of the frames the player showed, and a tail mark at the end of what is used (a unit too small for
// the image loses it). All numbers little-endian.
//
// | unit address      | bytes    | what                                                                 |
// |-------------------|----------|----------------------------------------------------------------------|
// | 0x000000          | 8        | head mark: "ZOVR" and the identity of what the image plays           |
// | 0x000100          | 256      | the byte values 0 to 255 in order: fills are fetched from here       |
// | 0x000200          | 256      | scratch for copies                                                   |
// | 0x000400          | 0xD000   | the machine's 0x0000-0xCFFF while the player runs                    |
// | 0x00D400          | 0x2000   | 0xE000-0xFFFF                                                        |
// | 0x00F400          | 0x400    | Colour RAM                                                           |
// | 0x00F800          | 0x1000   | the RAM under the I/O area, 0xD000-0xDFFF                            |
// | 0x010800          | 256 each | the operation pages                                                  |
// | after them        | sound    | the sound's bytes, four 2-bit samples each, to a multiple of 32 with |
// |                   |          | 0xAA (the middle level)                                              |
// | next page         | 16       | record head, as the C128 player's                                    |
// |                   | 6 each   | per frame shown: its number (16 bits), ticks at its switch (32 bits) |
// | then              | 8        | tail mark, as the head's                                             |
//
// The record starts at a 512 KiB boundary when it would otherwise cross one (the unit's address wraps there).
#pragma once

#include "formats/machine_numbers.h"
#include "formats/reu_stream.h"

#include <cstdint>
#include <vector>

namespace zov {

struct ReuStream64Layout : ReuOperationsLayout<0x10800> {
    static constexpr std::uint32_t kSavedHigh = kSavedLow + machine::kSavedLowBytes;
    static constexpr std::uint32_t kSavedColours = kSavedHigh + machine::kC64SavedHighBytes;
    static constexpr std::uint32_t kSavedUnderIo = kSavedColours + machine::kColourRamBytes;
    static_assert(kSavedUnderIo + machine::kC64UnderIoBytes == kOperations, "the operations follow the saved parts");
};

/// The C64's image (see reuOperationsImage); throws std::logic_error where that is empty.
std::vector<std::uint8_t> reuStream64Image(const std::vector<std::uint8_t>& operationPages,
                                           const std::vector<std::uint8_t>& sound, std::uint32_t frames,
                                           std::uint64_t unitBytes);

/// Reads the record of an image with this layout (see readReuStreamRecord).
bool readReuStream64Record(const std::vector<std::uint8_t>& image, const ReuStream64Layout& layout,
                           ReuStreamRecord& record);

}  // namespace zov
