// frameconv writing to a full disk (/dev/full) on the machine's own file system: every bitmap file and the
// video stream fail with the system's text, and the run fails. The walk goes on after a bitmap file fails,
// so every picture is tried.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace zov {
namespace {

namespace fs = std::filesystem;
using picture_files::Rgb;
using picture_files::RgbGrid;

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
        std::string pattern = (fs::temp_directory_path() / "frameconv-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        for (int i = 0; i < 2; ++i) {
            const auto grid = RgbGrid::generate(16, 16, [i](int x, int y) {
                return Rgb{static_cast<std::uint8_t>(x * 15), static_cast<std::uint8_t>(y * 15 + i * 40), 90};
            });
            const auto bytes = picture_files::bmp(grid);
            fs::create_directories(root_ / "clip");
            const std::string name = std::string("f").append(std::to_string(i)).append(".bmp");
            std::ofstream(root_ / "clip" / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        std::ofstream(root_ / "sound.raw", std::ios::binary) << std::string(4000, '\x5A');
    }
    void TearDown() override {
        if (!root_.empty()) fs::remove_all(root_);
    }

    int run(std::vector<std::string> args) {
        PlatformOverride use(nullptr, &console_);
        args.insert(args.begin(), "frameconv");
        return runFrameconv(args);
    }
    std::string path(const std::string& name) const { return (root_ / name).string(); }

    const std::string error_ = std::string("\r\nWrite error: ") + std::strerror(ENOSPC) + "\n";
    fs::path root_;
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
