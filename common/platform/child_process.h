// Other programs that ours start (cc1541 for vicpack's disk images, ffmpeg for vicview's films, the emulator
// in the tests), through the platform's Programs: a child's output goes to a file, never to the user's
// terminal, and its last line is read back from there when it fails.
#pragma once

#include "common/platform/platform.h"

#include <string>
#include <vector>

namespace zov {

/// What to say when a program cannot be started: "the NAME program is not on the PATH: install the package
/// NAME" when there is none, else "couldn't start the NAME program: " and the system's reason.
std::string startProblem(const std::string& program, int error);

/// What to say when a program ended without success: "the NAME program failed (exit status N)", or "(ended
/// by signal N)", then ": " and the last line it wrote to outputPath when it wrote one.
std::string failureProblem(const std::string& program, const ChildEnd& end, const std::string& outputPath);

/// Runs a program with empty input to its end, its output in outputPath; "" when it succeeded, else the
/// problem as startProblem or failureProblem word it.
std::string runProgram(const std::vector<std::string>& args, const std::string& outputPath);

}  // namespace zov
