// Arbitrary bytes as a media file, through the whole of soundtrack: FFmpeg's demuxing and decoding of
// whatever it recognises, the mixing, resampling, level (with its samples held on the disk between the
// passes) and rounding, and the write beside OUTPUT and rename. The
// settings (one of a fixed set, picked by the input's size) include the extremes of the rate, the start,
// the length and the gain. Whatever the input, the run ends with 0 or 2; a finished track holds the samples
// its closing line counts, four a byte, and nothing else is left on the disk; a refused input leaves the
// output as it was.
#include "fuzz/fuzz_support.h"
#include "soundtrack/soundtrack_app.h"

#include <cstdlib>
#include <iterator>

namespace {

using zov::fuzz::Bytes;

struct Variant {
    bool overwrite;  // out.raw exists and --force is given
    std::vector<std::string> options;
};

const Variant kVariants[] = {
    {false, {}},
    {false, {"--rate", "1"}},
    {false, {"--rate", "65535", "--dither", "tpdf", "--length", "2"}},
    {false, {"--start", "0.001", "--length", "0.002", "--dither", "shaped"}},
    {false, {"--start", "1e7"}},
    {false, {"--gain", "200", "--length", "1e7"}},
    {true, {"--force", "--gain", "-200", "--rate", "22050", "--length", "30"}},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Variant& variant = kVariants[size % std::size(kVariants)];
    zov::fuzz::QuietPlatform platform;
    platform.files.addFile("in.snd", Bytes(data, data + size));
    const Bytes old(37, 0xEE);
    if (variant.overwrite) platform.files.addFile("out.raw", old);
    std::vector<std::string> args{"soundtrack", "in.snd", "out.raw"};
    args.insert(args.end(), variant.options.begin(), variant.options.end());

    const int code = zov::runSoundtrack(args);
    zov::fuzz::require(code == 0 || code == 2, "the run ends with 0 or 2", platform.console);
    std::vector<std::string> names;
    platform.files.list("", names);
    if (code != 0) {
        const bool untouched = variant.overwrite ? platform.files.contents("out.raw") == old
                                                 : !platform.files.exists("out.raw");
        zov::fuzz::require(untouched, "a refused input leaves the output alone", platform.console);
        zov::fuzz::require(names.size() == (variant.overwrite ? 2u : 1u), "nothing else is left", platform.console);
        return 0;
    }
    const std::string& said = platform.console.output();
    const std::string head = "out.raw: ";
    zov::fuzz::require(said.rfind(head, 0) == 0, "the closing line names OUTPUT", platform.console);
    const unsigned long long samples = std::strtoull(said.c_str() + head.size(), nullptr, 10);
    zov::fuzz::require(samples > 0, "a track has samples", platform.console);
    zov::fuzz::require(platform.files.contents("out.raw").size() == (samples + 3) / 4, "four samples a byte",
                       platform.console);
    zov::fuzz::require(names.size() == 2, "only INPUT and OUTPUT are left", platform.console);
    return 0;
}
