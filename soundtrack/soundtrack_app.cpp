#include "soundtrack/soundtrack_app.h"

#include "common/cli/command_line.h"
#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/platform/whole_file.h"
#include "soundtrack/audio_reader.h"
#include "soundtrack/resampler.h"
#include "soundtrack/track_level.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zov {
namespace {

const char* const kProgram = "soundtrack";

const char* const kDescription =
    "Writes the sound track of a video stream: INPUT (any audio file libsndfile reads: WAVE, FLAC, Ogg, AIFF,\n"
    "MP3 where the library has it) mixed to mono, resampled, levelled and rounded to four levels, written\n"
    "to OUTPUT as raw 2-bit samples, four to a byte, the first in bits 7-6. frameconv takes it with\n"
    "/af OUTPUT /arRATE.";

const char* const kExitCodes =
    "Exit codes: 0 done; 1 bad command line; 2 INPUT unreadable or unusable (not audio, no channels, no\n"
    "samples, --start past its end, or a track of over 2^28 samples); 3 OUTPUT exists (without --force),\n"
    "is a directory or another kind of non-regular file, or is INPUT; 4 OUTPUT could not be written\n"
    "(nothing is left behind).";

constexpr std::size_t kReadBlock = 65536;  // input frames converted at a time
// The whole track is held (as doubles) to set its level: 2 GiB at most, 9.5 hours at 7843 Hz.
constexpr std::size_t kMostTrackSamples = std::size_t{1} << 28;

void defineTrackOptions(CLI::App& app, TrackOptions& options) {
    prepareApp(app, kProgram, kExitCodes);
    app.description(kDescription);
    app.add_option("INPUT", options.input, "Audio file")->required();
    app.add_option("OUTPUT", options.output, "Raw 2-bit sound track")->required();
    app.add_option("--rate", options.rate, "Output sample rate (default 7843, frameconv's A.RATE)")
        ->option_text("HZ")
        ->check(CLI::Range(1, 65535));
    app.add_option("--start", options.start, "Skip this many seconds of INPUT (default 0)")
        ->option_text("SECONDS")
        ->check(finiteWithin(0, 1e7));
    app.add_option("--length", options.length, "Write at most this many seconds (default: to the end)")
        ->option_text("SECONDS")
        ->check(finiteWithin(0, 1e7));
    app.add_option("--gain", options.gainDecibels, "A fixed gain in dB instead of the automatic level")
        ->option_text("DB")
        ->check(finiteWithin(-200, 200));
    app.add_option("--dither", options.ditherName, "Rounding to the four levels: none (default), tpdf or shaped")
        ->option_text("none|tpdf|shaped")
        ->check(CLI::IsMember({ditherName(Dither::None), ditherName(Dither::Tpdf), ditherName(Dither::Shaped)}));
    app.add_flag("--force", options.force, "Overwrite an existing OUTPUT");
}

/// Opens INPUT and goes to --start.
int openAtStart(AudioReader& reader, const TrackOptions& options, std::int64_t& startFrame) {
    std::string problem;
    if (!reader.open(options.input, problem)) {
        out() << options.input << ": " << problem << eol;
        return kTrackUnusableInput;
    }
    startFrame = static_cast<std::int64_t>(std::llround(options.start * reader.rate()));
    if (startFrame >= reader.frames()) {
        out() << options.input << ": --start " << formatted("%g", options.start) << " s is past its end ("
              << formatted("%.3f", static_cast<double>(reader.frames()) / reader.rate()) << " s)" << eol;
        return kTrackUnusableInput;
    }
    if (!reader.seek(startFrame)) {
        out() << options.input << ": breaks off before --start " << formatted("%g", options.start) << " s" << eol;
        return kTrackUnusableInput;
    }
    return kTrackDone;
}

/// The selected part of INPUT, mono at the output rate. Its first sample stands for the time --start;
/// --length counts output samples.
int readSound(const TrackOptions& options, std::vector<double>& samples) {
    AudioReader reader;
    std::int64_t startFrame = 0;
    if (int exit = openAtStart(reader, options, startFrame); exit != kTrackDone) return exit;
    const std::size_t wanted = options.length ? static_cast<std::size_t>(std::llround(*options.length * options.rate))
                                              : SIZE_MAX;
    const double expected = std::min(static_cast<double>(reader.frames() - startFrame) * options.rate / reader.rate(),
                                     static_cast<double>(wanted));
    if (expected > static_cast<double>(kMostTrackSamples)) {
        out() << options.input << ": the track would hold " << formatted("%.0f", expected) << " samples, more than "
              << kMostTrackSamples << "; make it in parts with --start and --length" << eol;
        return kTrackUnusableInput;
    }
    Resampler resampler;
    std::string problem;
    if (!resampler.start(reader.rate(), options.rate, problem)) {
        out() << options.input << ": " << problem << eol;
        return kTrackUnusableInput;
    }
    std::vector<double> block;
    while (samples.size() < wanted) {
        if (reader.readMono(block, kReadBlock) == 0) {
            resampler.finish(samples);
            break;
        }
        resampler.push(block, samples);
    }
    if (samples.size() > wanted) samples.resize(wanted);
    if (samples.empty()) {
        out() << options.input << ": too short for one sample at " << options.rate << " Hz from --start "
              << formatted("%g", options.start) << " s" << eol;
        return kTrackUnusableInput;
    }
    return kTrackDone;
}

/// OUTPUT may be written: it does not exist, or --force allows replacing the file (never INPUT itself).
int checkOutput(const TrackOptions& options) {
    FileSystem& files = fileSystem();
    PathKind kind = files.kind(options.output);
    if (kind == PathKind::Missing) return kTrackDone;
    if (kind == PathKind::Directory) {
        out() << options.output << ": is a directory; OUTPUT names the track's file" << eol;
        return kTrackOutputRefused;
    }
    if (kind != PathKind::File) {  // a device or pipe would be replaced by the rename, not written
        out() << options.output << ": is not a regular file; OUTPUT names the track's file" << eol;
        return kTrackOutputRefused;
    }
    std::optional<FileIdentity> input = files.identity(options.input);
    if (input && input == files.identity(options.output)) {
        out() << options.output << ": is INPUT; the track goes to another file" << eol;
        return kTrackOutputRefused;
    }
    if (!options.force) {
        out() << options.output << ": exists; --force overwrites it" << eol;
        return kTrackOutputRefused;
    }
    return kTrackDone;
}

/// Writes the track under a passing name beside OUTPUT and renames it into place, so OUTPUT is either the old
/// file (or none) or the whole new track.
int writeTrack(const std::string& output, const std::vector<std::uint8_t>& bytes) {
    std::string problem = writeWholeFileInPlace(fileSystem(), output, bytes);
    if (problem.empty()) return kTrackDone;
    out() << problem << eol;
    return kTrackWriteFailed;
}

}  // namespace

std::optional<int> parseTrackCommandLine(const std::vector<std::string>& args, TrackOptions& options) {
    options = TrackOptions{};
    CLI::App app;
    defineTrackOptions(app, options);
    if (std::optional<int> exit = parseArguments(app, args, kTrackBadCommandLine)) return exit;
    for (Dither dither : {Dither::None, Dither::Tpdf, Dither::Shaped})
        if (options.ditherName == ditherName(dither)) options.dither = dither;
    if (options.length && *options.length * options.rate < 0.5)
        return refuseCommandLine(kProgram, "--length: shorter than one sample at the rate", kTrackBadCommandLine);
    return std::nullopt;
}

int runSoundtrack(const std::vector<std::string>& args) {
    TrackOptions options;
    if (std::optional<int> exit = parseTrackCommandLine(args, options)) return *exit;
    if (int exit = checkOutput(options); exit != kTrackDone) return exit;

    std::vector<double> samples;
    if (int exit = readSound(options, samples); exit != kTrackDone) return exit;
    const bool automatic = !options.gainDecibels;
    const double gain = automatic ? automaticGain(samples, options.rate) : gainFactor(*options.gainDecibels);
    QuantisedTrack track = quantiseTrack(samples, gain, options.dither);
    std::vector<std::uint8_t> bytes = packLevels(track.levels);
    if (int exit = writeTrack(options.output, bytes); exit != kTrackDone) return exit;

    const double count = static_cast<double>(track.levels.size());
    out() << options.output << ": " << static_cast<unsigned long long>(track.levels.size()) << " samples, "
          << formatted("%.3f", count / options.rate) << " s, " << static_cast<unsigned long long>(bytes.size())
          << " bytes at " << options.rate << " Hz; level " << formatted("%+.1f", gainDecibels(gain)) << " dB ("
          << (automatic ? "automatic" : "--gain") << "), " << formatted("%.2f", 100.0 * track.limited / count)
          << "% limited; frameconv takes it with /af " << options.output << " /ar" << options.rate << eol;
    return kTrackDone;
}

}  // namespace zov
