// Output file names and the rules for outputs that already exist, shared by the batch programs.
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

enum class OutputDecision {
    Write,  // nothing there, or it may be overwritten
    Skip,   // this file is skipped, the walk goes on
    Stop,   // this file is skipped and the walk stops
};

/// What a program does when its output is already there. Every line starts "PATH already exists, ".
struct ExistingOutputRules {
    // A directory of that name: " but as a directory!" and the tail, then the decision.
    const char* directoryTail = "  Skipping...";
    bool directoryLineEnds = true;  // false: the line is left open (and flushed)
    OutputDecision onDirectory = OutputDecision::Skip;
    // A file, without leave to overwrite it: the tail, then the decision.
    const char* keptTail = "and will be skipped.";
    OutputDecision onKept = OutputDecision::Skip;
    // A file with leave to overwrite it: "and will be overwritten." when asked for.
    bool reportOverwrite = true;
};

/// Applies the rules to an output path and prints their messages; yes gives leave to overwrite. existed
/// tells whether the output was there.
OutputDecision checkExistingOutput(const std::string& path, const ExistingOutputRules& rules, bool yes,
                                   bool* existed = nullptr);

/// The rules for an individual bitmap written beside its source during a compile: true when the file is
/// to be written.
bool checkIndividualBitmap(const std::string& path, bool yes, int verbose);

}  // namespace zov
