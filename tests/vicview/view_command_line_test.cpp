#include "view_test_support.h"

namespace zov {
namespace {

TEST_F(ViewRun, BadCommandLinesPrintTheProblemAndAPointerToTheHelp) {
    struct Case {
        const char* args;
        const char* line;
    };
    const Case cases[] = {
        {"", "vicview: INPUT is required"},
        {"a.bin", "vicview: OUTPUT is required"},
        {"a.bin b.png c.png", "vicview: The following argument was not expected: c.png"},
        {"a.bin b.png --mono", "vicview: The following argument was not expected: --mono"},
        {"a.bin b.png --hires --multicolour", "vicview: --hires excludes --multicolour"},
        {"a.bin b.png --border=16", "vicview: --border: a colour is a number from 0 to 15, not '16'"},
        {"a.bin b.png --palette=vivid", "vicview: --palette: vivid not in {pepto,colodore}"},
        {"a.zov dir --fg x", "vicview: --fg: a colour is a number from 0 to 15, not 'x'"},
        {"a.zov dir --fg -1", "vicview: --fg: a colour is a number from 0 to 15, not '-1'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), kViewBadCommandLine) << c.args;
        EXPECT_EQ(console.output(), std::string(c.line) + "\nTry 'vicview --help' for more information.\n") << c.args;
    }
    EXPECT_EQ(run("a.zov dir --wav"), kViewBadCommandLine);
    EXPECT_EQ(run("a.bin b.png --palette"), kViewBadCommandLine);
}

TEST_F(ViewRun, HelpAndVersionEndTheRunWithoutReadingInput) {
    EXPECT_EQ(run("--help"), kViewDone);
    EXPECT_NE(console.output().find("Usage: vicview [OPTIONS] INPUT OUTPUT"), std::string::npos);
    EXPECT_NE(console.output().find("  --border[=COLOUR] "), std::string::npos);
    EXPECT_EQ(run("none.bin out.png --version"), kViewDone);
    EXPECT_EQ(console.output().substr(0, 20), "vicview (zovtools) 1");
}

TEST_F(ViewRun, OptionsForAnotherKindOfInputAreRefused) {
    put("pic.bin", Bytes(8002, 0));
    const Bytes sound{'Z', 'O', 'V', 'F', 12, 0, 0, 0, 0x48, 0xC1, 8, 0, 'P', 'C', 'M', 'U', 0x84, 0x1E, 8, 1};
    put("snd.zov", sound);
    struct Case {
        const char* args;
        const char* line;
    };
    const Case cases[] = {
        {"pic.bin out.png --wav a.wav", "vicview: --wav, --fg and --crop apply to video streams only"},
        {"pic.bin out.png --crop", "vicview: --wav, --fg and --crop apply to video streams only"},
        {"snd.zov out.wav --fg 3", "vicview: --wav, --fg and --crop apply to video streams only"},
        {"snd.zov out.wav --hires",
         "vicview: --hires and --multicolour apply to bitmap files only; a stream names its mode"},
        {"snd.zov out.wav --border", "vicview: --border and --palette do not apply to sound files"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), kViewBadCommandLine) << c.args;
        EXPECT_EQ(console.output().substr(0, console.output().find('\n')), c.line) << c.args;
    }
    EXPECT_FALSE(fs.exists("out.png") || fs.exists("out.wav"));
}

TEST_F(ViewRun, MissingInputIsReported) {
    EXPECT_EQ(run("none.bin out.png"), kViewUnreadableInput);
    EXPECT_EQ(console.output(), "Couldn't read none.bin\n");
    fs.addDirectory("folder");
    EXPECT_EQ(run("folder out.png"), kViewUnreadableInput);
}

}  // namespace
}  // namespace zov
