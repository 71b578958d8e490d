// frameconv on trees that real disks hold, on the machine's own file system: links back up the tree, named
// pipes among the pictures, and outputs that are named like inputs. The walk ends, nothing waits, and no
// input is ever changed.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;
using Bytes = testing::TempTree::Bytes;

Bytes picture(int seed) {
    return picture_files::bmp(RgbGrid::generate(16, 16, [seed](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(x * 15 + seed), static_cast<std::uint8_t>(y * 15), 90};
    }));
}

class RealTree : public ::testing::Test {
protected:
    int run(std::vector<std::string> args) {
        console_.clear();
        PlatformOverride use(nullptr, &console_);
        args.insert(args.begin(), "frameconv");
        return runFrameconv(args);
    }
    std::string path(const std::string& name) const { return tree_.path(name); }

    testing::TempTree tree_{"frameconv"};
    StringConsole console_;
};

TEST_F(RealTree, LinksBackUpTheTreeAreLoopsAndEveryPictureIsConvertedOnce) {
    tree_.save("in/a.bmp", picture(1));
    tree_.save("in/sub/c.bmp", picture(2));
    tree_.save("frames/f.bmp", picture(3));
    tree_.link("in/self", ".");
    tree_.link("in/sub/up", "..");
    tree_.link("in/linked", "../frames");  // no loop: followed

    EXPECT_EQ(run({path("in"), path("out"), "/r", "/v0"}), 0);
    EXPECT_EQ(console_.output(), "\r\nDirectory loop: " + path("in/self") + " leads back to " + path("in") +
                                     " ...skipping.\n" + "\r\nDirectory loop: " + path("in/sub/up") +
                                     " leads back to " + path("in") + " ...skipping.\n");
    EXPECT_EQ(tree_.below("out"),
              (std::vector<std::string>{"a.BIN", "linked", "linked/f.BIN", "sub", "sub/c.BIN"}));
}

TEST_F(RealTree, NamedPipeIsReportedAndNeverOpened) {
    tree_.save("in/a.bmp", picture(1));
    tree_.save("in/c.bmp", picture(2));
    ASSERT_EQ(mkfifo(path("in/b.bmp").c_str(), 0600), 0);

    EXPECT_EQ(run({path("in"), path("out"), "/v0"}), 0);
    EXPECT_EQ(console_.output(), "\r\nCouldn't open: " + path("in/b.bmp") + "\n");
    EXPECT_EQ(tree_.below("out"), (std::vector<std::string>{"a.BIN", "c.BIN"}));

    // Named as ORIG, or as the AUDIO file, it is refused just the same.
    EXPECT_EQ(run({path("in/b.bmp"), path("x.bin"), "/v0"}), 0);
    EXPECT_EQ(console_.output(), "\r\nCouldn't open: " + path("in/b.bmp") + "\n");
    EXPECT_EQ(run({path("in"), path("v.zov"), "/af", path("in/b.bmp"), "/v0"}), 4);
    EXPECT_EQ(console_.output(), "Couldn't open audio file: " + path("in/b.bmp") + "\n");
}

// Whatever /y says, an output that is an input is refused and handled as one that does not open.
TEST_F(RealTree, InputsAreNeverOutputs) {
    tree_.save("a.bmp", picture(1));
    tree_.save("clip/f1.bmp", picture(2));
    tree_.save("clip/f2.bmp", picture(3));
    tree_.save("sound.raw", Bytes(4000, 0x5A));
    tree_.hardLink("alias.BIN", "clip/f1.bmp");
    const std::vector<std::string> inputs{"a.bmp", "clip/f1.bmp", "clip/f2.bmp", "sound.raw"};
    std::vector<Bytes> before;
    for (const std::string& name : inputs) before.push_back(tree_.load(name));

    EXPECT_EQ(run({path("a.bmp"), path("a.bmp"), "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), "Output " + path("a.bmp") + " is the input " + path("a.bmp") +
                                     ", and will not be overwritten.\nCouldn't open output file: \"" +
                                     path("a.bmp") + "\"\n");

    // Under another name: the same device and inode.
    EXPECT_EQ(run({path("clip/f1.bmp"), path("alias.BIN"), "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), "Output " + path("alias.BIN") + " is the input " + path("clip/f1.bmp") +
                                     ", and will not be overwritten.\nCouldn't open output file: \"" +
                                     path("alias.BIN") + "\"\n");

    // A stream named like a picture the walk has still to read.
    EXPECT_EQ(run({path("clip"), path("clip/f2.bmp"), "/c", "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), "Output " + path("clip/f2.bmp") + " is the input " + path("clip/f2.bmp") +
                                     ", and will not be overwritten.\n\r\nCouldn't open destination: " +
                                     path("clip/f2.bmp") + "\n");

    // A stream named like the AUDIO file.
    EXPECT_EQ(run({path("clip"), path("sound.raw"), "/af", path("sound.raw"), "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), "Output " + path("sound.raw") + " is the input " + path("sound.raw") +
                                     ", and will not be overwritten.\n\r\nCouldn't open destination: " +
                                     path("sound.raw") + "\n");

    for (std::size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(tree_.load(inputs[i]), before[i]) << inputs[i];
}

}  // namespace
}  // namespace zov
