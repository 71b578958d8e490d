// A video stream's timing, and its start as a stream of its own: the pictures due before a time and the
// sound up to it, with the header's totals rewritten to match.
#pragma once

#include "formats/stream_walk.h"

#include <cstdint>
#include <vector>

namespace zov {

/// Seconds from the start at which frame number frame (counted from 1, dropped pictures included) is due:
/// when (frame − 1) × the header's samples per source picture have played, or without sound at
/// (frame − 1) / picturesPerSecond.
double frameDue(const StreamInfo& info, std::uint32_t frame, double picturesPerSecond);

/// How long a stream plays: to the end of its sound or of its last picture's period, whichever is later.
double streamSeconds(const WalkedStream& stream, double picturesPerSecond);

/// What a cut keeps of a stream.
struct StreamCut {
    double seconds = 0;            // the time the cut is made at
    double picturesPerSecond = 0;  // of a stream without sound
    std::uint64_t audioBytes = 0;  // sound bytes from the start, four samples each
    std::uint32_t frames = 0;      // frames from the start
    std::uint32_t lastFrame = 0;   // the number of the last frame kept (0 without one)
    std::uint64_t length = 0;      // bytes of the cut stream
    bool whole = false;            // every packet is kept whole: the cut stream is the stream
};

/// What a cut at seconds keeps of a walked stream: every frame due before that time, and the sound bytes
/// whose samples have all played by then.
StreamCut planStreamCut(const WalkedStream& stream, double seconds, double picturesPerSecond);

/// The stream as the cut leaves it: the kept packets in their order, the sound packet that the cut falls into
/// shortened, and the header's file length, frame and sample counts and video byte rate rewritten.
std::vector<std::uint8_t> cutStream(const std::vector<std::uint8_t>& bytes, const WalkedStream& stream,
                                    const StreamCut& cut);

}  // namespace zov
