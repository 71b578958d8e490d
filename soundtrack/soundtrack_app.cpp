#include "soundtrack/soundtrack_app.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/platform/whole_file.h"
#include "soundtrack/track_level.h"

namespace zov {
namespace {

const char* const kProgram = "soundtrack";

const char* const kDescription =
    "Writes the sound track of a video stream: the sound of INPUT (any media file that FFmpeg's libraries\n"
    "read: WAVE, FLAC, Ogg, Opus, MP3, AAC, AC3, AIFF, or a video file's sound) mixed to mono, resampled,\n"
    "levelled and rounded to four levels, written to OUTPUT as raw 2-bit samples, four to a byte, the first\n"
    "in bits 7-6. frameconv takes it with /af OUTPUT /arRATE.";

const char* const kExitCodes =
    "Exit codes: 0 done; 1 bad command line; 2 INPUT unreadable or unusable (no sound, no channels, no\n"
    "samples, --start past its end); 3 OUTPUT exists (without --force), is a directory or another kind of\n"
    "non-regular file, or is INPUT; 4 OUTPUT could not be written (nothing is left behind).";

void defineTrackOptions(CLI::App& app, TrackOptions& options) {
    prepareApp(app, kProgram, kExitCodes);
    app.description(kDescription);
    app.add_option("INPUT", options.track.input, "Media file with sound")->required();
    app.add_option("OUTPUT", options.output, "Raw 2-bit sound track")->required();
    app.add_option("--rate", options.track.rate, "Output sample rate (default 7843, frameconv's A.RATE)")
        ->option_text("HZ")
        ->check(CLI::Range(1, 65535));
    app.add_option("--start", options.track.start, "Skip this many seconds of INPUT (default 0)")
        ->option_text("SECONDS")
        ->check(finiteWithin(0, 1e7));
    app.add_option("--length", options.track.length, "Write at most this many seconds (default: to the end)")
        ->option_text("SECONDS")
        ->check(finiteWithin(0, 1e7));
    addTrackSoundOptions(app, options.track, options.ditherName);
    app.add_flag("--force", options.force, "Overwrite an existing OUTPUT");
}

/// OUTPUT may be written: it does not exist, or --force allows replacing the file (never INPUT itself).
int checkOutput(const TrackOptions& options) {
    const std::string refusal = outputRefusal(fileSystem(), options.output, {options.track.input}, options.force,
                                              {"OUTPUT names the track's file", "INPUT; the track goes to another file"});
    if (refusal.empty()) return kTrackDone;
    out() << refusal << eol;
    return kTrackOutputRefused;
}

/// The track written under a passing name beside OUTPUT as it comes, and renamed into place once whole, so
/// OUTPUT is either the old file (or none) or the whole new track.
class PassingFileSink final : public TrackSink {
public:
    explicit PassingFileSink(std::string path)
        : path_(std::move(path)), partial_(partialName(fileSystem(), path_)), file_(fileSystem().create(partial_)) {
        if (!file_) problem_ = "Couldn't create " + partial_ + " beside " + path_;
    }
    ~PassingFileSink() override {
        if (file_) abandon();
    }
    bool opened() const { return file_ != nullptr; }
    const std::string& problem() const { return problem_; }

    bool put(const std::vector<std::uint8_t>& bytes) override {
        try {
            file_->write(bytes.data(), bytes.size());
            return true;
        } catch (const FileError& error) {
            problem_ = "Couldn't write " + path_ + ": " + error.what();
            return false;
        }
    }
    /// Renames the finished file into place; false with the problem.
    bool finish() {
        try {
            file_->close();
            fileSystem().rename(partial_, path_);
            file_.reset();
            return true;
        } catch (const FileError& error) {
            problem_ = "Couldn't write " + path_ + ": " + error.what();
            return false;
        }
    }

private:
    void abandon() {
        file_->close();
        fileSystem().remove(partial_);
        file_.reset();
    }
    std::string path_, partial_;
    std::unique_ptr<File> file_;
    std::string problem_;
};

int writeTrack(const TrackOptions& options, TrackSummary& summary) {
    PassingFileSink sink(options.output);
    if (!sink.opened()) {
        out() << sink.problem() << eol;
        return kTrackWriteFailed;
    }
    const int exit = makeTrack(options.track, sink, summary);
    if (exit == kTrackWriteFailed && !sink.problem().empty()) out() << sink.problem() << eol;
    if (exit != kTrackDone) return exit;
    if (!sink.finish()) {
        out() << sink.problem() << eol;
        return kTrackWriteFailed;
    }
    return kTrackDone;
}

}  // namespace

void addTrackSoundOptions(CLI::App& app, TrackSettings& settings, std::string& ditherName) {
    app.add_option("--stream", settings.stream, "The file's stream N as the sound (default: its first audio stream)")
        ->option_text("N")
        ->check(CLI::Range(0, 65535));
    app.add_option("--gain", settings.gainDecibels, "A fixed gain in dB instead of the automatic level")
        ->option_text("DB")
        ->check(finiteWithin(-200, 200));
    app.add_option("--dither", ditherName, "Rounding to the four levels: none (default), tpdf or shaped")
        ->option_text("none|tpdf|shaped")
        ->check(CLI::IsMember({zov::ditherName(Dither::None), zov::ditherName(Dither::Tpdf),
                               zov::ditherName(Dither::Shaped)}));
}

Dither ditherOf(const std::string& name) {
    for (Dither dither : {Dither::None, Dither::Tpdf, Dither::Shaped})
        if (name == ditherName(dither)) return dither;
    return Dither::None;
}

std::optional<int> parseTrackCommandLine(const std::vector<std::string>& args, TrackOptions& options) {
    options = TrackOptions();
    CLI::App app;
    defineTrackOptions(app, options);
    if (std::optional<int> exit = parseArguments(app, args, kTrackBadCommandLine)) return exit;
    options.track.dither = ditherOf(options.ditherName);
    if (options.track.length && *options.track.length * options.track.rate < 0.5)
        return refuseCommandLine(kProgram, "--length: shorter than one sample at the rate", kTrackBadCommandLine);
    return std::nullopt;
}

int runSoundtrack(const std::vector<std::string>& args) {
    TrackOptions options;
    if (std::optional<int> exit = parseTrackCommandLine(args, options)) return *exit;
    if (int exit = checkOutput(options); exit != kTrackDone) return exit;
    TrackSummary track;
    if (int exit = writeTrack(options, track); exit != kTrackDone) return exit;

    const int rate = options.track.rate;
    const double count = static_cast<double>(track.samples);
    out() << options.output << ": " << static_cast<unsigned long long>(track.samples) << " samples, "
          << formatted("%.3f", count / rate) << " s, " << static_cast<unsigned long long>(track.bytes)
          << " bytes at " << rate << " Hz; level " << formatted("%+.1f", gainDecibels(track.gain)) << " dB ("
          << (track.automatic ? "automatic" : "--gain") << "), " << formatted("%.2f", 100.0 * track.limited / count)
          << "% limited; frameconv takes it with /af " << options.output << " /ar" << rate << eol;
    return kTrackDone;
}

}  // namespace zov
