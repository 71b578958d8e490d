// Arbitrary bytes as a video stream, through the walk that every program reads a stream with, vicview's
// timeline and the timing of its films. Whatever the input:
// - a header that the walk takes is taken alike from the stream's first bytes alone, and describes a picture
//   that fits the screen; the packets lie end to end from the header to the end of the file; the frames are
//   numbered from 1 and rise; the header's totals are what the packets hold;
// - the commands, played one by one as the walk hands them on, leave the memory that the same packets
//   played whole leave, and every frame shows a screen;
// - the timeline has a row for every source picture up to the last frame, a shown one for every frame, and
//   counts every byte of every packet; a film holds black, then each frame in turn, in spans that follow each
//   other from the start to its end;
// - a stream that the walk refuses is refused by vicview (a directory with its timeline and WAVE) and by vicpack
//   with the walk's one line and their exit codes, and nothing is written.
// Reads and writes outside the memory and the file are the sanitizers'.
#include "formats/sound_header.h"
#include "formats/segment_player.h"
#include "formats/stream_walk.h"
#include "fuzz/fuzz_support.h"
#include "vicpack/pack_exit.h"
#include "vicpack/vicpack_app.h"
#include "vicview/stream_movie.h"
#include "vicview/stream_timeline.h"
#include "vicview/vicview_app.h"
#include "vicview/view_exit.h"

#include <cstring>
#include <vector>

namespace {

using namespace zov;

void require(bool holds, const char* property) {
    static const StringConsole none;
    fuzz::require(holds, property, none);
}

void checkHeader(const std::vector<std::uint8_t>& bytes, const StreamInfo& info) {
    require(info.packetsStart <= bytes.size(), "the packets start inside the file");
    require(info.widthInCards() >= 1 && info.leftCard() >= 0, "the picture is 1 to 40 cards wide");
    require(info.heightInCards() >= 1 && info.topCardRow + info.heightInCards() <= 25, "the picture fits the 25 rows");
    const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + static_cast<long>(info.packetsStart));
    StreamInfo fromHead;
    StreamFault fault;
    require(walkStreamHead(head, fromHead, fault), "the header alone is read as a stream's head");
    require(fromHead.frames == info.frames && fromHead.width == info.width && fromHead.height == info.height &&
                fromHead.hasAudio == info.hasAudio && fromHead.samples == info.samples &&
                fromHead.packetsStart == info.packetsStart,
            "the head gives the header's fields");
}

void checkPackets(const std::vector<std::uint8_t>& bytes, const WalkedStream& stream) {
    std::size_t at = stream.info.packetsStart;
    std::uint64_t samples = 0;
    std::vector<std::uint32_t> frames;
    for (const StreamPacket& packet : stream.packets) {
        require(packet.offset == at, "each packet follows the one before");
        require(packet.contentOffset >= packet.payloadOffset &&
                    packet.contentOffset + packet.contentLength == packet.payloadOffset + packet.payloadLength,
                "a packet's content is the end of its payload");
        require(packet.kind == PacketKind::Audio || packet.payloadLength <= kMaxVideoPayload, "a video packet fits");
        if (packet.kind == PacketKind::Audio) samples += 4 * packet.contentLength;
        if (packet.kind == PacketKind::FirstVideo) frames.push_back(packet.frameNumber);
        at = packet.payloadOffset + packet.payloadLength;
    }
    require(at == bytes.size(), "the packets end with the file");
    require(frames == stream.frames, "the frames are the first video packets'");
    for (std::size_t i = 0; i < frames.size(); ++i)
        require(frames[i] >= 1 && (i == 0 || frames[i] > frames[i - 1]), "frames are numbered from 1 and rise");
    require(frames.size() == stream.info.frames, "the header's frame count");
    require(samples == stream.samples && (!stream.info.hasAudio || samples == stream.info.samples),
            "the header's sample count");
}

/// Plays every video packet whole, and reads back the screen each frame shows. What it finds is judged once
/// the walk has taken the whole stream: a packet that breaks a rule later may not play whole.
class WholePackets final : public StreamVisitor {
public:
    explicit WholePackets(const std::vector<std::uint8_t>& bytes) : bytes_(bytes), memory_(zeroedMemory()) {}
    void video(const StreamPacket& packet, std::uint32_t) override {
        played_ = played_ && player_.play(bytes_.data() + packet.contentOffset, packet.contentLength).ok();
    }
    void shown(std::uint32_t, const TargetMemory& memory, const DisplayAddresses& display) override {
        same_ = same_ && std::memcmp(memory.data(), memory_.data(), kTargetImageSize) == 0;
        const VicScreen screen = screenFromMemory(memory, display, 0);
        require(screen.background >= 0 && screen.background < 16, "the background is a colour");
        ++shown_;
    }
    void check(const WalkedStream& stream) const {
        require(played_, "a whole packet plays");
        require(same_, "command by command and packet by packet leave the same memory");
        require(shown_ == stream.frames.size(), "every frame is shown");
    }

private:
    /// One memory for every run, zeroed for each: the target runs faster without a fresh allocation each time.
    static TargetMemory& zeroedMemory() {
        static TargetMemory memory;
        if (!memory.allocated()) require(memory.allocate(), "memory for the target");
        std::memset(memory.data(), 0, kTargetImageSize);
        return memory;
    }

    const std::vector<std::uint8_t>& bytes_;
    TargetMemory& memory_;
    SegmentPlayer player_{memory_};
    bool played_ = true, same_ = true;
    std::size_t shown_ = 0;
};

void checkTimeline(const WalkedStream& stream, const std::vector<TimelineRow>& rows) {
    require(rows.size() == stream.lastFrame(), "a row for every source picture up to the last frame");
    std::size_t shown = 0, bytes = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        require(rows[i].number == i + 1, "the rows are the pictures in order");
        shown += rows[i].shown;
        bytes += rows[i].totalBytes();
    }
    require(shown == stream.frames.size(), "a shown row for every frame");
    std::size_t packetBytes = 0;
    for (const StreamPacket& packet : stream.packets) packetBytes += kPacketHeadLength + packet.payloadLength;
    require(stream.frames.empty() || bytes == packetBytes, "the timeline counts every packet byte");
    if (!rows.empty()) require(!timelineCsv(rows, 4).empty(), "a table");
}

void checkFilmTiming(const WalkedStream& stream) {
    const FrameClock clock = FrameClock::of(stream.info, 0);
    const std::uint32_t periods = clock.periods(stream.lastFrame(), stream.samples, stream.info.audioRate);
    const FilmTiming timing = filmTiming(stream.frames, periods);
    require(timing.frames.size() == stream.frames.size(), "a span for every frame");
    if (stream.frames.empty()) return;
    require(timing.black.start == 0 && timing.black.end == timing.frames.front().start, "black up to the first frame");
    for (std::size_t i = 0; i < timing.frames.size(); ++i) {
        const FilmSpan span = timing.frames[i];
        require(span.start < span.end, "every frame is held for a while");
        require(i + 1 == timing.frames.size() || span.end == timing.frames[i + 1].start, "the spans follow each other");
        require(clock.centiseconds(span.start) <= clock.centiseconds(span.end), "a GIF's delays are never negative");
    }
    require(timing.frames.back().end == std::max(periods, stream.lastFrame()), "the film lasts its periods");
}

/// vicview and vicpack refuse the stream with the walk's line and their exit codes, and write nothing.
void checkRefusal(const std::vector<std::uint8_t>& bytes, const StreamFault& fault) {
    if (!isZovf(bytes) || isZovSound(bytes)) return;  // not read as a video stream
    const std::string line = streamRefusal("in.zov", fault) + "\n";
    auto refused = [&](const std::vector<std::string>& args, int code) {
        fuzz::QuietPlatform platform;
        platform.files.addFile("in.zov", fuzz::Bytes(bytes.begin(), bytes.end()));
        const int exit = args[0] == "vicview" ? runVicview(args) : runVicpack(args);
        fuzz::require(exit == code && platform.console.output() == line, "the walk's refusal", platform.console);
        std::vector<std::string> names;
        platform.files.list("", names);
        fuzz::require(names.size() == 1, "nothing written", platform.console);
    };
    // Every kind of output refuses before it starts (tests/formats): a directory with all it holds stands for them.
    refused({"vicview", "in.zov", "out", "--timeline", "--wav", "out.wav"}, kViewMalformedInput);
    refused({"vicpack", "in.zov", "out.prg"}, kPackUnusableInput);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    StreamInfo info;
    FileProblem problem;
    // Most changed inputs no longer match their length field: they are set right, so that the packets and
    // the player behind the header see them too.
    if (!readStreamHeader(bytes, info, problem) && bytes.size() >= kFileHeadLength)
        putLe32(bytes.data() + kLengthFieldOffset, static_cast<std::uint32_t>(bytes.size() - kFileHeadLength));

    WalkedStream stream;
    StreamFault fault;
    WholePackets whole(bytes);
    StreamTimeline timeline;
    if (!walkStream(bytes, stream, fault, {&whole, &timeline})) {
        require(fault.offset <= bytes.size() && !fault.text.empty(), "a fault names its place");
        checkRefusal(bytes, fault);
        return 0;
    }
    checkHeader(bytes, stream.info);
    checkPackets(bytes, stream);
    whole.check(stream);
    checkTimeline(stream, timeline.takeRows());
    checkFilmTiming(stream);
    return 0;
}
