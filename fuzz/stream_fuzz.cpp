// Arbitrary bytes as a video stream, through the stream reader and the segment player as vicview's preview
// runs them: the header, every packet, then every video packet's commands played one by one on the target
// memory, a frame at a time, with the screen that each Frame command shows read back from it. Whatever the
// input: a header that the reader takes is taken alike from the stream's first bytes alone, and describes
// a picture that fits the screen; the packets it hands out lie end to end from the header to the end of the
// file; a command the player takes has a length within what is left, and the player takes the same bytes
// alike as a whole packet at once. Reads and writes outside the memory and the file are the sanitizers'.
#include "formats/segment_player.h"
#include "formats/zovf_stream.h"
#include "formats/displayed_frame.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace zov;

void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\n", property);
    std::abort();
}

void checkHeader(const std::vector<std::uint8_t>& bytes, const StreamInfo& info) {
    require(info.packetsStart <= bytes.size(), "the packets start inside the file");
    require(info.widthInCards() >= 1 && info.leftCard() >= 0, "the picture is 1 to 40 cards wide");
    require(info.heightInCards() >= 1 && info.topCardRow + info.heightInCards() <= 25, "the picture fits the 25 rows");
    const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + static_cast<long>(info.packetsStart));
    StreamInfo fromHead;
    FileProblem problem;
    require(readStreamHead(head, fromHead, problem), "the header alone is read as a stream's head");
    require(fromHead.frames == info.frames && fromHead.width == info.width && fromHead.height == info.height &&
                fromHead.hasAudio == info.hasAudio && fromHead.samples == info.samples &&
                fromHead.packetsStart == info.packetsStart,
            "the head gives the header's fields");
}

void checkPackets(const std::vector<std::uint8_t>& bytes, const StreamInfo& info,
                  const std::vector<StreamPacket>& packets) {
    std::size_t at = info.packetsStart;
    for (const StreamPacket& packet : packets) {
        require(packet.offset == at, "each packet follows the one before");
        require(packet.contentOffset >= packet.payloadOffset &&
                    packet.contentOffset + packet.contentLength == packet.payloadOffset + packet.payloadLength,
                "a packet's content is the end of its payload");
        require(packet.kind == PacketKind::Audio || packet.payloadLength <= kMaxVideoPayload, "a video packet fits");
        at = packet.payloadOffset + packet.payloadLength;
    }
    require(at == bytes.size(), "the packets end with the file");
}

/// Plays the video packets as the preview does: command by command, a frame from its first packet to its
/// Frame command, nothing after that command in its packet. Returns whether the whole stream played.
bool playAsThePreview(const std::vector<std::uint8_t>& bytes, const std::vector<StreamPacket>& packets,
                      TargetMemory& memory) {
    SegmentPlayer player(memory);
    bool inFrame = false;
    for (const StreamPacket& packet : packets) {
        if (packet.kind == PacketKind::Audio) continue;
        if (packet.kind == PacketKind::FirstVideo) {
            if (inFrame) return false;
            inFrame = true;
        } else if (!inFrame) {
            return false;
        }
        std::size_t at = 0;
        while (at < packet.contentLength) {
            const int framesBefore = player.framesEnded();
            int length = 0;
            if (player.playCommand(&bytes[packet.contentOffset + at], packet.contentLength - at, &length) != PlayError::None)
                return false;
            require(length >= 1 && static_cast<std::size_t>(length) <= packet.contentLength - at,
                    "a command lies within its packet");
            at += static_cast<std::size_t>(length);
            if (player.framesEnded() == framesBefore) continue;
            if (at < packet.contentLength) return false;
            const DisplayAddresses display = decodeFrameRegisters(player.frameM1(), player.frameM2(), player.frameM3());
            const VicScreen screen = screenFromMemory(memory, display, 0);
            require(screen.background >= 0 && screen.background < 16, "the background is a colour");
            inFrame = false;
        }
    }
    return !inFrame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    StreamInfo info;
    FileProblem problem;
    if (!readStreamHeader(bytes, info, problem)) {
        // Most changed inputs no longer match their length field: they are read again with the field set, so
        // that the packets and the player behind it see them too.
        if (bytes.size() < kFileHeadLength) return 0;
        putLe32(bytes.data() + kLengthFieldOffset, static_cast<std::uint32_t>(bytes.size() - kFileHeadLength));
        if (!readStreamHeader(bytes, info, problem)) return 0;
    }
    checkHeader(bytes, info);
    std::vector<StreamPacket> packets;
    if (!readStreamPackets(bytes, info, packets, problem)) return 0;
    checkPackets(bytes, info, packets);

    TargetMemory byCommand, byPacket;
    require(byCommand.allocate() && byPacket.allocate(), "memory for the target");
    if (!playAsThePreview(bytes, packets, byCommand)) return 0;
    SegmentPlayer player(byPacket);
    for (const StreamPacket& packet : packets)
        if (packet.kind != PacketKind::Audio)
            require(player.play(bytes.data() + packet.contentOffset, packet.contentLength).ok(), "a whole packet plays");
    require(std::memcmp(byCommand.data(), byPacket.data(), kTargetImageSize) == 0,
            "command by command and packet by packet leave the same memory");
    return 0;
}
