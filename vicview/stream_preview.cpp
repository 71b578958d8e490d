#include "vicview/stream_preview.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"
#include "formats/palette.h"
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

/// Walks the stream to see that it keeps every rule: kViewDone, or the exit code after its one line.
int walkOrRefuse(const std::vector<std::uint8_t>& bytes, const std::string& inputName, WalkedStream& stream) {
    StreamFault fault;
    if (walkStream(bytes, stream, fault)) return kViewDone;
    out() << streamRefusal(inputName, fault) << eol;
    return kViewMalformedInput;
}

/// Draws every frame that the walk shows as the settings ask and hands the picture on.
class FramePictures : public StreamVisitor {
public:
    FramePictures(const StreamInfo& info, const StreamViewSettings& settings) : info_(info), settings_(settings) {}

    int width() const {
        if (settings_.crop) return info_.widthInCards() * 8;
        return kScreenWidth + (settings_.border ? 2 * kBorderLeftRight : 0);
    }
    int height() const {
        if (settings_.crop) return info_.height;
        return kScreenHeight + (settings_.border ? kBorderTop + kBorderBottom : 0);
    }

    void shown(std::uint32_t frame, const TargetMemory& memory, const DisplayAddresses& display) override {
        // After a failed write the rest of the walk only plays.
        if (!failed_ && !take(frame, picture(memory, display))) failed_ = true;
        ++index_;
    }
    /// Whether a picture could not be written (the problem has been printed).
    bool failed() const { return failed_; }

protected:
    /// Takes the picture of a frame; false when it cannot be written.
    virtual bool take(std::uint32_t frame, const RgbImage& picture) = 0;
    int index() const { return index_; }  // of the frame being taken, from 0
    const StreamViewSettings& settings() const { return settings_; }

private:
    RgbImage picture(const TargetMemory& memory, const DisplayAddresses& display) const {
        // The converter pins Black to the FG role of multicolour pictures, so the stream need not carry it.
        const int foreground = settings_.foreground >= 0 ? settings_.foreground : kBlack;
        VicScreen screen = screenFromMemory(memory, display, foreground);
        RenderSettings render;
        render.mode = info_.multicolour() ? VicMode::Multicolour : VicMode::HiRes;
        render.palette = settings_.palette;
        render.border = settings_.border && !settings_.crop;
        render.borderColour = settings_.borderColour >= 0 ? settings_.borderColour : display.background;
        RgbImage picture = renderScreen(screen, render);
        if (settings_.crop) picture = picture.cropped(info_.leftCard() * 8, info_.topCardRow * 8, width(), height());
        return picture;
    }

    const StreamInfo& info_;
    const StreamViewSettings& settings_;
    int index_ = 0;
    bool failed_ = false;
};

/// A PNG file per frame in a directory, and the contact sheet.
class DirectoryFrames final : public FramePictures {
public:
    DirectoryFrames(const StreamInfo& info, const StreamViewSettings& settings, std::string dir, int frameCount)
        : FramePictures(info, settings), dir_(std::move(dir)), sheet_(frameCount, width(), height()) {}
    const ContactSheet& sheet() const { return sheet_; }

private:
    bool take(std::uint32_t frame, const RgbImage& picture) override {
        if (!writePngFile(joinPath(dir_, frameFileName(frame)), picture)) return false;
        sheet_.add(index(), picture);
        return true;
    }

    std::string dir_;
    ContactSheet sheet_;
};

/// The frames into a film, each held as the timing says.
class FilmFrames final : public FramePictures {
public:
    FilmFrames(const StreamInfo& info, const StreamViewSettings& settings, FilmTiming timing)
        : FramePictures(info, settings), timing_(std::move(timing)) {}
    void into(FilmWriter& film) { film_ = &film; }

private:
    bool take(std::uint32_t, const RgbImage& picture) override {
        const FilmSpan black = timing_.black;
        if (index() == 0 && black.start < black.end) {
            const VicPaletteRgb& palette = settings().palette ? *settings().palette : peptoPalette();
            if (!film_->frame(RgbImage(picture.width(), picture.height(), palette[kBlack]), black.start, black.end))
                return false;
        }
        const FilmSpan span = timing_.frames[static_cast<std::size_t>(index())];
        return film_->frame(picture, span.start, span.end);
    }

    FilmTiming timing_;
    FilmWriter* film_ = nullptr;
};

bool endsWith(const std::string& text, const char* suffix) {
    std::string tail = text.size() >= std::strlen(suffix) ? text.substr(text.size() - std::strlen(suffix)) : "";
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == suffix;
}

bool writeTimeline(const std::string& inputName, const StreamInfo& info, const std::vector<TimelineRow>& rows,
                   const std::string& dir, const StreamViewSettings& settings) {
    FrameClock clock = FrameClock::of(info, settings.fps);
    double bandwidth = settings.bandwidth > 0 ? settings.bandwidth : info.videoByteRate > 0 ? info.videoByteRate : 4000;
    const char* note = settings.bandwidth > 0      ? "(--bw)"
                       : info.videoByteRate > 0 ? "(the stream's video byte rate)"
                                                : "(the default)";
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

PcmSound streamAudio(const std::vector<std::uint8_t>& bytes, const WalkedStream& stream) {
    PcmSound sound;
    sound.rate = stream.info.audioRate;
    for (const StreamPacket& packet : stream.packets) {
        if (packet.kind != PacketKind::Audio) continue;
        PcmSound part = twoBitSound(bytes.data() + packet.contentOffset, packet.contentLength, sound.rate);
        sound.samples.insert(sound.samples.end(), part.samples.begin(), part.samples.end());
    }
    return sound;
}

int previewStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const std::string& dir,
                  const StreamViewSettings& settings) {
    WalkedStream stream;
    if (int exit = walkOrRefuse(bytes, inputName, stream); exit != kViewDone) return exit;

    fileSystem().makeDirectory(dir);
    if (fileSystem().kind(dir) != PathKind::Directory) {
        out() << "Couldn't create directory " << dir << eol;
        return kViewWriteFailed;
    }
    DirectoryFrames frames(stream.info, settings, dir, static_cast<int>(stream.frames.size()));
    StreamTimeline timeline;
    StreamFault fault;
    walkStream(bytes, stream, fault, {&frames, &timeline});  // the same walk again: it keeps every rule
    if (frames.failed()) return kViewWriteFailed;

    std::string sheetPath = joinPath(dir, "contact.png");
    if (!writePngFile(sheetPath, frames.sheet().picture())) return kViewWriteFailed;
    out() << dir << ": " << static_cast<unsigned long>(stream.frames.size()) << " frames";
    if (!stream.frames.empty())
        out() << " (" << frameFileName(stream.frames.front()) << " .. " << frameFileName(stream.lastFrame()) << ")";
    out() << ", contact sheet " << sheetPath;
    if (frames.sheet().step() > 1) out() << " (one frame in " << frames.sheet().step() << ")";
    out() << eol;

    if (settings.timeline && !writeTimeline(inputName, stream.info, timeline.takeRows(), dir, settings))
        return kViewWriteFailed;

    if (!settings.wavPath.empty() && !stream.info.hasAudio) {
        out() << inputName << ": the stream has no audio; no " << settings.wavPath << " written" << eol;
    } else if (!settings.wavPath.empty()) {
        PcmSound sound = streamAudio(bytes, stream);
        if (!writeWaveFile(settings.wavPath, sound)) return kViewWriteFailed;
        out() << settings.wavPath << ": " << static_cast<unsigned long>(sound.samples.size()) << " samples of 2 bits at "
              << sound.rate << " Hz as 16-bit WAVE" << eol;
    }
    return kViewDone;
}

int filmStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const std::string& filmPath,
               const StreamViewSettings& settings) {
    WalkedStream stream;
    if (int exit = walkOrRefuse(bytes, inputName, stream); exit != kViewDone) return exit;
    if (stream.frames.empty()) {
        out() << inputName << ": the stream shows no frame; no " << filmPath << " written" << eol;
        return kViewMalformedInput;
    }
    FrameClock clock = FrameClock::of(stream.info, settings.fps);
    PcmSound sound = streamAudio(bytes, stream);
    std::uint32_t periods = clock.periods(stream.lastFrame(), sound.samples.size(), sound.rate);

    FilmFrames frames(stream.info, settings, filmTiming(stream.frames, periods));
    std::unique_ptr<FilmWriter> film =
        isGifName(filmPath) ? gifWriter(filmPath, settings.palette ? *settings.palette : peptoPalette(), clock)
                            : mp4Writer(filmPath, frames.width(), frames.height(), settings.scale, clock, sound);
    if (!film) return kViewWriteFailed;
    frames.into(*film);
    StreamFault fault;
    walkStream(bytes, stream, fault, {&frames});  // the same walk again: it keeps every rule
    if (frames.failed() || !film->finish()) return kViewWriteFailed;
    out() << filmPath << ": " << static_cast<unsigned long>(stream.frames.size()) << " frames over "
          << formatted("%g", periods / clock.irate) << " s at " << formatted("%g", clock.irate) << " pictures per second";
    if (!isGifName(filmPath) && !sound.samples.empty())
        out() << ", with " << formatted("%g", static_cast<double>(sound.samples.size()) / sound.rate) << " s of sound";
    out() << eol;
    return kViewDone;
}

}  // namespace zov
