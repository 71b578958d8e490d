// frameconv's settings and end-of-run counters, and the command line that fills them.
#pragma once

#include <string>
#include <vector>

namespace zov {

/// Process-wide settings, filled from the command line before any file is touched.
struct Options {
    double scale = 100.0;     // /s, stored × 0.01
    double bias = 0.0;        // /b, stored × 2.55
    double chros = 100.0;     // /ks, stored × 0.01
    double chrob = 0.0;       // /kb, stored × 2.55
    double hue = 0.0;         // /h, degrees
    int mode = 4;             // pixels per bitmap byte: 8 for /m1 (hi-res), 4 for /m3 (multicolour)
    int color = -1;           // /c<digit>: bit 0 Color RAM, bit 1 screen matrix; -1 until derived
    double irate = 4.0;       // /ir, source frames per second
    double rate = 0.0;        // /r<number>, output frames per second; 0 until derived
    double framePeriod = 0.25;
    int frames = 0;           // /f, 0 = all; counted down by the walk
    int jump = 0;             // /j, counted down by the walk
    double kpa = 100.0;       // /kpa, stored × 0.01
    double kpz = 200.0;       // /kpz, stored × 0.01
    double kpy = 150.0;       // /kpy, stored × 0.01
    double kpr = 75.0;        // /kpr, stored × 0.01
    int bwidth = 4000;        // /bw, bytes per second
    std::string audioPath;    // /af AUDIO
    bool hasAudio = false;
    double aRate = 7843.0;    // /ar, Hz
    int verbose = 1;          // /v
    int compile = 0;          // 0 individual bitmaps; during a compile 1 + pictures taken so far
    bool individual = false;  // /i
    bool recursive = false;   // /r alone
    bool yes = false;         // /y
    std::string origin;       // ORIG
    std::string dest;         // DEST
};

/// End-of-run counters of a compile.
struct RunTotals {
    int frameIndex = -1;
    double rawSourceBytes = 0.0;
    double rawCodedBytes = 0.0;
    double codedBytes = 0.0;
    double audioBytes = 0.0;
    double unusedBytes = 0.0;
    double lumaErrorSum = 0.0;
};

/// Reads the command line (args[0] is the program name) into options. Prints the quantity names, the error
/// lines and the usage text itself; returns false when the program is to exit with code 1.
bool parseCommandLine(const std::vector<std::string>& args, Options& options);

/// The usage text, line by line.
void printUsage();

}  // namespace zov
