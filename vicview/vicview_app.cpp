#include "vicview/vicview_app.h"

#include "common/cli/command_line.h"
#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/platform/whole_file.h"
#include "formats/bitmap_file.h"
#include "formats/sound_file.h"
#include "vicview/file_bytes.h"
#include "vicview/png_file.h"
#include "vicview/stream_preview.h"

#include <optional>

namespace zov {
namespace {

const char* const kProgram = "vicview";

const char* const kDescription =
    "Shows what the target machine will show or play. INPUT's kind is recognised from its content:\n"
    "  bitmap file (.BIN)  -> OUTPUT is a PNG picture of the screen (320 x 200)\n"
    "  ZOVF video stream   -> OUTPUT is a directory: frameNNNNN.png per frame and contact.png,\n"
    "                         or a film as the target plays it: NAME.mp4 (with sound, by ffmpeg) or NAME.gif\n"
    "  ZOV sound file      -> OUTPUT is a 16-bit WAVE file at the sound's own rate\n"
    "  raw 2-bit track     -> with --rate HZ (a raw track has no header): OUTPUT is a 16-bit WAVE file";

const char* const kExitCodes =
    "Exit codes: 0 done; 1 bad command line; 2 input unreadable or of unknown kind; 3 malformed stream or\n"
    "sound file (the offset is printed); 4 an output could not be written.";

int refuse(const std::string& problem) { return refuseCommandLine(kProgram, problem, kViewBadCommandLine); }

/// Whether two names lead to the same existing file, whatever links or spellings they use.
bool sameFile(const std::string& a, const std::string& b) {
    std::optional<FileIdentity> first = fileSystem().identity(a), second = fileSystem().identity(b);
    return first && second && *first == *second;
}

int viewBitmap(const std::vector<std::uint8_t>& bytes, const ViewOptions& options) {
    BitmapFile file;
    std::string problem;
    if (!readBitmapFile(bytes, options.mode, file, problem)) {
        // A raw sound track has no header either, so a file that is none of the three kinds may be one.
        out() << options.input << ": not a bitmap file (" << problem << "); a raw 2-bit sound track is read with --rate HZ"
              << eol;
        return kViewUnreadableInput;
    }
    RenderSettings render;
    render.mode = options.mode;
    render.palette = options.palette;
    render.border = options.border;
    render.borderColour = options.borderColour >= 0 ? options.borderColour : file.screen.background & 0x0F;
    RgbImage picture = renderScreen(file.screen, render);
    if (!writePngFile(options.output, picture)) return kViewWriteFailed;
    out() << options.output << ": " << picture.width() << " x " << picture.height() << ", "
          << (options.mode == VicMode::HiRes ? "hi-res" : "multicolour") << ", COLOR " << file.colour << eol;
    return kViewDone;
}

int viewSound(const std::vector<std::uint8_t>& bytes, const ViewOptions& options) {
    ZovSound file;
    FileProblem problem;
    if (!readZovSound(bytes, file, problem)) {
        out() << options.input << ": malformed sound file at offset " << static_cast<unsigned long>(problem.offset)
              << ": " << problem.text << eol;
        return kViewMalformedInput;
    }
    const PcmSound sound = widenedSound(file);
    if (!writeWaveFile(options.output, sound)) return kViewWriteFailed;
    out() << options.output << ": " << static_cast<unsigned long>(sound.samples.size()) << " samples of " << file.bits
          << " bits at " << sound.rate << " Hz as 16-bit WAVE" << eol;
    return kViewDone;
}

int viewRawTrack(const std::vector<std::uint8_t>& bytes, const ViewOptions& options) {
    if (bytes.empty()) {
        out() << options.input << ": an empty sound track" << eol;
        return kViewUnreadableInput;
    }
    PcmSound sound = twoBitSound(bytes.data(), bytes.size(), static_cast<std::uint32_t>(options.rawRate));
    if (!writeWaveFile(options.output, sound)) return kViewWriteFailed;
    out() << options.output << ": " << static_cast<unsigned long>(sound.samples.size()) << " samples of 2 bits at "
          << sound.rate << " Hz as 16-bit WAVE" << eol;
    return kViewDone;
}

int viewStream(const std::vector<std::uint8_t>& bytes, const ViewOptions& options) {
    StreamViewSettings settings;
    settings.palette = options.palette;
    settings.border = options.border;
    settings.borderColour = options.borderColour;
    settings.foreground = options.foreground;
    settings.crop = options.crop;
    settings.wavPath = options.wavPath;
    settings.fps = options.fps;
    settings.timeline = options.timeline;
    settings.bandwidth = options.bandwidth;
    settings.scale = options.scale;
    if (isFilmName(options.output)) return filmStream(bytes, options.input, options.output, settings);
    return previewStream(bytes, options.input, options.output, settings);
}

void defineViewOptions(CLI::App& app, ViewOptions& options) {
    prepareApp(app, kProgram, kExitCodes);
    app.description(kDescription);
    app.add_option("INPUT", options.input, "Bitmap file, video stream or sound file")->required();
    app.add_option("OUTPUT", options.output, "PNG file, directory or WAVE file")->required();
    CLI::Option* hires = app.add_flag("--hires", options.hiresGiven, "Bitmap file in hi-res mode");
    CLI::Option* multicolour =
        app.add_flag("--multicolour", options.multicolourGiven, "Bitmap file in multicolour mode (the default)");
    hires->excludes(multicolour);
    app.add_flag("--border{bg}", options.borderText, "Draw the border (default colour: the background's)")
        ->option_text("[=COLOUR]")
        ->check(colourNumber("bg"));
    app.add_option("--palette", options.paletteName, "pepto (default) or colodore")
        ->option_text("NAME")
        ->check(CLI::IsMember({"pepto", "colodore"}));
    app.add_option("--wav", options.wavPath, "Stream: also write its audio as a WAVE file")->option_text("FILE");
    app.add_option("--fg", options.foreground, "Multicolour stream: the Color RAM colour (default 0, black)")
        ->option_text("COLOUR")
        ->check(colourNumber());
    app.add_flag("--crop", options.crop, "Stream: frames show only the picture's area");
    app.add_option("--fps", options.fps, "Stream: source pictures per second (default: from the audio, else 4)")
        ->option_text("RATE")
        ->check(positiveFinite());
    app.add_flag("--timeline", options.timeline, "Stream: also timeline.csv and timeline.svg, the bytes per picture");
    app.add_option("--bw", options.bandwidth,
                   "Stream: the timeline's bandwidth (default: the stream's video byte rate, else 4000)")
        ->option_text("BYTES_PER_SECOND")
        ->check(positiveFinite());
    app.add_option("--rate", options.rawRate, "INPUT is a raw 2-bit sound track at this rate; OUTPUT a WAVE file")
        ->option_text("HZ")
        ->check(CLI::Range(1, 65535));
    app.add_option("--scale", options.scale, "MP4 film: whole scale factor of the screen (default 3)")
        ->option_text("N")
        ->check(CLI::Range(1, 16));
}

/// What the parsed options mean, once the parser has checked each on its own.
void settleViewOptions(const CLI::App& app, ViewOptions& options) {
    options.mode = options.hiresGiven ? VicMode::HiRes : VicMode::Multicolour;
    options.border = app.count("--border") > 0;
    options.borderColour = options.border && options.borderText != "bg" ? std::stoi(options.borderText) : -1;
    options.scaleGiven = app.count("--scale") > 0;
    options.palette = options.paletteName.empty() ? nullptr : paletteNamed(options.paletteName);
}

/// A raw track takes no other option, and a ZOVF file is never read as one.
int viewRawTrackOf(const std::vector<std::uint8_t>& bytes, bool zovf, const ViewOptions& options) {
    bool others = options.hiresGiven || options.multicolourGiven || options.border || options.palette ||
                  !options.wavPath.empty() || options.foreground >= 0 || options.crop || options.fps > 0 ||
                  options.timeline || options.bandwidth > 0 || options.scaleGiven;
    if (others) return refuse("--rate goes with no other option: a raw sound track becomes a WAVE file");
    if (zovf) return refuse("--rate applies to raw sound tracks; " + options.input + " is a ZOVF file");
    return viewRawTrack(bytes, options);
}

}  // namespace

std::optional<int> parseViewCommandLine(const std::vector<std::string>& args, ViewOptions& options) {
    options = ViewOptions{};
    CLI::App app;
    defineViewOptions(app, options);
    if (std::optional<int> exit = parseArguments(app, args, kViewBadCommandLine)) return exit;
    if (!app.get_option("--wav")->empty() && options.wavPath.empty()) return refuse("--wav: a file name is needed");
    settleViewOptions(app, options);
    return std::nullopt;
}

int runVicview(const std::vector<std::string>& args) {
    ViewOptions options;
    if (std::optional<int> exit = parseViewCommandLine(args, options)) return *exit;

    // An output never replaces its input: a film named like the stream would leave nothing to play.
    if (sameFile(options.input, options.output) || (!options.wavPath.empty() && sameFile(options.input, options.wavPath)))
        return refuse("an output would replace the input " + options.input);

    std::vector<std::uint8_t> bytes;
    if (!readWholeFile(fileSystem(), options.input, bytes)) {
        out() << "Couldn't read " << options.input << eol;
        return kViewUnreadableInput;
    }
    bool zovf = isZovf(bytes);
    if (options.rawRate > 0) return viewRawTrackOf(bytes, zovf, options);
    bool sound = zovf && isZovSound(bytes);
    bool stream = zovf && !sound;
    // Options that belong to another kind of input are refused rather than silently ignored.
    if (!stream && (!options.wavPath.empty() || options.foreground >= 0 || options.crop))
        return refuse("--wav, --fg and --crop apply to video streams only");
    if (zovf && (options.hiresGiven || options.multicolourGiven))
        return refuse("--hires and --multicolour apply to bitmap files only; a stream names its mode");
    bool film = stream && isFilmName(options.output);
    bool streamOnly = options.fps > 0 || options.timeline || options.bandwidth > 0 || options.scaleGiven;
    if (!stream && streamOnly) return refuse("--fps, --timeline, --bw and --scale apply to video streams only");
    if (film && (!options.wavPath.empty() || options.timeline || options.bandwidth > 0))
        return refuse("--wav, --timeline and --bw go with a directory OUTPUT, not a film");
    if (stream && !film && options.scaleGiven) return refuse("--scale applies to MP4 films only");
    if (stream && options.crop && options.border)
        return refuse("--crop and --border exclude each other");
    if (sound && (options.border || options.palette))
        return refuse("--border and --palette do not apply to sound files");

    if (sound) return viewSound(bytes, options);
    if (stream) return viewStream(bytes, options);
    return viewBitmap(bytes, options);
}

}  // namespace zov
