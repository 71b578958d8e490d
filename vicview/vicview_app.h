// The vicview program: shows what the target machine will show. A bitmap file becomes a PNG picture, a
// video stream a PNG per frame plus a contact sheet (and optionally its sound as WAVE), a sound file a
// 16-bit WAVE file.
#pragma once

#include "formats/vic_colours.h"
#include "vicview/vic_screen.h"
#include "vicview/view_exit.h"

#include <optional>
#include <string>
#include <vector>

namespace zov {

struct ViewOptions {
    std::string input;
    std::string output;
    VicMode mode = VicMode::Multicolour;  // bitmap files
    bool hiresGiven = false, multicolourGiven = false;
    std::string paletteName;              // as given; empty: the default
    const VicPaletteRgb* palette = nullptr;
    bool border = false;
    std::string borderText;               // --border's value: a colour, or "bg" when given bare
    int borderColour = -1;                // -1: the picture's background colour
    std::string wavPath;                  // streams: where their audio goes
    int foreground = -1;                  // streams, multicolour: the Color RAM colour; -1 the default
    bool crop = false;                    // streams: frames show only the picture's area
    double fps = 0;                       // streams: source pictures per second; 0: from the stream
    bool timeline = false;                // streams: timeline.csv and timeline.svg beside the frames
    double bandwidth = 0;                 // streams: the timeline's bandwidth; 0: from the stream
    int scale = 3;                        // streams: the MP4 film's whole scale factor
    bool scaleGiven = false;
    int rawRate = 0;                      // a raw 2-bit sound track at this rate; 0: INPUT is not one
};

/// Fills the options from the arguments (args[0] is the program name). Returns nothing when the run goes on;
/// otherwise the exit code: 0 after --help or --version, kViewBadCommandLine after a bad command line (the
/// problem is printed).
std::optional<int> parseViewCommandLine(const std::vector<std::string>& args, ViewOptions& options);

/// The program's entry point with its arguments; returns the exit code.
int runVicview(const std::vector<std::string>& args);

}  // namespace zov
