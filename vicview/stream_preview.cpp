#include "vicview/stream_preview.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"
#include "frameconv/picture/palette.h"
#include "frameconv/video/segment_player.h"
#include "vicview/contact_sheet.h"
#include "vicview/displayed_frame.h"
#include "vicview/png_file.h"
#include "vicview/vic_screen.h"
#include "vicview/view_exit.h"

namespace zov {
namespace {

void reportMalformed(const std::string& inputName, const FileProblem& problem) {
    out() << inputName << ": malformed stream at offset " << static_cast<unsigned long>(problem.offset) << ": "
          << problem.text << eol;
}

/// The totals in the header must describe the packets that follow it.
bool checkTotals(const StreamInfo& info, const std::vector<StreamPacket>& packets, FileProblem& problem) {
    std::uint32_t frames = 0;
    std::uint64_t samples = 0;
    for (const StreamPacket& packet : packets) {
        if (packet.kind == PacketKind::FirstVideo) ++frames;
        if (packet.kind == PacketKind::Audio) samples += 4 * packet.contentLength;
    }
    if (frames != info.frames) {
        problem = {info.framesField, formatted("bad head: it announces %lu frames, the stream holds %lu",
                                               static_cast<unsigned long>(info.frames),
                                               static_cast<unsigned long>(frames))};
        return false;
    }
    if (info.hasAudio && samples != info.samples) {
        problem = {info.samplesField, formatted("bad head: it announces %lu audio samples, the stream holds %llu",
                                                static_cast<unsigned long>(info.samples),
                                                static_cast<unsigned long long>(samples))};
        return false;
    }
    if (!info.hasAudio && samples > 0) {
        const StreamPacket* first = nullptr;
        for (const StreamPacket& packet : packets)
            if (packet.kind == PacketKind::Audio && !first) first = &packet;
        problem = {first->offset, "an audio packet in a stream without an audio chunk"};
        return false;
    }
    return true;
}

/// Plays the video packets in order on the target memory model and writes every shown frame.
class StreamPlayback {
public:
    StreamPlayback(const std::vector<std::uint8_t>& bytes, const StreamInfo& info, const StreamViewSettings& settings,
                   const std::string& dir, int frameCount)
        : bytes_(bytes), info_(info), settings_(settings), dir_(dir), sheet_(frameCount, frameWidth(), frameHeight()) {}

    /// False at the first fault: problem is set for a malformed stream, writeFailed() when a picture could not
    /// be written. Frames shown before stay written.
    bool play(const std::vector<StreamPacket>& packets, FileProblem& problem);

    bool writeFailed() const { return writeFailed_; }
    int framesShown() const { return framesShown_; }
    std::uint32_t firstFrame() const { return firstFrame_; }
    std::uint32_t lastFrame() const { return lastFrame_; }
    const ContactSheet& sheet() const { return sheet_; }

private:
    int frameWidth() const {
        if (settings_.crop) return info_.widthInCards() * 8;
        return kScreenWidth + (settings_.border ? 2 * kBorderLeftRight : 0);
    }
    int frameHeight() const {
        if (settings_.crop) return info_.height;
        return kScreenHeight + (settings_.border ? 2 * kBorderTopBottom : 0);
    }

    bool startFrame(const StreamPacket& packet, FileProblem& problem);
    bool runCommands(const StreamPacket& packet, FileProblem& problem);
    bool showFrame(std::uint8_t m1, std::uint8_t m2, std::uint8_t m3);

    const std::vector<std::uint8_t>& bytes_;
    const StreamInfo& info_;
    const StreamViewSettings& settings_;
    std::string dir_;
    ContactSheet sheet_;
    TargetMemory memory_;
    SegmentPlayer player_{memory_};

    bool inFrame_ = false;          // a frame's first packet came and its Frame command has not
    std::uint32_t frameNumber_ = 0;
    bool writeFailed_ = false;
    int framesShown_ = 0;
    std::uint32_t firstFrame_ = 0;
    std::uint32_t lastFrame_ = 0;
};

bool StreamPlayback::play(const std::vector<StreamPacket>& packets, FileProblem& problem) {
    if (!memory_.allocate()) {
        problem = {0, "out of memory for the target memory model"};
        return false;
    }
    for (const StreamPacket& packet : packets) {
        if (packet.kind == PacketKind::Audio) continue;
        if (packet.kind == PacketKind::FirstVideo && !startFrame(packet, problem)) return false;
        if (packet.kind == PacketKind::MoreVideo && !inFrame_) {
            problem = {packet.offset, "a further video packet outside a frame"};
            return false;
        }
        if (!runCommands(packet, problem)) return false;
    }
    if (inFrame_) {
        problem = {bytes_.size(), formatted("the stream ends inside frame %lu", static_cast<unsigned long>(frameNumber_))};
        return false;
    }
    return true;
}

bool StreamPlayback::startFrame(const StreamPacket& packet, FileProblem& problem) {
    if (inFrame_) {
        problem = {packet.offset, formatted("frame %lu starts before frame %lu has ended",
                                            static_cast<unsigned long>(packet.frameNumber),
                                            static_cast<unsigned long>(frameNumber_))};
        return false;
    }
    if (framesShown_ > 0 && packet.frameNumber <= lastFrame_) {
        problem = {packet.payloadOffset, formatted("frame number %lu after frame %lu",
                                                   static_cast<unsigned long>(packet.frameNumber),
                                                   static_cast<unsigned long>(lastFrame_))};
        return false;
    }
    inFrame_ = true;
    frameNumber_ = packet.frameNumber;
    return true;
}

const char* playErrorText(PlayError error) {
    switch (error) {
    case PlayError::InvalidCommand: return "invalid command byte";
    case PlayError::TruncatedCommand: return "a command split across packets";
    case PlayError::SourceOverlapsDestination: return "a copy whose source overlaps its destination";
    case PlayError::AddressOutOfRange: return "an address outside 0x0200..0xBFFF";
    default: return "";
    }
}

bool StreamPlayback::runCommands(const StreamPacket& packet, FileProblem& problem) {
    // Command by command, so that a Frame command shows its frame at once and anything behind it is caught.
    std::size_t at = 0;
    while (at < packet.contentLength) {
        std::size_t offset = packet.contentOffset + at;
        int framesBefore = player_.framesEnded();
        int length = 0;
        PlayError error = player_.playCommand(&bytes_[offset], packet.contentLength - at, &length);
        if (error != PlayError::None) {
            problem = {offset, playErrorText(error)};
            if (error == PlayError::InvalidCommand) problem.text += formatted(" 0x%02X", bytes_[offset]);
            return false;
        }
        at += static_cast<std::size_t>(length);
        if (player_.framesEnded() == framesBefore) continue;
        if (at < packet.contentLength) {
            problem = {packet.contentOffset + at, "commands after the Frame command"};
            return false;
        }
        return showFrame(player_.frameM1(), player_.frameM2(), player_.frameM3());
    }
    return true;
}

bool StreamPlayback::showFrame(std::uint8_t m1, std::uint8_t m2, std::uint8_t m3) {
    DisplayAddresses display = decodeFrameRegisters(m1, m2, m3);
    // The converter pins Black to the FG role of multicolour pictures, so the stream need not carry it.
    int foreground = settings_.foreground >= 0 ? settings_.foreground : kBlack;
    VicScreen screen = screenFromMemory(memory_, display, foreground);
    RenderSettings render;
    render.mode = info_.multicolour() ? VicMode::Multicolour : VicMode::HiRes;
    render.palette = settings_.palette;
    render.border = settings_.border && !settings_.crop;
    render.borderColour = settings_.borderColour >= 0 ? settings_.borderColour : display.background;
    RgbImage picture = renderScreen(screen, render);
    if (settings_.crop)
        picture = picture.cropped(info_.leftCard() * 8, info_.topCardRow * 8, frameWidth(), frameHeight());

    if (!writePngFile(joinPath(dir_, frameFileName(frameNumber_)), picture)) {
        writeFailed_ = true;
        return false;
    }
    sheet_.add(framesShown_, picture);
    if (framesShown_ == 0) firstFrame_ = frameNumber_;
    lastFrame_ = frameNumber_;
    ++framesShown_;
    inFrame_ = false;
    return true;
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
    std::vector<StreamPacket> packets;
    if (!readStreamHeader(bytes, info, problem)) {
        problem.text = "bad head: " + problem.text;
        reportMalformed(inputName, problem);
        return kViewMalformedInput;
    }
    if (!readStreamPackets(bytes, info, packets, problem) || !checkTotals(info, packets, problem)) {
        reportMalformed(inputName, problem);
        return kViewMalformedInput;
    }
    if (!settings.wavPath.empty() && !info.hasAudio) {
        out() << inputName << ": the stream has no audio for " << settings.wavPath << eol;
        return kViewMalformedInput;
    }

    fileSystem().makeDirectory(dir);
    if (fileSystem().kind(dir) != PathKind::Directory) {
        out() << "Couldn't create directory " << dir << eol;
        return kViewWriteFailed;
    }
    StreamPlayback playback(bytes, info, settings, dir, static_cast<int>(info.frames));
    bool played = playback.play(packets, problem);
    if (!played && playback.writeFailed()) return kViewWriteFailed;
    if (!played) {
        reportMalformed(inputName, problem);
        if (playback.framesShown() > 0)
            out() << dir << ": the " << playback.framesShown() << " frames before it are written" << eol;
        return kViewMalformedInput;
    }

    std::string sheetPath = joinPath(dir, "contact.png");
    if (!writePngFile(sheetPath, playback.sheet().picture())) return kViewWriteFailed;
    out() << dir << ": " << playback.framesShown() << " frames";
    if (playback.framesShown() > 0)
        out() << " (" << frameFileName(playback.firstFrame()) << " .. " << frameFileName(playback.lastFrame()) << ")";
    out() << ", contact sheet " << sheetPath;
    if (playback.sheet().step() > 1) out() << " (one frame in " << playback.sheet().step() << ")";
    out() << eol;

    if (!settings.wavPath.empty()) {
        PcmSound sound = streamAudio(bytes, info, packets);
        if (!writeWaveFile(settings.wavPath, sound)) return kViewWriteFailed;
        out() << settings.wavPath << ": " << static_cast<unsigned long>(sound.samples.size()) << " samples of 2 bits at "
              << sound.rate << " Hz as 16-bit WAVE" << eol;
    }
    return kViewDone;
}

}  // namespace zov
