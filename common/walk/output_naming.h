// Output file names and the rules for outputs that already exist, shared by both tools.
#pragma once

#include <string>

namespace zov {

/// Joins a directory and a name with one separator.
std::string joinPath(const std::string& directory, const std::string& name);

/// The file name part of a path (after its last separator).
std::string fileNamePart(const std::string& path);

/// The file name part with everything from its last '.' removed, followed by ".BIN".
std::string outputName(const std::string& sourcePath);

/// Where the output of a source goes: beside the source when DEST begins with '*', inside DEST when it is
/// an existing directory, else DEST itself.
std::string outputPath(const std::string& sourcePath, const std::string& dest);

/// The full source path with everything from its last '.' removed, followed by ".BIN": an individual
/// bitmap beside its source picture.
std::string individualBitmapPath(const std::string& sourcePath);

/// Who looks at an existing output, which decides the messages and what happens next.
enum class OutputCheck {
    Picture,          // frameconv writing one bitmap per picture
    VideoFirstFrame,  // frameconv creating the video stream at its first picture
    Sound,            // soundconv
};

enum class OutputDecision {
    Write,  // nothing there, or it may be overwritten
    Skip,   // this file is skipped, the walk goes on
    Stop,   // this file is skipped and the walk stops
};

/// Applies the existing-output rules to an output path and prints their messages. verbose is frameconv's
/// verbosity (soundconv passes its switch; its messages do not depend on it). existed tells whether the
/// output was there.
OutputDecision checkExistingOutput(const std::string& path, OutputCheck who, bool yes, int verbose,
                                   bool* existed = nullptr);

/// The rules for an individual bitmap written beside its source during a compile: true when the file is
/// to be written.
bool checkIndividualBitmap(const std::string& path, bool yes, int verbose);

}  // namespace zov
