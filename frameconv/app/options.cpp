#include "frameconv/app/options.h"

#include "common/console/console.h"

#include <algorithm>
#include <cctype>

namespace zov {
namespace {

constexpr int kMaxArguments = 22;  // program name included

const char* const kUsage[] = {
    "Converts 8b monochrome or 24b color BMP to VIC2 bitmap or video",
    "args: ORIG DEST [/sSCALE] [/bBIAS] [/ksCHROS] [/kbCHROB] [/hHUE]",
    "      [/mMODE] [/cCOLOR]",
    "      [/irIRATE][/rRATE] [/fFRAMES] [/jJUMP]",
    "      [/kpaKPA] [/kpzKPZ] [/kpzKPY] [/kpzKPR]",
    "      [/bwBWIDTH] [/af AUDIO] [/arA.RATE] [/v[VERBOSE]] [/c] [/i] [/r] [/y]",
    "ORIG = Source filename or directory",
    "DEST = Destination filename or directory",
    "Notes: 1) Enter * as DEST to output ORIG file name with .BIN.",
    "       2) If ORIG is a directory, DEST must be a dir for multi files.",
    "       3) Enter * as DEST to output to ORIG directory(s).",
    "       4) DEST directory name(s) must not exist as a file(s).",
    "       5) DEST directory(s) will be created if not present.",
    "       6) With /C, DEST must not be directory.",
    "    The next 5 arguments control source file import.",
    "SCALE  = floating-point number to adjust luma contrast; default 100.0",
    "BIAS   = f-p number (-100 to 100) to adjust luma brightness; default 0.0",
    "CHROS  = f-p number to scale color saturation; default 100.0",
    "CHROB  = f-p number (-100 to 100) to bias color saturation; default 0.0",
    "HUE    = f-p number (-180 to 180) degree color shift; default 0.0",
    "MODE   = 1 for hi-res bitmap, 3 for multi-color bitmap; default 3",
    "COLOR  = 0 no color arrays, 1 Color RAM, 2 Matrix, 3 both; default depends on mode",
    "IRATE  = f-p number (>0) source frames per second; default 4.0",
    "RATE   = f-p number output frames per second; default IRATE",
    "FRAMES = int.max. number of frames (1~65535; use with /C); default all frames",
    "JUMP   = number of initial frames to skip; default 0",
    "    The next 4 arguments palette assignment and use.",
    "KPA    = f-p number for default color saturation; default 100.0",
    "KPZ    = f-p number rescale color if 0 colors (MC mode only); default 200.0",
    "KPY    = f-p number rescale color if 0/1 color (hi-res/MC mode); default 150.0",
    "KPR    = f-p number rescale color if palette error; default 75.0",
    "BWIDTH = int. bandwith output of video (and audio if used); default 4000 byt/s",
    "AUDIO  = filename of raw psudo-2-bit audio (implies /C)",
    "A.RATE = f-p number of audio sample frequency; default 7843.0 Hz",
    "VERBOSE = amount of info displayed while processing (0 to 3); default 1",
    "C[ompile] multiple bitmaps into ZOVF video.",
    "I[ndividual] VIC-II bitmap files created along with video.",
    "R[ecursive] switch will process sub-directories.",
    "Y[es] to overwrite existing files.",
};

bool isOptionStart(char c) { return c == '-' || c == '/'; }
char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Tracks what went wrong while the options are read; parsing never stops early, so that every bad
// quantity of one command line is named in one run.
struct ParseState {
    bool syntaxError = false;
    bool illegalQuantity = false;

    void illegal(const char* quantity) {
        out() << quantity;
        illegalQuantity = true;
    }
};

// Reads one option (argument index i); returns the index of the last argument it consumed.
std::size_t readOption(const std::vector<std::string>& args, std::size_t i, Options& o, ParseState& state) {
    const std::string& arg = args[i];
    if (!isOptionStart(arg[0])) {
        state.syntaxError = true;
        return i;
    }
    const char* value = arg.c_str();
    char letter = lower(arg.size() > 1 ? arg[1] : '\0');
    char second = arg.size() > 2 ? arg[2] : '\0';
    switch (letter) {
    case 'a':
        if (lower(second) == 'f') {
            o.compile = 1;
            if (i + 1 < args.size()) {
                o.audioPath = args[i + 1];
                o.hasAudio = true;
                return i + 1;
            }
            state.illegal("AUDIO");
        } else if (lower(second) == 'r') {
            o.aRate = readReal(value + 3);
            if (!(o.aRate > 0)) state.illegal("A.RATE");
        } else {
            state.syntaxError = true;
        }
        break;
    case 'b':
        if (lower(second) == 'w') {
            int bwidth = readInteger(value + 3);
            if (bwidth > 0) o.bwidth = bwidth;
            else state.illegal("BWIDTH");
        } else {
            o.bias = readReal(value + 2);
            if (!(o.bias >= -100 && o.bias <= 100)) state.illegal("BIAS");
        }
        break;
    case 'c':
        if (second == '\0') {
            o.compile = 1;
        } else {
            o.color = readInteger(value + 2);
            if (o.color < 0 || o.color > 3) state.illegal("COLOR");
        }
        break;
    case 'f':
        o.frames = readInteger(value + 2);
        if (o.frames < 1 || o.frames > 65535) state.illegal("FRAMES");
        break;
    case 'h':
        o.hue = readReal(value + 2);
        if (!(o.hue >= -180 && o.hue <= 180)) state.illegal("HUE");
        break;
    case 'i':
        if (second == '\0') {
            o.individual = true;
        } else if (lower(second) == 'r') {
            double irate = readReal(value + 3);
            if (irate > 0) o.irate = irate;
            else state.illegal("I.RATE");
        } else {
            state.syntaxError = true;
        }
        break;
    case 'j':
        o.jump = readInteger(value + 2);
        if (o.jump < 0) state.illegal("JUMP");
        break;
    case 'k':
        if (lower(second) == 'p') {
            char which = lower(arg.size() > 3 ? arg[3] : '\0');
            double* field = which == 'a' ? &o.kpa : which == 'z' ? &o.kpz : which == 'y' ? &o.kpy
                          : which == 'r' ? &o.kpr : nullptr;
            const char* name = which == 'a' ? "KPA" : which == 'z' ? "KPZ" : which == 'y' ? "KPY" : "KPR";
            if (!field) {
                state.syntaxError = true;
                break;
            }
            *field = readReal(value + 4);
            if (!(*field >= 0)) state.illegal(name);
        } else if (second == 's') {
            o.chros = readReal(value + 3);
            if (!(o.chros >= 0)) state.illegal("CHROS");
        } else if (second == 'b') {
            o.chrob = readReal(value + 3);
            if (!(o.chrob >= -100 && o.chrob <= 100)) state.illegal("CHROB");
        } else {
            state.syntaxError = true;
        }
        break;
    case 'm': {
        int mode = readInteger(value + 2);
        if (mode == 1) o.mode = 8;
        else if (mode == 3) o.mode = 4;
        else state.illegal("MODE");
        break;
    }
    case 'r':
        if (second == '\0') {
            o.recursive = true;
        } else {
            double rate = readReal(value + 2);
            if (rate > 0) o.rate = rate;
            else state.illegal("RATE");
        }
        break;
    case 's':
        o.scale = readReal(value + 2);
        if (!(o.scale > 0)) state.illegal("SCALE");
        break;
    case 'v':
        o.verbose = readInteger(value + 2);
        if (o.verbose < 0 || o.verbose > 3) state.illegal("VERBOSE");
        break;
    case 'y':
        o.yes = true;
        break;
    default:
        state.syntaxError = true;
        break;
    }
    return i;
}

}  // namespace

void printUsage() {
    for (const char* line : kUsage) out() << line << eol;
}

bool parseCommandLine(const std::vector<std::string>& args, Options& options) {
    if (args.size() < 3) {
        out() << "Syntax error!" << eol;
        printUsage();
        return false;
    }
    ParseState state;
    options.origin = args[1];
    options.dest = args[2];
    // ORIG and DEST may be absolute paths; only a leading dash makes them look like options.
    if (options.origin.rfind('-', 0) == 0 || options.dest.rfind('-', 0) == 0) state.syntaxError = true;
    if (args.size() > kMaxArguments) state.syntaxError = true;
    std::size_t end = std::min<std::size_t>(args.size(), kMaxArguments + 1);
    for (std::size_t i = 3; i < end; ++i) {
        if (args[i].empty()) {
            state.syntaxError = true;
            continue;
        }
        i = readOption(args, i, options, state);
    }

    if (state.syntaxError) {
        out() << "Syntax error!" << eol;
        if (state.illegalQuantity) out() << ": Illegal quantity error!" << eol;
    } else if (state.illegalQuantity) {
        out() << ": Illegal quantity error!" << eol;
    } else {
        return true;
    }
    printUsage();
    return false;
}

}  // namespace zov
