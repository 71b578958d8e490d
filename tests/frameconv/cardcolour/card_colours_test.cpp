// The colour choice per card, through frameconv's still conversion to a bitmap file and back as the chip
// shows it: a picture whose cards hold no more colours than the mode gives each card comes back exact.
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "formats/bitmap_file.h"
#include "formats/palette.h"
#include "support/command_line.h"
#include "support/picture_files.h"
#include "vicview/vic_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;

Rgb peptoRgb(int index) {
    const zov::Rgb& colour = peptoPalette()[static_cast<std::size_t>(index)];
    return {colour.r, colour.g, colour.b};
}

/// Every card of a width × height picture split into bands of rows, each band one palette colour from
/// colours(card): the palette index of every pixel.
template <typename Colours>
std::vector<int> flatCards(int width, int height, int cardWidth, Colours colours) {
    std::vector<int> picture(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int row = 0; row < height / 8; ++row)
        for (int column = 0; column < width / cardWidth; ++column) {
            const std::vector<int> bands = colours(row * (width / cardWidth) + column);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < cardWidth; ++x)
                    picture[static_cast<std::size_t>(row * 8 + y) * width + column * cardWidth + x] =
                        bands[static_cast<std::size_t>(y * static_cast<int>(bands.size()) / 8)];
        }
    return picture;
}

class CardColours : public ::testing::Test {
protected:
    MemoryFileSystem fs;
    StringConsole console;
    std::mt19937 random{35};

    int anyColour() { return static_cast<int>(random() % 16); }

    /// Converts the picture (palette indices) with the settings; the bitmap file shows each pixel's index.
    std::vector<int> convert(const std::vector<int>& indices, int width, int height, bool hires,
                             const CardColourSettings& settings) {
        PlatformOverride use(&fs, &console);
        fs.addFile("/in.bmp", picture_files::bmp(RgbGrid::generate(width, height, [&](int x, int y) {
                       return peptoRgb(indices[static_cast<std::size_t>(y) * width + x]);
                   })));
        FrameconvApp app;
        app.chooseColoursPerCard(settings);
        EXPECT_EQ(app.run(frameconvArgs(hires ? "/in.bmp /out.BIN /m1 /y /v0" : "/in.bmp /out.BIN /y /v0")), 0) << console.output();
        const MemoryFileSystem::Bytes bytes = fs.contents("/out.BIN");
        BitmapFile file;
        std::string problem;
        const VicMode mode = hires ? VicMode::HiRes : VicMode::Multicolour;
        EXPECT_TRUE(readBitmapFile({bytes.begin(), bytes.end()}, mode, file, problem)) << problem;
        std::vector<int> shown;
        const int step = hires ? 1 : 2;
        const int top = 8 * std::min((215 - height) / 16, 25 - (height + 7) / 8);  // a short picture is centred
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) shown.push_back(screenColour(file.screen, mode, x * step, top + y));
        return shown;
    }
};

TEST_F(CardColours, MulticolourCardsOfThreeColoursAndTheBackgroundComeBackExact) {
    const int background = 6;
    const std::vector<int> picture = flatCards(160, 200, 4, [&](int card) {
        if (card % 7 == 0) return std::vector<int>{background, background, background, background};
        return std::vector<int>{anyColour(), background, anyColour(), anyColour()};
    });
    CardColourSettings still;
    EXPECT_EQ(convert(picture, 160, 200, false, still), picture);
}

TEST_F(CardColours, StreamCardsOfTwoColoursWithBlackAndTheGivenBackgroundComeBackExact) {
    const std::vector<int> picture = flatCards(160, 200, 4, [&](int) {
        return std::vector<int>{anyColour(), kBlack, 11, anyColour()};
    });
    CardColourSettings stream;
    stream.colourRamPerCard = false;
    stream.background = 11;
    stream.dither = CardDither::Ordered;
    EXPECT_EQ(convert(picture, 160, 200, false, stream), picture);
}

TEST_F(CardColours, HiresCardsOfTwoColoursComeBackExactAlsoInACentredPicture) {
    const std::vector<int> picture = flatCards(320, 96, 8, [&](int) { return std::vector<int>{anyColour(), anyColour()}; });
    CardColourSettings still;
    EXPECT_EQ(convert(picture, 320, 96, true, still), picture);
}

}  // namespace
}  // namespace zov
