#include "common/platform/memory_platform.h"
#include "common/walk/batch_walk.h"
#include "common/walk/output_naming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zov {
namespace {

// A walk over an in-memory disk that records every hand-over as "source -> dest".
class WalkTest : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use{&fs, &console};
    std::vector<std::string> visits;
    int jump = 0;
    int frames = 0;

    BatchWalk frameconvWalk(bool recursive = false, int verbose = 1, bool answer = true) {
        BatchWalk::Settings s;
        s.extensions = {".BMP", ".PPM"};
        s.directoryLine = verbose != 0 ? BatchWalk::DirectoryLine::Pattern : BatchWalk::DirectoryLine::None;
        s.recursive = recursive;
        s.jump = &jump;
        s.frames = &frames;
        return BatchWalk(s, [this, answer](const std::string& src, const std::string& dest) {
            visits.push_back(src + " -> " + dest);
            return answer;
        });
    }

    BatchWalk soundWalk(bool recursive, bool verbose, const std::string& refuse = "") {
        BatchWalk::Settings s;
        s.extensions = {".WAV"};
        s.directoryLine = verbose ? BatchWalk::DirectoryLine::Path : BatchWalk::DirectoryLine::None;
        s.reportMissingSource = true;
        s.recursive = recursive;
        return BatchWalk(s, [this, refuse](const std::string& src, const std::string& dest) {
            visits.push_back(src + " -> " + dest);
            return src != refuse;
        });
    }
};

TEST_F(WalkTest, TwoPassesTakeBmpThenPpmAndNothingElse) {
    fs.addFile("pics/C.TXT", "x");
    fs.addFile("pics/B.PPM", "x");
    fs.addFile("pics/A.BMP", "x");
    fs.addFile("pics/d.bmp", "x");
    EXPECT_TRUE(frameconvWalk().passes("pics", "out"));
    EXPECT_EQ(visits, (std::vector<std::string>{"pics/A.BMP -> out", "pics/d.bmp -> out", "pics/B.PPM -> out"}));
    EXPECT_EQ(console.output(), "Directory: pics/*.BMP\nDirectory: pics/*.PPM\n");
    EXPECT_TRUE(fs.exists("out"));
}

TEST_F(WalkTest, ListingIsSortedWithoutRegardToCase) {
    for (const char* name : {"frame10.bmp", "Frame02.BMP", "frame01.bmp", "FRAME03.bmp", "b.bmp", "B.bmp"})
        fs.addFile(std::string("d/") + name, "x");
    BatchWalk walk = frameconvWalk();
    EXPECT_EQ(walk.listing("d", ".BMP"),
              (std::vector<std::string>{"B.bmp", "b.bmp", "frame01.bmp", "Frame02.BMP", "FRAME03.bmp", "frame10.bmp"}));
}

TEST_F(WalkTest, JumpAndFramesCountAcrossPassesAndDirectories) {
    for (const char* name : {"1.bmp", "2.bmp", "3.bmp", "4.ppm", "5.ppm"}) fs.addFile(std::string("d/") + name, "x");
    jump = 2;
    EXPECT_TRUE(frameconvWalk(false, 0).passes("d", "o"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/3.bmp -> o", "d/4.ppm -> o", "d/5.ppm -> o"}));

    visits.clear();
    jump = 0;
    frames = 2;
    BatchWalk walk = frameconvWalk(false, 1);
    console.clear();
    EXPECT_TRUE(walk.passes("d", "o"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/1.bmp -> o", "d/2.bmp -> o"}));
    EXPECT_TRUE(walk.finished());
    // The frame limit ended the whole batch: no ".PPM" pass was started.
    EXPECT_EQ(console.output(), "Directory: d/*.BMP\n");
}

TEST_F(WalkTest, FrameLimitEndsEnclosingListingsToo) {
    fs.addFile("d/a.bmp", "x");
    fs.addFile("d/sub/b.bmp", "x");
    fs.addFile("d/sub/c.bmp", "x");
    fs.addFile("d/z.bmp", "x");
    frames = 2;
    EXPECT_TRUE(frameconvWalk(true, 0).passes("d", "*"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/a.bmp -> *", "d/sub/b.bmp -> *"}));
}

TEST_F(WalkTest, RecursionVisitsEverySubDirectoryInSortedOrder) {
    fs.addFile("d/b.bmp", "x");
    fs.addFile("d/a/x.bmp", "x");
    fs.addFile("d/c/y.bmp", "x");
    fs.addDirectory("d/empty");
    EXPECT_TRUE(frameconvWalk(true, 0).pass("d", "out", ".BMP"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/a/x.bmp -> out/a", "d/b.bmp -> out", "d/c/y.bmp -> out/c"}));
    EXPECT_TRUE(fs.exists("out/a"));
    EXPECT_TRUE(fs.exists("out/c"));
    EXPECT_FALSE(fs.exists("out/empty"));  // nothing matched there, so nothing was created

    visits.clear();
    EXPECT_TRUE(frameconvWalk(false, 0).pass("d", "out2", ".BMP"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/b.bmp -> out2"}));
}

// A destination inside the source tree: each directory the walk makes lies in a directory it has yet to
// visit, so walking the new directories too would never end.
TEST_F(WalkTest, DestinationMadeInsideTheSourceIsNotWalked) {
    fs.addFile("d/a.wav", "x");
    fs.addFile("d/s/b.wav", "x");
    EXPECT_TRUE(soundWalk(true, false).pass("d", "d/s/out", ".WAV"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/a.wav -> d/s/out", "d/s/b.wav -> d/s/out/s"}));

    // An output directory that was already there is an ordinary source directory.
    visits.clear();
    fs.addFile("d/s/out/c.wav", "x");
    EXPECT_TRUE(soundWalk(true, false).pass("d", "d/s/out/s", ".WAV"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/a.wav -> d/s/out/s", "d/s/b.wav -> d/s/out/s/s",
                                                "d/s/out/c.wav -> d/s/out/s/s/out"}));
}

TEST_F(WalkTest, StarDestinationKeepsOutputsBesideSourcesAndCreatesNothing) {
    fs.addFile("d/a.bmp", "x");
    fs.addFile("d/s/b.bmp", "x");
    EXPECT_TRUE(frameconvWalk(true, 0).pass("d", "*", ".BMP"));
    EXPECT_EQ(visits, (std::vector<std::string>{"d/a.bmp -> *", "d/s/b.bmp -> *"}));
    EXPECT_FALSE(fs.exists("*"));
}

TEST_F(WalkTest, DestinationDirectoryIsNotCreatedWhenCompiling) {
    fs.addFile("d/a.bmp", "x");
    BatchWalk::Settings s;
    s.createDestination = false;
    BatchWalk walk(s, [](const std::string&, const std::string&) { return true; });
    EXPECT_TRUE(walk.pass("d", "video.zov", ".BMP"));
    EXPECT_FALSE(fs.exists("video.zov"));
}

TEST_F(WalkTest, SingleFileIsHandedOverOnceWhateverItsName) {
    fs.addFile("picture.dat", "x");
    EXPECT_TRUE(frameconvWalk().passes("picture.dat", "o.bin"));
    EXPECT_EQ(visits, (std::vector<std::string>{"picture.dat -> o.bin"}));
    EXPECT_EQ(console.output(), "");
}

TEST_F(WalkTest, ConverterAnsweringNoStopsTheWalk) {
    fs.addFile("d/a.bmp", "x");
    fs.addFile("d/b.bmp", "x");
    fs.addFile("d/c.ppm", "x");
    EXPECT_FALSE(frameconvWalk(false, 0, false).passes("d", "o"));
    EXPECT_EQ(visits.size(), 1u);
}

TEST_F(WalkTest, UnreadableEntryEndsThePass) {
    fs.addFile("d/a.bmp", "x");
    fs.addFile("d/b.bmp", "x");
    fs.makeUnreadable("d/b.bmp");
    EXPECT_FALSE(frameconvWalk(false, 0).pass("d", "o", ".BMP"));
    EXPECT_EQ(console.output(), "\r\nCouldn't get attributes of d/b.bmp\n");
}

TEST_F(WalkTest, SoundconvPassPrintsDirectoryAloneAndStopsAtFirstRefusal) {
    fs.addFile("snd/a.wav", "x");
    fs.addFile("snd/b.WAV", "x");
    fs.addFile("snd/c.wav", "x");
    fs.addFile("snd/notes.txt", "x");
    EXPECT_FALSE(soundWalk(false, true, "snd/b.WAV").pass("snd", "out", ".WAV"));
    EXPECT_EQ(visits, (std::vector<std::string>{"snd/a.wav -> out", "snd/b.WAV -> out"}));
    EXPECT_EQ(console.output(), "snd\n");
}

TEST_F(WalkTest, SoundconvReportsAMissingSource) {
    EXPECT_FALSE(soundWalk(false, false).pass("nothing", "out", ".WAV"));
    EXPECT_EQ(console.output(), "\nCould not access: nothing\n");
}

TEST(OutputNaming, NamesFollowTheSourceAndTheDestination) {
    MemoryFileSystem fs;
    PlatformOverride use(&fs, nullptr);
    fs.addDirectory("out");
    EXPECT_EQ(outputPath("pics/a.bmp", "*"), "pics/a.BIN");
    EXPECT_EQ(outputPath("a.bmp", "*"), "a.BIN");
    EXPECT_EQ(outputPath("a.bmp", "*anything"), "a.BIN");
    EXPECT_EQ(outputPath("pics/a.bmp", "out"), "out/a.BIN");
    EXPECT_EQ(outputPath("pics/a.bmp", "out/"), "out/a.BIN");
    EXPECT_EQ(outputPath("pics/a.bmp", "x.bin"), "x.bin");
    EXPECT_EQ(outputName("frame01"), "frame01.BIN");
    EXPECT_EQ(outputName("my.pic.bmp"), "my.pic.BIN");
    EXPECT_EQ(outputName("dir.d/frame"), "frame.BIN");
    EXPECT_EQ(individualBitmapPath("pics/f01.bmp"), "pics/f01.BIN");
    EXPECT_EQ(individualBitmapPath("my.dir/frame"), "my.dir/frame.BIN");
}

struct ExistingCase {
    ExistingOutputRules rules;
    bool directory;
    bool yes;
    OutputDecision decision;
    const char* message;
};

TEST(ExistingOutput, EveryRuleAndCaseHasItsMessageAndOutcome) {
    // The programs' three kinds: a bitmap per picture, a stream made at its first picture, a sound file;
    // each also without the overwrite line.
    const ExistingOutputRules picture{};
    ExistingOutputRules quietPicture = picture;
    quietPicture.reportOverwrite = false;
    const ExistingOutputRules stream{"", true, OutputDecision::Stop, "aborting...", OutputDecision::Stop, true};
    ExistingOutputRules quietStream = stream;
    quietStream.reportOverwrite = false;
    const ExistingOutputRules sound{"  Skipping...", false, OutputDecision::Stop, "and will be skipped.",
                                    OutputDecision::Stop, true};
    const ExistingCase cases[] = {
        {picture, true, false, OutputDecision::Skip, "o already exists,  but as a directory!  Skipping...\n"},
        {quietPicture, false, false, OutputDecision::Skip, "o already exists, and will be skipped.\n"},
        {picture, false, true, OutputDecision::Write, "o already exists, and will be overwritten.\n"},
        {quietPicture, false, true, OutputDecision::Write, ""},
        {stream, true, true, OutputDecision::Stop, "o already exists,  but as a directory!\n"},
        {stream, false, false, OutputDecision::Stop, "o already exists, aborting...\n"},
        {stream, false, true, OutputDecision::Write, "o already exists, and will be overwritten.\n"},
        {quietStream, false, true, OutputDecision::Write, ""},
        {sound, true, false, OutputDecision::Stop, "o already exists,  but as a directory!  Skipping..."},
        {sound, false, false, OutputDecision::Stop, "o already exists, and will be skipped.\n"},
        {sound, false, true, OutputDecision::Write, "o already exists, and will be overwritten.\n"},
    };
    for (const ExistingCase& c : cases) {
        MemoryFileSystem fs;
        StringConsole console;
        PlatformOverride use(&fs, &console);
        if (c.directory) fs.addDirectory("o");
        else fs.addFile("o", "old");
        bool existed = false;
        EXPECT_EQ(checkExistingOutput("o", c.rules, c.yes, &existed), c.decision) << c.message;
        EXPECT_EQ(console.output(), c.message);
        EXPECT_TRUE(existed);
        EXPECT_EQ(fs.contents(c.directory ? "" : "o").size(), c.directory ? 0u : 3u);  // nothing touched
    }
}

TEST(ExistingOutput, MissingOutputIsWrittenSilently) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    bool existed = true;
    EXPECT_EQ(checkExistingOutput("new.BIN", ExistingOutputRules{}, false, &existed), OutputDecision::Write);
    EXPECT_FALSE(existed);
    EXPECT_EQ(console.output(), "");
}

TEST(ExistingOutput, IndividualBitmapsDuringACompile) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    fs.addDirectory("d.BIN");
    fs.addFile("f.BIN", "x");
    EXPECT_FALSE(checkIndividualBitmap("d.BIN", true, 1));
    EXPECT_FALSE(checkIndividualBitmap("f.BIN", false, 0));
    EXPECT_TRUE(checkIndividualBitmap("f.BIN", true, 0));
    EXPECT_TRUE(checkIndividualBitmap("f.BIN", true, 1));
    EXPECT_TRUE(checkIndividualBitmap("n.BIN", false, 1));
    EXPECT_EQ(console.output(),
              "d.BIN already exists,  but as a directory!  Individual bitmap will not be created...\n"
              "f.BIN already exists, and will not be overwritten.\n"
              "f.BIN already exists, and will be overwritten.\n");
}

}  // namespace
}  // namespace zov
