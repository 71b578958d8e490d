// Arbitrary command lines for the picture converter, one argument per input line, run on a small disk of
// pictures, an audio file and an older output. Whatever the arguments, the run ends with one of the
// documented exit codes, every video stream left on the disk is well formed with a header that describes
// what it holds, and the older output is only touched when /y was given.
#include "formats/stream_walk.h"
#include "frameconv/app/frameconv_app.h"
#include "fuzz/fuzz_support.h"
#include "support/picture_files.h"

namespace {

using namespace zov;
using zov::fuzz::Bytes;
using zov::picture_files::Rgb;
using zov::picture_files::RgbGrid;

const Bytes kOldOutput(300, 0xEE);

RgbGrid colourful(int width, int height, int seed) {
    return RgbGrid::generate(width, height, [seed](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(x * 29 + seed), static_cast<std::uint8_t>(y * 53 + x * 7),
                   static_cast<std::uint8_t>((x ^ y) * 41 + seed * 3)};
    });
}

void populate(MemoryFileSystem& files) {
    static const Bytes still = picture_files::bmp(colourful(8, 8, 1));
    static const Bytes wide = picture_files::ppm(colourful(16, 8, 2));
    static const Bytes frame1 = picture_files::bmp(colourful(16, 16, 3));
    static const Bytes frame2 = picture_files::bmp(colourful(16, 16, 4));
    static const Bytes frame3 = picture_files::ppm(colourful(16, 16, 5));
    files.addFile("a.bmp", still);
    files.addFile("b.ppm", wide);
    files.addFile("clip/1.bmp", frame1);
    files.addFile("clip/2.bmp", frame2);
    files.addFile("clip/sub/3.ppm", frame3);
    files.addFile("audio.raw", Bytes(2000, 0x6C));
    files.addFile("old.bin", kOldOutput);
    files.addDirectory("out");
}

// Every ZOVF file below a directory must be a stream that keeps the walk's rules, its header's totals
// among them.
void checkStreams(MemoryFileSystem& files, const std::string& directory, const StringConsole& console) {
    std::vector<std::string> names;
    if (!files.list(directory, names)) return;
    for (const std::string& name : names) {
        const std::string path = directory.empty() ? name : directory + "/" + name;
        if (files.kind(path) == PathKind::Directory) {
            checkStreams(files, path, console);
            continue;
        }
        const Bytes bytes = files.contents(path);
        if (bytes.size() < 4 || std::string(bytes.begin(), bytes.begin() + 4) != "ZOVF") continue;
        WalkedStream stream;
        StreamFault fault;
        zov::fuzz::require(walkStream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), stream, fault),
                           "a well-formed stream", console);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zov::fuzz::QuietPlatform platform;
    populate(platform.files);
    std::vector<std::string> args = zov::fuzz::linesOf(data, size);
    args.insert(args.begin(), "frameconv");

    FrameconvApp app;
    const int code = app.run(args);
    zov::fuzz::require(code == 0 || code == 1 || code == 2 || code == 4, "a documented exit code", platform.console);
    checkStreams(platform.files, "", platform.console);
    if (!app.options().yes) {
        zov::fuzz::require(platform.files.contents("old.bin") == kOldOutput, "the older output is kept",
                           platform.console);
    }
    return 0;
}
