// soundconv's settings and the command line that fills them.
#pragma once

#include <string>
#include <vector>

namespace zov {

struct SoundOptions {
    double scale = 100.0;          // /s, volume in percent
    double bias = 0.0;             // /b, offset in percent of the input full scale
    double freq = 7812.0;          // /f, output sample frequency in Hz
    int nbits = 4;                 // /n, 4 or 8 bits per output sample
    double jump = 0.0;             // /j, seconds skipped at the start
    double cut = 0.0;              // /c, seconds left out at the end
    double length = 0.0;           // /l, at most this many seconds; 0 = no limit
    bool ignoreDataLength = false; // /i
    bool verbose = false;          // /v
    bool recursive = false;        // /r
    bool yes = false;              // /y
    std::string origin;
    std::string dest;
};

/// Reads the command line (args[0] is the program name). On an error prints its line and the usage text
/// and returns false (exit code 1).
bool parseSoundCommandLine(const std::vector<std::string>& args, SoundOptions& options);

/// The usage text, line by line.
void printSoundUsage();

}  // namespace zov
