#include "common/platform/memory_platform.h"
#include "soundconv/sound_options.h"
#include "soundconv/soundconv_app.h"
#include "support/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

std::string soundUsage() {
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    printSoundUsage();
    return console.output();
}

struct SoundBadLine {
    const char* args;
    const char* line;
};

TEST(SoundconvCommandLine, FirstErrorIsReportedWithTheUsage) {
    const SoundBadLine cases[] = {
        {"", "Syntax error"},
        {"a.wav", "Syntax error"},
        {"a.wav -v", "Syntax error"},
        {"-a.wav out", "Syntax error"},
        {"a.wav out /v /x", "Syntax error"},
        {"a.wav out file.txt", "Syntax error"},
        {"a.wav out /", "Syntax error"},
        {"a.wav out /n 6", "Illegal value for Nbits"},
        {"a.wav out /b 100", "Illegal value for Bias"},
        {"a.wav out /b -5", "Illegal value for Bias"},
        {"a.wav out /s 0", "Illegal value for Scale"},
        {"a.wav out /f 0", "Illegal value for Freq"},
        {"a.wav out /f abc", "Illegal value for Freq"},
        {"a.wav out /l 0", "Illegal value for Length"},
        {"a.wav out /j -1", "Illegal value for Jump"},
        {"a.wav out /c -1", "Illegal value for Cut"},
        {"a.wav out /s", "Missing value for Scale"},
        {"a.wav out /v /n", "Missing value for Nbits"},
        // Parsing stops at the first error: the bad /s is never looked at.
        {"a.wav out /q /s 0", "Syntax error"},
        {"a.wav out /v /v /v /v /v /v /v /v /v /v /v /v", "Syntax error: too many arguments"},
        {"a.wav out /v /v /v /v /v /v /v /v /v /v /v /s", "Missing value for Scale"},
        {"a.wav out /v /v /v /v /v /v /v /v /v /v /v /s 0", "Illegal value for Scale"},
        {"a.wav out /v /v /v /v /v /v /v /v /v /v /v /x", "Syntax error"},
        {"a.wav out /v /v /v /v /v /v /v /v /v /v /v x", "Syntax error"},
    };
    const std::string usage = soundUsage();
    for (const SoundBadLine& c : cases) {
        MemoryFileSystem fs;
        StringConsole console;
        PlatformOverride use(&fs, &console);
        EXPECT_EQ(runSoundconv(soundconvArgs(c.args)), 1) << c.args;
        EXPECT_EQ(console.output(), std::string(c.line) + "\n" + usage) << c.args;
    }
}

TEST(SoundconvCommandLine, AcceptedValuesAndSwitches) {
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    SoundOptions o;
    ASSERT_TRUE(parseSoundCommandLine(soundconvArgs("a b /n 8.9 /b 99.9 /j 0 /c 0 /s 50 /f 11025 /l 2.5"), o));
    EXPECT_EQ(o.nbits, 8);
    EXPECT_EQ(o.bias, 99.9);
    EXPECT_EQ(o.jump, 0.0);
    EXPECT_EQ(o.scale, 50.0);
    EXPECT_EQ(o.freq, 11025.0);
    EXPECT_EQ(o.length, 2.5);
    ASSERT_TRUE(parseSoundCommandLine(soundconvArgs("a b /j abc /recursive -V /Yes /ignore"), o));
    EXPECT_EQ(o.jump, 0.0);
    EXPECT_TRUE(o.recursive && o.verbose && o.yes && o.ignoreDataLength);
    // A value is the next argument whole, even when it looks like an option; the last one wins.
    ASSERT_TRUE(parseSoundCommandLine(soundconvArgs("a b /s -v /s 80"), o) == false);
    console.clear();
    ASSERT_TRUE(parseSoundCommandLine(soundconvArgs("a b /s 10 /s 80"), o));
    EXPECT_EQ(o.scale, 80.0);
    // Eleven options are accepted.
    ASSERT_TRUE(parseSoundCommandLine(soundconvArgs("/abs/a.wav /abs/out /v /v /v /v /v /v /v /v /v /v /v"), o));
    EXPECT_EQ(o.origin, "/abs/a.wav");
    EXPECT_EQ(console.output(), "");
}

TEST(SoundconvRun, MissingSourceAndRefusedFilesEndWithExitCodeTwo) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    EXPECT_EQ(runSoundconv(soundconvArgs("none.wav out")), 2);
    EXPECT_EQ(console.output(), "\nCould not access: none.wav\n");

    console.clear();
    fs.addFile("snd/a.wav", "x");
    fs.addDirectory("out/a.BIN");
    EXPECT_EQ(runSoundconv(soundconvArgs("snd out")), 2);
    EXPECT_EQ(console.output(), "out/a.BIN already exists,  but as a directory!  Skipping...");
}

}  // namespace
}  // namespace zov
