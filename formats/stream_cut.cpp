#include "formats/stream_cut.h"

#include "formats/little_endian.h"

#include <algorithm>
#include <cmath>

namespace zov {
namespace {

constexpr int kSamplesPerByte = 4;

std::uint64_t soundBytes(const WalkedStream& stream) { return stream.samples / kSamplesPerByte; }

/// Seconds until the samples of the first bytes sound bytes have played.
double soundSeconds(const StreamInfo& info, std::uint64_t bytes) {
    return static_cast<double>(bytes * kSamplesPerByte) / info.audioRate;
}

/// The sound bytes whose samples have all played by seconds, at most total. The estimate is settled with
/// the same division streamSeconds makes, so a cut at the stream's own length keeps all of its sound.
std::uint64_t soundBytesBy(const StreamInfo& info, std::uint64_t total, double seconds) {
    if (!info.hasAudio || !(seconds > 0)) return 0;
    const double estimate = std::floor(seconds * info.audioRate / kSamplesPerByte);
    std::uint64_t kept = estimate >= static_cast<double>(total) ? total : static_cast<std::uint64_t>(estimate);
    while (kept < total && soundSeconds(info, kept + 1) <= seconds) ++kept;
    while (kept > 0 && soundSeconds(info, kept) > seconds) --kept;
    return kept;
}

/// Hands every packet that the cut keeps to keep(packet, payload bytes kept); a frame's packets are kept
/// whole or not at all, the sound packet the cut falls into loses its tail. Returns whether every packet was
/// kept whole.
template <class Keep>
bool forEachKept(const WalkedStream& stream, const StreamCut& cut, Keep keep) {
    std::uint64_t soundLeft = cut.audioBytes;
    bool frameKept = false, whole = true;
    for (const StreamPacket& packet : stream.packets) {
        if (packet.kind == PacketKind::Audio) {
            const std::uint64_t taken = std::min<std::uint64_t>(soundLeft, packet.contentLength);
            const bool kept = taken > 0 || (packet.contentLength == 0 && soundLeft > 0);
            soundLeft -= taken;
            whole = whole && kept && taken == packet.contentLength;
            if (kept) keep(packet, static_cast<std::size_t>(taken));
            continue;
        }
        if (packet.kind == PacketKind::FirstVideo)
            frameKept = frameDue(stream.info, packet.frameNumber, cut.picturesPerSecond) < cut.seconds;
        whole = whole && frameKept;
        if (frameKept) keep(packet, packet.payloadLength);
    }
    return whole;
}

}  // namespace

double frameDue(const StreamInfo& info, std::uint32_t frame, double picturesPerSecond) {
    if (frame <= 1) return 0;
    const double before = frame - 1.0;
    if (info.hasAudio) return before * info.samplesPerFrame / info.audioRate;
    return before / picturesPerSecond;
}

double streamSeconds(const WalkedStream& stream, double picturesPerSecond) {
    const StreamInfo& info = stream.info;
    const double pictures = stream.lastFrame() > 0 ? frameDue(info, stream.lastFrame() + 1, picturesPerSecond) : 0.0;
    return info.hasAudio ? std::max(pictures, soundSeconds(info, soundBytes(stream))) : pictures;
}

StreamCut planStreamCut(const WalkedStream& stream, double seconds, double picturesPerSecond) {
    StreamCut cut;
    cut.seconds = seconds;
    cut.picturesPerSecond = picturesPerSecond;
    cut.audioBytes = soundBytesBy(stream.info, soundBytes(stream), seconds);
    cut.length = stream.info.packetsStart;
    cut.whole = forEachKept(stream, cut, [&cut](const StreamPacket& packet, std::size_t payload) {
        cut.length += kPacketHeadLength + payload;
        if (packet.kind != PacketKind::FirstVideo) return;
        ++cut.frames;
        cut.lastFrame = packet.frameNumber;
    });
    return cut;
}

std::vector<std::uint8_t> cutStream(const std::vector<std::uint8_t>& bytes, const WalkedStream& stream,
                                    const StreamCut& cut) {
    if (cut.whole) return bytes;
    const StreamInfo& info = stream.info;
    std::vector<std::uint8_t> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(info.packetsStart));
    out.reserve(static_cast<std::size_t>(cut.length));
    forEachKept(stream, cut, [&](const StreamPacket& packet, std::size_t payload) {
        const std::size_t head = out.size();
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(packet.offset),
                   bytes.begin() + static_cast<std::ptrdiff_t>(packet.payloadOffset + payload));
        putLe16(&out[head + 2], static_cast<std::uint32_t>(payload));
    });
    const StreamTotals totals{out.size(), cut.frames, cut.audioBytes * kSamplesPerByte};
    putStreamTotals(out.data(), TotalsFields::of(info), totals, info.audioRate);
    return out;
}

}  // namespace zov
