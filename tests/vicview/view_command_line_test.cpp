#include "view_test_support.h"

namespace zov {
namespace {

TEST_F(ViewRun, BadCommandLinesPrintTheProblemAndTheUsage) {
    struct Case {
        const char* args;
        const char* line;
    };
    const Case cases[] = {
        {"", "Missing INPUT or OUTPUT"},
        {"a.bin", "Missing INPUT or OUTPUT"},
        {"a.bin b.png c.png", "Too many arguments"},
        {"a.bin b.png --mono", "Unknown option: --mono"},
        {"a.bin b.png --hires=1", "Unknown option: --hires=1"},
        {"a.bin b.png --border=16", "Illegal border colour: 16"},
        {"a.bin b.png --border=", "Illegal border colour: "},
        {"a.bin b.png --palette", "Missing value for --palette"},
        {"a.bin b.png --palette=vivid", "Unknown palette: vivid"},
        {"a.zov dir --fg x", "Illegal foreground colour: x"},
        {"a.zov dir --fg -1", "Illegal foreground colour: -1"},
        {"a.zov dir --wav", "Missing value for --wav"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), kViewBadCommandLine) << c.args;
        EXPECT_EQ(console.output().substr(0, console.output().find('\n')), c.line) << c.args;
        EXPECT_NE(console.output().find("args: INPUT OUTPUT [options]"), std::string::npos) << c.args;
    }
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
        {"pic.bin out.png --wav a.wav", "--wav, --fg and --crop apply to video streams only"},
        {"pic.bin out.png --crop", "--wav, --fg and --crop apply to video streams only"},
        {"snd.zov out.wav --fg 3", "--wav, --fg and --crop apply to video streams only"},
        {"snd.zov out.wav --hires", "--hires and --multicolour apply to bitmap files only; a stream names its mode"},
        {"snd.zov out.wav --border", "--border and --palette do not apply to sound files"},
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
