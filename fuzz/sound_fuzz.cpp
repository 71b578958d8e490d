// Arbitrary bytes as a WAVE file, through the whole sound converter: header checks, the data chunk,
// JUMP, CUT and LEN, mixing, resampling and packing. The settings (one of a fixed set, picked by the
// input's size) include the extremes of every option. Whatever the input, the run ends with 0 or 2, and a
// finished file is a ZOV header whose length field matches the file, with nothing left of an older file;
// a rejected one leaves the output as it was.
#include "fuzz/fuzz_support.h"
#include "soundconv/soundconv_app.h"
#include "formats/little_endian.h"

#include <iterator>

namespace {

using zov::fuzz::Bytes;

struct Variant {
    bool overwrite;  // out.bin exists, longer than any result, and /y is given
    int nbits;
    std::vector<std::string> options;
};

const Variant kVariants[] = {
    {false, 4, {}},
    {false, 4, {"/v"}},
    {false, 8, {"/n", "8", "/v"}},
    {false, 4, {"/i", "/v"}},
    {false, 4, {"/j", "1e300"}},
    {false, 4, {"/c", "1e300", "/v"}},
    {false, 4, {"/l", "1e300", "/v"}},
    {false, 8, {"/j", "0.001", "/c", "0.001", "/l", "0.002", "/v", "/n", "8", "/i"}},
    {false, 4, {"/f", "1e300", "/v"}},
    {false, 8, {"/f", "4e-320", "/n", "8"}},
    {false, 4, {"/s", "1e300", "/b", "99.99"}},
    {true, 8, {"/y", "/n", "8", "/s", "1e-300", "/f", "11025"}},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Variant& variant = kVariants[size % std::size(kVariants)];
    zov::fuzz::QuietPlatform platform;
    platform.files.addFile("in.wav", Bytes(data, data + size));
    if (variant.overwrite) platform.files.addFile("out.bin", Bytes(size + 5000, 0xEE));
    std::vector<std::string> args{"soundconv", "in.wav", "out.bin"};
    args.insert(args.end(), variant.options.begin(), variant.options.end());

    const int code = zov::runSoundconv(args);
    zov::fuzz::require(code == 0 || code == 2, "the run ends with 0 or 2", platform.console);
    if (code != 0) {
        // On this disk nothing fails: a file that is not converted is rejected before its output is touched.
        const bool untouched = variant.overwrite ? platform.files.contents("out.bin") == Bytes(size + 5000, 0xEE)
                                                 : !platform.files.exists("out.bin");
        zov::fuzz::require(untouched, "a rejected file leaves the output alone", platform.console);
        return 0;
    }
    const Bytes output = platform.files.contents("out.bin");
    zov::fuzz::require(output.size() >= 20, "a header", platform.console);
    zov::fuzz::require(std::string(output.begin(), output.begin() + 4) == "ZOVF", "the magic", platform.console);
    zov::fuzz::require(zov::readLe32(&output[4]) == output.size() - 8, "the length field", platform.console);
    const Bytes chunk{0x48, 0xC1, 8, 0, 'P', 'C', 'M', static_cast<unsigned char>(variant.nbits == 8 ? 'U' : 'L')};
    zov::fuzz::require(Bytes(output.begin() + 8, output.begin() + 16) == chunk, "the audio chunk", platform.console);
    zov::fuzz::require(output[18] == variant.nbits && output[19] == 1, "bits and channels", platform.console);
    return 0;
}
