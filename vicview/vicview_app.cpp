#include "vicview/vicview_app.h"

#include "common/console/console.h"
#include "vicview/bitmap_file.h"
#include "vicview/file_bytes.h"
#include "vicview/png_file.h"
#include "vicview/sound_file.h"
#include "vicview/stream_preview.h"

#include <optional>

namespace zov {
namespace {

const char* const kUsage[] = {
    "Shows VIC-II bitmap files, ZOVF video streams and ZOV sound files on the desktop",
    "args: INPUT OUTPUT [options]",
    "  bitmap file (.BIN)  -> OUTPUT is a PNG picture of the screen (320 x 200)",
    "  ZOVF video stream   -> OUTPUT is a directory: frameNNNNN.png per frame and contact.png",
    "  ZOV sound file      -> OUTPUT is a 16-bit WAVE file at the sound's own rate",
    "Options:",
    "  --multicolour       bitmap file in multicolour mode (the default)",
    "  --hires             bitmap file in hi-res mode",
    "  --border[=COLOUR]   draw the border (COLOUR 0-15; default: the background colour)",
    "  --palette NAME      pepto (default) or colodore",
    "  --wav FILE          stream: also write its audio as a WAVE file",
    "  --fg COLOUR         multicolour stream: the Color RAM colour (0-15; default 0, black)",
    "  --crop              stream: frames show only the picture's area",
};

bool fail(const std::string& line) {
    out() << line << eol;
    printViewUsage();
    return false;
}

std::optional<int> colourValue(const std::string& text) {
    if (text.empty() || text.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 15) return std::nullopt;
    return value;
}

/// Splits "--name=value" into name and value; hasValue tells whether there was a '='.
void splitOption(const std::string& arg, std::string& name, std::string& value, bool& hasValue) {
    std::size_t equals = arg.find('=');
    hasValue = equals != std::string::npos;
    name = arg.substr(0, equals);
    value = hasValue ? arg.substr(equals + 1) : std::string();
}

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

}  // namespace

void printViewUsage() {
    for (const char* line : kUsage) out() << line << eol;
}

bool parseViewCommandLine(const std::vector<std::string>& args, ViewOptions& options) {
    options = ViewOptions{};
    std::vector<std::string> names;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
            names.push_back(arg);
            continue;
        }
        std::string name, value;
        bool hasValue = false;
        splitOption(arg, name, value, hasValue);
        // Options with a value take it after '=' or as the next argument.
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        if ((name == "--hires" || name == "--multicolour") && !hasValue) {
            options.mode = name == "--hires" ? VicMode::HiRes : VicMode::Multicolour;
            options.modeGiven = true;
        } else if (name == "--crop" && !hasValue) {
            options.crop = true;
        } else if (name == "--border") {
            options.border = true;
            if (hasValue) {
                std::optional<int> colour = colourValue(value);
                if (!colour) return fail("Illegal border colour: " + value);
                options.borderColour = *colour;
            }
        } else if (name == "--palette") {
            if (!takeValue()) return fail("Missing value for --palette");
            options.palette = paletteNamed(value);
            if (!options.palette) return fail("Unknown palette: " + value);
        } else if (name == "--wav") {
            if (!takeValue() || value.empty()) return fail("Missing value for --wav");
            options.wavPath = value;
        } else if (name == "--fg") {
            if (!takeValue()) return fail("Missing value for --fg");
            std::optional<int> colour = colourValue(value);
            if (!colour) return fail("Illegal foreground colour: " + value);
            options.foreground = *colour;
        } else {
            return fail("Unknown option: " + arg);
        }
    }
    if (names.size() != 2) return fail(names.size() < 2 ? "Missing INPUT or OUTPUT" : "Too many arguments");
    options.input = names[0];
    options.output = names[1];
    return true;
}

int runVicview(const std::vector<std::string>& args) {
    ViewOptions options;
    if (!parseViewCommandLine(args, options)) return kViewBadCommandLine;

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
        return fail("--wav, --fg and --crop apply to video streams only"), kViewBadCommandLine;
    if (zovf && options.modeGiven)
        return fail("--hires and --multicolour apply to bitmap files only; a stream names its mode"),
               kViewBadCommandLine;
    if (stream && options.crop && options.border)
        return fail("--crop and --border exclude each other"), kViewBadCommandLine;
    if (sound && (options.border || options.palette))
        return fail("--border and --palette do not apply to sound files"), kViewBadCommandLine;

    if (sound) return viewSound(bytes, options);
    if (stream) return viewStream(bytes, options);
    return viewBitmap(bytes, options);
}

}  // namespace zov
