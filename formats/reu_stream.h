// The image of a RAM expansion unit (REU) that the C128's stream player plays from, and what both players'
// images share (the C64's is in reu_stream64.h): a head that marks it as the image of one stream, the tables
// and scratch the player uses, room where the player saves the machine's memory while it plays, the stream's
// operations (formats/stream_operations.h) in pages, its sound bytes, the record of the frames the player
// showed, and a tail mark at the end of what is used (a unit too small for the image loses it). All numbers
// little-endian.
//
// | unit address      | bytes    | what                                                                 |
// |-------------------|----------|----------------------------------------------------------------------|
// | 0x000000          | 8        | head mark: "ZOVR" and the identity of what the image plays           |
// | 0x000100          | 256      | the byte values 0 to 255 in order: fills are fetched from here       |
// | 0x000200          | 256      | scratch for copies                                                   |
// | 0x000400          | 0xD000   | bank 0's 0x0000-0xCFFF while the player runs                         |
// | 0x00D400          | 0x1F00   | 0xE000-0xFEFF                                                        |
// | 0x00F300          | 0xFB     | 0xFF05-0xFFFF                                                        |
// | 0x00F400          | 0x400    | Colour RAM                                                           |
// | 0x010000          | 256 each | the operation pages                                                  |
// | after them        | sound    | the sound's bytes, four 2-bit samples each, to a multiple of 32 with |
// |                   |          | 0xAA (the middle level)                                              |
// | next page         | 16       | record head: ending (1 played out, 2 a key), NTSC (0/1), SID model   |
// |                   |          | (0 6581, 1 8580), frames shown (16 bits), ticks at the end (32 bits), |
// |                   |          | idle steps of 341 cycles while waiting for frames' times (32 bits)    |
// |                   | 6 each   | per frame shown: its number (16 bits), ticks at its switch (32 bits) |
// | then              | 8        | tail mark, as the head's                                             |
//
// The record starts at a 512 KiB boundary when it would otherwise cross one (the unit's address wraps there).
#pragma once

#include "formats/machine_numbers.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

/// Where the record of frames entries starts after soundEnd: at the next page, or at the next 512 KiB
/// boundary when it would cross one.
std::uint64_t recordStartAfter(std::uint64_t soundEnd, std::uint32_t frames);

/// The layout of a stream player's image, both machines alike from the saved memory's start on; the
/// operation pages start at Operations, after the machine's saved parts.
template <std::uint32_t Operations>
struct ReuOperationsLayout {
    static constexpr std::uint32_t kHead = 0;
    static constexpr std::uint32_t kValueTable = 0x100;
    static constexpr std::uint32_t kScratch = 0x200;
    static constexpr std::uint32_t kSavedLow = 0x400;
    static constexpr std::uint32_t kOperations = Operations;
    static_assert(kOperations % machine::kOperationPageBytes == 0, "the operations start at a page");
    static constexpr std::uint32_t kSoundPiece = 32;  // the player moves the sound in pieces of this size
    static constexpr std::uint8_t kSoundPad = 0xAA;
    static constexpr std::uint32_t kMarkBytes = machine::kReuStreamMarkBytes;
    static constexpr std::uint32_t kRecordHeadBytes = machine::kRecordHeadBytes;
    static constexpr std::uint32_t kRecordEntryBytes = machine::kRecordEntryBytes;

    std::uint64_t operationPages = 0;
    std::uint64_t soundBytes = 0;
    std::uint32_t frames = 0;  // entries the record has room for

    std::uint64_t sound() const { return kOperations + operationPages * machine::kOperationPageBytes; }
    std::uint64_t soundEnd() const { return sound() + (soundBytes + kSoundPiece - 1) / kSoundPiece * kSoundPiece; }
    std::uint64_t record() const { return recordStartAfter(soundEnd(), frames); }
    std::uint64_t tail() const { return record() + kRecordHeadBytes + std::uint64_t{kRecordEntryBytes} * frames; }
    /// The bytes the image uses, before rounding up to a standard unit size.
    std::uint64_t bytesUsed() const { return tail() + kMarkBytes; }
};

/// The C128's layout.
struct ReuStreamLayout : ReuOperationsLayout<0x10000> {
    static constexpr std::uint32_t kSavedHigh = kSavedLow + machine::kSavedLowBytes;
    static constexpr std::uint32_t kSavedTop = kSavedHigh + machine::kSavedHighBytes;
    static constexpr std::uint32_t kSavedColours = kSavedTop + 0x100;
    static_assert(machine::kSavedTopBytes <= kSavedColours - kSavedTop, "the saved top overlaps Colour RAM");
    static_assert(kSavedColours + machine::kColourRamBytes <= kOperations, "Colour RAM overlaps the operations");
};

/// The identity in the marks: FNV-1a over the operation pages and the sound, as the image holds them.
template <typename Layout>
std::uint32_t reuOperationsIdentity(const std::vector<std::uint8_t>& image, const Layout& layout) {
    std::uint32_t hash = 2166136261u;
    for (std::uint64_t at = Layout::kOperations; at < layout.soundEnd() && at < image.size(); ++at)
        hash = (hash ^ image[at]) * 16777619u;
    return hash;
}

/// Puts "ZOVR" and the identity at an image's offset.
void putReuStreamMark(std::vector<std::uint8_t>& image, std::uint64_t at, std::uint32_t identity);

/// The image of a unit of the given standard size (at least the layout's bytesUsed()) with the operation
/// pages and the sound, room for frames entries in the record; empty when the operations are not whole pages
/// or the unit is too small.
template <typename Layout>
std::vector<std::uint8_t> reuOperationsImage(const std::vector<std::uint8_t>& operationPages,
                                             const std::vector<std::uint8_t>& sound, std::uint32_t frames,
                                             std::uint64_t unitBytes) {
    const Layout layout{{operationPages.size() / machine::kOperationPageBytes, sound.size(), frames}};
    if (operationPages.size() % machine::kOperationPageBytes != 0 || unitBytes < layout.bytesUsed()) return {};
    std::vector<std::uint8_t> image(unitBytes, 0);
    for (int value = 0; value < 256; ++value) image[Layout::kValueTable + value] = static_cast<std::uint8_t>(value);
    std::copy(operationPages.begin(), operationPages.end(), image.begin() + Layout::kOperations);
    std::copy(sound.begin(), sound.end(), image.begin() + static_cast<std::ptrdiff_t>(layout.sound()));
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(layout.sound() + sound.size()),
              image.begin() + static_cast<std::ptrdiff_t>(layout.soundEnd()), Layout::kSoundPad);
    const std::uint32_t identity = reuOperationsIdentity(image, layout);
    putReuStreamMark(image, Layout::kHead, identity);
    putReuStreamMark(image, layout.tail(), identity);
    return image;
}

/// The C128's image (see reuOperationsImage); throws std::logic_error where that is empty.
std::vector<std::uint8_t> reuStreamImage(const std::vector<std::uint8_t>& operationPages,
                                         const std::vector<std::uint8_t>& sound, std::uint32_t frames,
                                         std::uint64_t unitBytes);

/// What the player wrote into the record of an image it played from.
struct ReuStreamRecord {
    struct Frame {
        std::uint32_t number = 0;
        std::uint32_t ticks = 0;  // ticks of the player's clock when it switched to the frame
    };
    int ending = 0;  // 0 never ended, 1 played to the end, 2 a key ended it
    bool ntsc = false;
    int sidModel = 0;  // 0 the 6581, 1 the 8580
    std::uint32_t endTicks = 0;
    std::uint32_t idleSteps = 0;  // stretches of kIdleStepCycles the player waited with nothing to do
    std::vector<Frame> frames;
    static constexpr int kIdleStepCycles = machine::kIdleStepCycles;
};

/// Reads the record of an image with this layout, also while the play goes on; false when the image is
/// shorter than the layout, or when the head of an ended play counts other frames than the entries.
bool readReuStreamRecord(const std::vector<std::uint8_t>& image, const ReuStreamLayout& layout,
                         ReuStreamRecord& record);

/// The same for a record at any place of an image (the C64 player's keeps this layout too): its head at
/// recordStart, room for frames entries; false also when the image ends before them.
bool readStreamRecordAt(const std::vector<std::uint8_t>& image, std::uint64_t recordStart, std::uint32_t frames,
                        ReuStreamRecord& record);

}  // namespace zov
