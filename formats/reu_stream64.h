// The image of a RAM expansion unit (REU) that the C64's stream player plays from: a head that marks it as
// the image of one stream, the tables and scratch the player uses, room where the player saves the
// machine's memory while it plays, the stream's operations (formats/stream_operations.h) in pages, its sound
// bytes, the record of the frames the player showed (laid out as the C128 player's, formats/reu_stream.h),
// and a tail mark at the end of what is used (a unit too small for the image loses it). All numbers
// little-endian.
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

struct ReuStream64Layout {
    static constexpr std::uint32_t kHead = 0;
    static constexpr std::uint32_t kValueTable = 0x100;
    static constexpr std::uint32_t kScratch = 0x200;
    static constexpr std::uint32_t kSavedLow = 0x400;
    static constexpr std::uint32_t kSavedHigh = kSavedLow + machine::kSavedLowBytes;
    static constexpr std::uint32_t kSavedColours = kSavedHigh + machine::kC64SavedHighBytes;
    static constexpr std::uint32_t kSavedUnderIo = kSavedColours + machine::kColourRamBytes;
    static constexpr std::uint32_t kOperations = kSavedUnderIo + machine::kC64UnderIoBytes;
    static_assert(kOperations % machine::kOperationPageBytes == 0, "the operations start at a page");
    static constexpr std::uint32_t kSoundPiece = 32;  // the player moves the sound in pieces of this size
    static constexpr std::uint8_t kSoundPad = 0xAA;

    std::uint64_t operationPages = 0;
    std::uint64_t soundBytes = 0;
    std::uint32_t frames = 0;  // entries the record has room for

    std::uint64_t sound() const { return kOperations + operationPages * machine::kOperationPageBytes; }
    std::uint64_t soundEnd() const { return sound() + (soundBytes + kSoundPiece - 1) / kSoundPiece * kSoundPiece; }
    std::uint64_t record() const;
    std::uint64_t tail() const {
        return record() + ReuStreamLayout::kRecordHeadBytes + std::uint64_t{ReuStreamLayout::kRecordEntryBytes} * frames;
    }
    /// The bytes the image uses, before rounding up to a standard unit size.
    std::uint64_t bytesUsed() const { return tail() + ReuStreamLayout::kMarkBytes; }
};

/// The image of a unit of the given standard size (at least the layout's bytesUsed()): the operation pages
/// and the sound with room for frames entries in the record.
std::vector<std::uint8_t> reuStream64Image(const std::vector<std::uint8_t>& operationPages,
                                           const std::vector<std::uint8_t>& sound, std::uint32_t frames,
                                           std::uint64_t unitBytes);

/// The identity in the marks: FNV-1a over the operation pages and the sound, as the image holds them.
std::uint32_t reuStream64Identity(const std::vector<std::uint8_t>& image, const ReuStream64Layout& layout);

/// Reads the record of an image with this layout (see readReuStreamRecord).
bool readReuStream64Record(const std::vector<std::uint8_t>& image, const ReuStream64Layout& layout,
                           ReuStreamRecord& record);

}  // namespace zov
