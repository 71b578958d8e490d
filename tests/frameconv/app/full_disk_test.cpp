// frameconv writing to a full disk (/dev/full) on the machine's own file system: every bitmap file and the
// video stream fail with the system's text, and the run fails. The walk goes on after a bitmap file fails,
// so every picture is tried.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <unistd.h>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (access("/dev/full", F_OK) != 0) GTEST_SKIP() << "no /dev/full here";
        tree_ = std::make_unique<testing::TempTree>("frameconv");
        for (int i = 0; i < 2; ++i) {
            const auto grid = RgbGrid::generate(16, 16, [i](int x, int y) {
                return Rgb{static_cast<std::uint8_t>(x * 15), static_cast<std::uint8_t>(y * 15 + i * 40), 90};
            });
            tree_->save("clip/f" + std::to_string(i) + ".bmp", picture_files::bmp(grid));
        }
        tree_->save("sound.raw", testing::TempTree::Bytes(4000, 0x5A));
    }

    int run(std::vector<std::string> args) {
        PlatformOverride use(nullptr, &console_);
        args.insert(args.begin(), "frameconv");
        return runFrameconv(args);
    }
    std::string path(const std::string& name) const { return tree_->path(name); }

    const std::string error_ = std::string("\r\nWrite error: ") + std::strerror(ENOSPC) + "\n";
    std::unique_ptr<testing::TempTree> tree_;
    StringConsole console_;
};

TEST_F(FullDisk, EveryBitmapFileFailsAndTheRunFails) {
    EXPECT_EQ(run({path("clip/f0.bmp"), "/dev/full", "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), error_);

    console_.clear();
    EXPECT_EQ(run({path("clip"), "/dev/full", "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), error_ + error_);
}

TEST_F(FullDisk, VideoStreamFailsAtItsHeader) {
    EXPECT_EQ(run({path("clip"), "/dev/full", "/c", "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), error_);

    console_.clear();
    EXPECT_EQ(run({path("clip"), "/dev/full", "/af", path("sound.raw"), "/y", "/v0"}), 2);
    EXPECT_EQ(console_.output(), error_);
}

TEST_F(FullDisk, ExistingDestinationWithoutYesIsNotTouched) {
    EXPECT_EQ(run({path("clip/f0.bmp"), "/dev/full", "/v0"}), 0);
    EXPECT_EQ(console_.output(), "/dev/full already exists, and will be skipped.\n");
    console_.clear();
    EXPECT_EQ(run({path("clip"), "/dev/full", "/c", "/v0"}), 2);
    EXPECT_EQ(console_.output(), "/dev/full already exists, aborting...\n");
}

}  // namespace
}  // namespace zov
