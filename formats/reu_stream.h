// The image of a RAM expansion unit (REU) that the C128's stream player plays from: a head that marks it as
// the image of one stream, the tables and scratch the player uses, room where the player saves the machine's
// memory while it plays, the stream's bytes as they are, the record of the frames the player showed, and a
// tail mark at the end of what is used (a unit too small for the image loses it). All numbers little-endian.
//
// | unit address      | bytes    | what                                                                 |
// |-------------------|----------|----------------------------------------------------------------------|
// | 0x000000          | 8        | head mark: "ZOVR" and the stream's identity                          |
// | 0x000100          | 256      | the byte values 0 to 255 in order: fills are fetched from here       |
// | 0x000200          | 256      | scratch for copies                                                   |
// | 0x000400          | 0xD000   | bank 0's 0x0000-0xCFFF while the player runs                         |
// | 0x00D400          | 0x1F00   | 0xE000-0xFEFF                                                        |
// | 0x00F300          | 0xFB     | 0xFF05-0xFFFF                                                        |
// | 0x00F400          | 0x400    | Colour RAM                                                           |
// | 0x010000          | stream   | the stream file's bytes                                              |
// | next page         | 16       | record head: ending (1 played out, 2 a key), NTSC (0/1), SID model   |
// |                   |          | (0 6581, 1 8580), frames shown (16 bits), ticks at the end (32 bits), |
// |                   |          | idle steps of 341 cycles while waiting for frames' times (32 bits)    |
// |                   | 6 each   | per frame shown: its number (16 bits), ticks at its switch (32 bits) |
// | then              | 8        | tail mark: "ZOVR" and the identity                                   |
#pragma once

#include "formats/machine_numbers.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

struct ReuStreamLayout {
    static constexpr std::uint32_t kHead = 0;
    static constexpr std::uint32_t kValueTable = 0x100;
    static constexpr std::uint32_t kScratch = 0x200;
    static constexpr std::uint32_t kSavedLow = 0x400;
    static constexpr std::uint32_t kSavedHigh = kSavedLow + machine::kSavedLowBytes;
    static constexpr std::uint32_t kSavedTop = kSavedHigh + machine::kSavedHighBytes;
    static constexpr std::uint32_t kSavedColours = kSavedTop + 0x100;
    static constexpr std::uint32_t kStream = 0x10000;
    static_assert(machine::kSavedTopBytes <= kSavedColours - kSavedTop, "the saved top overlaps Colour RAM");
    static_assert(kSavedColours + machine::kColourRamBytes <= kStream, "Colour RAM overlaps the stream");
    static constexpr std::uint32_t kMarkBytes = machine::kReuStreamMarkBytes;
    static constexpr std::uint32_t kRecordHeadBytes = machine::kRecordHeadBytes;
    static constexpr std::uint32_t kRecordEntryBytes = machine::kRecordEntryBytes;

    std::uint64_t streamBytes = 0;
    std::uint32_t frames = 0;  // entries the record has room for

    std::uint64_t streamEnd() const { return kStream + streamBytes; }
    std::uint64_t record() const { return (streamEnd() + 0xFF) & ~std::uint64_t{0xFF}; }
    std::uint64_t tail() const { return record() + kRecordHeadBytes + std::uint64_t{kRecordEntryBytes} * frames; }
    /// The bytes the image uses, before rounding up to a standard unit size.
    std::uint64_t bytesUsed() const { return tail() + kMarkBytes; }
};

/// The stream's identity in the marks: FNV-1a over its bytes, so that the player knows the image is its own.
std::uint32_t streamIdentity(const std::vector<std::uint8_t>& stream);

/// The image of a unit of the given standard size (at least the layout's bytesUsed()).
std::vector<std::uint8_t> reuStreamImage(const std::vector<std::uint8_t>& stream, std::uint32_t frames,
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

/// Reads the record of an image laid out for a stream of streamBytes with room for frames entries, also while
/// the play goes on; false when the image is shorter than the layout, or when the head of an ended play counts
/// other frames than the entries.
bool readReuStreamRecord(const std::vector<std::uint8_t>& image, const ReuStreamLayout& layout,
                         ReuStreamRecord& record);

/// The same for a record at any place of an image (the C64 player's keeps this layout too): its head at
/// recordStart, room for frames entries; false also when the image ends before them.
bool readStreamRecordAt(const std::vector<std::uint8_t>& image, std::uint64_t recordStart, std::uint32_t frames,
                        ReuStreamRecord& record);

}  // namespace zov
