// Builds ZOVF video streams by hand for the tests: header chunks, audio packets and video packets of
// hand-written segment commands, with the header totals filled in to match.
#pragma once

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
    std::size_t headerLength() const { return audio_ ? 46 : 30; }
    /// Offset in the finished file of the next packet to be added.
    std::size_t nextOffset() const { return headerLength() + packets_.size(); }

    Bytes bytes() const {
        Bytes out{'Z', 'O', 'V', 'F', 0, 0, 0, 0};
        if (audio_) {
            Bytes chunk{0x48, 0xC1, 12, 0, 'P', 'C', 'M', 'V', static_cast<std::uint8_t>(audioRate_ & 0xFF),
                        static_cast<std::uint8_t>(audioRate_ >> 8), 2, 1};
            put(chunk, static_cast<std::uint32_t>(audioBytes_ * 4), 4);
            out.insert(out.end(), chunk.begin(), chunk.end());
        }
        Bytes video{0x48, 0xD6, 18, 0, 'Q', '5', 'R', 'V'};
        put(video, static_cast<std::uint32_t>(geometry_.width), 2);
        put(video, static_cast<std::uint32_t>(geometry_.height), 2);
        put(video, frames_, 3);
        put(video, audio_ ? 1960 : 0, 2);
        video.push_back(static_cast<std::uint8_t>(geometry_.topCardRow * 8 | 3));
        video.push_back(static_cast<std::uint8_t>(geometry_.roleCount));
        put(video, 0, 3);
        out.insert(out.end(), video.begin(), video.end());
        out.insert(out.end(), packets_.begin(), packets_.end());
        std::uint32_t length = static_cast<std::uint32_t>(out.size() - 8);
        for (int i = 0; i < 4; ++i) out[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
        return out;
    }

private:
    static void put(Bytes& bytes, std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }

    Geometry geometry_;
    bool audio_;
    unsigned audioRate_;
    std::size_t audioBytes_ = 0;
    std::uint32_t frames_ = 0;
    Bytes packets_;
};

}  // namespace zov
