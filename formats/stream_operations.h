// The operations that a stream player on the machine runs instead of segment commands: each says plainly
// what to put where, on absolute addresses of the machine's own memory, so that the player decodes nothing
// and each operation's cost is easy to tell (the REU moves a byte a cycle; the processor a byte in some ten).
// vicpack translates a stream's commands into them (vicpack/stream_translation.h) and stores them in the
// unit in pages of 256 bytes, each page holding whole operations; a page's unused rest is zero (NextPage).
// All numbers little-endian.
//
// | first byte | name            | bytes     | then                                        | what the player does                 |
// |------------|-----------------|-----------|---------------------------------------------|--------------------------------------|
// | 0x00       | NextPage        | 1         |                                             | goes on with the next page           |
// | 0x02       | End             | 1         |                                             | the stream has no further frame      |
// | 0x04       | Show            | 10        | D018, DD00 bank bits, background, frame     | ends the frame: shows it at its due  |
// |            |                 |           | number (16), due ticks (32)                 | time                                 |
// | 0x06       | Put             | 4 + n     | n (1-251), destination (16), the n bytes    | the REU moves the bytes              |
// | 0x08       | PutByProcessor  | 4 + n     | as Put                                      | the processor copies them            |
// | 0x0A       | Fill            | 6         | n (16, 1-65535), value, destination (16)    | the REU from its table of byte values|
// | 0x0C       | FillByProcessor | 6         | as Fill                                     | the processor stores the value       |
// | 0x0E       | Copy            | 6         | n (1-256, 0 for 256), source (16),          | out to the REU's scratch and back    |
// |            |                 |           | destination (16)                            |                                      |
// | 0x10       | CopyByProcessor | 6         | as Copy                                     | the processor copies                 |
// | 0x12-0x16  | ...Hidden       | as above  | PutByProcessor, FillByProcessor,            | the same with the I/O area switched  |
// |            |                 |           | CopyByProcessor                             | out (RAM under 0xD000-0xDFFF)        |
//
// A copy's source never overlaps its destination. A Show's due ticks count the player's clock from its
// first frame: the samples played, or about a millisecond each in a stream without sound.
#pragma once

#include "formats/machine_numbers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zov {

inline constexpr std::size_t kOperationPageBytes = machine::kOperationPageBytes;
inline constexpr int kLongestPut = 251;          // a Put and its bytes fill a page at most, less its last byte
inline constexpr int kLongestCopy = 256;
inline constexpr int kLongestFill = 65535;
inline constexpr std::uint32_t kHiddenFrom = 0xD000;  // RAM the processor reaches only with I/O switched out
inline constexpr std::uint32_t kHiddenTo = 0xE000;

enum class OperationKind : std::uint8_t {
    NextPage = 0x00,
    End = 0x02,
    Show = 0x04,
    Put = 0x06,
    PutByProcessor = 0x08,
    Fill = 0x0A,
    FillByProcessor = 0x0C,
    Copy = 0x0E,
    CopyByProcessor = 0x10,
    PutHidden = 0x12,
    FillHidden = 0x14,
    CopyHidden = 0x16,
};

/// Who moves an operation's bytes.
enum class Mover { Unit, Processor, Hidden };

struct Operation {
    OperationKind kind = OperationKind::NextPage;
    std::uint32_t count = 0;        // bytes written
    std::uint16_t destination = 0;
    std::uint16_t source = 0;       // Copy
    std::uint8_t value = 0;         // Fill
    std::vector<std::uint8_t> bytes;  // Put
    // Show.
    std::uint8_t d018 = 0, bankBits = 0, background = 0;
    std::uint16_t frameNumber = 0;
    std::uint32_t dueTicks = 0;
};

/// The kinds of the three writing operations for a mover.
OperationKind putKind(Mover mover);
OperationKind fillKind(Mover mover);
OperationKind copyKind(Mover mover);
/// Who moves the bytes of a writing operation.
Mover moverOf(OperationKind kind);

/// The bytes the operation takes in a page.
std::size_t encodedLength(const Operation& operation);
void encodeOperation(const Operation& operation, std::vector<std::uint8_t>& out);

/// Decodes the operation at bytes[0 ..]; its length, 0 when the first byte is no operation's or the
/// operation is cut off.
std::size_t decodeOperation(const std::uint8_t* bytes, std::size_t available, Operation& operation);

/// Operations laid out in pages: each added to the page in hand when it fits before the page's last byte,
/// else to a new page.
class OperationPages {
public:
    void add(const Operation& operation);
    /// Whether an operation of length bytes still fits into the page in hand.
    bool fits(std::size_t length) const;
    /// The pages so far (the last one may be partly filled; its rest is zero).
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::size_t pages() const { return bytes_.size() / kOperationPageBytes; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t used_ = kOperationPageBytes;  // bytes used of the last page
};

/// The 64 KiB that a player's operations write into.
using MachineMemory = std::array<std::uint8_t, 65536>;

/// Runs the operations of pages on memory as the player does, calling shown at every Show with the
/// operation, up to End. False when an operation is malformed or a page has none before its end.
bool replayOperations(const std::vector<std::uint8_t>& pages, MachineMemory& memory,
                      const std::function<void(const Operation&)>& shown);

}  // namespace zov
