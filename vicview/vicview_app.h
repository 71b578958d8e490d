// The vicview program: shows what the target machine will show. A bitmap file becomes a PNG picture, a
// video stream a PNG per frame plus a contact sheet (and optionally its sound as WAVE), a sound file a
// 16-bit WAVE file.
#pragma once

#include "vicview/vic_colours.h"
#include "vicview/vic_screen.h"
#include "vicview/view_exit.h"

#include <string>
#include <vector>

namespace zov {

struct ViewOptions {
    std::string input;
    std::string output;
    VicMode mode = VicMode::Multicolour;  // bitmap files
    bool modeGiven = false;
    const VicPaletteRgb* palette = nullptr;
    bool border = false;
    int borderColour = -1;                // -1: the picture's background colour
    std::string wavPath;                  // streams: where their audio goes
    int foreground = -1;                  // streams, multicolour: the Color RAM colour; -1 the default
    bool crop = false;                    // streams: frames show only the picture's area
};

/// Fills the options from the arguments (args[0] is the program name). On a bad command line prints the
/// problem and the usage text and returns false.
bool parseViewCommandLine(const std::vector<std::string>& args, ViewOptions& options);

void printViewUsage();

/// The program's entry point with its arguments; returns the exit code.
int runVicview(const std::vector<std::string>& args);

}  // namespace zov
