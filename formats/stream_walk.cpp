#include "formats/stream_walk.h"

#include "common/console/console.h"
#include "formats/little_endian.h"
#include "formats/segment_player.h"

namespace zov {
namespace {

constexpr int kSamplesPerByte = 4;

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

std::string number(std::uint64_t value) { return std::to_string(value); }

/// Follows the frames through the packets and plays their commands as the player will.
class Walk {
public:
    Walk(const std::vector<std::uint8_t>& bytes, WalkedStream& stream, StreamFault& fault,
         std::initializer_list<StreamVisitor*> visitors)
        : bytes_(bytes), stream_(stream), fault_(fault), visitors_(visitors) {}

    bool run() {
        FileProblem problem;
        if (!readStreamHeader(bytes_, stream_.info, problem)) return headerFault(problem);
        if (!memory_.allocate()) return fail(StreamFault::Place::Memory, 0, "out of memory for the model of the player's memory");
        std::size_t at = stream_.info.packetsStart;
        while (at < bytes_.size()) {
            StreamPacket packet;
            if (!readPacket(bytes_, at, packet, problem)) return packetFault(problem.offset, problem.text);
            if (!take(packet)) return false;
            stream_.packets.push_back(packet);
        }
        if (inFrame_) return packetFault(lastVideoPacket_, "the stream ends before its Frame command");
        return totalsKept();
    }

private:
    bool take(const StreamPacket& packet) {
        if (packet.kind == PacketKind::Audio) {
            if (!stream_.info.hasAudio) return packetFault(packet.offset, "a sound packet in a stream whose header has no sound");
            stream_.samples += static_cast<std::uint64_t>(kSamplesPerByte) * packet.contentLength;
            for (StreamVisitor* visitor : visitors_) visitor->sound(packet);
            return true;
        }
        if (packet.kind == PacketKind::FirstVideo) {
            if (!open(packet)) return false;
        } else if (!inFrame_) {
            return packetFault(packet.offset, "a further video packet outside a frame");
        }
        lastVideoPacket_ = packet.offset;
        for (StreamVisitor* visitor : visitors_) visitor->video(packet, frame_);
        return play(packet);
    }

    bool open(const StreamPacket& packet) {
        const std::uint32_t number = packet.frameNumber;
        if (inFrame_) return packetFault(packet.offset, "no Frame command before frame " + zov::number(number) + " begins");
        if (number == 0) return fail(StreamFault::Place::InFrame, packet.offset, "frames are numbered from 1", 0);
        if (!stream_.frames.empty() && number <= frame_)
            return fail(StreamFault::Place::InFrame, packet.offset,
                        "it follows frame " + zov::number(frame_) + "; frame numbers rise", number);
        inFrame_ = true;
        frame_ = number;
        stream_.frames.push_back(number);
        return true;
    }

    bool play(const StreamPacket& packet) {
        std::size_t at = 0;
        while (at < packet.contentLength) {
            if (!inFrame_) return fail(StreamFault::Place::InFrame, packet.offset, "commands after its Frame command", frame_);
            const std::uint8_t* bytes = &bytes_[packet.contentOffset + at];
            const std::size_t available = packet.contentLength - at;
            SegmentCommand command;
            PlayError error = PlayError::None;
            switch (decodeCommand(bytes, available, command)) {
                case DecodeStatus::Invalid: error = PlayError::InvalidCommand; break;
                case DecodeStatus::Truncated: error = PlayError::TruncatedCommand; break;
                case DecodeStatus::Ok: error = player_.playDecoded(command); break;
            }
            if (error != PlayError::None) {
                std::string text = playProblem(error);
                if (error == PlayError::InvalidCommand) text += formatted(" 0x%02X", *bytes);
                return packetFault(packet.offset, text);
            }
            at += static_cast<std::size_t>(command.length);
            for (StreamVisitor* visitor : visitors_) visitor->command(command);
            if (command.kind == CommandKind::Frame && !show(packet)) return false;
        }
        return true;
    }

    bool show(const StreamPacket& packet) {
        const DisplayAddresses display = decodeFrameRegisters(player_.frameM1(), player_.frameM2(), player_.frameM3());
        // The player's memory ends at 0xBFFF: a bank above it shows what no stream can have built.
        if (display.bank >= kTargetEnd) return packetFault(packet.offset, "its Frame command shows memory at 0xC000-0xFFFF");
        inFrame_ = false;
        for (StreamVisitor* visitor : visitors_) visitor->shown(frame_, memory_, display);
        return true;
    }

    /// The header's totals must be those of the packets.
    bool totalsKept() {
        const StreamInfo& info = stream_.info;
        const std::uint32_t frames = static_cast<std::uint32_t>(stream_.frames.size());
        if (frames != info.frames)
            return fail(StreamFault::Place::Header, info.framesField,
                        "it announces " + number(info.frames) + " frames, the stream holds " + number(frames));
        if (info.hasAudio && stream_.samples != info.samples)
            return fail(StreamFault::Place::Header, info.samplesField,
                        "it announces " + number(info.samples) + " samples, the stream holds " + number(stream_.samples));
        return true;
    }

    bool headerFault(const FileProblem& problem) { return fail(StreamFault::Place::Header, problem.offset, problem.text); }

    /// A fault of the packet at offset, placed where the walk is.
    bool packetFault(std::size_t offset, const std::string& text) {
        if (inFrame_) return fail(StreamFault::Place::InFrame, offset, text, frame_);
        if (stream_.frames.empty()) return fail(StreamFault::Place::BeforeFrames, offset, text);
        return fail(StreamFault::Place::AfterFrame, offset, text, frame_);
    }

    bool fail(StreamFault::Place place, std::size_t offset, const std::string& text, std::uint32_t frame = 0) {
        fault_ = StreamFault{place, frame, offset, text};
        return false;
    }

    const std::vector<std::uint8_t>& bytes_;
    WalkedStream& stream_;
    StreamFault& fault_;
    std::initializer_list<StreamVisitor*> visitors_;
    TargetMemory memory_;
    SegmentPlayer player_{memory_};
    bool inFrame_ = false;
    std::uint32_t frame_ = 0;         // the frame in progress, or the last one
    std::size_t lastVideoPacket_ = 0;  // offset of the latest video packet
};

}  // namespace

std::string StreamFault::where() const {
    const unsigned long at = static_cast<unsigned long>(offset);
    const unsigned long number = static_cast<unsigned long>(frame);
    switch (place) {
        case Place::Header: return formatted("the header (offset %lu)", at);
        case Place::BeforeFrames: return formatted("before the first frame (packet at offset %lu)", at);
        case Place::InFrame: return formatted("frame %lu (packet at offset %lu)", number, at);
        case Place::AfterFrame: return formatted("after frame %lu (packet at offset %lu)", number, at);
        case Place::Memory: break;
    }
    return "";
}

std::string streamRefusal(const std::string& name, const StreamFault& fault) {
    if (fault.place == StreamFault::Place::Memory) return name + ": " + fault.text;
    return name + ": a damaged stream, " + fault.where() + ": " + fault.text;
}

bool walkStream(const std::vector<std::uint8_t>& bytes, WalkedStream& stream, StreamFault& fault,
                std::initializer_list<StreamVisitor*> visitors) {
    stream = WalkedStream{};
    fault = StreamFault{};
    return Walk(bytes, stream, fault, visitors).run();
}

bool walkStreamHead(const std::vector<std::uint8_t>& head, StreamInfo& info, StreamFault& fault) {
    fault = StreamFault{};
    FileProblem problem;
    if (readStreamHead(head, info, problem)) return true;
    fault = StreamFault{StreamFault::Place::Header, 0, problem.offset, problem.text};
    return false;
}

TotalsFields TotalsFields::of(const StreamHeadLayout& layout) {
    return TotalsFields{layout.withAudio, static_cast<std::size_t>(layout.samplesField()),
                        static_cast<std::size_t>(layout.framesField()), static_cast<std::size_t>(layout.byteRateField())};
}

TotalsFields TotalsFields::of(const StreamInfo& info) {
    return TotalsFields{info.hasAudio, info.samplesField, info.framesField,
                        info.framesField - kVideoFramesAt + kVideoByteRateAt};
}

std::uint32_t videoByteRate(const StreamTotals& totals, double audioRate) {
    if (totals.samples == 0) return 0;
    const double samples = static_cast<double>(totals.samples);
    const double rate = (static_cast<double>(totals.length) - samples * 0.25) / (samples / audioRate);
    if (!(rate > 0)) return 0;
    if (rate >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(rate);
}

void putStreamTotals(std::uint8_t* file, const TotalsFields& fields, const StreamTotals& totals, double audioRate) {
    putLe32(file + kLengthFieldOffset, static_cast<std::uint32_t>(totals.length - kFileHeadLength));
    putLe24(file + fields.frames, totals.frames);
    if (!fields.withAudio) return;
    putLe32(file + fields.samples, static_cast<std::uint32_t>(totals.samples));
    putLe24(file + fields.byteRate, videoByteRate(totals, audioRate));
}

}  // namespace zov
