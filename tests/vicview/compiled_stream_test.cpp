// A stream that frameconv compiles is previewed, and every frame shown must be the picture of that
// frame's own bitmap file.
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"
#include "vicview/stream_preview.h"
#include "view_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;

RgbGrid movingFrame(int width, int height, int i) {
    return RgbGrid::generate(width, height, [=](int x, int y) {
        int dx = x - (12 + i * 11), dy = y - height / 2;
        if (dx * dx * 4 + dy * dy < 140) return Rgb{250, 250, 250};
        if (y < height / 3) return Rgb{60, 90, static_cast<std::uint8_t>(200 + i)};
        return Rgb{static_cast<std::uint8_t>((x * 3 + y * 2) % 256), 140, 60};
    });
}

class CompiledStream : public ViewRun {
protected:
    void compile(const std::string& options, int width, int height, int frames) {
        for (int i = 0; i < frames; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "clip/f%02d.bmp", i + 1);
            fs.addFile(name, picture_files::bmp(movingFrame(width, height, i)));
        }
        std::vector<std::string> args{"frameconv", "clip", "v.zov", "/c", "/i", "/v0"};
        std::istringstream extra(options);
        for (std::string word; extra >> word;) args.push_back(word);
        ASSERT_EQ(runFrameconv(args), 0) << console.output();
    }

    // Every frame picture of the preview equals the rendering of the frame's bitmap file.
    void expectFramesMatchBitmaps(const std::string& viewOptions, int frames) {
        ASSERT_EQ(run("v.zov preview"), 0) << console.output();
        int shown = 0;
        for (int number = 1; number <= frames; ++number) {
            Bytes framePng = file("preview/" + frameFileName(static_cast<std::uint32_t>(number)));
            if (framePng.empty()) continue;  // a dropped picture
            ++shown;
            char bin[32];
            std::snprintf(bin, sizeof bin, "clip/f%02d.BIN", number);
            ASSERT_EQ(run(std::string(bin) + " expected.png " + viewOptions), 0) << console.output();
            RgbImage played = decodePng(framePng), expected = decodePng(file("expected.png"));
            ASSERT_EQ(played.width(), expected.width());
            ASSERT_EQ(played.height(), expected.height());
            int different = 0;
            for (int y = 0; y < played.height(); ++y)
                for (int x = 0; x < played.width(); ++x) different += !(played.at(x, y) == expected.at(x, y));
            EXPECT_EQ(different, 0) << "frame " << number;
        }
        EXPECT_GE(shown, 2);
        EXPECT_FALSE(file("preview/contact.png").empty());
    }
};

TEST_F(CompiledStream, MulticolourFramesEqualTheirBitmapFiles) {
    compile("/bw8000", 160, 200, 8);
    expectFramesMatchBitmaps("", 8);
}

TEST_F(CompiledStream, HiresFramesOfACentredPictureEqualTheirBitmapFiles) {
    compile("/m1 /bw8000", 320, 96, 6);
    expectFramesMatchBitmaps("--hires", 6);
}

}  // namespace
}  // namespace zov
