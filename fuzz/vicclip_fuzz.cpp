// Arbitrary bytes as a video clip, through the whole of vicclip on an in-memory disk: FFmpeg's demuxing,
// decoding and filtering of whatever it recognises, the pictures waiting in their temporary file, the track
// of the clip's sound, frameconv's compile in the same process and, when many pictures are dropped, the
// counting compiles that name a bandwidth. The settings (one of a fixed set, picked by the input's size)
// include hi-res, cropping, another rate, a part of the clip and a tiny bandwidth. Whatever the input, the
// run ends with 0 or 2; a finished stream starts as a ZOVF stream and is all that is left beside the clip; a
// refused clip leaves nothing.
#include "fuzz/fuzz_support.h"
#include "vicclip/vicclip_app.h"

#include <iterator>

namespace {

// Few pictures each (one or two a second of the clip): every picture costs a whole conversion.
const std::vector<std::string> kVariants[] = {
    {"--fps", "1"},
    {"--hires", "--crop", "--fps", "1"},
    {"--fps", "12.5", "--no-sound", "--length", "0.2"},
    {"--start", "0.2", "--length", "0.3", "--dither", "shaped"},
    {"--bw", "1500", "--gain", "6", "--fps", "2"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string>& variant = kVariants[size % std::size(kVariants)];
    zov::fuzz::QuietPlatform platform;
    platform.files.addFile("in.clip", zov::fuzz::Bytes(data, data + size));
    std::vector<std::string> args{"vicclip", "in.clip", "out.zov"};
    args.insert(args.end(), variant.begin(), variant.end());

    const int code = zov::runVicclip(args);
    zov::fuzz::require(code == 0 || code == 2, "the run ends with 0 or 2", platform.console);
    std::vector<std::string> names;
    platform.files.list("", names);
    if (code != 0) {
        zov::fuzz::require(names.size() == 1, "a refused clip leaves nothing", platform.console);
        return 0;
    }
    zov::fuzz::require(names.size() == 2 && platform.files.exists("out.zov"), "only the clip and the stream are left",
                       platform.console);
    const auto& stream = platform.files.contents("out.zov");
    zov::fuzz::require(stream.size() >= 30 && std::string(stream.begin(), stream.begin() + 4) == "ZOVF",
                       "the stream starts as a ZOVF stream", platform.console);
    return 0;
}
