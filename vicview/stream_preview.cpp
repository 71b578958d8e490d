#include "vicview/stream_preview.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"

namespace zov {
namespace {

void reportMalformed(const std::string& inputName, const FileProblem& problem) {
    out() << inputName << ": malformed stream at offset " << static_cast<unsigned long>(problem.offset) << ": "
          << problem.text << eol;
}

}  // namespace

std::string frameFileName(std::uint32_t frameNumber) {
    return formatted("frame%05lu.png", static_cast<unsigned long>(frameNumber));
}

PcmSound streamAudio(const std::vector<std::uint8_t>& bytes, const StreamInfo& info,
                     const std::vector<StreamPacket>& packets) {
    PcmSound sound;
    sound.rate = info.audioRate;
    for (const StreamPacket& packet : packets) {
        if (packet.kind != PacketKind::Audio) continue;
        for (std::size_t i = 0; i < packet.contentLength; ++i) {
            std::uint8_t byte = bytes[packet.contentOffset + i];
            for (int shift = 6; shift >= 0; shift -= 2) sound.samples.push_back(widenSample((byte >> shift) & 3, 2));
        }
    }
    return sound;
}

int previewStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const std::string& dir,
                  const StreamViewSettings& settings) {
    StreamInfo info;
    FileProblem problem;
    if (!readStreamHeader(bytes, info, problem)) {
        problem.text = "bad head: " + problem.text;
        reportMalformed(inputName, problem);
        return 3;
    }
    std::vector<StreamPacket> packets;
    if (!readStreamPackets(bytes, info, packets, problem)) {
        reportMalformed(inputName, problem);
        return 3;
    }
    if (!settings.wavPath.empty() && !info.hasAudio) {
        out() << inputName << ": the stream carries no audio for " << settings.wavPath << eol;
        return 3;
    }
    (void)dir;
    return 3;
}

}  // namespace zov
