// Hands the commands of a coded frame to the muxer in packet-sized pieces, whole commands only, and counts
// each command handed out.
#pragma once

#include "frameconv/video/code_stats.h"

#include <cstdint>

namespace zov {

/// Where the hand-out of a coded frame stands.
struct DrainCursor {
    int position = 0;      // offset of the next command in the coded buffer
    int addressTally = 0;  // sum of the destination advances handed out, i.e. destination - region start
};

/// Copies whole commands from coded[cursor.position ..] into packet[0 .. space-1] while they fit and
/// returns their statistics. The cursor moves past every command copied; the frame is fully handed out
/// when cursor.position reaches codedLength. A command that is invalid (or cut off by the end of the
/// buffer) stops the hand-out where it is and returns a record marked as having nothing to send; the
/// commands copied before it in this call stay copied.
CodeStats drainCommands(const std::uint8_t* coded, int codedLength, std::uint32_t regionStart,
                        DrainCursor& cursor, std::uint8_t* packet, int space);

}  // namespace zov
