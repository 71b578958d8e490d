// The header a video stream's writer lays out (StreamHeadLayout): the file head, the audio chunk when there is
// sound, then the video chunk. Its totals (the length field, the samples, the frames, the video bytes per
// second of sound) are those of the stream so far; a writer rewrites them at the layout's offsets.
#pragma once

#include "formats/zovf_container.h"

#include <cstdint>

namespace zov {

struct StreamHead {
    bool withAudio = false;
    double audioRate = 0;          // Hz; kept as 16 bits, truncated (putTruncatedLe16)
    double samplesPerPicture = 0;  // audio samples per source picture; kept the same way
    int width = 0;                 // picture pixels, the padded size
    int height = 0;
    int topCardRow = 0;
    int roleCount = 0;             // 4 multicolour, 2 hi-res
    // The totals.
    std::uint32_t lengthField = 0;  // file length − 8, 0 while nothing follows the header
    std::uint32_t samples = 0;
    std::uint32_t frames = 0;       // 24 bits
    std::uint32_t videoByteRate = 0;  // 24 bits
};

/// Writes the header: StreamHeadLayout{head.withAudio}.length() bytes from at.
void putStreamHead(std::uint8_t* at, const StreamHead& head);

}  // namespace zov
