// A video stream checked before it is packed for the machine: its header, every packet, and every command
// played on the model of the player's memory, so that the player never meets a command it cannot run or a
// frame that does not end.
#pragma once

#include "formats/zovf_stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

struct CheckedStream {
    StreamInfo info;
    std::vector<StreamPacket> packets;
};

/// Reads and checks a stream. Returns "" when the player can play it; otherwise where and what is wrong,
/// "the header: ...", "frame N: ..." (N from the frame's first packet), "after frame N: ..." or "before the
/// first frame: ...".
std::string checkStream(const std::vector<std::uint8_t>& bytes, CheckedStream& stream);

}  // namespace zov
