#include "vicpack/vicpack_app.h"

#include "common/cli/command_line.h"
#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/platform/whole_file.h"
#include "vicpack/disk_image.h"
#include "vicpack/stream_pack.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace zov {
namespace {

const char* const kProgram = "vicpack";

const char* const kDescription =
    "Makes programs that the target machine loads and runs: a PAL Commodore 64 for pictures and sounds, a\n"
    "Commodore 64 (or with --c128 a Commodore 128) with a RAM expansion unit (REU) for a video stream. Each\n"
    "INPUT's kind is recognised from its content:\n"
    "  bitmap file (.BIN)  -> shows the picture as vicview draws it with --border, until a key is pressed\n"
    "  ZOV sound file      -> plays the sound through the SID's volume register at its own rate\n"
    "  raw 2-bit track     -> the same, with --rate HZ (a raw track has no header)\n"
    "  ZOVF video stream   -> plays the stream with its sound from an REU image (alone, to a .prg)\n"
    "OUTPUT is NAME.prg, a program file for one INPUT (LOAD\"NAME\",8 and RUN, or an emulator's autostart),\n"
    "or NAME.d64, a 35-track disk image with one program per INPUT, named after it, in the order given\n"
    "(LOAD\"*\",8 loads the first; written by the cc1541 program). A sound longer than the memory holds\n"
    "(or any sound with --reu) plays from an REU: NAME.prg comes with NAME.reu, the unit's image, of the\n"
    "smallest standard size that holds it (128 KiB to 16 MiB), both written or neither. So does a stream's\n"
    "program NAME.prg, for the C64 (or a C128 in C64 mode) or with --c128 for the C128 in its native mode;\n"
    "the stream is checked first, every command played on a model of the memory.";

const char* const kExitCodes =
    "Exit codes: 0 done; 1 bad command line; 2 an INPUT unreadable, of no kind vicpack packs, malformed,\n"
    "without samples or frames, a stream with other INPUTs or on a .d64, or one whose frames the C64 cannot\n"
    "show; 3 OUTPUT (or its NAME.reu) exists\n"
    "(without --force), is a directory or another kind of non-regular file, or is an INPUT; 4 OUTPUT could not\n"
    "be written (nothing is left behind) or cc1541 failed; 5 a sound longer than the largest REU holds, or than\n"
    "the memory holds on a .d64, or a stream larger than the largest REU (the seconds that fit are printed), or\n"
    "a sound at a rate the player cannot keep.";

int refuse(const std::string& problem) { return refuseCommandLine(kProgram, problem, kPackBadCommandLine); }

void defineOptions(CLI::App& app, VicpackOptions& options) {
    prepareApp(app, kProgram, kExitCodes);
    app.description(kDescription);
    // The parser gives every word to the first positional, so INPUT hands its last word on to OUTPUT.
    auto output = std::make_shared<CLI::Option*>(nullptr);
    app.add_option_function<std::vector<std::string>>(
           "INPUT",
           [&options, output](const std::vector<std::string>& words) {
               options.inputs = words;
               if (words.size() < 2) return;
               options.inputs.pop_back();
               (*output)->add_result(words.back());
           },
           "Bitmap files, sound files and raw 2-bit sound tracks")
        ->required();
    *output = app.add_option("OUTPUT", options.output, "NAME.prg (one INPUT) or NAME.d64")->required();
    CLI::Option* hires = app.add_flag("--hires", options.hiresGiven, "Bitmap files in hi-res mode");
    CLI::Option* multicolour =
        app.add_flag("--multicolour", options.multicolourGiven, "Bitmap files in multicolour mode (the default)");
    hires->excludes(multicolour);
    app.add_option("--border", options.settings.borderColour, "Pictures' border colour (default: their background)")
        ->option_text("COLOUR")
        ->check(colourNumber());
    app.add_option("--rate", options.settings.rawRate, "An INPUT of no other kind is a raw 2-bit sound track at HZ")
        ->option_text("HZ")
        ->check(CLI::Range(1, 65535));
    app.add_option("--length", options.settings.length, "Keep at most this many seconds of each sound, or of a stream")
        ->option_text("SECONDS")
        ->check(positiveFinite());
    app.add_flag("--reu", options.settings.reu, "A sound plays from NAME.reu even when it fits into memory");
    app.add_option("--fps", options.settings.fps, "Pictures a second of a stream without sound (default 4)")
        ->option_text("RATE")
        ->check(positiveFinite());
    app.add_flag("--c128", options.settings.c128, "A stream's program for the C128 in its native mode (default: the C64)");
    app.add_flag("--force", options.force, "Overwrite an existing OUTPUT");
}

std::string lowerExtension(const std::string& path) {
    std::size_t dot = path.find_last_of('.'), slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

/// The outputs may be written: none exists, or --force allows replacing them, and none is an INPUT. The REU
/// image that goes with OUTPUT is named after it, which its lines say.
int checkOutputs(const VicpackOptions& options, const std::vector<std::string>& outputs) {
    for (const std::string& output : outputs) {
        const RefusalWords words =
            output == options.output
                ? RefusalWords{"OUTPUT names the file to write", "the INPUT {input}; the programs go to another file"}
                : RefusalWords{"the REU image takes OUTPUT's name with .reu",
                               "the INPUT {input}; the REU image takes OUTPUT's name with .reu, so OUTPUT needs another name"};
        if (const std::string refusal = outputRefusal(fileSystem(), output, options.inputs, options.force, words);
            !refusal.empty()) {
            out() << refusal << eol;
            return kPackOutputRefused;
        }
    }
    return kPackDone;
}

int readInput(const std::string& input, std::vector<std::uint8_t>& bytes) {
    if (readWholeFile(fileSystem(), input, bytes)) return kPackDone;
    out() << "Couldn't read " << input << eol;
    return kPackUnusableInput;
}

int packAll(const VicpackOptions& options, std::vector<PackedInput>& packed) {
    for (const std::string& input : options.inputs) {
        std::vector<std::uint8_t> bytes;
        if (int exit = readInput(input, bytes); exit != kPackDone) return exit;
        PackedInput one;
        if (int exit = packInput(input, bytes, options.settings, one); exit != kPackDone) return exit;
        packed.push_back(std::move(one));
    }
    return kPackDone;
}

int writeOutputs(const std::vector<WholeFile>& outputs) {
    std::string problem = writeWholeFilesInPlace(fileSystem(), outputs);
    if (problem.empty()) return kPackDone;
    out() << problem << eol;
    return kPackWriteFailed;
}

unsigned long blocks(std::size_t bytes) { return static_cast<unsigned long>((bytes + 253) / 254); }

/// NAME.prg, and NAME.reu with it when the program plays from one: both or neither.
int writeProgram(const VicpackOptions& options, const PackedInput& packed) {
    std::vector<WholeFile> outputs{{options.output, packed.program}};
    const std::string reuImage = reuImageName(options.output);
    if (!packed.reuImage.empty()) {
        if (int exit = checkOutputs(options, {reuImage}); exit != kPackDone) return exit;
        outputs.push_back({reuImage, packed.reuImage});
    }
    if (int exit = writeOutputs(outputs); exit != kPackDone) return exit;
    out() << options.output << ": a program of " << static_cast<unsigned long>(packed.program.size()) << " bytes ("
          << blocks(packed.program.size()) << " blocks); on the machine LOAD it with ,8 and RUN it" << eol;
    if (!packed.reuImage.empty()) {
        const unsigned long kib = static_cast<unsigned long>(packed.reuImage.size() / 1024);
        out() << reuImage << ": the REU image it plays from; before RUN set the REU's size to " << kib
              << " KiB and load this image into it" << eol;
    }
    return kPackDone;
}

/// A stream goes alone to NAME.prg and its REU image to NAME.reu beside it, both or neither.
int packStreamFiles(const VicpackOptions& options, const std::vector<std::uint8_t>& bytes) {
    if (options.hiresGiven || options.multicolourGiven)
        return refuse("--hires and --multicolour apply to bitmap files; a stream's header names its mode");
    if (options.settings.rawRate > 0) return refuse("--rate applies to raw sound tracks; the INPUT is a video stream");
    if (options.fpsGiven && streamHasSound(bytes))
        return refuse("--fps applies to a stream without sound; the sound times this stream's pictures");
    const std::string image = reuImageName(options.output);
    if (int exit = checkOutputs(options, {image}); exit != kPackDone) return exit;
    PackedStream packed;
    if (int exit = packStream(options.inputs.front(), bytes, options.settings, packed); exit != kPackDone) return exit;
    const std::string problem = writeWholeFilesInPlace(
        fileSystem(), {{options.output, packed.package.program}, {image, packed.package.reuImage}});
    if (!problem.empty()) {
        out() << problem << eol;
        return kPackWriteFailed;
    }
    out() << packedStreamLine(options.output, packed, options.settings.fps) << eol;
    out() << packedTimingLine(options.output, packed) << eol;
    return kPackDone;
}

/// One INPUT to one program file; a video stream to its program and REU image.
int packProgramFile(const VicpackOptions& options) {
    std::vector<std::uint8_t> bytes;
    if (int exit = readInput(options.inputs.front(), bytes); exit != kPackDone) return exit;
    if (isVideoStream(bytes)) return packStreamFiles(options, bytes);
    if (options.fpsGiven) return refuse("--fps applies to video streams only");
    if (options.settings.c128) return refuse("--c128 applies to video streams only");
    PackedInput packed;
    if (int exit = packInput(options.inputs.front(), bytes, options.settings, packed); exit != kPackDone) return exit;
    return writeProgram(options, packed);
}

int writeDisk(const VicpackOptions& options, const std::vector<PackedInput>& programs) {
    std::vector<std::string> names;
    for (const std::string& input : options.inputs) names.push_back(diskFileName(input));
    names = uniqueDiskNames(names);
    std::vector<DiskProgram> disk;
    for (std::size_t i = 0; i < programs.size(); ++i) disk.push_back({names[i], programs[i].program});
    std::vector<std::uint8_t> image;
    std::string problem;
    if (!makeDiskImage(diskFileName(options.output), disk, image, problem)) {
        out() << options.output << ": " << problem << eol;
        return kPackWriteFailed;
    }
    if (int exit = writeOutputs({{options.output, image}}); exit != kPackDone) return exit;
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    out() << options.output << ": " << static_cast<unsigned long>(names.size()) << (names.size() == 1 ? " program" : " programs")
          << " on a 35-track disk: " << list << "; LOAD\"*\",8 and RUN start " << names.front() << eol;
    return kPackDone;
}

}  // namespace

std::optional<int> parseVicpackCommandLine(const std::vector<std::string>& args, VicpackOptions& options) {
    options = VicpackOptions{};
    CLI::App app;
    defineOptions(app, options);
    if (std::optional<int> exit = parseArguments(app, args, kPackBadCommandLine)) return exit;
    options.settings.mode = options.hiresGiven ? VicMode::HiRes : VicMode::Multicolour;
    std::string extension = lowerExtension(options.output);
    if (extension != ".prg" && extension != ".d64")
        return refuse("OUTPUT ends in .prg (a program file) or .d64 (a disk image), not '" + options.output + "'");
    if (extension == ".prg" && options.inputs.size() > 1)
        return refuse("a .prg OUTPUT holds one program; several INPUTs go on a .d64 disk image");
    options.settings.diskImage = extension == ".d64";
    if (options.settings.diskImage && options.settings.reu)
        return refuse("--reu writes NAME.prg with its REU image NAME.reu; a .d64 disk image carries none");
    options.fpsGiven = app.count("--fps") > 0;
    if (options.settings.diskImage && options.fpsGiven)
        return refuse("--fps applies to a video stream, which goes alone to a .prg, not on a .d64");
    if (options.settings.diskImage && options.settings.c128)
        return refuse("--c128 applies to a video stream, which goes alone to a .prg, not on a .d64");
    return std::nullopt;
}

int runVicpack(const std::vector<std::string>& args) {
    VicpackOptions options;
    if (std::optional<int> exit = parseVicpackCommandLine(args, options)) return *exit;
    if (int exit = checkOutputs(options, {options.output}); exit != kPackDone) return exit;
    if (!options.settings.diskImage) return packProgramFile(options);
    std::vector<PackedInput> packed;
    if (int exit = packAll(options, packed); exit != kPackDone) return exit;
    return writeDisk(options, packed);
}

}  // namespace zov
