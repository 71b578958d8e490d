#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"
#include "soundconv/soundconv_app.h"

namespace zov {

bool convertSoundFile(const std::string& source, const std::string& dest, const SoundOptions& options) {
    auto file = fileSystem().openRead(source);
    if (!file) {
        out() << eol << "Couldn't open: " << source << eol;
        return false;
    }
    std::string output = outputPath(source, dest);
    bool existed = false;
    if (checkExistingOutput(output, OutputCheck::Sound, options.yes, options.verbose, &existed) !=
        OutputDecision::Write) {
        file->close();
        return false;
    }
    // Reading the WAVE file and writing the sound file are not there yet.
    file->close();
    return true;
}

}  // namespace zov
