// What the stream muxer asks of the video encoder: code a frame within a byte budget, hand the coded
// commands out in packet-sized pieces, and keep the run's code statistics.
#pragma once

#include "frameconv/picture/quant_stats.h"
#include "frameconv/video/code_stats.h"

#include <cstdint>
#include <functional>

namespace zov {

class VicPicture;

/// The outcome of coding one frame.
struct EncodeResult {
    QuantStats stats;           // the reference conversion's record; copiedPixels counts reused pixels
    int bufferNumber = 0;       // ring slot the frame was coded into (set only when accepted)
    int updateSize = 0;         // region length with colour + 3, 0 when not accepted
    int exportResult = 0;       // bitmap bytes of the VIC-II export; 0 = the export failed
    int rawSize = 0;            // cards × (8 + matrix + Color RAM bytes), 0 when not accepted
    int codedSize = 0;          // coded length, 0 when not accepted
};

class FrameEncoder {
public:
    virtual ~FrameEncoder() = default;
    /// Codes a converted picture as the next frame if its coded size fits the budget (unsigned).
    virtual EncodeResult encodeFrame(VicPicture& picture, std::uint32_t budget) = 0;
    /// Copies whole commands of the current frame into packet[0 .. space-1]; restart begins at the frame's
    /// first command. The byte count of the returned record's sum is what was copied (negative: nothing to
    /// send).
    virtual CodeStats drain(std::uint8_t* packet, int space, bool restart) = 0;
    /// The run's code statistics, into which the muxer adds every frame's.
    virtual CodeStats& totals() = 0;
    /// The ring slot holding the latest accepted frame (its geometry describes the stream).
    virtual const VicPicture& currentSlot() const = 0;

    /// A frame within its byte budget is accepted only when this also accepts its coded commands (none: all).
    using Acceptance = std::function<bool(const std::uint8_t* commands, int length)>;
    void acceptOnly(Acceptance acceptance) { acceptance_ = std::move(acceptance); }

protected:
    Acceptance acceptance_;
};

}  // namespace zov
