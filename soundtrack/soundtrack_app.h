// The soundtrack program: turns the sound of any media file into the raw 2-bit sound track that frameconv
// interleaves into a video stream (four samples a byte, the first in bits 7-6, no header).
#pragma once

#include "common/cli/command_line.h"
#include "soundtrack/track_maker.h"

#include <optional>
#include <string>
#include <vector>

namespace zov {

struct TrackOptions {
    TrackSettings track;
    std::string output;
    std::string ditherName = "none";  // as given
    bool force = false;
};

/// Fills the options from the arguments (args[0] is the program name). Returns nothing when the run goes on;
/// otherwise the exit code: 0 after --help or --version, kTrackBadCommandLine after a bad command line.
std::optional<int> parseTrackCommandLine(const std::vector<std::string>& args, TrackOptions& options);

/// The options that choose the sound and how it is rounded (--stream, --gain, --dither), shared with the
/// programs that make tracks too. The dither's name goes to ditherName; ditherOf reads it.
void addTrackSoundOptions(CLI::App& app, TrackSettings& settings, std::string& ditherName);
Dither ditherOf(const std::string& ditherName);

/// The program's entry point with its arguments; returns the exit code.
int runSoundtrack(const std::vector<std::string>& args);

}  // namespace zov
