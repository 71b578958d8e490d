#include "common/platform/memory_platform.h"
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"
#include "frameconv/picture/palette_test_pictures.h"
#include "frameconv/picture/picture_load_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>
#include <set>
#include <string>

namespace zov {
namespace {

using testing_pictures::paintRun;
using testing_pictures::pinBlack;
using testing_pictures::shapePicture;
using testing_pictures::swatchOf;

constexpr int kMulticolour = 4;
constexpr int kHiRes = 8;

struct Area {
    int colour;
    int pixels;
};

// A 64 × 64 picture on Black, painted with the areas in row order from the top, Black pinned as the driver
// does, colours chosen.
void choose(VicPicture& picture, int cardWidth, std::initializer_list<Area> areas, bool colour = true) {
    shapePicture(picture, 64, 64, cardWidth, colour);
    int start = 0;
    for (const Area& area : areas) {
        paintRun(picture, start, area.pixels, swatchOf(area.colour));
        start += area.pixels;
    }
    pinBlack(picture);
    ASSERT_EQ(0, picture.chooseColours());
}

std::multiset<int> roles(const VicPicture& picture) {
    return std::multiset<int>(picture.colours.roleColours, picture.colours.roleColours + picture.geometry.roleCount);
}

bool hasRole(const VicPicture& picture, std::initializer_list<int> colours) {
    const std::multiset<int> chosen = roles(picture);
    return std::any_of(colours.begin(), colours.end(), [&](int c) { return chosen.count(c) > 0; });
}

bool isGrey(int colour) {
    return colour == kBlack || colour == kDarkGrey || colour == kMidGrey || colour == kLightGrey ||
           colour == kWhite;
}

std::string describe(const VicPicture& picture) {
    // Appended piece by piece: GCC 12 takes `" " + std::to_string(...)` for an overlapping copy (-Wrestrict).
    std::string text = "roles";
    for (int k = 0; k < picture.geometry.roleCount; ++k)
        text.append(" ").append(std::to_string(picture.colours.roleColours[k]));
    text += " counts";
    for (int count : picture.analysis.hueCounts) text.append(" ").append(std::to_string(count));
    return text.append(" error ").append(std::to_string(picture.analysis.paletteError));
}

TEST(ChooseColours, GreyPicturesGetOnlyGreysWithBlackAtItsPinnedRole) {
    for (int cardWidth : {kMulticolour, kHiRes}) {
        for (bool colourSource : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "card width " << cardWidth << " colour " << colourSource);
            VicPicture picture;
            choose(picture, cardWidth,
                   {{kWhite, 900}, {kLightGrey, 700}, {kMidGrey, 500}, {kDarkGrey, 300}}, colourSource);
            SCOPED_TRACE(describe(picture));
            EXPECT_EQ(cardWidth == kMulticolour ? 4 : 2, picture.geometry.roleCount);
            for (int role = 0; role < picture.geometry.roleCount; ++role)
                EXPECT_TRUE(isGrey(picture.colours.roleColours[role]));
            EXPECT_EQ(kBlack, picture.colours.roleColours[cardWidth == kMulticolour ? 3 : 0]);
            EXPECT_EQ(4096, picture.analysis.hueCounts[7]);
            EXPECT_EQ(0, picture.analysis.paletteError);
            EXPECT_EQ(-1, picture.analysis.pairSelection);
            EXPECT_EQ(-1, picture.analysis.triadSelection);
        }
    }
}

TEST(ChooseColours, FillUpGreysFollowTheirLuminanceResidual) {
    // Every pixel MGray: alone, MGray leaves 0, DGray and LGray 40 per pixel, White 135 per pixel. DGray
    // keeps its place before LGray on the tie, White falls past the fourth place, Black moves to FG.
    VicPicture picture;
    choose(picture, kMulticolour, {{kMidGrey, 4096}}, false);
    EXPECT_EQ(kMidGrey, picture.colours.roleColours[0]);
    EXPECT_EQ(kDarkGrey, picture.colours.roleColours[1]);
    EXPECT_EQ(kLightGrey, picture.colours.roleColours[2]);
    EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
    EXPECT_EQ(0.0, picture.analysis.greyScores[0]);
    EXPECT_EQ(40.0 * 4096, picture.analysis.greyScores[1]);
    EXPECT_EQ(0.0, picture.analysis.greyScores[2]);
    EXPECT_EQ(40.0 * 4096, picture.analysis.greyScores[3]);
    EXPECT_EQ(135.0 * 4096, picture.analysis.greyScores[4]);

    choose(picture, kHiRes, {{kMidGrey, 4096}}, false);
    EXPECT_EQ(kBlack, picture.colours.roleColours[0]);
    EXPECT_EQ(kMidGrey, picture.colours.roleColours[1]);
}

TEST(ChooseColours, GreyWishesComeFromTheGreyShares) {
    struct Case {
        int luminance;
        int pixels;
        int blackWanted, whiteWanted, lightGreyWanted;
    };
    // Bright pixels that stay nearest White when darkened by 5% want White, a little less bright ones LGray;
    // a small bright area wants LGray once White and LGray reach 25 per 256 pixels; Black wants 25.
    const Case cases[] = {
        {255, 1024, 1, 1, 0},  // White share 64 of 256
        {215, 1024, 1, 0, 1},  // nearest White, but nearer LGray at 95%
        {215, 400, 1, 0, 1},   // White share 25: below 38, White and LGray together 25
        {215, 384, 1, 0, 0},   // White share 24
        {255, 3700, 0, 1, 0},  // Black share 24
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.luminance << " × " << c.pixels);
        VicPicture picture;
        shapePicture(picture, 64, 64, kMulticolour, false);
        paintRun(picture, 0, c.pixels, {static_cast<std::uint8_t>(c.luminance), 0, 0});
        pinBlack(picture);
        ASSERT_EQ(0, picture.chooseColours());
        EXPECT_EQ(c.blackWanted, picture.analysis.blackWanted);
        EXPECT_EQ(c.whiteWanted, picture.analysis.whiteWanted);
        EXPECT_EQ(c.lightGreyWanted, picture.analysis.lightGreyWanted);
    }
}

TEST(ChooseColours, PicturesBelow256PixelsTakeTheirSharesPerPixel) {
    VicPicture picture;
    shapePicture(picture, 10, 10, kMulticolour, false);
    paintRun(picture, 0, 30, swatchOf(kWhite));
    pinBlack(picture);
    ASSERT_EQ(0, picture.chooseColours());
    EXPECT_EQ(70, picture.analysis.greyShares[0]);
    EXPECT_EQ(30, picture.analysis.greyShares[4]);
    EXPECT_EQ(1, picture.analysis.blackWanted);
    EXPECT_EQ(0, picture.analysis.whiteWanted);  // 30 is below 38
    EXPECT_EQ(1, picture.analysis.lightGreyWanted);
    EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
}

TEST(ChooseColours, GreySharesAreWeightedByTheUncolouredPixels) {
    // 2048 Black and 2048 Red pixels: Red's luminance is DGray's, so before weighting both shares are 128;
    // half the picture is uncoloured, so both become 64.
    VicPicture picture;
    choose(picture, kMulticolour, {{kRed, 2048}});
    EXPECT_EQ(64, picture.analysis.greyShares[0]);
    EXPECT_EQ(64, picture.analysis.greyShares[1]);
    EXPECT_EQ(2048, picture.analysis.hueCounts[0]);
    EXPECT_EQ(2048, picture.analysis.hueCounts[7]);
}

TEST(ChooseColours, RedAndBlueAreasOnBlackGetARedAndABlue) {
    VicPicture picture;
    choose(picture, kMulticolour, {{kRed, 1200}, {kBlue, 1200}});
    SCOPED_TRACE(describe(picture));
    EXPECT_TRUE(hasRole(picture, {kRed, kLightRed}));
    EXPECT_TRUE(hasRole(picture, {kBlue, kLightBlue}));
    EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
    EXPECT_EQ(0, picture.analysis.paletteError);
}

TEST(ChooseColours, ATinyColourBesideADominantOneIsDropped) {
    struct Case {
        int bluePixels;
        bool blueKept;
    };
    // 2000 red pixels: 40 blue ones are a 50th and are dropped, 100 are a 20th and stay.
    for (const Case c : {Case{40, false}, Case{100, true}}) {
        SCOPED_TRACE(c.bluePixels);
        VicPicture picture;
        choose(picture, kMulticolour, {{kRed, 2000}, {kBlue, c.bluePixels}});
        SCOPED_TRACE(describe(picture));
        EXPECT_EQ(c.blueKept, hasRole(picture, {kBlue, kLightBlue}));
        EXPECT_TRUE(hasRole(picture, {kRed, kLightRed}));
        EXPECT_EQ(c.blueKept ? c.bluePixels : 0, picture.analysis.hueCounts[4]);
        EXPECT_EQ(c.blueKept ? 2000 : 2000 - c.bluePixels, picture.analysis.hueCounts[0]);
    }
}

TEST(ChooseColours, AWarmPictureOnBlackGetsAMidGrey) {
    // Red, orange and a little yellow, no cool hues, dark side only: orange is folded into red and yellow
    // and MGray joins the palette.
    VicPicture picture;
    choose(picture, kMulticolour, {{kOrange, 1200}, {kRed, 1200}, {kYellow, 200}});
    SCOPED_TRACE(describe(picture));
    EXPECT_TRUE(hasRole(picture, {kMidGrey}));
    EXPECT_EQ(0, picture.analysis.hueCounts[6]);
    EXPECT_EQ(1200 + 600, picture.analysis.hueCounts[0]);
    EXPECT_EQ(200 + 600, picture.analysis.hueCounts[1]);
    EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
    EXPECT_EQ(0, picture.analysis.paletteError);
}

TEST(ChooseColours, TooManyHuesMergeIntoATriadWithoutPaletteError) {
    // Red, green, blue and purple need five colours with Black: purple, the middle of the run blue-purple-
    // red, is dissolved and the hues are carried by a triad.
    VicPicture picture;
    choose(picture, kMulticolour, {{kRed, 800}, {kGreen, 800}, {kBlue, 800}, {kPurple, 800}});
    SCOPED_TRACE(describe(picture));
    EXPECT_EQ(0, picture.analysis.paletteError);
    ASSERT_TRUE(picture.analysis.triadSelection == 0 || picture.analysis.triadSelection == 1);
    const std::multiset<int> triad = picture.analysis.triadSelection == 0
                                         ? std::multiset<int>{kLightRed, kLightGreen, kLightBlue, kBlack}
                                         : std::multiset<int>{kYellow, kCyan, kPurple, kBlack};
    EXPECT_EQ(triad, roles(picture));
    EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
    // The triad's sectors keep the counts, the others are cleared.
    const int first = picture.analysis.triadSelection;
    for (int sector = 0; sector < 6; ++sector) {
        EXPECT_EQ((sector - first) % 2 == 0, picture.analysis.hueCounts[sector] > 0) << sector;
    }
}

TEST(ChooseColours, OneColourTooManySplitsOrangeIntoRedAndYellowBeforeTheTriad) {
    // Red 800, yellow 384, orange 600 and blue 800 need five colours with Black. Red and yellow together
    // outweigh orange, so orange goes half to each (red 1100, yellow 684); the triad then gathers each of its
    // sectors' own count, half its neighbours' and a third of the LGray share (8 after weighting).
    VicPicture picture;
    choose(picture, kMulticolour, {{kRed, 800}, {kYellow, 384}, {kOrange, 600}, {kBlue, 800}});
    SCOPED_TRACE(describe(picture));
    EXPECT_EQ(8, picture.analysis.greyShares[3]);
    EXPECT_EQ(0, picture.analysis.paletteError);
    EXPECT_EQ(0, picture.analysis.hueCounts[6]);
    if (picture.analysis.triadSelection == 0) {
        EXPECT_EQ(3 + 1100 + (684 + 1) / 2, picture.analysis.hueCounts[0]);
        EXPECT_EQ(2 + 0 + 684 / 2, picture.analysis.hueCounts[2]);
        EXPECT_EQ(2 + 800, picture.analysis.hueCounts[4]);
    } else {
        ASSERT_EQ(1, picture.analysis.triadSelection);
        EXPECT_EQ(3 + 684 + (1100 + 1) / 2, picture.analysis.hueCounts[1]);
        EXPECT_EQ(2 + 800 / 2, picture.analysis.hueCounts[3]);
        EXPECT_EQ(2 + (800 + 1100) / 2, picture.analysis.hueCounts[5]);
    }
}

TEST(ChooseColours, WithoutPinsALightWishCanBecomeAnOppositePair) {
    // No pins; LGray and yellow pixels make an LGray wish. Orange is split into red and yellow, yellow (the
    // middle of red-yellow-green) is dissolved, and three colours are needed: the light red-cyan pair takes
    // the LGray wish's place. The White and LGray shares (0 and 12) leave the uncoloured count
    // (600 - 12 = 588). The triad choice follows and completes the palette.
    VicPicture picture;
    shapePicture(picture, 64, 64, kMulticolour, true);
    int start = 0;
    for (const Area& area : {Area{kLightGrey, 600}, Area{kRed, 1000}, Area{kYellow, 800}, Area{kOrange, 800},
                             Area{kGreen, 896}}) {
        paintRun(picture, start, area.pixels, swatchOf(area.colour));
        start += area.pixels;
    }
    ASSERT_EQ(0, picture.chooseColours());
    SCOPED_TRACE(describe(picture));
    EXPECT_EQ(0, picture.analysis.pairSelection);
    EXPECT_EQ(kLightRed, picture.colours.roleColours[0]);
    EXPECT_EQ(kCyan, picture.colours.roleColours[1]);
    EXPECT_EQ(0, picture.analysis.lightGreyWanted);
    EXPECT_EQ(0, picture.analysis.greyShares[3]);
    EXPECT_EQ(588, picture.analysis.hueCounts[7]);
    EXPECT_GE(picture.analysis.triadSelection, 0);
    EXPECT_EQ(0, picture.analysis.paletteError);
}

TEST(ChooseColours, HuesThatCannotFitAreDroppedWithPaletteError) {
    {
        // Hi-res: one free role for three hues; the two smallest sectors go.
        VicPicture picture;
        choose(picture, kHiRes, {{kRed, 1500}, {kGreen, 800}, {kBlue, 400}});
        SCOPED_TRACE(describe(picture));
        EXPECT_EQ(1, picture.analysis.paletteError);
        EXPECT_EQ(1500, picture.analysis.hueCounts[0]);
        EXPECT_EQ(0, picture.analysis.hueCounts[2]);
        EXPECT_EQ(0, picture.analysis.hueCounts[4]);
        EXPECT_EQ(kBlack, picture.colours.roleColours[0]);
        EXPECT_TRUE(hasRole(picture, {kRed, kLightRed, kOrange}));  // the red sector's candidates
    }
    {
        // Multicolour: six hues for three free roles; yellow, cyan and purple are the smallest.
        VicPicture picture;
        choose(picture, kMulticolour,
               {{kRed, 600}, {kYellow, 300}, {kGreen, 500}, {kCyan, 200}, {kBlue, 400}, {kPurple, 100}});
        SCOPED_TRACE(describe(picture));
        EXPECT_EQ(1, picture.analysis.paletteError);
        EXPECT_EQ(600, picture.analysis.hueCounts[0]);
        EXPECT_EQ(500, picture.analysis.hueCounts[2]);
        EXPECT_EQ(400, picture.analysis.hueCounts[4]);
        EXPECT_EQ(0, picture.analysis.hueCounts[1] + picture.analysis.hueCounts[3] + picture.analysis.hueCounts[5]);
        EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
        EXPECT_TRUE(hasRole(picture, {kGreen, kLightGreen}));
        EXPECT_TRUE(hasRole(picture, {kBlue, kLightBlue}));
    }
}

TEST(ChooseColours, PinsAreSortedByRoleAndEndAtTheirRoles) {
    VicPicture picture;
    shapePicture(picture, 64, 64, kMulticolour, false);
    paintRun(picture, 0, 2000, swatchOf(kMidGrey));
    pinBlack(picture);
    picture.colours.pinnedRoles[1] = 0;
    picture.colours.pinnedColours[1] = kWhite;
    picture.colours.pinnedRoles[3] = 1;  // behind an empty slot: not a pin
    picture.colours.pinnedColours[3] = kLightGrey;
    ASSERT_EQ(0, picture.chooseColours());
    EXPECT_EQ(2, picture.colours.pinnedCount);
    EXPECT_EQ(0, picture.colours.pinnedRoles[0]);
    EXPECT_EQ(kWhite, picture.colours.pinnedColours[0]);
    EXPECT_EQ(3, picture.colours.pinnedRoles[1]);
    EXPECT_EQ(kWhite, picture.colours.roleColours[0]);
    EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
}

TEST(ChooseColours, ExtremeChromaSettingsStayDefined) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double weight : {1e300, -1e300, inf, std::nan(""), 0.0}) {
        SCOPED_TRACE(weight);
        VicPicture picture;
        shapePicture(picture, 64, 64, kMulticolour, true);
        paintRun(picture, 0, 1000, swatchOf(kRed));
        paintRun(picture, 1000, 1000, swatchOf(kCyan));
        picture.settings.kpaWeight = picture.settings.kpyWeight = picture.settings.kpzWeight = weight;
        pinBlack(picture);
        ASSERT_EQ(0, picture.chooseColours());
        EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
        for (int role = 0; role < 4; ++role) {
            EXPECT_GE(picture.colours.roleColours[role], 0);
            EXPECT_LT(picture.colours.roleColours[role], 16);
        }
    }
}

TEST(ChooseColours, SetsTheCardGridAndFillsTheColourArrays) {
    VicPicture picture;
    choose(picture, kMulticolour, {{kRed, 1200}, {kBlue, 1200}});
    EXPECT_EQ(16, picture.geometry.widthInCards);
    EXPECT_EQ(8, picture.geometry.heightInCards);
    ASSERT_TRUE(picture.cardColours.colourMatrix && picture.cardColours.colourRam);
    picture.colours.roleColours[1] = kRed;
    picture.colours.roleColours[2] = kLightBlue;
    picture.colours.roleColours[3] = kBlack;
    picture.fillColourArrays();
    for (int card = 0; card < 16 * 8; ++card) {
        EXPECT_EQ(0x2E, picture.cardColours.colourMatrix[card]);
        EXPECT_EQ(0x00, picture.cardColours.colourRam[card]);
    }

    choose(picture, kHiRes, {{kWhite, 2000}}, false);
    EXPECT_EQ(8, picture.geometry.widthInCards);
    picture.colours.roleColours[0] = kBlack;
    picture.colours.roleColours[1] = kWhite;
    picture.fillColourArrays();
    EXPECT_EQ(0x10, picture.cardColours.colourMatrix[0]);
    EXPECT_EQ(0x10, picture.cardColours.colourMatrix[8 * 8 - 1]);
}

using LoadedPictureColours = PictureLoad;

TEST_F(LoadedPictureColours, PureRedAndBlueFromABitmapGetARedAndABlue) {
    picture.setMode(4, 3);
    const auto grid = picture_files::RgbGrid::generate(64, 64, [](int, int y) {
        return y < 20 ? picture_files::Rgb{255, 0, 0} : y >= 44 ? picture_files::Rgb{0, 0, 255} : picture_files::Rgb{};
    });
    ASSERT_EQ(0, load(picture_files::bmp(grid)));
    pinBlack(picture);
    ASSERT_EQ(0, picture.chooseColours());
    EXPECT_TRUE(hasRole(picture, {kRed, kLightRed}));
    EXPECT_TRUE(hasRole(picture, {kBlue, kLightBlue}));
    EXPECT_EQ(kBlack, picture.colours.roleColours[3]);
    EXPECT_EQ(64 * 20, picture.analysis.hueCounts[0]);
    EXPECT_EQ(64 * 20, picture.analysis.hueCounts[4]);
    picture.reportPalette(2);
    EXPECT_EQ(0u, printed().find("Colors: Background "));
}

TEST(ReportPalette, NamesTheRoleColoursInBothModes) {
    StringConsole console;
    PlatformOverride use(nullptr, &console);
    VicPicture picture;
    picture.setMode(4, 3);
    const int multicolour[4] = {kBlack, kRed, kLightBlue, kBlack};
    std::copy(multicolour, multicolour + 4, picture.colours.roleColours);
    picture.reportPalette(1);
    EXPECT_EQ("", console.output());
    picture.reportPalette(2);
    EXPECT_EQ("Colors: Background 0:Black, MC1 2: Red , MC2 14:L.Blu, FG: 0:Black\n", console.output());

    picture.setMode(8, 2);
    picture.colours.roleColours[1] = kWhite;
    picture.reportPalette(3);
    EXPECT_EQ("Colors: Background 0:Black, MC1 2: Red , MC2 14:L.Blu, FG: 0:Black\n"
              "Colors: Background 0:Black, Foreground: 1:White\n",
              console.output());
}


TEST(ChooseColours, RandomAreaPicturesKeepThePinsAndStayInThePalette) {
    std::mt19937 random(2024);
    for (int trial = 0; trial < 400; ++trial) {
        const int cardWidth = trial % 3 == 0 ? kHiRes : kMulticolour;
        const bool colour = trial % 5 != 0;
        VicPicture picture;
        shapePicture(picture, 16 + static_cast<int>(random() % 48), 8 + static_cast<int>(random() % 40), cardWidth,
                     colour);
        const int pixels = picture.geometry.width * picture.geometry.height;
        for (int start = 0; start < pixels;) {
            const int run = 1 + static_cast<int>(random() % (pixels / 3 + 1));
            testing_pictures::Swatch swatch = swatchOf(static_cast<int>(random() % 16));
            if (random() % 4 == 0) swatch.luminance = static_cast<std::uint8_t>(random());
            paintRun(picture, start, std::min(run, pixels - start), swatch);
            start += run;
        }
        pinBlack(picture);
        const bool extraPin = trial % 7 == 0;
        if (extraPin) {
            picture.colours.pinnedRoles[1] = cardWidth == kHiRes ? 1 : static_cast<int>(random() % 3);
            picture.colours.pinnedColours[1] = static_cast<int>(random() % 16);
        }
        if (trial % 11 == 0) picture.colours.pinnedRoles[0] = -1;  // no pins at all
        SCOPED_TRACE(::testing::Message() << "trial " << trial);
        ASSERT_EQ(0, picture.chooseColours());
        SCOPED_TRACE(describe(picture));
        for (int slot = 0; slot < picture.colours.pinnedCount; ++slot) {
            EXPECT_EQ(picture.colours.pinnedColours[slot],
                      picture.colours.roleColours[picture.colours.pinnedRoles[slot]]);
        }
        for (int role = 0; role < picture.geometry.roleCount; ++role) {
            EXPECT_GE(picture.colours.roleColours[role], 0);
            EXPECT_LT(picture.colours.roleColours[role], 16);
            if (!colour && !extraPin) {
                EXPECT_TRUE(isGrey(picture.colours.roleColours[role]));
            }
        }
    }
}

}  // namespace
}  // namespace zov
