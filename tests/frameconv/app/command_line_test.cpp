#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "frameconv/app/options.h"
#include "support/command_line.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

std::string usageText() {
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    printUsage();
    return console.output();
}

struct RunResult {
    int code;
    std::string output;
};

RunResult runOn(MemoryFileSystem& fs, const std::vector<std::string>& args) {
    StringConsole console;
    PlatformOverride use(&fs, &console);
    int code = runFrameconv(args);
    return {code, console.output()};
}

TEST(FrameconvUsage, HasAllLinesInOrder) {
    std::string usage = usageText();
    EXPECT_EQ(usage.rfind("Converts 8b monochrome or 24b color BMP to VIC2 bitmap or video\n", 0), 0u);
    EXPECT_NE(usage.find("\n      [/kpaKPA] [/kpzKPZ] [/kpzKPY] [/kpzKPR]\n"), std::string::npos);
    EXPECT_NE(usage.find("\nBWIDTH = int. bandwith output of video (and audio if used); default 4000 byt/s\n"),
              std::string::npos);
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 39);
    EXPECT_TRUE(usage.size() > 40 && usage.substr(usage.size() - 35) == "Y[es] to overwrite existing files.\n");
}

struct BadLine {
    const char* args;
    const char* firstLines;  // what comes before the usage text
};

TEST(FrameconvCommandLine, ErrorsNameTheirQuantitiesAndPrintTheUsage) {
    const BadLine cases[] = {
        {"", "Syntax error!\n"},
        {"a.bmp", "Syntax error!\n"},
        {"-a.bmp out", "Syntax error!\n"},
        {"a.bmp -out", "Syntax error!\n"},
        {"a.bmp out x", "Syntax error!\n"},
        {"a.bmp out /", "Syntax error!\n"},
        {"a.bmp out /s0", "SCALE: Illegal quantity error!\n"},
        {"a.bmp out /s0 /b101", "SCALEBIAS: Illegal quantity error!\n"},
        {"a.bmp out /s0 /q", "SCALESyntax error!\n: Illegal quantity error!\n"},
        {"a.bmp out /b100.5", "BIAS: Illegal quantity error!\n"},
        {"a.bmp out /bw0", "BWIDTH: Illegal quantity error!\n"},
        {"a.bmp out /KS50", "Syntax error!\n"},
        {"a.bmp out /kB5", "Syntax error!\n"},
        {"a.bmp out /kpq5", "Syntax error!\n"},
        {"a.bmp out /kpa-1 /kpz-1 /kpy-1 /kpr-1", "KPAKPZKPYKPR: Illegal quantity error!\n"},
        {"a.bmp out /ks-1 /kb101", "CHROSCHROB: Illegal quantity error!\n"},
        {"a.bmp out /m2", "MODE: Illegal quantity error!\n"},
        {"a.bmp out /c4", "COLOR: Illegal quantity error!\n"},
        {"a.bmp out /f0 /f65536", "FRAMESFRAMES: Illegal quantity error!\n"},
        {"a.bmp out /h181", "HUE: Illegal quantity error!\n"},
        {"a.bmp out /ir0", "I.RATE: Illegal quantity error!\n"},
        {"a.bmp out /ix", "Syntax error!\n"},
        {"a.bmp out /j-1", "JUMP: Illegal quantity error!\n"},
        {"a.bmp out /r0", "RATE: Illegal quantity error!\n"},
        {"a.bmp out /ar0", "A.RATE: Illegal quantity error!\n"},
        {"a.bmp out /ax", "Syntax error!\n"},
        {"a.bmp out /af", "AUDIO: Illegal quantity error!\n"},
        {"a.bmp out /v4", "VERBOSE: Illegal quantity error!\n"},
        {"a.bmp out /snan", "SCALE: Illegal quantity error!\n"},
        {"a.bmp out /x", "Syntax error!\n"},
    };
    const std::string usage = usageText();
    for (const BadLine& c : cases) {
        MemoryFileSystem fs;
        RunResult run = runOn(fs, frameconvArgs(c.args));
        EXPECT_EQ(run.code, 1) << c.args;
        EXPECT_EQ(run.output, c.firstLines + usage) << c.args;
    }
}

TEST(FrameconvCommandLine, TwentyTwoArgumentsAreTheLimit) {
    MemoryFileSystem fs;
    fs.addDirectory("d");
    std::vector<std::string> args = frameconvArgs("d out");
    while (args.size() < 22) args.push_back("/y");
    EXPECT_EQ(runOn(fs, args).code, 0);
    args.push_back("/y");
    RunResult run = runOn(fs, args);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.output.rfind("Syntax error!\n", 0), 0u);
    // Arguments beyond the limit are still read and name their quantities.
    args.back() = "/s0";
    EXPECT_EQ(runOn(fs, args).output.rfind("SCALESyntax error!\n: Illegal quantity error!\n", 0), 0u);
}

Options parsed(const std::string& line) {
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    Options options;
    EXPECT_TRUE(parseCommandLine(frameconvArgs(line), options)) << line << console.output();
    EXPECT_EQ(console.output(), "");
    return options;
}

TEST(FrameconvCommandLine, OptionsSetTheirFields) {
    Options o = parsed("a b /c");
    EXPECT_EQ(o.compile, 1);
    EXPECT_EQ(o.color, -1);
    o = parsed("a b /c2");
    EXPECT_EQ(o.compile, 0);
    EXPECT_EQ(o.color, 2);
    o = parsed("a b /C /c2");
    EXPECT_EQ(o.compile, 1);
    EXPECT_EQ(o.color, 2);
    o = parsed("a b /r");
    EXPECT_TRUE(o.recursive);
    EXPECT_EQ(o.rate, 0.0);
    o = parsed("a b /r25 /IR12.5");
    EXPECT_FALSE(o.recursive);
    EXPECT_EQ(o.rate, 25.0);
    EXPECT_EQ(o.irate, 12.5);
    o = parsed("a b /ks50 /KPA50 /kpz10 /KpY20 /kPr30 /kb-100 /b-100 /b100");
    EXPECT_EQ(o.chros, 50.0);
    EXPECT_EQ(o.kpa, 50.0);
    EXPECT_EQ(o.kpz, 10.0);
    EXPECT_EQ(o.kpy, 20.0);
    EXPECT_EQ(o.kpr, 30.0);
    EXPECT_EQ(o.chrob, -100.0);
    EXPECT_EQ(o.bias, 100.0);
    o = parsed("a b /m1 /v /yes /i /f65535 /j3 /h-180 /bw500 /ar8000");
    EXPECT_EQ(o.mode, 8);
    EXPECT_EQ(o.verbose, 0);
    EXPECT_TRUE(o.yes);
    EXPECT_TRUE(o.individual);
    EXPECT_EQ(o.frames, 65535);
    EXPECT_EQ(o.jump, 3);
    EXPECT_EQ(o.hue, -180.0);
    EXPECT_EQ(o.bwidth, 500);
    EXPECT_EQ(o.aRate, 8000.0);
    o = parsed("a b /af sound.raw /m3 -v3");
    EXPECT_EQ(o.compile, 1);
    EXPECT_EQ(o.audioPath, "sound.raw");
    EXPECT_EQ(o.mode, 4);
    EXPECT_EQ(o.verbose, 3);
    // The AUDIO name is taken as it stands, even when it looks like an option.
    o = parsed("a b /AFX /y");
    EXPECT_EQ(o.audioPath, "/y");
    EXPECT_FALSE(o.yes);
    // Absolute paths are sources and destinations, not options.
    o = parsed("/pics /out.zov");
    EXPECT_EQ(o.origin, "/pics");
}

TEST(FrameconvRun, MissingSourceIsReportedAfterAGoodParse) {
    MemoryFileSystem fs;
    RunResult run = runOn(fs, frameconvArgs("nothing out /v0"));
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.output, "Could not access: nothing\n");
}

TEST(FrameconvRun, DerivedDefaultsFollowTheMode) {
    MemoryFileSystem fs;
    fs.addDirectory("d");
    StringConsole console;
    PlatformOverride use(&fs, &console);
    FrameconvApp multicolour;
    EXPECT_EQ(multicolour.run(frameconvArgs("d out /s50 /b10 /ir8")), 0);
    EXPECT_EQ(multicolour.options().color, 3);
    EXPECT_TRUE(multicolour.options().individual);
    EXPECT_EQ(multicolour.options().scale, 0.5);
    EXPECT_EQ(multicolour.options().bias, 10 * 2.55);
    EXPECT_EQ(multicolour.options().framePeriod, 0.125);
    EXPECT_EQ(multicolour.options().rate, 8.0);
    EXPECT_EQ(multicolour.options().kpz, 2.0);
    FrameconvApp hires;
    EXPECT_EQ(hires.run(frameconvArgs("d out /m1 /c")), 0);
    EXPECT_EQ(hires.options().color, 2);
    EXPECT_FALSE(hires.options().individual);
    EXPECT_EQ(hires.totals().frameIndex, -1);
}

// A small tree of pictures run through the whole program.
class FrameconvWalkRun : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    void SetUp() override {
        picture_files::GreyGrid grey(8, 8, 100);
        picture_files::RgbGrid colour(8, 8, {200, 10, 10});
        fs.addFile("pics/a.bmp", picture_files::bmp(grey));
        fs.addFile("pics/b.PPM", picture_files::ppm(colour));
        fs.addFile("pics/c.txt", "x");
    }
};

TEST_F(FrameconvWalkRun, OneLinePerFileAndDirectory) {
    RunResult run = runOn(fs, frameconvArgs("pics out"));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output.rfind("Directory: pics/*.BMP\n File: \"a.bmp\"\n"
                               "Directory: pics/*.PPM\n File: \"b.PPM\"\n", 0), 0u) << run.output;
    EXPECT_TRUE(fs.exists("out"));
    run = runOn(fs, frameconvArgs("pics out /v0"));
    EXPECT_EQ(run.output.find("Directory"), std::string::npos);
    EXPECT_EQ(run.output.find("File:"), std::string::npos);
}

TEST_F(FrameconvWalkRun, ExistingVideoEndsACompileAtTheFirstPicture) {
    fs.addFile("video.zov", "old");
    RunResult run = runOn(fs, frameconvArgs("pics video.zov /c"));
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.output, "Directory: pics/*.BMP\n Frame 1: \"a.bmp\"\nvideo.zov already exists, aborting...\n");
    EXPECT_EQ(fs.contents("video.zov").size(), 3u);
}

TEST_F(FrameconvWalkRun, ExistingBitmapIsSkippedAndTheWalkGoesOn) {
    fs.addFile("out/a.BIN", "old");
    fs.addDirectory("out/b.BIN");
    RunResult run = runOn(fs, frameconvArgs("pics out /v0"));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "out/a.BIN already exists, and will be skipped.\n"
                          "out/b.BIN already exists,  but as a directory!  Skipping...\n");
    EXPECT_EQ(fs.contents("out/a.BIN").size(), 3u);
}

TEST_F(FrameconvWalkRun, SourceThatCannotBeOpenedIsReportedAndSkipped) {
    fs.failAt(FileOp::OpenRead, 0);
    RunResult run = runOn(fs, frameconvArgs("pics out /v0"));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "\r\nCouldn't open: pics/a.bmp\n");
}

}  // namespace
}  // namespace zov
