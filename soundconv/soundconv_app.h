// The soundconv program: the command line, the walk over "*.WAV" files and the per-file conversion.
#pragma once

#include "soundconv/sound_options.h"

#include <string>
#include <vector>

namespace zov {

class InputFiles;

/// Converts one WAVE file into a ZOV sound file; true when it was converted and written without a write
/// error. dest is DEST, or DEST extended by a sub-directory's name. The output is never the source nor one
/// of the inputs (the other sources of the walk), when they are given.
bool convertSoundFile(const std::string& source, const std::string& dest, const SoundOptions& options,
                      const InputFiles* inputs = nullptr);

/// The program's entry point with its arguments (args[0] is the program name); returns the exit code.
int runSoundconv(const std::vector<std::string>& args);

}  // namespace zov
