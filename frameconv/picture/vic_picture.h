// The picture being converted: its luminance, hue and saturation planes sized in whole VIC-II cards, the
// statistics of its conversion, its role colours with the analysis that chose them, the per-card colour
// arrays, the dither buffers and its VIC-II image. One lives for the whole run and is reused for every
// source picture; the video encoder's frame slots derive from it.
#pragma once

#include "frameconv/picture/census_terms.h"
#include "frameconv/picture/quant_stats.h"
#include "frameconv/vicimage/picture_geometry.h"
#include "frameconv/vicimage/vic_image.h"

#include <cstdint>
#include <memory>

namespace zov {

class File;

/// Running statistics of one converted plane.
struct PlaneStats {
    std::int32_t count = 0;
    std::int32_t minimum = 99999;
    std::int32_t maximum = -99999;
    std::int32_t clipped = 0;
    double errorSum = 0, absErrorSum = 0, sqErrorSum = 0;
};

/// Running statistics of the hue plane.
struct HueStats {
    std::int32_t count = 0;
    std::int32_t sum = 0;     // sum of (hue − 128)
    std::int32_t absSum = 0;  // sum of |hue − 128|
    double errorSum = 0, absErrorSum = 0, sqErrorSum = 0;
};

/// How a picture's pixels split between a reference colour and a list of candidate colours.
struct CensusResult {
    double lumaErrorSum = 0;  // always 0
    double dxSum = 0, dxAbsSum = 0, dxSqSum = 0;
    double dySum = 0, dyAbsSum = 0, dySqSum = 0;
    double errorMagnitude = 0;         // hypotenuse of the summed dx and dy
    double squaredErrorMagnitude = 0;  // the same formed from the two squared sums
    double errorAngle = 0;             // angle of the summed error vector, degrees
    std::int32_t chromaticCount = 0;
    std::int32_t unmatchedCount = 0;
};

/// What a palette census compares each pixel by, and how.
struct CensusWeights {
    bool luma = false;         // the luminance difference counts, the luminance scaled by lumaScale
    bool chroma = false;       // the chroma difference counts (colour pictures only), scaled by chromaScale
    bool carryChroma = false;  // each pixel's chroma error goes on to the next pixel of the walk and is summed
    double lumaScale = 1.0;
    double chromaScale = 1.0;
    double hueOffset = 0.0;  // radians added to every pixel's hue

    /// The luminance alone.
    static CensusWeights lumaOnly(double lumaScale) {
        CensusWeights weights;
        weights.luma = true;
        weights.lumaScale = lumaScale;
        return weights;
    }
    /// The chroma alone, each pixel on its own.
    static CensusWeights chromaOnly(double chromaScale) {
        CensusWeights weights;
        weights.chroma = true;
        weights.chromaScale = chromaScale;
        return weights;
    }
    /// The luminance and the chroma, each pixel on its own.
    static CensusWeights lumaAndChroma(double chromaScale) {
        CensusWeights weights = chromaOnly(chromaScale);
        weights.luma = true;
        return weights;
    }
};

/// The rectangle that one dithering pass maps to roles, row by row from the top. Error that reaches past
/// an open edge goes to the picture's pixels there, for a later pass; past a closed edge, or past the
/// picture, it is lost. The error goes right, down-left, down and down-right when scanning left to right,
/// mirrored when scanning right to left.
struct DitherRegion {
    struct Span {
        int first = 0;
        int end = 0;  // one past the last
    };
    struct OpenEdges {
        bool left = false;
        bool right = false;
        bool bottom = false;
    };
    enum class Scan { LeftToRight, RightToLeft };

    Span columns;
    Span rows;
    OpenEdges open;
    Scan scan = Scan::LeftToRight;
};

/// The user's adjustments of the pixel conversion and the weights of the colour choice.
struct ConversionSettings {
    double lumaGain = 1.0;
    double lumaOffset = 0.0;
    double saturationGain = 1.0;
    double saturationOffset = 0.0;
    double hueShift = 0.0;  // degrees
    double kpaWeight = 1.0;
    double kpzWeight = 2.0;
    double kpyWeight = 1.5;
    double kprWeight = 0.75;
};

/// What the pixel conversion counted and clipped in each plane.
struct ConversionStats {
    PlaneStats lumaStats;
    PlaneStats saturationStats;
    HueStats hueStats;
};

/// What the colour choice found in the picture, left for the palette report, the dithering and the video
/// encoder's choice of a frame slot.
struct ColourAnalysis {
    std::int32_t greyShares[5] = {};  // Black, DGray, MGray, LGray, White per 256 pixels
    double greyScores[5] = {};
    std::uint8_t blackWanted = 0;
    std::uint8_t whiteWanted = 0;
    std::uint8_t lightGreyWanted = 0;
    std::uint8_t paletteError = 0;
    std::int32_t hueCounts[8] = {};  // red, yellow, green, cyan, blue, purple, orange, uncoloured
    std::int32_t pairSelection = 0;
    std::int32_t triadSelection = 0;
};

/// The per-pixel planes, each of geometry.paddedSize elements.
struct PicturePlanes {
    std::unique_ptr<std::uint8_t[]> huePlane;
    std::unique_ptr<std::uint8_t[]> saturationPlane;
    std::unique_ptr<std::uint8_t[]> luminancePlane;
    // Dither carries, 16-bit fixed point with 5 fractional bits.
    std::unique_ptr<std::int16_t[]> lumaDither;        // carried error, then the pixel's role index
    std::unique_ptr<std::int16_t[]> hueDither;         // chroma Y (sine axis) carry
    std::unique_ptr<std::int16_t[]> saturationDither;  // chroma X (cosine axis) carry
    // The source's own pixels, 3 bytes each (red, green, blue; a grey value three times), kept only when
    // keepSourceRgb is set before the load: for a colour choice that works on them rather than on the planes.
    std::unique_ptr<std::uint8_t[]> sourceRgb;
};

/// The per-card colour arrays, one byte for each card of the picture.
struct CardColours {
    std::unique_ptr<std::uint8_t[]> colourMatrix;  // MC1 × 16 + MC2 (hi-res: foreground × 16 + background)
    std::unique_ptr<std::uint8_t[]> colourRam;     // FG
};

/// The colour of every role and the roles the user pinned to a colour.
struct PictureColours {
    std::int32_t roleColours[5] = {0, 11, 12, 15, 0};  // background, MC1, MC2, FG, border fill
    std::int32_t pinnedRoles[4] = {-1, -1, -1, -1};
    std::int32_t pinnedColours[4] = {16, 16, 16, 16};
    std::int32_t pinnedCount = 0;
    std::int32_t freeRoleMask = 0;
};

/// What the colour choice decides for a picture: all that chooseColours leaves besides the card arrays. It
/// follows from the picture's planes, geometry and settings and the pinned colours alone.
struct ColourChoice {
    ColourAnalysis analysis;
    PictureColours colours;
    std::int32_t roleCount = 0;
};

class VicPicture {
public:
    VicPicture() = default;
    virtual ~VicPicture() = default;
    VicPicture(const VicPicture&) = delete;
    VicPicture& operator=(const VicPicture&) = delete;

    // ---- life cycle and loading -------------------------------------------------------------------------

    /// Frees every buffer and the VIC-II image and puts every field back to its default.
    void reset();
    /// Sets the bitmap mode (pixels per bitmap byte: 4 multicolour, 8 hi-res) and the colour arrays wanted
    /// (bit 0 Color RAM, bit 1 screen matrix).
    void setMode(int pixelsPerByte, int colourArrays);
    /// Reads one BMP or PPM picture from an open file, converting every pixel as it is read.
    /// 0 loaded, 1 skipped (a message was printed), 2 the run cannot go on.
    int load(File& file, int verbosity, bool centre);

    // ---- colour choice ---------------------------------------------------------------------------------

    /// Chooses the role colours from the palette, sets the card grid and allocates the colour arrays.
    /// 0, or 1 after an allocation failure (message printed).
    int chooseColours();
    /// The choice that chooseColours made.
    ColourChoice colourChoice() const;
    /// Takes a choice that chooseColours made earlier for the same picture with the same pins, instead of
    /// choosing again (a compile of the same pictures at another bandwidth); as chooseColours, 0 or 1.
    int takeColourChoice(const ColourChoice& choice);
    /// Scores how the pixels split between a reference colour and the candidates (palette indices).
    CensusResult paletteCensus(int reference, const int* candidates, std::int32_t* counts, int count,
                               CensusWeights weights);
    /// Lets the censuses that follow share the per-pixel terms they compute, until endCensusReuse. The
    /// planes must not change in between.
    void beginCensusReuse();
    void endCensusReuse();
    /// Residual of a one-dimensional error diffusion of the luminance onto colour and the first others.
    double meanError(int colour, const int* others, int otherCount);
    /// Writes every card of the colour matrix and Color RAM arrays from the role colours.
    void fillColourArrays();
    /// The palette line (verbosity 2 and above).
    void reportPalette(int verbosity) const;

    // ---- dithering and reports -------------------------------------------------------------------------

    /// Maps the pixels of a region to roles with damped error diffusion. The mirror picture, when given,
    /// receives each pixel's role and source bytes.
    QuantStats quantiseRegion(const DitherRegion& region, VicPicture* mirror);
    /// The still-picture pass over the whole picture.
    QuantStats quantisePicture();
    /// The loss lines of a dithering pass (verbosity 2 and above).
    void reportLoss(const QuantStats& stats, int verbosity) const;

    // ---- VIC-II export ---------------------------------------------------------------------------------

    /// Builds the VIC-II image; returns the bitmap bytes of the picture's card rows, 0 on failure.
    int exportVicImage(bool fill);

    // ---- state -----------------------------------------------------------------------------------------
    ConversionSettings settings;
    PictureGeometry geometry;
    ConversionStats conversionStats;
    ColourAnalysis analysis;
    PicturePlanes planes;
    CardColours cardColours;
    PictureColours colours;
    std::uint8_t monochrome = 1;        // the source has no colour: no hue and saturation planes
    std::uint8_t firstFrameLoaded = 0;  // a picture was loaded: later ones must have its size
    bool keepSourceRgb = false;         // the load keeps the source's pixels in planes.sourceRgb too
    VicImage image;

    // ---- working storage of the census ------------------------------------------------------------------
    CensusTerms censusTerms;

private:
    int prepareCardArrays();
};

}  // namespace zov
