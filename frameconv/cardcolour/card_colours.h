// A colour choice for every card, beside the one set of role colours that the picture-wide choice gives:
// in multicolour mode the shared background plus three colours of each 4 × 8 card's own (two from the
// screen matrix, one from the Color RAM, which a stream does not carry: there that one is Black), in hi-res
// mode two of each 8 × 8 card's own. A card's colours are chosen for what its dithered pixels will show:
// each pixel costs what the best mix of two of the colours costs it (colour_space.h), so that a skin tone
// between the palette's colours is shown as a mix of them and not as the one colour nearest in lightness.
// The pixels are then dithered to their card's colours: a still by error diffusion, part of the error
// passed on; a stream by an ordered pattern, whose frames change only where the picture does. The result is what the exporter and the video encoder take from any
// picture: each pixel's role in the luminance dither plane and each card's colours in the colour arrays.
#pragma once

#include "frameconv/cardcolour/colour_space.h"
#include "frameconv/picture/vic_picture.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace zov {

enum class CardDither { Diffusion, Ordered };

struct CardTable;

/// What the choice keeps from one conversion of a picture to the next conversion of the same picture (a
/// stream is compiled again at other bandwidths to count what they keep, each time against other frames
/// on screen): every card's best colours regardless of the screen, and their cost. The pictures are known
/// by a 64-bit hash of their pixels and of the settings that shape the choice.
class CardChoiceMemory {
public:
    struct Card {
        std::int8_t colours[3];
        float cost;
    };
    const std::vector<Card>* find(std::uint64_t key) const;
    void add(std::uint64_t key, std::vector<Card> cards);

private:
    std::unordered_map<std::uint64_t, std::vector<Card>> pictures_;
};

struct CardColourSettings {
    /// Each multicolour card has its own FG colour (a bitmap file); otherwise the FG role is Black in every
    /// card (a stream, which does not carry the Color RAM).
    bool colourRamPerCard = true;
    /// The multicolour background, or -1 to choose it for each picture.
    int background = -1;
    CardDither dither = CardDither::Diffusion;
    const VicPaletteRgb* palette = &peptoPalette();
    /// Shared by the choosers of one stream's compiles; none: every picture is chosen afresh.
    std::shared_ptr<CardChoiceMemory> memory;
};

class CardColourChooser {
public:
    explicit CardColourChooser(const CardColourSettings& settings);
    ~CardColourChooser();

    /// Converts a picture loaded with its source pixels (planes.sourceRgb): the background (role 0 in
    /// multicolour mode), the colour arrays and each pixel's role. With shown, the frame on screen before it
    /// in the same shape, a card keeps shown's colours, in the same roles, wherever they serve nearly as well.
    /// 0; 1 when the picture has no source pixels or its colour arrays cannot be made (message printed).
    int convert(VicPicture& picture, const VicPicture* shown);

    /// The statistics of the last conversion: its pixel count and the picture's edge count.
    const QuantStats& stats() const { return stats_; }

private:
    struct CardChoice {
        int roles[4] = {0, 0, 0, 0};  // the colour of each role
        bool asShown = false;         // the colours of the card on screen, in the same roles
    };
    void readPixels(const VicPicture& picture);
    int chooseBackground(const PictureGeometry& g, std::vector<CardChoiceMemory::Card>& bests) const;
    CardChoice chooseCard(const PictureGeometry& g, int column, int row, int background, const CardChoice* kept,
                          CardChoiceMemory::Card& best, bool remembered);
    std::uint64_t pictureKey(const VicPicture& picture, int background) const;
    void renderOrdered(VicPicture& picture, int column, int row, const CardChoice& card, const std::int16_t* shownRoles);
    void renderDiffused(VicPicture& picture, int row, const std::vector<CardChoice>& cards);

    CardColourSettings settings_;
    PalettePoints palette_;
    std::vector<ColourPoint> pixels_;  // the source as colour points, paddedSize elements
    std::vector<ColourPoint> error_;   // the diffused error waiting at each pixel
    std::unique_ptr<CardTable> table_;  // the card being chosen
    QuantStats stats_;
};

/// The background that serves a set of multicolour pictures best (the pictures of a stream), each given as
/// rows of red, green and blue bytes, a card's colours chosen for each background without dithering.
class BackgroundChoice {
public:
    explicit BackgroundChoice(const CardColourSettings& settings);
    /// Adds a picture of width × height pixels (4 pixels a card row), stride bytes from row to row.
    void add(const std::uint8_t* rgb, int width, int height, std::size_t stride);
    /// The background with the least error over the pictures added (Black when none was).
    int best() const;

private:
    CardColourSettings settings_;
    PalettePoints palette_;
    double costs_[16] = {};
};

}  // namespace zov
