#include "soundconv/soundconv_app.h"

#include "common/walk/batch_walk.h"

namespace zov {

int runSoundconv(const std::vector<std::string>& args) {
    SoundOptions options;
    if (!parseSoundCommandLine(args, options)) return 1;

    BatchWalk::Settings settings;
    settings.tool = BatchWalk::Tool::Soundconv;
    settings.verbose = options.verbose ? 1 : 0;
    settings.recursive = options.recursive;
    BatchWalk walk(settings, [&options](const std::string& source, const std::string& dest) {
        return convertSoundFile(source, dest, options);
    });
    return walk.pass(options.origin, options.dest, ".WAV") ? 0 : 2;
}

}  // namespace zov
