// soundconv on the machine's own file system, in a temporary directory.
#include "support/temp_tree.h"
#include "wave_builder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace zov::test {
namespace {

class RealFiles : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return tree_.path(name); }
    void save(const std::string& name, const Bytes& bytes) const { tree_.save(name, bytes); }
    Bytes load(const std::string& name) const { return tree_.load(name); }

    int run(std::vector<std::string> args) {
        console_.clear();
        PlatformOverride use(nullptr, &console_);
        args.insert(args.begin(), "soundconv");
        return runSoundconv(args);
    }

    testing::TempTree tree_{"soundconv"};
    StringConsole console_;
};

Bytes wave(Bytes samples) {
    WaveBuilder builder;
    builder.samples = std::move(samples);
    return builder.build();
}

TEST_F(RealFiles, DirectoryTreeIsConvertedIntoAMatchingTree) {
    save("in/a.wav", wave({0, 128, 255}));
    save("in/B.WAV", wave({128, 128}));
    save("in/sub/c.wav", wave({255}));
    save("in/notes.txt", Bytes{'h', 'i'});
    EXPECT_EQ(run({path("in"), path("out"), "/r", "/f", "8000"}), 0) << console_.output();

    EXPECT_EQ(load("out/a.BIN"), concat(zovHeader(22, 8000), {0x80, 0xFF}));
    EXPECT_EQ(load("out/B.BIN"), concat(zovHeader(21, 8000), {0x88}));
    EXPECT_EQ(load("out/sub/c.BIN"), concat(zovHeader(21, 8000), {0xFF}));
    EXPECT_FALSE(tree_.exists("out/notes.BIN"));
    EXPECT_EQ(console_.output(), path("out/a.BIN") + " stats: max vol 15, clipped 0, silent 0 seconds.\n" +
                                     path("out/B.BIN") + " stats: max vol 8, clipped 0, silent 0 seconds.\n" +
                                     path("out/sub/c.BIN") + " stats: max vol 15, clipped 0, silent 0 seconds.\n");
}

TEST_F(RealFiles, OverwrittenLongerFileIsCutToTheNewLength) {
    save("in.wav", wave({10, 20, 30}));
    save("out.zov", Bytes(3000, 0x5A));
    EXPECT_EQ(run({path("in.wav"), path("out.zov"), "/y", "/n", "8", "/f", "8000"}), 0);
    EXPECT_EQ(load("out.zov"), concat(zovHeader(23, 8000, 8), {10, 20, 30}));
}

TEST_F(RealFiles, ExistingOutputWithoutYesIsLeftAlone) {
    save("in.wav", wave({10, 20, 30}));
    save("out.zov", Bytes(5, 1));
    EXPECT_EQ(run({path("in.wav"), path("out.zov")}), 2);
    EXPECT_EQ(console_.output(), path("out.zov") + " already exists, and will be skipped.\n");
    EXPECT_EQ(load("out.zov"), Bytes(5, 1));
}

// The destination lies inside the source tree, named another way: the directories the walk makes there
// are not walked again (that would never end).
TEST_F(RealFiles, DestinationInsideTheSourceTreeIsNotWalked) {
    save("in/a.wav", wave({0, 255}));
    save("in/s/b.wav", wave({255}));
    EXPECT_EQ(run({path("in") + "/.", path("in/s/out"), "/r", "/f", "8000"}), 0) << console_.output();
    EXPECT_EQ(load("in/s/out/a.BIN"), concat(zovHeader(21, 8000), {0xF0}));
    EXPECT_EQ(load("in/s/out/s/b.BIN"), concat(zovHeader(21, 8000), {0xFF}));
    EXPECT_FALSE(tree_.exists("in/s/out/s/out/s"));
}

TEST_F(RealFiles, LinksBackUpTheTreeAreLoopsAndEverySoundIsConvertedOnce) {
    save("in/a.wav", wave({0, 255}));
    save("in/sub/b.wav", wave({255}));
    tree_.link("in/self", ".");
    tree_.link("in/sub/up", "..");
    EXPECT_EQ(run({path("in"), path("out"), "/r", "/f", "8000"}), 0);
    EXPECT_EQ(console_.output(), path("out/a.BIN") + " stats: max vol 15, clipped 0, silent 0 seconds.\n" +
                                     "\r\nDirectory loop: " + path("in/self") + " leads back to " + path("in") +
                                     " ...skipping.\n" + path("out/sub/b.BIN") +
                                     " stats: max vol 15, clipped 0, silent 0 seconds.\n" +
                                     "\r\nDirectory loop: " + path("in/sub/up") + " leads back to " +
                                     path("in") + " ...skipping.\n");
    EXPECT_EQ(tree_.below("out"), (std::vector<std::string>{"a.BIN", "sub", "sub/b.BIN"}));
}

// A named pipe is no source: it is reported as a file that cannot be opened, never opened, and the sounds
// after it are still converted; the run has failed all the same.
TEST_F(RealFiles, NamedPipeIsReportedAndTheWalkGoesOn) {
    save("in/a.wav", wave({0, 255}));
    save("in/c.wav", wave({255}));
    ASSERT_EQ(mkfifo(path("in/b.wav").c_str(), 0600), 0);
    EXPECT_EQ(run({path("in"), path("out"), "/f", "8000"}), 2);
    EXPECT_EQ(console_.output(), path("out/a.BIN") + " stats: max vol 15, clipped 0, silent 0 seconds.\n" +
                                     "\nCouldn't open: " + path("in/b.wav") + "\n" + path("out/c.BIN") +
                                     " stats: max vol 15, clipped 0, silent 0 seconds.\n");

    EXPECT_EQ(run({path("in/b.wav"), path("x.bin")}), 2);
    EXPECT_EQ(console_.output(), "\nCouldn't open: " + path("in/b.wav") + "\n");
}

// Whatever /y says, the source being read, or one the walk has still to read, is never the output.
TEST_F(RealFiles, InputsAreNeverOutputs) {
    const Bytes a = wave({0, 255}), b = wave({10, 20, 30});
    save("s.wav", a);
    save("in/a.wav", a);
    save("in/b.wav", b);
    EXPECT_EQ(run({path("s.wav"), path("s.wav"), "/y"}), 2);
    EXPECT_EQ(console_.output(), path("s.wav") + " already exists, and will be overwritten.\nOutput " +
                                     path("s.wav") + " is the input " + path("s.wav") +
                                     ", and will not be overwritten.\n\r\nCouldn't open destination: " +
                                     path("s.wav") + "\n");
    EXPECT_EQ(load("s.wav"), a);

    EXPECT_EQ(run({path("in"), path("in/b.wav"), "/y"}), 2);
    EXPECT_EQ(console_.output(), path("in/b.wav") + " already exists, and will be overwritten.\nOutput " +
                                     path("in/b.wav") + " is the input " + path("in/b.wav") +
                                     ", and will not be overwritten.\n\r\nCouldn't open destination: " +
                                     path("in/b.wav") + "\n");
    EXPECT_EQ(load("in/a.wav"), a);
    EXPECT_EQ(load("in/b.wav"), b);
}

// A full disk: every write fails with the system's text, and the run fails.
TEST_F(RealFiles, FullDiskGivesAWriteErrorAndFailure) {
    if (access("/dev/full", F_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    save("in.wav", wave(Bytes(3000, 100)));
    const std::string error = std::string("\r\nWrite error: ") + std::strerror(ENOSPC) + "\n";
    EXPECT_EQ(run({path("in.wav"), "/dev/full", "/y"}), 2);
    EXPECT_EQ(console_.output(), "/dev/full already exists, and will be overwritten.\n" + error);

    // The write report still follows: nothing reached the disk.
    console_.clear();
    EXPECT_EQ(run({path("in.wav"), "/dev/full", "/y", "/v"}), 2);
    EXPECT_NE(console_.output().find(error + "Wrote 0 sample bytes (0 seconds); 20 byte overhead; "), std::string::npos)
        << console_.output();
}

// A device whose writes succeed is a destination like any other: nothing fails for want of a length.
TEST_F(RealFiles, NullDeviceTakesAWholeConversion) {
    if (access("/dev/null", F_OK) != 0) GTEST_SKIP() << "no /dev/null here";
    save("in.wav", wave(Bytes(3000, 100)));
    EXPECT_EQ(run({path("in.wav"), "/dev/null", "/y"}), 0) << console_.output();
    EXPECT_EQ(console_.output(), "/dev/null already exists, and will be overwritten.\n"
                                 "/dev/null stats: max vol 6, clipped 0, silent 0 seconds.\n");
}

}  // namespace
}  // namespace zov::test
