#include "soundconv/sound_options.h"

#include "common/console/console.h"

#include <cctype>

namespace zov {
namespace {

constexpr int kOptionLimit = 13;  // the option count starts at 2; the twelfth option passes this

const char* const kUsage[] = {
    "Converts 8-bit unsigned .WAV to mono packed 4-bit or 8-bit .ZOV",
    "args: ORIG DEST [/s SCALE] [/b BIAS] [/f FREQ] [/n NBITS] [/j JUMP] [/l LEN] [/c CUT] [/i] [/v] [/r] [/y]",
    "ORIG = Source filename or directory",
    "DEST = Destination filename or directory",
    "Notes: 1) Enter * as DEST to output ORIG file name with .BIN.",
    "       2) If ORIG is a directory, DEST must be a directory.",
    "       3) DEST directory name(s) must not exist as a file(s).",
    "       4) DEST directory(s) will be created if not present.",
    "       5) Enter * as DEST to output to ORIG directory(s).",
    "SCALE = floating-point number to adjust volume; 100 default",
    "BIAS  = f-p number (0 up to 100) to reduce 'drop-out'; 0 default",
    "FREQ  = f-p number (above 0) output frequency; 7812 default",
    "NBITS = int number bits/sample output (4 or 8); 4 default",
    "JUMP  = f-p number; skip first JUMP seconds of ORIG; 0 default",
    "CUT   = f-p number; omit last CUT seconds of ORIG; 0 default",
    "LEN   = f-p number; limit to LEN seconds of ORIG; default no limit",
    "R[ecursive] switch will process sub-directories.",
    "Y[es] to overwrite existing files.",
    "V[erbose] switch displays extra file info",
    "I[gnore] switch ignores Data Length and uses all past Data tag",
};

bool isOptionStart(char c) { return c == '-' || c == '/'; }

bool fail(const std::string& line) {
    out() << line << eol;
    printSoundUsage();
    return false;
}

// Reads the value of a value option into its field; returns the error line, or "" when it is legal.
std::string readValue(char letter, const std::string& text, SoundOptions& o) {
    const char* value = text.c_str();
    switch (letter) {
    case 's':
        o.scale = readReal(value);
        return o.scale > 0 ? "" : "Illegal value for Scale";
    case 'b':
        o.bias = readReal(value);
        return (o.bias >= 0 && o.bias < 100) ? "" : "Illegal value for Bias";
    case 'f':
        o.freq = readReal(value);
        return o.freq > 0 ? "" : "Illegal value for Freq";
    case 'n':
        o.nbits = readInteger(value);
        return (o.nbits == 4 || o.nbits == 8) ? "" : "Illegal value for Nbits";
    case 'j':
        o.jump = readReal(value);
        return o.jump >= 0 ? "" : "Illegal value for Jump";
    case 'l':
        o.length = readReal(value);
        return o.length > 0 ? "" : "Illegal value for Length";
    default:  // 'c'
        o.cut = readReal(value);
        return o.cut >= 0 ? "" : "Illegal value for Cut";
    }
}

const char* valueName(char letter) {
    switch (letter) {
    case 's': return "Scale";
    case 'b': return "Bias";
    case 'f': return "Freq";
    case 'n': return "Nbits";
    case 'j': return "Jump";
    case 'l': return "Length";
    default: return "Cut";
    }
}

}  // namespace

void printSoundUsage() {
    for (const char* line : kUsage) out() << line << eol;
}

bool parseSoundCommandLine(const std::vector<std::string>& args, SoundOptions& o) {
    o = SoundOptions{};
    if (args.size() < 3) return fail("Syntax error");
    o.origin = args[1];
    o.dest = args[2];
    // ORIG and DEST may be absolute paths; only a leading dash makes them look like options.
    if (o.origin.rfind('-', 0) == 0 || o.dest.rfind('-', 0) == 0) return fail("Syntax error");

    int optionCount = 2;
    for (std::size_t i = 3; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || !isOptionStart(arg[0])) return fail("Syntax error");
        char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])));
        switch (letter) {
        case 's': case 'b': case 'f': case 'n': case 'j': case 'l': case 'c': {
            if (i + 1 >= args.size()) return fail(std::string("Missing value for ") + valueName(letter));
            std::string error = readValue(letter, args[++i], o);
            if (!error.empty()) return fail(error);
            break;
        }
        case 'i': o.ignoreDataLength = true; break;
        case 'v': o.verbose = true; break;
        case 'r': o.recursive = true; break;
        case 'y': o.yes = true; break;
        default: return fail("Syntax error");
        }
        if (++optionCount > kOptionLimit) return fail("Syntax error: too many arguments");
    }
    return true;
}

}  // namespace zov
