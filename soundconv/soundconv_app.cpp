#include "soundconv/soundconv_app.h"

#include "common/walk/batch_walk.h"
#include "common/walk/input_files.h"

namespace zov {

int runSoundconv(const std::vector<std::string>& args) {
    SoundOptions options;
    if (!parseSoundCommandLine(args, options)) return 1;

    BatchWalk::Settings settings;
    settings.tool = BatchWalk::Tool::Soundconv;
    settings.verbose = options.verbose ? 1 : 0;
    settings.recursive = options.recursive;
    InputFiles inputs;
    BatchWalk walk(settings, [&options, &inputs](const std::string& source, const std::string& dest) {
        return convertSoundFile(source, dest, options, &inputs);
    });
    // Every source is known before the first output is made, so that none is replaced before it is read.
    for (const std::string& source : walk.sources(options.origin, {".WAV"})) inputs.add(source);
    bool converted = walk.pass(options.origin, options.dest, ".WAV");
    return converted && !walk.specialFileRefused() ? 0 : 2;
}

}  // namespace zov
