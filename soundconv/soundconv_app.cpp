#include "soundconv/soundconv_app.h"

#include "common/walk/batch_walk.h"
#include "common/walk/input_files.h"

namespace zov {

int runSoundconv(const std::vector<std::string>& args) {
    SoundOptions options;
    if (!parseSoundCommandLine(args, options)) return 1;

    BatchWalk::Settings settings;
    settings.extensions = {".WAV"};
    settings.directoryLine = options.verbose ? BatchWalk::DirectoryLine::Path : BatchWalk::DirectoryLine::None;
    settings.reportMissingSource = true;
    settings.recursive = options.recursive;
    InputFiles inputs;
    BatchWalk walk(settings, [&options, &inputs](const std::string& source, const std::string& dest) {
        return convertSoundFile(source, dest, options, &inputs);
    });
    // Every source is known before the first output is made, so that none is replaced before it is read.
    for (const std::string& source : walk.sources(options.origin)) inputs.add(source);
    bool converted = walk.passes(options.origin, options.dest);
    return converted && !walk.specialFileRefused() ? 0 : 2;
}

}  // namespace zov
