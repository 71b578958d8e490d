#include "vicview/vicview_app.h"

#include "common/cli/command_line.h"
#include "common/console/console.h"
#include "vicview/bitmap_file.h"
#include "vicview/file_bytes.h"
#include "vicview/png_file.h"
#include "vicview/sound_file.h"
#include "vicview/stream_preview.h"

#include <optional>

namespace zov {
namespace {

const char* const kProgram = "vicview";

const char* const kDescription =
    "Shows what the target machine will show or play. INPUT's kind is recognised from its content:\n"
    "  bitmap file (.BIN)  -> OUTPUT is a PNG picture of the screen (320 x 200)\n"
    "  ZOVF video stream   -> OUTPUT is a directory: frameNNNNN.png per frame and contact.png\n"
    "  ZOV sound file      -> OUTPUT is a 16-bit WAVE file at the sound's own rate";

const char* const kExitCodes =
    "Exit codes: 0 done; 1 bad command line; 2 input unreadable or of unknown kind; 3 malformed stream or\n"
    "sound file (the offset is printed); 4 an output could not be written.";

int refuse(const std::string& problem) { return refuseCommandLine(kProgram, problem, kViewBadCommandLine); }

int viewBitmap(const std::vector<std::uint8_t>& bytes, const ViewOptions& options) {
    BitmapFile file;
    std::string problem;
    if (!readBitmapFile(bytes, options.mode, file, problem)) {
        out() << options.input << ": not a bitmap file (" << problem << ")" << eol;
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
    PcmSound sound;
    int bits = 0;
    FileProblem problem;
    if (!readZovSound(bytes, sound, bits, problem)) {
        out() << options.input << ": malformed sound file at offset " << static_cast<unsigned long>(problem.offset)
              << ": " << problem.text << eol;
        return kViewMalformedInput;
    }
    if (!writeWaveFile(options.output, sound)) return kViewWriteFailed;
    out() << options.output << ": " << static_cast<unsigned long>(sound.samples.size()) << " samples of " << bits
          << " bits at " << sound.rate << " Hz as 16-bit WAVE" << eol;
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
}

/// What the parsed options mean, once the parser has checked each on its own.
void settleViewOptions(const CLI::App& app, ViewOptions& options) {
    options.mode = options.hiresGiven ? VicMode::HiRes : VicMode::Multicolour;
    options.border = app.count("--border") > 0;
    options.borderColour = options.border && options.borderText != "bg" ? std::stoi(options.borderText) : -1;
    options.palette = options.paletteName.empty() ? nullptr : paletteNamed(options.paletteName);
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

    std::vector<std::uint8_t> bytes;
    if (!readWholeFile(options.input, bytes)) {
        out() << "Couldn't read " << options.input << eol;
        return kViewUnreadableInput;
    }
    bool zovf = isZovf(bytes);
    bool sound = zovf && isZovSound(bytes);
    bool stream = zovf && !sound;
    // Options that belong to another kind of input are refused rather than silently ignored.
    if (!stream && (!options.wavPath.empty() || options.foreground >= 0 || options.crop))
        return refuse("--wav, --fg and --crop apply to video streams only");
    if (zovf && (options.hiresGiven || options.multicolourGiven))
        return refuse("--hires and --multicolour apply to bitmap files only; a stream names its mode");
    if (stream && options.crop && options.border)
        return refuse("--crop and --border exclude each other");
    if (sound && (options.border || options.palette))
        return refuse("--border and --palette do not apply to sound files");

    if (sound) return viewSound(bytes, options);
    if (stream) return viewStream(bytes, options);
    return viewBitmap(bytes, options);
}

}  // namespace zov
