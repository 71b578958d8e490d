#include "vicpack/stream_check.h"

#include "common/console/console.h"
#include "formats/segment_player.h"
#include "formats/displayed_frame.h"

namespace zov {
namespace {

const char* playProblem(PlayError error) {
    switch (error) {
        case PlayError::InvalidCommand: return "an invalid command byte";
        case PlayError::TruncatedCommand: return "a command cut off by the end of its packet";
        case PlayError::SourceOverlapsDestination: return "a copy whose source overlaps its destination";
        case PlayError::AddressOutOfRange: return "a command that writes or reads outside 0x0200-0xBFFF";
        case PlayError::None: break;
    }
    return "";
}

/// Follows the frames through the packets and plays their commands as the player will.
class FrameWalk {
public:
    bool start() { return memory_.allocate(); }

    /// Where the walk is, as a problem's place: the frame in progress or the last one ended.
    std::string place() const {
        if (inFrame_) return formatted("frame %lu", static_cast<unsigned long>(frame_));
        if (framesSeen_ == 0) return "before the first frame";
        return formatted("after frame %lu", static_cast<unsigned long>(frame_));
    }

    /// "" when the packet fits the frames before it and its commands play; else the problem with its place.
    std::string take(const std::vector<std::uint8_t>& bytes, const StreamPacket& packet) {
        if (packet.kind == PacketKind::Audio) return "";
        if (packet.kind == PacketKind::FirstVideo) {
            if (std::string problem = open(packet.frameNumber); !problem.empty()) return problem;
        } else if (!inFrame_) {
            return place() + ": a further video packet outside a frame";
        }
        return play(bytes, packet);
    }

    /// "" when the stream ends between frames.
    std::string end() const { return inFrame_ ? place() + ": the stream ends before its Frame command" : ""; }

private:
    std::string open(std::uint32_t number) {
        if (inFrame_)
            return place() + formatted(": no Frame command before frame %lu begins", static_cast<unsigned long>(number));
        if (number == 0) return "frame 0: frames are numbered from 1";
        if (framesSeen_ > 0 && number <= frame_)
            return formatted("frame %lu: it follows frame %lu; frame numbers rise", static_cast<unsigned long>(number),
                             static_cast<unsigned long>(frame_));
        inFrame_ = true;
        frame_ = number;
        ++framesSeen_;
        return "";
    }

    std::string play(const std::vector<std::uint8_t>& bytes, const StreamPacket& packet) {
        std::size_t at = 0;
        while (at < packet.contentLength) {
            if (!inFrame_) return place() + ": commands after its Frame command";
            const std::uint8_t* command = &bytes[packet.contentOffset + at];
            const int ended = player_.framesEnded();
            int length = 0;
            if (PlayError error = player_.playCommand(command, packet.contentLength - at, &length); error != PlayError::None) {
                std::string problem = place() + ": " + playProblem(error);
                if (error == PlayError::InvalidCommand) problem += formatted(" 0x%02X", *command);
                return problem;
            }
            at += static_cast<std::size_t>(length);
            if (player_.framesEnded() == ended) continue;
            const DisplayAddresses shown = decodeFrameRegisters(player_.frameM1(), player_.frameM2(), player_.frameM3());
            if (shown.bank >= 0xC000) return place() + ": its Frame command shows memory at 0xC000-0xFFFF";
            inFrame_ = false;
        }
        return "";
    }

    TargetMemory memory_;
    SegmentPlayer player_{memory_};
    bool inFrame_ = false;
    std::uint32_t frame_ = 0;  // the frame in progress, or the last one
    std::uint32_t framesSeen_ = 0;
};

/// The header's totals must be those of the packets.
std::string checkTotals(const CheckedStream& stream) {
    std::uint32_t frames = 0;
    std::uint64_t samples = 0;
    for (const StreamPacket& packet : stream.packets) {
        if (packet.kind == PacketKind::FirstVideo) ++frames;
        if (packet.kind == PacketKind::Audio) samples += 4 * packet.contentLength;
    }
    if (frames != stream.info.frames)
        return formatted("the header: it announces %lu frames, the stream holds %lu",
                         static_cast<unsigned long>(stream.info.frames), static_cast<unsigned long>(frames));
    if (stream.info.hasAudio && samples != stream.info.samples)
        return formatted("the header: it announces %lu samples, the stream holds %llu",
                         static_cast<unsigned long>(stream.info.samples), static_cast<unsigned long long>(samples));
    return "";
}

}  // namespace

std::string checkStream(const std::vector<std::uint8_t>& bytes, CheckedStream& stream) {
    FileProblem problem;
    if (!readStreamHeader(bytes, stream.info, problem)) return "the header: " + problem.text;
    // The packets read before a malformed one are still walked, so that a problem earlier in the file is the one
    // named.
    const bool packetsRead = readStreamPackets(bytes, stream.info, stream.packets, problem);
    FrameWalk walk;
    if (!walk.start()) return "out of memory for the model of the player's memory";
    for (const StreamPacket& packet : stream.packets) {
        if (!stream.info.hasAudio && packet.kind == PacketKind::Audio)
            return walk.place() + ": a sound packet in a stream whose header has no sound";
        if (std::string fault = walk.take(bytes, packet); !fault.empty()) return fault;
    }
    if (!packetsRead) return walk.place() + ": " + problem.text;
    if (std::string fault = walk.end(); !fault.empty()) return fault;
    return checkTotals(stream);
}

}  // namespace zov
