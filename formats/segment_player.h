// Executes segment commands on a memory image the way the player on the target machine does, checking
// every command: the tests use it to prove coded frames rebuild their region, a preview plays streams.
#pragma once

#include "formats/segment_commands.h"
#include "formats/target_memory.h"

#include <cstddef>
#include <cstdint>

namespace zov {

enum class PlayError {
    None,
    InvalidCommand,             // a first byte no command starts with
    TruncatedCommand,           // the buffer ends inside a command
    SourceOverlapsDestination,  // a copy or pattern reads bytes it writes
    AddressOutOfRange,          // a byte read or written outside 0x0200 .. 0xBFFF
};

struct PlayResult {
    PlayError error = PlayError::None;
    std::size_t offset = 0;  // where the failing command starts in the buffer played
    bool ok() const { return error == PlayError::None; }
};

class SegmentPlayer {
public:
    explicit SegmentPlayer(TargetMemory& memory) : memory_(memory) {}

    /// Plays the commands of bytes[0 .. length-1] in order, stopping at the first malformed one. The
    /// destination and reference carry over from call to call, so one frame may arrive in several packets.
    PlayResult play(const std::uint8_t* bytes, std::size_t length);

    /// Plays the one command at bytes[0 ..]; on success its length is stored in *commandLength.
    PlayError playCommand(const std::uint8_t* bytes, std::size_t available, int* commandLength);

    /// Plays a command that decodeCommand has decoded.
    PlayError playDecoded(const SegmentCommand& command);

    std::uint32_t destination() const { return destination_; }
    std::uint32_t reference() const { return reference_; }
    /// Frame commands met so far, and the display values of the latest one.
    int framesEnded() const { return framesEnded_; }
    std::uint8_t frameM1() const { return marks_[0]; }
    std::uint8_t frameM2() const { return marks_[1]; }
    std::uint8_t frameM3() const { return marks_[2]; }

private:
    static bool inMemory(std::int64_t start, std::int64_t count);

    TargetMemory& memory_;
    std::uint32_t destination_ = 0;
    std::uint32_t reference_ = 0;
    int framesEnded_ = 0;
    std::uint8_t marks_[3] = {0, 0, 0};
};

}  // namespace zov
