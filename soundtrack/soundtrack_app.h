// The soundtrack program: turns any audio file into the raw 2-bit sound track that frameconv interleaves
// into a video stream (four samples a byte, the first in bits 7-6, no header).
#pragma once

#include "soundtrack/quantiser.h"

#include <optional>
#include <string>
#include <vector>

namespace zov {

enum SoundtrackExit : int {
    kTrackDone = 0,
    kTrackBadCommandLine = 1,
    kTrackUnusableInput = 2,  // unreadable, not audio, no channels or samples, nothing from --start on, too long
    kTrackOutputRefused = 3,  // OUTPUT exists (without --force), is not a regular file, or is INPUT
    kTrackWriteFailed = 4,    // OUTPUT could not be written; nothing is left behind
};

struct TrackOptions {
    std::string input;
    std::string output;
    int rate = 7843;                     // output samples per second, frameconv's default A.RATE
    double start = 0;                    // seconds of the input skipped
    std::optional<double> length;        // seconds written at most; none: to the end
    std::optional<double> gainDecibels;  // none: the automatic level
    std::string ditherName = "none";     // as given
    Dither dither = Dither::None;
    bool force = false;
};

/// Fills the options from the arguments (args[0] is the program name). Returns nothing when the run goes on;
/// otherwise the exit code: 0 after --help or --version, kTrackBadCommandLine after a bad command line.
std::optional<int> parseTrackCommandLine(const std::vector<std::string>& args, TrackOptions& options);

/// The program's entry point with its arguments; returns the exit code.
int runSoundtrack(const std::vector<std::string>& args);

}  // namespace zov
