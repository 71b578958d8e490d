// Arbitrary bytes as a source picture, through the whole picture converter: recognition, header checks,
// colour conversion, colour choice, dithering, export and the bitmap file, or two frames of a video. The
// settings (one of a fixed set, picked by the input's size) include the extremes of every adjustment.
// Whatever the input, the run ends with exit code 0, a bitmap file has one of the lengths its layout
// allows, and a video stream is well formed with a header that describes what it holds.
#include "frameconv/app/frameconv_app.h"
#include "fuzz/fuzz_support.h"
#include "support/zovf_stream.h"

#include <iterator>

namespace {

using namespace zov;
using zov::fuzz::Bytes;

struct Variant {
    bool compile;
    std::vector<std::string> options;
};

const Variant kVariants[] = {
    {false, {"/v2"}},
    {false, {"/m1", "/v2"}},
    {false, {"/m1", "/c3", "/s1e300", "/b100", "/ks1e300", "/kb-100", "/h180", "/v0"}},
    {false, {"/c0", "/s1e-300", "/b-100", "/ks0", "/kb100", "/h-180", "/kpa0", "/kpz0", "/kpy0", "/kpr0"}},
    {false, {"/c1", "/kpa1e300", "/kpz1e300", "/kpy1e300", "/kpr1e300", "/v3"}},
    {true, {"/c", "/v3"}},
    {true, {"/c", "/m1", "/v2", "/i", "/y"}},
    {true, {"/af", "audio.raw", "/v2", "/bw100", "/ir1e-300"}},
};

// The shortest and longest bitmap file of a colour setting: the bitmap may stop after the picture's last
// card row when there is no Color RAM block.
bool plausibleBitmapFile(std::size_t length, int colour) {
    switch (colour) {
    case 0: return length > 2 && length <= 2 + 8000;
    case 2: return length > 2 + 1024 && length <= 2 + 1024 + 8000;
    case 1: return length == 2 + 8000 + 1000 + 1;
    default: return length == 2 + 8000 + 1000 + 1000 + 1;
    }
}

// The colour setting: given with /c, else 2 in hi-res mode and 3 in multicolour mode.
int colourOf(const Variant& variant) {
    bool hiRes = false;
    for (const std::string& option : variant.options) {
        if (option.size() == 3 && option[0] == '/' && option[1] == 'c') return option[2] - '0';
        hiRes = hiRes || option == "/m1";
    }
    return hiRes ? 2 : 3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Variant& variant = kVariants[size % std::size(kVariants)];
    zov::fuzz::QuietPlatform platform;
    const Bytes picture(data, data + size);
    const std::vector<std::uint8_t> audio(3000, 0x1B);
    std::vector<std::string> args{"frameconv"};
    if (variant.compile) {
        // The second frame keeps the first one's header and inverts what follows it, so that it is the same
        // size with other pixels.
        Bytes second = picture;
        for (std::size_t i = 64; i < second.size(); ++i) second[i] = static_cast<unsigned char>(~second[i]);
        platform.files.addFile("clip/1.bmp", picture);
        platform.files.addFile("clip/2.bmp", second);
        platform.files.addFile("audio.raw", Bytes(audio.begin(), audio.end()));
        args.insert(args.end(), {"clip", "out.bin"});
    } else {
        platform.files.addFile("pic", picture);
        args.insert(args.end(), {"pic", "out.bin"});
    }
    args.insert(args.end(), variant.options.begin(), variant.options.end());

    FrameconvApp app;
    const int code = app.run(args);
    zov::fuzz::require(code == 0, "the run succeeds", platform.console);
    if (!platform.files.exists("out.bin")) return 0;
    const Bytes output = platform.files.contents("out.bin");
    if (variant.compile) {
        zov::testing::ZovfStream stream;
        const std::string problem =
            zov::testing::checkZovf(std::vector<std::uint8_t>(output.begin(), output.end()), stream, audio, 7843.0);
        zov::fuzz::require(problem.empty(), "the stream is well formed", platform.console);
        zov::fuzz::require(stream.frames.size() <= 2, "at most two frames", platform.console);
    } else {
        zov::fuzz::require(plausibleBitmapFile(output.size(), colourOf(variant)), "the bitmap file's length",
                           platform.console);
    }
    return 0;
}
