// Builds ZOVF video streams by hand for the tests: header chunks, audio packets and video packets of
// hand-written segment commands, with the header totals filled in to match.
#pragma once

#include "formats/stream_head.h"

#include <cstdint>
#include <vector>

namespace zov {

struct StreamGeometry {
    int width = 160;  // picture pixels
    int height = 200;
    int topCardRow = 0;
    int roleCount = 4;
};

class StreamBuilder {
public:
    using Geometry = StreamGeometry;
    using Bytes = std::vector<std::uint8_t>;

    explicit StreamBuilder(Geometry geometry = {}, bool audio = false, unsigned audioRate = 7843)
        : geometry_(geometry), audio_(audio), audioRate_(audioRate) {}

    /// A frame's first video packet: its number, then commands.
    StreamBuilder& frame(unsigned number, const Bytes& commands) { return packet('V', '0', number, true, commands); }
    /// A further video packet of the frame.
    StreamBuilder& more(const Bytes& commands) { return packet('V', 0xB0, 0, false, commands); }
    StreamBuilder& sound(const Bytes& payload) {
        audioBytes_ += payload.size();
        return packet('A', '1', 0, false, payload);
    }
    /// Any packet, for malformed ones.
    StreamBuilder& packet(std::uint8_t type, std::uint8_t sub, unsigned number, bool numbered, const Bytes& content) {
        Bytes payload;
        if (numbered) payload = {static_cast<std::uint8_t>(number & 0xFF), static_cast<std::uint8_t>(number >> 8)};
        payload.insert(payload.end(), content.begin(), content.end());
        packets_.insert(packets_.end(), {type, sub, static_cast<std::uint8_t>(payload.size() & 0xFF),
                                         static_cast<std::uint8_t>(payload.size() >> 8)});
        packets_.insert(packets_.end(), payload.begin(), payload.end());
        if (numbered) ++frames_;
        return *this;
    }

    /// Offset in the finished file where the packets begin.
    std::size_t headerLength() const { return static_cast<std::size_t>(StreamHeadLayout{audio_}.length()); }
    /// Offset in the finished file of the next packet to be added.
    std::size_t nextOffset() const { return headerLength() + packets_.size(); }

    Bytes bytes() const {
        StreamHead head;
        head.withAudio = audio_;
        if (audio_) {
            head.audioRate = audioRate_;
            head.samplesPerPicture = 1960;
            head.samples = static_cast<std::uint32_t>(audioBytes_ * 4);
        }
        head.width = geometry_.width;
        head.height = geometry_.height;
        head.topCardRow = geometry_.topCardRow;
        head.roleCount = geometry_.roleCount;
        head.frames = frames_;
        head.lengthField = static_cast<std::uint32_t>(headerLength() + packets_.size() - kFileHeadLength);
        Bytes out(headerLength());
        putStreamHead(out.data(), head);
        out.insert(out.end(), packets_.begin(), packets_.end());
        return out;
    }

private:

    Geometry geometry_;
    bool audio_;
    unsigned audioRate_;
    std::size_t audioBytes_ = 0;
    std::uint32_t frames_ = 0;
    Bytes packets_;
};

}  // namespace zov
