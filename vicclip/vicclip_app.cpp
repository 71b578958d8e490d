#include "vicclip/vicclip_app.h"

#include "common/cli/command_line.h"
#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/platform/spool_file.h"
#include "common/platform/whole_file.h"
#include "formats/stream_walk.h"
#include "formats/vic_colours.h"
#include "frameconv/app/frameconv_app.h"
#include "soundtrack/soundtrack_app.h"
#include "vicclip/kept_colours.h"
#include "vicclip/picture_store.h"
#include "vicclip/player_time.h"
#include "vicclip/progress_bar.h"
#include "vicclip/staged_files.h"
#include "vicpack/pack_exit.h"
#include "vicpack/stream_pack.h"
#include "vicview/stream_preview.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace zov {
namespace {

const char* const kProgram = "vicclip";

const char* const kDescription =
    "Makes a ZOVF video stream with its sound from a video clip in one command: the clip's pictures at\n"
    "--fps, fitted into the screen's shape, its sound as a 2-bit track, compiled by frameconv's own code.\n"
    "The stream is byte for byte the one that the ffmpeg commands, soundtrack and frameconv of the long\n"
    "route give with the same settings. A NAME.BIN output makes a bitmap file of CLIP's first picture (a\n"
    "still: PNG, JPEG, BMP). STREAM named NAME.prg makes the program that plays it on a C64 (with --c128 on a\n"
    "C128) and NAME.reu, the image of the RAM expansion unit it plays from, as vicpack makes them. --colours\n"
    "card chooses every card's colours for it instead of one set for the whole picture.";

const char* const kExitCodes =
    "Exit codes: 0 done; 1 bad command line; 2 CLIP (or the --audio file) unreadable or unusable (no\n"
    "video stream, cut off, --start past its end); 3 STREAM (a program's NAME.reu, the kept stream) or the\n"
    "film exists (without --force), is a directory or another kind of non-regular file, or is an input; 4\n"
    "STREAM or the film could not be written (a run that fails leaves no STREAM); 5 a program's stream is\n"
    "larger than the largest REU holds (the seconds that fit are printed).";

// The names under which frameconv sees the pictures and the track (those of the long route).
const char* const kPictureDirectory = "frames";
const char* const kTrackName = "clip.raw";
const char* const kSinkName = "frames.zov";

std::string real(double value) { return formatted("%.17g", value); }

/// --fps as a number, read once as it is checked: above 0 and at most 1000 a second, so that every count of
/// pictures (up to 1e7 seconds long) stays a whole number. The text itself goes to the filter and to /ir.
CLI::Validator pictureRate(double& fps) {
    return CLI::Validator(
        [&fps](std::string& text) -> std::string {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !(value > 0 && std::isfinite(value)))
                return "a number greater than 0 is needed, not '" + text + "'";
            if (value > 1000) return "a number from 0 to 1000 is needed, not '" + text + "'";
            fps = value;
            return {};
        },
        "");
}

void definePictureOptions(CLI::App& app, ClipOptions& options) {
    app.add_option("--fps", options.pictures.fps, "Pictures taken a second, up to 1000, frameconv's IRATE (default 4)")
        ->option_text("FPS")
        ->check(pictureRate(options.fps));
    app.add_flag("--hires", options.pictures.hires, "Hi-res pictures, 320 x 200 (default multicolour, 160 x 200)");
    app.add_flag("--crop", options.pictures.crop, "Fill the screen's shape, cutting off what is left over (default: black bars)");
    app.add_option("--start", options.start, "Start this many seconds into CLIP (default 0)")
        ->option_text("SECONDS")
        ->check(finiteWithin(0, 1e7));
    app.add_option("--length", options.length, "Take at most this many seconds (default: to the end)")
        ->option_text("SECONDS")
        ->check(finiteWithin(0, 1e7));
}

void defineSoundOptions(CLI::App& app, ClipOptions& options) {
    app.add_option("--audio", options.audio, "The sound of this file instead of CLIP's")->option_text("FILE");
    app.add_flag("--no-sound", options.noSound, "A stream without sound");
    app.add_option("--sound-rate", options.track.rate, "Sound samples a second, frameconv's A.RATE (default 7843)")
        ->option_text("HZ")
        ->check(CLI::Range(1, 65535));
    addTrackSoundOptions(app, options.track, options.ditherName);
}

/// frameconv's picture settings under vicclip's names: the option, frameconv's letters, where the value goes,
/// what it is, and the values allowed. Both the command line and frameconv's arguments are made from it.
struct ConversionSetting {
    const char* option;
    const char* letters;
    std::optional<double> ClipOptions::*value;
    const char* description;
    const char* valueName;
    CLI::Validator allowed;
};

const std::vector<ConversionSetting>& conversionSettings() {
    static const std::vector<ConversionSetting> settings{
        {"--contrast", "/s", &ClipOptions::contrast, "Luma contrast in percent, > 0 (frameconv /s; default 100)", "PERCENT",
         positiveFinite()},
        {"--brightness", "/b", &ClipOptions::brightness, "Luma brightness, -100 to 100 (/b; default 0)", "BIAS",
         finiteWithin(-100, 100)},
        {"--saturation", "/ks", &ClipOptions::saturation, "Colour saturation in percent (/ks; default 100)", "PERCENT",
         finiteWithin(0, 1e9)},
        {"--saturation-offset", "/kb", &ClipOptions::saturationOffset, "Colour saturation offset, -100 to 100 (/kb; default 0)",
         "BIAS", finiteWithin(-100, 100)},
        {"--hue", "/h", &ClipOptions::hue, "Hue shift in degrees, -180 to 180 (/h; default 0)", "DEGREES",
         finiteWithin(-180, 180)},
        {"--palette-saturation", "/kpa", &ClipOptions::paletteSaturation,
         "Saturation weight of the palette choice (/kpa; default 100)", "PERCENT", finiteWithin(0, 1e9)},
        {"--colourless-boost", "/kpz", &ClipOptions::colourlessBoost,
         "Colour rescale when no colours are found, multicolour (/kpz; default 200)", "PERCENT", finiteWithin(0, 1e9)},
        {"--few-colours-boost", "/kpy", &ClipOptions::fewColoursBoost,
         "Colour rescale when 0 or 1 colour is found (/kpy; default 150)", "PERCENT", finiteWithin(0, 1e9)},
        {"--dropped-chroma", "/kpr", &ClipOptions::droppedChroma,
         "Chroma weight when the palette had to drop colours (/kpr; default 75)", "PERCENT", finiteWithin(0, 1e9)},
    };
    return settings;
}

void defineConversionOptions(CLI::App& app, ClipOptions& options) {
    for (const ConversionSetting& setting : conversionSettings())
        app.add_option(setting.option, options.*setting.value, setting.description)
            ->option_text(setting.valueName)
            ->check(setting.allowed);
    app.add_option("--colour-arrays", options.colourArrays, "0 none, 1 Color RAM, 2 screen matrix, 3 both (/c; default 3, hi-res 2)")
        ->option_text("N")
        ->check(CLI::Range(0, 3));
    app.add_option("--colours", options.colours,
                   "picture: one set of role colours for the whole picture, frameconv's exact conversion; card: "
                   "every card's colours chosen for it (default picture)")
        ->option_text("picture|card")
        ->check(CLI::IsMember({"picture", "card"}));
    app.add_option("--rate", options.rate, "Output pictures a second (/r; default --fps)")->option_text("FPS")->check(positiveFinite());
    app.add_option("--bw", options.bandwidth, "Stream bytes a second, sound included (/bw; default 4000)")
        ->option_text("BYTES")
        ->check(CLI::Range(1, 100000000));
    app.add_option("--verbose", options.verbose, "frameconv's messages at its level N, 0 to 3 (/v; default 0: none)")
        ->option_text("N")
        ->check(CLI::Range(0, 3));
}

void defineClipOptions(CLI::App& app, ClipOptions& options) {
    prepareApp(app, kProgram, kExitCodes);
    app.description(kDescription);
    app.add_option("CLIP", options.clip, "Video clip")->required();
    app.add_option("STREAM", options.stream,
                   "ZOVF video stream, NAME.prg (its program with NAME.reu) or NAME.BIN (a bitmap file of the first picture)")
        ->required();
    definePictureOptions(app, options);
    defineSoundOptions(app, options);
    defineConversionOptions(app, options);
    app.add_option("--film", options.film, "Also write the film of the stream as the target plays it (as vicview makes it)")
        ->option_text("NAME.mp4");
    app.add_flag("--c128", options.c128, "NAME.prg for the C128 in its native mode (default: the C64)");
    app.add_option("--keep-stream", options.keptStream, "With NAME.prg: also keep the stream as this file")->option_text("FILE.zov");
    app.add_flag("--force", options.force, "Overwrite an existing STREAM (and its REU image, the kept stream, film)");
}

// ---- Outputs ---------------------------------------------------------------------------------------------

/// An output may be written: it does not exist, or --force allows replacing the file; never an input.
int checkOutput(const std::string& path, const ClipOptions& options) {
    const std::string refusal = outputRefusal(fileSystem(), path, {options.clip, options.audio}, options.force,
                                              {"name a file", "{input}, an input; name another file"});
    if (refusal.empty()) return kClipDone;
    out() << refusal << eol;
    return kClipOutputRefused;
}

int checkOutputs(const ClipOptions& options) {
    std::vector<std::string> outputs{options.stream};
    if (options.program()) outputs.push_back(reuImageName(options.stream));
    for (const std::string& extra : {options.keptStream, options.film})
        if (!extra.empty()) outputs.push_back(extra);
    for (const std::string& output : outputs)
        if (int exit = checkOutput(output, options); exit != kClipDone) return exit;
    return kClipDone;
}

// ---- The run ---------------------------------------------------------------------------------------------

/// The track's bytes go to a spool file.
class SpoolSink final : public TrackSink {
public:
    explicit SpoolSink(SpoolFile& file) : file_(file) {}
    bool put(const std::vector<std::uint8_t>& bytes) override { return file_.append(bytes.data(), bytes.size(), problem); }
    std::string problem;

private:
    SpoolFile& file_;
};

/// Where the messages of a compile that is only counted go.
class QuietConsole final : public Console {
public:
    void out(std::string_view) override {}
    void err(std::string_view) override {}
    void flush() override {}
};

/// The frames that a stream's head announces; 0 when it is no stream's head.
std::size_t framesInHead(const std::array<std::uint8_t, StagedFiles::kSinkHead>& head) {
    StreamInfo info;
    StreamFault fault;
    return walkStreamHead({head.begin(), head.end()}, info, fault) ? info.frames : 0;
}

class ClipRun {
public:
    explicit ClipRun(const ClipOptions& options)
        : options_(options), fps_(options.fps), still_(namesBitmapFile(options.stream)), console_(console(), bar_) {}

    int run() {
        if (int exit = checkOutputs(options_); exit != kClipDone) return exit;
        if (int exit = readPictures(); exit != kClipDone) return exit;
        if (still_) return convertStill();
        if (int exit = makeTrack(); exit != kClipDone) return exit;
        const std::string streamPath = !options_.program() ? options_.stream : options_.keptStream.empty() ? options_.stream : options_.keptStream;
        const std::string partial = partialName(fileSystem(), streamPath);
        int exit = compileStream(partial);
        if (exit == kClipDone) exit = finish(partial);
        if (exit != kClipDone || (options_.program() && options_.keptStream.empty())) fileSystem().remove(partial);
        return exit;
    }

private:
    int readPictures();
    int convertStill();
    void chooseBackground();
    int makeTrack();
    int compileStream(const std::string& partial);
    int compile(const std::string& dest, int bandwidth, int verbose, RunTotals& totals, std::size_t& counted);
    std::optional<std::size_t> keptWith(int bandwidth);
    int finish(const std::string& partial);
    int packProgram(const std::string& partial);
    void summarise(std::size_t kept);
    int suggestBandwidth(std::size_t kept);
    int writeFilm(const std::string& partial);

    int unusable(const std::string& input, const std::string& problem) {
        bar_.clear();
        out() << input << ": " << problem << eol;
        return kClipUnusableInput;
    }

    const ClipOptions& options_;
    double fps_;
    int refusedForTime_ = 0;  // pictures that the compile for a player left out for the player's time
    bool still_;  // the first picture to a bitmap file
    std::optional<CardColourSettings> cardSettings_;  // --colours card
    ProgressBar bar_;
    ConsoleBesideBar console_;
    PictureStore pictures_;
    std::size_t jump_ = 0;
    SpoolFile track_{"the sound track"};
    bool hasSound_ = false;
    RunTotals totals_;
    KeptColours colours_;  // the stream's compile keeps them, the counts take them
    std::string countFailure_;  // why the last count failed
};

int ClipRun::readPictures() {
    ClipPictures clip;
    std::string problem;
    PictureSettings settings = options_.pictures;
    if (still_) settings.fps.clear();
    if (!clip.open(options_.clip, settings, problem)) return unusable(options_.clip, problem);
    hasSound_ = !options_.noSound && (!options_.audio.empty() || clip.hasSound());
    jump_ = static_cast<std::size_t>(std::llround(options_.start * fps_));
    std::size_t most = options_.length ? static_cast<std::size_t>(std::max(1LL, std::llround(*options_.length * fps_))) : SIZE_MAX;
    if (still_) most = 1;
    const PictureFormat format = options_.pictures.hires ? PictureFormat::Ppm : PictureFormat::Bmp;
    if (!pictures_.start(options_.pictures.hires ? 320 : 160, 200, format, jump_ + 1, problem)) {
        out() << kProgram << ": " << problem << eol;
        return kClipWriteFailed;
    }
    const double stated = clip.statedSeconds();
    const std::size_t expected = static_cast<std::size_t>(std::max(0.0, std::ceil((stated - options_.start) * fps_)));
    bar_.stage("reading  ", std::min(most, expected));
    std::size_t seen = 0;
    std::string spoolProblem;  // the reading's own problem is set again when it ends
    auto take = [&](const std::uint8_t* rows, int stride) {
        if (seen++ < jump_) return PictureAnswer::More;
        if (!pictures_.add(rows, stride, spoolProblem)) return PictureAnswer::Failed;
        bar_.update(pictures_.count());
        return pictures_.count() == most ? PictureAnswer::Enough : PictureAnswer::More;
    };
    const bool read = clip.run(take, problem);
    if (!spoolProblem.empty()) {
        bar_.clear();
        out() << kProgram << ": " << spoolProblem << eol;
        return kClipWriteFailed;
    }
    if (!read) return unusable(options_.clip, problem);
    if (pictures_.count() == 0)
        return unusable(options_.clip, "--start " + formatted("%g", options_.start) + " s is past its end (" +
                                     formatted("%.3f", static_cast<double>(seen) / fps_) + " s)");
    return kClipDone;
}

int ClipRun::makeTrack() {
    if (!hasSound_) return kClipDone;
    TrackSettings settings = options_.track;
    settings.input = options_.audio.empty() ? options_.clip : options_.audio;
    settings.dither = ditherOf(options_.ditherName);
    // The sound starts with the first picture taken and lasts as long as the pictures asked for.
    settings.start = static_cast<double>(jump_) / fps_;
    if (options_.length) settings.length = static_cast<double>(std::max(1LL, std::llround(*options_.length * fps_))) / fps_;
    bar_.clear();
    std::string problem;
    if (!track_.start(problem)) {
        out() << kProgram << ": " << problem << eol;
        return kClipWriteFailed;
    }
    SpoolSink sink(track_);
    TrackSummary summary;
    const int exit = zov::makeTrack(settings, sink, summary);
    if (exit == kTrackUnusableInput) return kClipUnusableInput;  // the line is printed
    if (exit != kTrackDone) {
        if (!sink.problem.empty()) out() << kProgram << ": " << sink.problem << eol;
        return kClipWriteFailed;
    }
    return kClipDone;
}

/// Compiles the pictures (and the track) into dest; frameconv's exit code. A compile into kSinkName is only
/// counted: counted is the pictures it kept.
int ClipRun::compile(const std::string& dest, int bandwidth, int verbose, RunTotals& totals, std::size_t& counted) {
    StagedFiles staged(fileSystem(), pictures_, kPictureDirectory);
    if (hasSound_) staged.showTrack(kTrackName, track_);
    const bool counting = dest == kSinkName;
    QuietConsole quiet;
    if (counting) {
        staged.sinkAt(kSinkName);
        // A count ends as soon as its answer is known: enough pictures kept, or too many dropped. The pictures
        // after that are refused (frameconv passes over a picture it cannot open).
        const std::size_t offered = pictures_.count(), needed = (offered * 9 + 9) / 10;
        staged.pictureOpened = [this, &staged, offered, needed](std::size_t picture) {
            bar_.update(picture);
            const std::size_t kept = framesInHead(staged.sinkHead());
            return kept < needed && picture - std::min(kept, picture) <= offered - needed;
        };
    } else {
        staged.pictureOpened = [this](std::size_t picture) {
            bar_.update(picture);
            return true;
        };
    }
    int exit = 0;
    {
        PlatformOverride use(&staged, counting ? static_cast<Console*>(&quiet) : &console_);
        auto app = std::make_unique<FrameconvApp>();
        app->rememberColours(&colours_);
        if (cardSettings_) app->chooseColoursPerCard(*cardSettings_);
        std::optional<PlayerTime> player;
        if (options_.program()) {
            // A program's stream is compiled for its player: every frame ready in time.
            StreamInfo info;
            info.hasAudio = hasSound_;
            info.audioRate = static_cast<std::uint32_t>(options_.track.rate);
            const int period = streamClock(info, StreamPlayback{-1, fps_}, 1, kPalCycles).period;
            player.emplace(options_.c128 ? kC128Player : kC64Player, period);
            app->compileFor(&*player);
        }
        exit = app->run(frameconvArguments(options_, kPictureDirectory, hasSound_ ? kTrackName : "", dest, bandwidth, verbose));
        totals = app->totals();
        if (player && !counting) refusedForTime_ = player->refused();
    }
    counted = counting ? framesInHead(staged.sinkHead()) : 0;
    bar_.update(pictures_.count());
    return exit;
}

// A stream's cards share one background, chosen over its pictures (a dozen of them, evenly spread); the
// Color RAM is not part of a stream, so every card's FG is Black; an ordered dither keeps what does not
// change from frame to frame the same.
void ClipRun::chooseBackground() {
    if (options_.colours != "card") return;
    cardSettings_.emplace();
    cardSettings_->colourRamPerCard = false;
    cardSettings_->dither = CardDither::Ordered;
    cardSettings_->memory = std::make_shared<CardChoiceMemory>();
    if (options_.pictures.hires) return;
    BackgroundChoice choice(*cardSettings_);
    const std::size_t count = pictures_.count(), samples = std::min<std::size_t>(count, 12);
    std::vector<std::uint8_t> rgb;
    for (std::size_t k = 0; k < samples; ++k) {
        if (!pictures_.rgbPixels(k * count / samples, rgb)) continue;
        choice.add(rgb.data(), pictures_.width(), pictures_.height(), static_cast<std::size_t>(pictures_.width()) * 3);
    }
    cardSettings_->background = choice.best();
}

/// The first picture to a bitmap file, as frameconv converts one picture, or with its colours chosen per
/// card (the Color RAM, where the file carries it, giving each multicolour card its own FG).
int ClipRun::convertStill() {
    if (options_.colours == "card") {
        cardSettings_.emplace();
        const int arrays = options_.colourArrays.value_or(options_.pictures.hires ? 2 : 3);
        cardSettings_->colourRamPerCard = !options_.pictures.hires && (arrays & 1) != 0;
    }
    const std::string partial = partialName(fileSystem(), options_.stream);
    StagedFiles staged(fileSystem(), pictures_, kPictureDirectory);
    int exit = 0;
    {
        PlatformOverride use(&staged, &console_);
        auto app = std::make_unique<FrameconvApp>();
        if (cardSettings_) app->chooseColoursPerCard(*cardSettings_);
        exit = app->run(frameconvStillArguments(options_, std::string(kPictureDirectory) + "/" + pictures_.fileName(0), partial));
    }
    bar_.clear();
    if (exit != 0 || fileSystem().kind(partial) != PathKind::File) {
        fileSystem().remove(partial);
        out() << options_.stream << ": the picture could not be converted (frameconv's exit code " << exit << ")" << eol;
        return kClipWriteFailed;
    }
    try {
        fileSystem().rename(partial, options_.stream);
    } catch (const FileError& error) {
        fileSystem().remove(partial);
        out() << "Couldn't write " << options_.stream << ": " << error.what() << eol;
        return kClipWriteFailed;
    }
    out() << options_.stream << ": a " << (options_.pictures.hires ? "hi-res" : "multicolour") << " bitmap file, "
          << (cardSettings_ ? "colours chosen per card" : "one set of colours for the picture") << eol;
    return kClipDone;
}

int ClipRun::compileStream(const std::string& partial) {
    chooseBackground();
    bar_.stage("compiling", pictures_.count());
    std::size_t none = 0;
    const int exit = compile(partial, options_.bandwidth, options_.verbose, totals_, none);
    bar_.clear();
    if (exit != 0 || fileSystem().kind(partial) != PathKind::File) {
        out() << options_.stream << ": the stream could not be compiled (frameconv's exit code " << exit << ")" << eol;
        return kClipWriteFailed;
    }
    return kClipDone;
}

/// The pictures that a compile at bandwidth keeps; nothing when that compile fails (countFailure_ says how).
std::optional<std::size_t> ClipRun::keptWith(int bandwidth) {
    bar_.stage("--bw " + std::to_string(bandwidth), pictures_.count());
    RunTotals totals;
    std::size_t kept = 0;
    if (const int exit = compile(kSinkName, bandwidth, 0, totals, kept); exit != 0) {
        countFailure_ = "the pictures that --bw " + std::to_string(bandwidth) +
                        " keeps could not be counted (frameconv's exit code " + std::to_string(exit) + ")";
        return std::nullopt;
    }
    return kept;
}

int ClipRun::finish(const std::string& partial) {
    std::array<std::uint8_t, StagedFiles::kSinkHead> head{};
    if (auto file = fileSystem().openRead(partial)) file->read(head.data(), head.size());
    const std::size_t kept = framesInHead(head);
    summarise(kept);
    if (int exit = suggestBandwidth(kept); exit != kClipDone) return exit;
    bar_.clear();
    if (!options_.film.empty()) {
        if (int exit = writeFilm(partial); exit != kClipDone) return exit;
    }
    if (options_.program()) {
        if (int exit = packProgram(partial); exit != kClipDone) return exit;
        if (options_.keptStream.empty()) return kClipDone;
    }
    const std::string streamPath = options_.program() ? options_.keptStream : options_.stream;
    try {
        fileSystem().rename(partial, streamPath);
    } catch (const FileError& error) {
        out() << "Couldn't write " << streamPath << ": " << error.what() << eol;
        return kClipWriteFailed;
    }
    return kClipDone;
}

/// The program that plays the stream and its REU image, as vicpack packs them, both written or neither.
int ClipRun::packProgram(const std::string& partial) {
    std::vector<std::uint8_t> bytes;
    if (!readWholeFile(fileSystem(), partial, bytes)) {
        out() << "Couldn't read " << partial << eol;
        return kClipWriteFailed;
    }
    PackSettings settings;
    settings.c128 = options_.c128;
    settings.fps = fps_;
    PackedStream packed;
    if (const int exit = packStream(options_.stream, bytes, settings, packed); exit != kPackDone)
        return exit == kPackTooLarge ? kClipTooLarge : kClipWriteFailed;
    const std::string problem = writeWholeFilesInPlace(
        fileSystem(), {{options_.stream, packed.package.program}, {reuImageName(options_.stream), packed.package.reuImage}});
    if (!problem.empty()) {
        out() << problem << eol;
        return kClipWriteFailed;
    }
    out() << packedStreamLine(options_.stream, packed, fps_) << eol;
    out() << packedTimingLine(options_.stream, packed) << eol;
    return kClipDone;
}

void ClipRun::summarise(std::size_t kept) {
    const std::size_t offered = pictures_.count();
    const double seconds = static_cast<double>(offered) / fps_;
    bar_.clear();
    out() << options_.stream << ": " << static_cast<unsigned long long>(offered) << " pictures offered, "
          << static_cast<unsigned long long>(kept) << " kept, " << static_cast<unsigned long long>(offered - std::min(kept, offered))
          << " dropped" << (options_.program() ? " (" + std::to_string(refusedForTime_) + " for the player's time)" : "") << "; "
          << formatted("%.2f", seconds) << " s; " << formatted("%.0f", totals_.codedBytes / seconds)
          << " bytes/s of video, ";
    if (hasSound_) out() << formatted("%.0f", totals_.audioBytes / seconds) << " bytes/s of sound" << eol;
    else out() << "no sound" << eol;
}

// More than a third dropped: the smallest --bw that keeps nine pictures of ten is named. Pictures that an
// output rate below --fps leaves out are meant to go, so then nothing is said. A count that fails fails
// the run.
int ClipRun::suggestBandwidth(std::size_t kept) {
    const std::size_t offered = pictures_.count();
    const bool slower = options_.rate && std::strtod(options_.rate->c_str(), nullptr) < fps_;
    if (slower || (offered - std::min(kept, offered)) * 3 <= offered) return kClipDone;
    const double seconds = static_cast<double>(offered) / fps_;
    const int guess = bandwidthGuess(options_.bandwidth, totals_.audioBytes / seconds, offered, kept);
    const BandwidthSearch search =
        sufficientBandwidth(options_.bandwidth, guess, offered, [this](int bandwidth) { return keptWith(bandwidth); });
    bar_.clear();
    if (search.failed) {
        out() << options_.stream << ": " << countFailure_ << eol;
        return kClipWriteFailed;
    }
    out() << "More than a third of the pictures were dropped: ";
    if (search.enough) {
        out() << "--bw " << *search.enough << " keeps at least 90 % of them" << eol;
    } else {
        out() << "even --bw " << kMostBandwidth << " keeps fewer than 90 % of them; try a lower --fps" << eol;
    }
    return kClipDone;
}

int ClipRun::writeFilm(const std::string& partial) {
    std::vector<std::uint8_t> bytes;
    if (auto file = fileSystem().openRead(partial)) {
        bytes.resize(static_cast<std::size_t>(file->length()));
        bytes.resize(file->read(bytes.data(), bytes.size()));
    }
    StreamViewSettings settings;
    settings.palette = &peptoPalette();
    settings.fps = fps_;
    const int exit = filmStream(bytes, options_.stream, options_.film, settings);
    return exit == 0 ? kClipDone : kClipWriteFailed;
}

}  // namespace

namespace {

/// Whether the path ends in the extension (".BIN"), in any case.
bool hasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    std::string tail = path.substr(path.size() - extension.size());
    for (char& c : tail) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return tail == extension;
}

}  // namespace

bool namesBitmapFile(const std::string& path) { return hasExtension(path, ".BIN"); }

std::vector<std::string> frameconvStillArguments(const ClipOptions& o, const std::string& picture, const std::string& dest) {
    std::vector<std::string> args{"frameconv", picture, dest};
    if (o.pictures.hires) args.push_back("/m1");
    if (o.colourArrays) args.push_back("/c" + std::to_string(*o.colourArrays));
    for (const ConversionSetting& setting : conversionSettings())
        if (const std::optional<double>& value = o.*setting.value) args.push_back(setting.letters + real(*value));
    args.push_back("/v" + std::to_string(o.verbose));
    return args;
}

bool ClipOptions::program() const { return hasExtension(stream, ".PRG"); }

std::vector<std::string> frameconvArguments(const ClipOptions& o, const std::string& directory, const std::string& track,
                                            const std::string& dest, int bandwidth, int verbose) {
    std::vector<std::string> args{"frameconv", directory, dest, "/c", "/ir" + o.pictures.fps};
    if (!track.empty()) {
        args.insert(args.end(), {"/af", track, "/ar" + std::to_string(o.track.rate)});
    }
    args.push_back("/bw" + std::to_string(bandwidth));
    if (o.pictures.hires) args.push_back("/m1");
    if (o.colourArrays) args.push_back("/c" + std::to_string(*o.colourArrays));
    if (o.rate) args.push_back("/r" + *o.rate);
    // With a length the long route counts the pictures out with /f, which ends the walk there.
    if (o.length) {
        const long long pictures = std::max(1LL, std::llround(*o.length * o.fps));
        if (pictures <= 65535) args.push_back("/f" + std::to_string(pictures));
    }
    for (const ConversionSetting& setting : conversionSettings())
        if (const std::optional<double>& value = o.*setting.value) args.push_back(setting.letters + real(*value));
    args.push_back("/v" + std::to_string(verbose));
    return args;
}

int bandwidthGuess(int used, double audioBytesPerSecond, std::size_t pictures, std::size_t kept) {
    const double video = std::max(0.0, used - audioBytesPerSecond);
    const double wanted = static_cast<double>((pictures * 9 + 9) / 10) / static_cast<double>(std::max<std::size_t>(kept, 1));
    return static_cast<int>(std::min<double>(kMostBandwidth, audioBytesPerSecond + video * wanted));
}

BandwidthSearch sufficientBandwidth(int used, int guess, std::size_t pictures,
                                    const std::function<std::optional<std::size_t>(int)>& keptWith) {
    bool failed = false;
    const auto enough = [&](int bandwidth) {
        const std::optional<std::size_t> kept = keptWith(bandwidth);
        failed = !kept;
        return kept && *kept * 10 >= pictures * 9;
    };
    const BandwidthSearch countFailed{std::nullopt, true};
    // Steps of 500 above the bandwidth used. From the guess's step the stride doubles, upwards until a step
    // keeps enough, or, when the guess's step does, downwards until one does not; the bounds known then
    // close in by halves.
    const int firstStep = (used / 500 + 1) * 500;
    int low = used, high = std::clamp((guess + 499) / 500 * 500, firstStep, kMostBandwidth);
    const bool guessEnough = enough(high);
    if (failed) return countFailed;
    if (guessEnough) {
        for (int stride = 500; high > firstStep; stride *= 2) {
            const int lower = std::max(firstStep, high - stride);
            const bool lowerEnough = enough(lower);
            if (failed) return countFailed;
            if (!lowerEnough) {
                low = lower;
                break;
            }
            high = lower;
        }
    } else {
        for (int stride = 500;; stride *= 2) {
            if (high >= kMostBandwidth) return {};
            low = high;
            high = std::min(kMostBandwidth, high + stride);
            const bool higherEnough = enough(high);
            if (failed) return countFailed;
            if (higherEnough) break;
        }
    }
    // The smallest step in (low, high] that keeps enough.
    for (;;) {
        const int lowStep = low / 500 + 1, highStep = high / 500;
        if (lowStep >= highStep) return {high, false};
        const int middle = (lowStep + highStep) / 2 * 500;
        const bool middleEnough = enough(middle);
        if (failed) return countFailed;
        if (middleEnough) high = middle;
        else low = middle;
    }
}

std::optional<int> parseClipCommandLine(const std::vector<std::string>& args, ClipOptions& options) {
    options = ClipOptions();
    CLI::App app;
    defineClipOptions(app, options);
    if (std::optional<int> exit = parseArguments(app, args, kClipBadCommandLine)) return exit;
    if (options.noSound && (!options.audio.empty() || options.track.gainDecibels || options.track.stream >= 0))
        return refuseCommandLine(kProgram, "--no-sound: takes no --audio, --stream or --gain", kClipBadCommandLine);
    if (!options.film.empty() && !isFilmName(options.film))
        return refuseCommandLine(kProgram, "--film: NAME ends in .mp4 (or .gif for a film without sound)", kClipBadCommandLine);
    if (options.colours == "card") {
        for (const ConversionSetting& setting : conversionSettings())
            if (options.*setting.value)
                return refuseCommandLine(kProgram, std::string("--colours card: takes no ") + setting.option +
                                                       " (it adjusts the picture-wide colour choice)", kClipBadCommandLine);
        if (options.colourArrays && (*options.colourArrays & 2) == 0)
            return refuseCommandLine(kProgram, "--colours card: needs the screen matrix (--colour-arrays 2 or 3)", kClipBadCommandLine);
    }
    if (namesBitmapFile(options.stream) && (!options.film.empty() || options.start != 0 || options.length))
        return refuseCommandLine(kProgram, "a bitmap file is made of CLIP's first picture: no --film, --start or --length",
                                 kClipBadCommandLine);
    if (options.length && *options.length * options.fps < 0.5)
        return refuseCommandLine(kProgram, "--length: shorter than one picture at --fps", kClipBadCommandLine);
    if (!options.program() && (options.c128 || !options.keptStream.empty()))
        return refuseCommandLine(kProgram, "--c128 and --keep-stream go with a NAME.prg STREAM", kClipBadCommandLine);
    return std::nullopt;
}

int runVicclip(const std::vector<std::string>& args) {
    ClipOptions options;
    if (std::optional<int> exit = parseClipCommandLine(args, options)) return *exit;
    ClipRun run(options);
    return run.run();
}

}  // namespace zov
