// Where a stream's bytes went, picture by picture: a CSV table and an SVG chart of the bytes per source
// picture (video, audio, packet heads) against the bandwidth, with the dropped pictures marked.
#pragma once

#include "formats/segment_commands.h"
#include "formats/stream_walk.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zov {

struct TimelineRow {
    std::uint32_t number = 0;  // source picture, from 1
    bool shown = false;
    int videoPackets = 0, audioPackets = 0;
    std::size_t videoBytes = 0;  // video payloads, frame numbers included
    std::size_t audioBytes = 0;
    std::array<int, kCommandClassCount> commands{};  // per class, in table order
    std::uint32_t buffer = 0;  // target address of the bitmap the frame was built in
    std::size_t headBytes() const { return 4 * static_cast<std::size_t>(videoPackets + audioPackets); }
    std::size_t totalBytes() const { return videoBytes + audioBytes + headBytes(); }
};

/// Counts a stream's bytes and commands per source picture as a walk hands them on: one row per source picture
/// up to the last one shown. Audio packets count to the frame whose video comes next (the muxer sends a frame's
/// audio ahead of and between its video packets); audio behind the last video packet counts to the last frame.
class StreamTimeline final : public StreamVisitor {
public:
    void sound(const StreamPacket& packet) override;
    void video(const StreamPacket& packet, std::uint32_t frame) override;
    void command(const SegmentCommand& command) override;
    /// Hands over the rows, the audio that has no video behind it counted to the last frame.
    std::vector<TimelineRow> takeRows();

private:
    std::vector<TimelineRow> rows_;
    std::size_t pendingAudio_ = 0;
    int pendingPackets_ = 0;
};

std::string timelineCsv(const std::vector<TimelineRow>& rows, double irate);

/// The chart; bandwidth in bytes per second, drawn as bytes per picture, with a note on where it comes from.
std::string timelineSvg(const std::vector<TimelineRow>& rows, double irate, double bandwidth,
                        const std::string& bandwidthNote, const std::string& title);

}  // namespace zov
