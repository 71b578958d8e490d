// The one reading of a video stream that every program and fuzz target makes: the header, every packet in
// order, the frames they make (numbered from 1, the numbers strictly rising), every command decoded and
// played on the model of the player's memory, and the header's totals against what the packets hold. A
// stream that breaks a rule gives one StreamFault, which names the frame and the packet's offset.
#pragma once

#include "formats/displayed_frame.h"
#include "formats/segment_commands.h"
#include "formats/zovf_stream.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace zov {

/// The first rule a stream breaks, and where.
struct StreamFault {
    enum class Place {
        Header,       // a header field: offset is the field's
        BeforeFrames, // a packet before the first frame
        InFrame,      // a packet of frame `frame`, or one that opens it
        AfterFrame,   // a packet after frame `frame` ended and before the next begins
        Memory,       // no memory for the model of the player's: no place in the stream
    };
    Place place = Place::Header;
    std::uint32_t frame = 0;
    std::size_t offset = 0;  // of the packet's head, or of the header field
    std::string text;

    /// "frame 3 (packet at offset 120)", "the header (offset 20)", ...
    std::string where() const;
};

/// The one line that refuses a stream, alike in every program: "NAME: a damaged stream, WHERE: TEXT".
std::string streamRefusal(const std::string& name, const StreamFault& fault);

/// What a walk finds in a well-formed stream.
struct WalkedStream {
    StreamInfo info;
    std::vector<StreamPacket> packets;
    std::vector<std::uint32_t> frames;  // the frames' numbers, in order
    std::uint64_t samples = 0;          // audio samples in the packets
    std::uint32_t lastFrame() const { return frames.empty() ? 0 : frames.back(); }
};

/// What a reader of the stream is handed as the walk goes, in the stream's order. Each is called only for
/// what has passed the rules so far; a stream that breaks one later still had its earlier parts handed on.
class StreamVisitor {
public:
    virtual ~StreamVisitor() = default;
    /// An audio packet.
    virtual void sound(const StreamPacket&) {}
    /// A video packet of the frame numbered frame, before its commands.
    virtual void video(const StreamPacket&, std::uint32_t /*frame*/) {}
    /// A command, decoded, after it played.
    virtual void command(const SegmentCommand&) {}
    /// The Frame command of frame number frame has played: memory shows what display says.
    virtual void shown(std::uint32_t /*frame*/, const TargetMemory& /*memory*/, const DisplayAddresses& /*display*/) {}
};

/// Walks the whole stream in bytes, handing it to the visitors. True when it keeps every rule; otherwise
/// false with the first fault.
bool walkStream(const std::vector<std::uint8_t>& bytes, WalkedStream& stream, StreamFault& fault,
                std::initializer_list<StreamVisitor*> visitors = {});

/// Reads the header alone from a stream's first bytes (a compile that is only counted keeps no more): the
/// length field is not compared with them. False with the fault when they are no stream's head.
bool walkStreamHead(const std::vector<std::uint8_t>& head, StreamInfo& info, StreamFault& fault);

// ---- the header's totals, as a writer puts them and the walk checks them ---------------------------------------

/// What a stream holds, as its header tells it.
struct StreamTotals {
    std::uint64_t length = 0;   // bytes of the whole file
    std::uint32_t frames = 0;
    std::uint64_t samples = 0;  // audio samples
};

/// Where a header keeps its totals: file offsets; the samples and the video byte rate only with sound.
struct TotalsFields {
    bool withAudio = false;
    std::size_t samples = 0, frames = 0, byteRate = 0;
    static TotalsFields of(const StreamHeadLayout& layout);
    static TotalsFields of(const StreamInfo& info);
};

/// The video bytes per second of sound that the header names: the stream's bytes less its sound over the
/// seconds of sound, truncated; 0 without samples.
std::uint32_t videoByteRate(const StreamTotals& totals, double audioRate);

/// Writes the totals into the header at the start of file: the length field, the frames and, with sound, the
/// samples and the video byte rate.
void putStreamTotals(std::uint8_t* file, const TotalsFields& fields, const StreamTotals& totals, double audioRate);

}  // namespace zov
