#include "vicview/stream_movie.h"

#include "common/console/console.h"
#include "common/platform/child_process.h"
#include "common/platform/platform.h"
#include "common/platform/temporary_directory.h"
#include "common/platform/whole_file.h"
#include "vicview/file_bytes.h"
#include "formats/little_endian.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>

namespace zov {

FrameClock FrameClock::of(const StreamInfo& info, double fps) {
    FrameClock clock;
    if (fps > 0)
        clock.irate = fps;
    else if (info.hasAudio && info.samplesPerFrame > 0)
        clock.irate = static_cast<double>(info.audioRate) / info.samplesPerFrame;
    return clock;
}

std::uint32_t FrameClock::periods(std::uint32_t lastPicture, std::size_t audioSamples, std::uint32_t audioRate) const {
    std::uint32_t periods = lastPicture;
    if (audioRate > 0) {
        // A sound that ends just inside a period still gets that period.
        double soundPeriods = std::ceil(static_cast<double>(audioSamples) / audioRate * irate - 1e-9);
        if (soundPeriods > periods) periods = static_cast<std::uint32_t>(soundPeriods);
    }
    return periods;
}

long FrameClock::centiseconds(std::uint32_t period) const { return std::lround(100.0 * period / irate); }

FilmTiming filmTiming(const std::vector<std::uint32_t>& frames, std::uint32_t periods) {
    FilmTiming timing;
    if (frames.empty()) return timing;
    timing.black.end = frames.front() - 1;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::uint32_t start = frames[i] - 1;
        const std::uint32_t end = i + 1 < frames.size() ? frames[i + 1] - 1 : std::max(periods, start + 1);
        timing.frames.push_back(FilmSpan{start, end});
    }
    return timing;
}

namespace {

// ---- GIF -------------------------------------------------------------------------------------------------

int putGifBytes(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* file = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    file->insert(file->end(), bytes, bytes + length);
    return length;
}

class GifFilm final : public FilmWriter {
public:
    GifFilm(std::string path, const VicPaletteRgb& palette, const FrameClock& clock)
        : path_(std::move(path)), palette_(palette), clock_(clock) {}
    ~GifFilm() override { close(); }

    bool frame(const RgbImage& picture, std::uint32_t start, std::uint32_t end) override {
        if (!gif_ && !open(picture.width(), picture.height())) return false;
        // The delay of a frame is the difference of its rounded end and start, so delays never drift. A delay
        // holds at most 65535 hundredths: a picture held longer (one picture over a long sound) repeats.
        long delay = clock_.centiseconds(end) - clock_.centiseconds(start);
        bool ok = true;
        do {
            long part = std::min(delay, 65535L);
            ok = putImage(picture, part);
            delay -= part;
        } while (ok && delay > 0);
        if (!ok) out() << "Couldn't encode the GIF film " << path_ << eol;
        return ok;
    }

    bool finish() override {
        if (!gif_) {
            out() << "No frames for the GIF film " << path_ << eol;
            return false;
        }
        if (!close()) {
            out() << "Couldn't encode the GIF film " << path_ << eol;
            return false;
        }
        return writeWholeFileAtOnce(path_, file_);
    }

private:
    bool open(int width, int height) {
        int error = 0;
        gif_ = EGifOpen(&file_, putGifBytes, &error);
        if (!gif_) return false;
        GifColorType colours[16];
        for (int i = 0; i < 16; ++i) colours[i] = {palette_[static_cast<std::size_t>(i)].r, palette_[static_cast<std::size_t>(i)].g, palette_[static_cast<std::size_t>(i)].b};
        ColorMapObject* map = GifMakeMapObject(16, colours);
        EGifSetGifVersion(gif_, true);
        bool ok = map && EGifPutScreenDesc(gif_, width, height, 4, 0, map) == GIF_OK;
        GifFreeMapObject(map);
        // Loop for ever: the NETSCAPE2.0 application block with a repeat count of 0.
        const GifByteType loop[3] = {1, 0, 0};
        ok = ok && EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_OK && EGifPutExtensionBlock(gif_, 3, loop) == GIF_OK &&
             EGifPutExtensionTrailer(gif_) == GIF_OK;
        if (!ok) out() << "Couldn't encode the GIF film " << path_ << eol;
        return ok;
    }

    bool putImage(const RgbImage& picture, long delay) {
        GifByteType control[4] = {0, 0, 0, 0};
        putLe16(control + 1, static_cast<std::uint32_t>(delay));
        std::vector<GifPixelType> row(static_cast<std::size_t>(picture.width()));
        bool ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK &&
                  EGifPutImageDesc(gif_, 0, 0, picture.width(), picture.height(), false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) row[static_cast<std::size_t>(x)] = colourIndex(picture.at(x, y));
            ok = EGifPutLine(gif_, row.data(), picture.width()) == GIF_OK;
        }
        return ok;
    }

    bool close() {
        if (!gif_) return false;
        int error = 0;
        bool ok = EGifCloseFile(gif_, &error) == GIF_OK;
        gif_ = nullptr;
        return ok;
    }

    GifPixelType colourIndex(Rgb colour) const {
        for (int i = 0; i < 16; ++i)
            if (palette_[static_cast<std::size_t>(i)] == colour) return static_cast<GifPixelType>(i);
        return 0;  // every rendered pixel is a palette colour
    }

    std::string path_;
    const VicPaletteRgb& palette_;
    FrameClock clock_;
    GifFileType* gif_ = nullptr;
    std::vector<std::uint8_t> file_;
};

// ---- MP4 through ffmpeg ----------------------------------------------------------------------------------

/// The ffmpeg program makes the film from the frames it is fed and the sound in a WAVE file, in a directory of
/// the run's own; the film is copied into place when it is whole.
class Mp4Film final : public FilmWriter {
public:
    Mp4Film(std::string path, int width, int height, int scale)
        : path_(std::move(path)), scratch_(fileSystem(), "vicview"), width_(width), height_(height), scale_(scale) {}

    bool start(const FrameClock& clock, const PcmSound& sound) {
        if (!scratch_.made()) return fail("no temporary directory for ffmpeg's files could be made");
        bool withSound = !sound.samples.empty();
        if (withSound) {
            if (std::string reason = scratch_.put("sound.wav", encodeWave(sound)); !reason.empty())
                return fail("the film's sound cannot be written for ffmpeg: " + reason);
        }
        std::vector<std::string> args{"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                      "-f", "rawvideo", "-pixel_format", "rgb24",
                                      "-video_size", formatted("%dx%d", width_, height_),
                                      "-framerate", formatted("%.17g", clock.irate), "-i", "pipe:0"};
        if (withSound) args.insert(args.end(), {"-i", scratch_.path("sound.wav")});
        args.insert(args.end(), {"-map", "0:v"});
        if (withSound) args.insert(args.end(), {"-map", "1:a", "-c:a", "aac", "-b:a", "96k"});
        // The output rate is given again: otherwise ffmpeg rounds a rate such as 7843/1960 to 4 and the
        // pictures drift away from the sound.
        args.insert(args.end(), {"-r", formatted("%.17g", clock.irate),
                                 "-vf", formatted("scale=%d:%d:flags=neighbor", width_ * scale_, height_ * scale_),
                                 "-c:v", "libx264", "-pix_fmt", "yuv420p", "-f", "mp4", scratch_.path("film.mp4")});
        int error = 0;
        ffmpeg_ = programs().start(args, scratch_.path("ffmpeg.log"), true, error);
        return ffmpeg_ ? true : fail(startProblem("ffmpeg", error));
    }

    bool frame(const RgbImage& picture, std::uint32_t start, std::uint32_t end) override {
        // The film runs at one frame per source period: a picture held over dropped pictures repeats.
        for (std::uint32_t period = start; period < end; ++period)
            if (!ffmpeg_->feed(picture.bytes().data(), picture.bytes().size())) {
                // It stopped taking frames: what it says on its way out tells why.
                const ChildEnd ended = ffmpeg_->finish();
                ffmpeg_.reset();
                return fail(ended.succeeded() ? "the ffmpeg program stopped taking frames"
                                              : failureProblem("ffmpeg", ended, scratch_.path("ffmpeg.log")));
            }
        return true;
    }

    bool finish() override {
        const ChildEnd ended = ffmpeg_->finish();
        ffmpeg_.reset();
        if (!ended.succeeded()) return fail(failureProblem("ffmpeg", ended, scratch_.path("ffmpeg.log")));
        std::string problem = copyWholeFileInPlace(fileSystem(), scratch_.path("film.mp4"), path_);
        if (!problem.empty()) out() << problem << eol;
        return problem.empty();
    }

private:
    bool fail(const std::string& problem) {
        out() << "Couldn't write " << path_ << ": " << problem << eol;
        return false;
    }

    std::string path_;
    TemporaryDirectory scratch_;
    int width_, height_, scale_;
    std::unique_ptr<Child> ffmpeg_;  // ended before the directory it works in is removed
};

}  // namespace

std::unique_ptr<FilmWriter> gifWriter(const std::string& path, const VicPaletteRgb& palette, const FrameClock& clock) {
    return std::make_unique<GifFilm>(path, palette, clock);
}

std::unique_ptr<FilmWriter> mp4Writer(const std::string& path, int width, int height, int scale,
                                      const FrameClock& clock, const PcmSound& sound) {
    auto film = std::make_unique<Mp4Film>(path, width, height, scale);
    if (!film->start(clock, sound)) return nullptr;
    return film;
}

}  // namespace zov
