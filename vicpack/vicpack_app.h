// The vicpack program: bitmap files and sounds as programs that the target machine loads and runs, one
// program file (.prg) or a disk image (.d64) of several; a video stream as a program for the C128 and the
// image of the RAM expansion unit that feeds it.
#pragma once

#include "vicpack/pack_exit.h"
#include "vicpack/pack_input.h"

#include <optional>
#include <string>
#include <vector>

namespace zov {

struct VicpackOptions {
    std::vector<std::string> inputs;
    std::string output;
    bool hiresGiven = false, multicolourGiven = false;
    bool force = false;
    bool fpsGiven = false;
    PackSettings settings;
};

/// Fills the options from the arguments (args[0] is the program name). Returns nothing when the run goes on;
/// otherwise the exit code: 0 after --help or --version, kPackBadCommandLine after a bad command line.
std::optional<int> parseVicpackCommandLine(const std::vector<std::string>& args, VicpackOptions& options);

/// The program's entry point with its arguments; returns the exit code.
int runVicpack(const std::vector<std::string>& args);

}  // namespace zov
