// Arbitrary command lines for the sound converter, one argument per input line, run on a small disk of
// WAVE files and an older output. Whatever the arguments, the run ends with 0, 1 or 2, every sound file
// left on the disk has a length field that matches it, and the older output is only touched when /y was
// given.
#include "fuzz/fuzz_support.h"
#include "soundconv/soundconv_app.h"
#include "soundconv/wave_builder.h"
#include "formats/little_endian.h"

#include <cctype>

namespace {

using namespace zov;
using zov::fuzz::Bytes;

const Bytes kOldOutput(300, 0xEE);

Bytes wave(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, int frames) {
    test::WaveBuilder builder;
    builder.channels = channels;
    builder.sampleRate = rate;
    builder.bits = bits;
    const int bytes = frames * channels * ((bits + 7) / 8);
    for (int i = 0; i < bytes; ++i) builder.samples.push_back(static_cast<unsigned char>(i * 37 + i / 7));
    return builder.build();
}

void populate(MemoryFileSystem& files) {
    static const Bytes mono = wave(1, 8000, 8, 900);
    static const Bytes stereo = wave(2, 22050, 16, 700);
    static const Bytes odd = wave(3, 11025, 12, 300);
    files.addFile("a.wav", mono);
    files.addFile("d/b.wav", stereo);
    files.addFile("d/sub/c.WAV", odd);
    files.addFile("old.bin", kOldOutput);
    files.addDirectory("out");
}

void checkSoundFiles(MemoryFileSystem& files, const std::string& directory, const StringConsole& console) {
    std::vector<std::string> names;
    if (!files.list(directory, names)) return;
    for (const std::string& name : names) {
        const std::string path = directory.empty() ? name : directory + "/" + name;
        if (files.kind(path) == PathKind::Directory) {
            checkSoundFiles(files, path, console);
            continue;
        }
        const Bytes bytes = files.contents(path);
        if (bytes.size() < 4 || std::string(bytes.begin(), bytes.begin() + 4) != "ZOVF") continue;
        zov::fuzz::require(bytes.size() >= 20 && readLe32(&bytes[4]) == bytes.size() - 8, "the length field", console);
    }
}

bool yesGiven(const std::vector<std::string>& args) {
    // Values follow their option as a separate argument; everything else from the third on is an option.
    for (std::size_t i = 3; i < args.size(); ++i) {
        if (args[i].size() < 2) return false;
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(args[i][1])));
        if (letter == 'y') return true;
        if (std::string("sbfnjlc").find(letter) != std::string::npos) ++i;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zov::fuzz::QuietPlatform platform;
    populate(platform.files);
    std::vector<std::string> args = zov::fuzz::linesOf(data, size);
    args.insert(args.begin(), "soundconv");

    const int code = runSoundconv(args);
    zov::fuzz::require(code == 0 || code == 1 || code == 2, "a documented exit code", platform.console);
    checkSoundFiles(platform.files, "", platform.console);
    if (!yesGiven(args)) {
        zov::fuzz::require(platform.files.contents("old.bin") == kOldOutput, "the older output is kept",
                           platform.console);
    }
    return 0;
}
