// frameconv when its outputs and inputs share names: the video stream named like an individual bitmap or
// like a picture still to come. Neither the stream nor a picture is ever lost, and every frame the stream
// holds is described by its header.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"
#include "support/zovf_stream.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;
using Bytes = std::vector<std::uint8_t>;

class PathCollisions : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 2; ++i) {
            fs.addFile("clip/f" + std::to_string(i) + ".bmp",
                       picture_files::bmp(RgbGrid::generate(32, 32, [i](int x, int y) {
                           return Rgb{static_cast<std::uint8_t>(x * 8), static_cast<std::uint8_t>(y * 8 * i), 60};
                       })));
        }
    }

    int run(const std::string& line) {
        std::vector<std::string> args{"frameconv"};
        std::istringstream words(line);
        for (std::string word; words >> word;) args.push_back(word);
        PlatformOverride use(&fs, &console);
        return runFrameconv(args);
    }

    std::string checkStream(const std::string& path, std::size_t frames) {
        const auto bytes = fs.contents(path);
        testing::ZovfStream stream;
        std::string problem = testing::checkZovf(Bytes(bytes.begin(), bytes.end()), stream);
        if (problem.empty() && stream.frames.size() != frames) problem = std::to_string(stream.frames.size()) + " frames";
        return problem;
    }

    MemoryFileSystem fs;
    StringConsole console;
};

TEST_F(PathCollisions, StreamNamedLikeAnIndividualBitmapIsNotOverwrittenEvenWithYes) {
    EXPECT_EQ(run("clip clip/f1.BIN /c /i /y /v0"), 0);
    EXPECT_EQ(console.output(), "clip/f1.BIN already exists, and will not be overwritten.\n");
    EXPECT_EQ(checkStream("clip/f1.BIN", 2), "");
    EXPECT_EQ(fs.contents("clip/f2.BIN").size(), 10003u);
}

TEST_F(PathCollisions, StreamNamedLikeALaterPictureIsRefusedEvenWithYes) {
    // The second picture is a source still to be read: /y never lets the stream replace it.
    const auto picture = fs.contents("clip/f2.bmp");
    EXPECT_EQ(run("clip clip/f2.bmp /c /y /v0"), 2);
    EXPECT_EQ(console.output(), "Output clip/f2.bmp is the input clip/f2.bmp, and will not be overwritten.\n"
                                "\r\nCouldn't open destination: clip/f2.bmp\n");
    EXPECT_EQ(fs.contents("clip/f2.bmp"), picture);
}

}  // namespace
}  // namespace zov
