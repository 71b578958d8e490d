#include "vicview/stream_preview.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"
#include "formats/palette.h"
#include "formats/segment_player.h"
#include "vicview/contact_sheet.h"
#include "formats/displayed_frame.h"
#include "vicview/file_bytes.h"
#include "vicview/png_file.h"
#include "vicview/stream_movie.h"
#include "vicview/stream_timeline.h"
#include "vicview/vic_screen.h"
#include "vicview/view_exit.h"

#include <algorithm>
#include <cctype>
#include <cstring>

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
                   const std::string& dir, int frameCount, FilmWriter* film = nullptr)
        : bytes_(bytes), info_(info), settings_(settings), dir_(dir), sheet_(frameCount, frameWidth(), frameHeight()),
          film_(film) {}

    int frameWidth() const {
        if (settings_.crop) return info_.widthInCards() * 8;
        return kScreenWidth + (settings_.border ? 2 * kBorderLeftRight : 0);
    }
    int frameHeight() const {
        if (settings_.crop) return info_.height;
        return kScreenHeight + (settings_.border ? kBorderTop + kBorderBottom : 0);
    }
    /// Hands the last frame to the film, held up to the end of the given period.
    bool endFilm(std::uint32_t periods) {
        if (!film_ || framesShown_ == 0) return true;
        return film_->frame(held_, heldFrom_, std::max(periods, heldFrom_ + 1));
    }

    /// False at the first fault: problem is set for a malformed stream, writeFailed() when a picture could not
    /// be written. Frames shown before stay written.
    bool play(const std::vector<StreamPacket>& packets, FileProblem& problem);

    bool writeFailed() const { return writeFailed_; }
    int framesShown() const { return framesShown_; }
    std::uint32_t firstFrame() const { return firstFrame_; }
    std::uint32_t lastFrame() const { return lastFrame_; }
    const ContactSheet& sheet() const { return sheet_; }

private:
    bool filmFrame(const RgbImage& picture);

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
    FilmWriter* film_;
    RgbImage held_;               // the latest frame, until the next one says how long it stays
    std::uint32_t heldFrom_ = 0;  // period it is shown from
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

    if (film_) {
        if (!filmFrame(picture)) {
            writeFailed_ = true;
            return false;
        }
    } else {
        if (!writePngFile(joinPath(dir_, frameFileName(frameNumber_)), picture)) {
            writeFailed_ = true;
            return false;
        }
        sheet_.add(framesShown_, picture);
    }
    if (framesShown_ == 0) firstFrame_ = frameNumber_;
    lastFrame_ = frameNumber_;
    ++framesShown_;
    inFrame_ = false;
    return true;
}

bool StreamPlayback::filmFrame(const RgbImage& picture) {
    // A frame is shown from its picture's period until the next frame's. When the first pictures were dropped
    // the screen stays black until the first frame, so the pictures keep their time against the sound.
    std::uint32_t from = frameNumber_ - 1;
    if (framesShown_ == 0 && from > 0) {
        const VicPaletteRgb& palette = settings_.palette ? *settings_.palette : peptoPalette();
        if (!film_->frame(RgbImage(picture.width(), picture.height(), palette[kBlack]), 0, from)) return false;
    }
    if (framesShown_ > 0 && !film_->frame(held_, heldFrom_, from)) return false;
    held_ = picture;
    heldFrom_ = from;
    return true;
}

/// Reads the header and the packets and checks the totals; the exit code when the stream is malformed.
int loadStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, StreamInfo& info,
               std::vector<StreamPacket>& packets) {
    FileProblem problem;
    if (!readStreamHeader(bytes, info, problem)) {
        problem.text = "bad head: " + problem.text;
        reportMalformed(inputName, problem);
        return kViewMalformedInput;
    }
    if (!readStreamPackets(bytes, info, packets, problem) || !checkTotals(info, packets, problem)) {
        reportMalformed(inputName, problem);
        return kViewMalformedInput;
    }
    return kViewDone;
}

bool endsWith(const std::string& text, const char* suffix) {
    std::string tail = text.size() >= std::strlen(suffix) ? text.substr(text.size() - std::strlen(suffix)) : "";
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == suffix;
}

bool writeTimeline(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const StreamInfo& info,
                   const std::vector<StreamPacket>& packets, const std::string& dir, const StreamViewSettings& settings) {
    FrameClock clock = FrameClock::of(info, settings.fps);
    double bandwidth = settings.bandwidth > 0 ? settings.bandwidth : info.videoByteRate > 0 ? info.videoByteRate : 4000;
    const char* note = settings.bandwidth > 0      ? "(--bw)"
                       : info.videoByteRate > 0 ? "(the stream's video byte rate)"
                                                : "(the default)";
    std::vector<TimelineRow> rows = streamTimeline(bytes, packets);
    std::string csv = timelineCsv(rows, clock.irate);
    std::string svg = timelineSvg(rows, clock.irate, bandwidth, note, inputName + ": bytes per source picture");
    std::string csvPath = joinPath(dir, "timeline.csv"), svgPath = joinPath(dir, "timeline.svg");
    if (!writeWholeFile(csvPath, std::vector<std::uint8_t>(csv.begin(), csv.end())) ||
        !writeWholeFile(svgPath, std::vector<std::uint8_t>(svg.begin(), svg.end())))
        return false;
    int dropped = 0;
    for (const TimelineRow& row : rows) dropped += !row.shown;
    out() << dir << ": timeline of " << static_cast<unsigned long>(rows.size()) << " source pictures (" << dropped
          << " dropped) in " << csvPath << " and " << svgPath << eol;
    return true;
}

}  // namespace

bool isGifName(const std::string& path) { return endsWith(path, ".gif"); }
bool isFilmName(const std::string& path) { return isGifName(path) || endsWith(path, ".mp4"); }

std::string frameFileName(std::uint32_t frameNumber) {
    return formatted("frame%05lu.png", static_cast<unsigned long>(frameNumber));
}

PcmSound streamAudio(const std::vector<std::uint8_t>& bytes, const StreamInfo& info,
                     const std::vector<StreamPacket>& packets) {
    PcmSound sound;
    sound.rate = info.audioRate;
    for (const StreamPacket& packet : packets) {
        if (packet.kind != PacketKind::Audio) continue;
        PcmSound part = twoBitSound(bytes.data() + packet.contentOffset, packet.contentLength, info.audioRate);
        sound.samples.insert(sound.samples.end(), part.samples.begin(), part.samples.end());
    }
    return sound;
}

int previewStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const std::string& dir,
                  const StreamViewSettings& settings) {
    StreamInfo info;
    FileProblem problem;
    std::vector<StreamPacket> packets;
    if (int exit = loadStream(bytes, inputName, info, packets); exit != kViewDone) return exit;

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

    if (settings.timeline && !writeTimeline(bytes, inputName, info, packets, dir, settings)) return kViewWriteFailed;

    if (!settings.wavPath.empty() && !info.hasAudio) {
        out() << inputName << ": the stream has no audio; no " << settings.wavPath << " written" << eol;
    } else if (!settings.wavPath.empty()) {
        PcmSound sound = streamAudio(bytes, info, packets);
        if (!writeWaveFile(settings.wavPath, sound)) return kViewWriteFailed;
        out() << settings.wavPath << ": " << static_cast<unsigned long>(sound.samples.size()) << " samples of 2 bits at "
              << sound.rate << " Hz as 16-bit WAVE" << eol;
    }
    return kViewDone;
}

int filmStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const std::string& filmPath,
               const StreamViewSettings& settings) {
    StreamInfo info;
    std::vector<StreamPacket> packets;
    if (int exit = loadStream(bytes, inputName, info, packets); exit != kViewDone) return exit;
    FrameClock clock = FrameClock::of(info, settings.fps);
    PcmSound sound = streamAudio(bytes, info, packets);
    std::uint32_t lastPicture = 0;
    for (const StreamPacket& packet : packets)
        if (packet.kind == PacketKind::FirstVideo) lastPicture = std::max(lastPicture, packet.frameNumber);
    std::uint32_t periods = clock.periods(lastPicture, sound.samples.size(), sound.rate);

    StreamPlayback probe(bytes, info, settings, "", 0);
    std::unique_ptr<FilmWriter> film =
        isGifName(filmPath) ? gifWriter(filmPath, settings.palette ? *settings.palette : peptoPalette(), clock)
                            : mp4Writer(filmPath, probe.frameWidth(), probe.frameHeight(), settings.scale, clock, sound);
    if (!film) return kViewWriteFailed;
    StreamPlayback playback(bytes, info, settings, "", 0, film.get());
    FileProblem problem;
    bool played = playback.play(packets, problem);
    if (!played && playback.writeFailed()) return kViewWriteFailed;
    if (!played) {
        reportMalformed(inputName, problem);
        return kViewMalformedInput;
    }
    if (playback.framesShown() == 0) {
        out() << inputName << ": the stream shows no frame; no " << filmPath << " written" << eol;
        return kViewMalformedInput;
    }
    if (!playback.endFilm(periods) || !film->finish()) return kViewWriteFailed;
    out() << filmPath << ": " << playback.framesShown() << " frames over " << formatted("%g", periods / clock.irate)
          << " s at " << formatted("%g", clock.irate) << " pictures per second";
    if (!isGifName(filmPath) && !sound.samples.empty())
        out() << ", with " << formatted("%g", static_cast<double>(sound.samples.size()) / sound.rate) << " s of sound";
    out() << eol;
    return kViewDone;
}

}  // namespace zov
