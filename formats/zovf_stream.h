// The ZOVF video stream: its header (video chunk and optional audio chunk) and the packets that follow it,
// each read on its own; formats/stream_walk.h reads a whole stream with its rules.
#pragma once

#include "formats/zovf_container.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

struct StreamInfo {
    // Video chunk.
    int width = 0;                 // picture width in pixels (multicolour pixels are two screen pixels wide)
    int height = 0;                // picture height in pixels, a multiple of 8
    std::uint32_t frames = 0;      // frames the header announces
    int samplesPerFrame = 0;
    int topCardRow = 0;
    int roleCount = 0;             // 4 multicolour, 2 hi-res
    std::uint32_t videoByteRate = 0;
    std::size_t framesField = 0;   // file offset of the frame count
    // Audio chunk.
    bool hasAudio = false;
    std::uint32_t audioRate = 0;
    std::uint32_t samples = 0;     // samples the header announces
    std::size_t samplesField = 0;  // file offset of the sample count
    std::size_t packetsStart = 0;  // offset of the first packet

    bool multicolour() const { return roleCount == 4; }
    int widthInCards() const { return width / (multicolour() ? 4 : 8); }
    int heightInCards() const { return height / 8; }
    /// Card column of the picture's left edge: it is centred on the 40-card screen.
    int leftCard() const { return (40 - widthInCards()) / 2; }
};

struct StreamPacket {
    PacketKind kind = PacketKind::Audio;
    std::size_t offset = 0;         // of the packet head
    std::size_t payloadOffset = 0;
    std::size_t payloadLength = 0;
    std::uint32_t frameNumber = 0;  // first video packet of a frame
    // The payload without the frame number: audio bytes or coded commands.
    std::size_t contentOffset = 0;
    std::size_t contentLength = 0;
};

/// Reads and checks the stream's header. False with the problem when it is not a well-formed video stream
/// head.
bool readStreamHeader(const std::vector<std::uint8_t>& bytes, StreamInfo& info, FileProblem& problem);

/// The same from a stream's first bytes, the whole header at least, when no more of it is kept (a compile
/// that is only counted): the length field is not compared with them.
bool readStreamHead(const std::vector<std::uint8_t>& head, StreamInfo& info, FileProblem& problem);

/// Reads the packet at offset at and moves at behind it. False with the problem when the packet is
/// malformed (unknown head, cut off by the end of the file, or too long).
bool readPacket(const std::vector<std::uint8_t>& bytes, std::size_t& at, StreamPacket& packet, FileProblem& problem);

}  // namespace zov
