#include "frameconv/picture/vic_picture.h"

#include <algorithm>

namespace zov {

void VicPicture::reset() {
    huePlane.reset();
    saturationPlane.reset();
    luminancePlane.reset();
    lumaDither.reset();
    hueDither.reset();
    saturationDither.reset();
    colourMatrix.reset();
    colourRam.reset();
    image.release();
    censusTerms = CensusTerms{};

    lumaGain = 1.0;
    lumaOffset = 0.0;
    saturationGain = 1.0;
    saturationOffset = 0.0;
    hueShift = 0.0;
    kpaWeight = 1.0;
    kpzWeight = 2.0;
    kpyWeight = 1.5;
    kprWeight = 0.75;

    lumaStats = PlaneStats{};
    saturationStats = PlaneStats{};
    hueStats = HueStats{};
    monochrome = 1;

    std::fill(std::begin(greyShares), std::end(greyShares), 0);
    std::fill(std::begin(greyScores), std::end(greyScores), 0.0);
    blackWanted = whiteWanted = lightGreyWanted = 0;
    paletteError = 0;
    std::fill(std::begin(hueCounts), std::end(hueCounts), 0);
    pairSelection = 0;
    triadSelection = 0;

    width = height = 0;
    pixelCount = 0;
    topCardRow = 0;
    firstFrameLoaded = 0;

    colourArrays = 2;
    cardWidth = 4;
    paddedWidth = paddedHeight = paddedSize = 0;
    widthInCards = heightInCards = 0;
    roleCount = 4;

    const std::int32_t defaultRoles[5] = {0, 11, 12, 15, 0};
    std::copy(std::begin(defaultRoles), std::end(defaultRoles), roleColours);
    std::fill(std::begin(pinnedRoles), std::end(pinnedRoles), -1);
    std::fill(std::begin(pinnedColours), std::end(pinnedColours), 16);
    pinnedCount = 0;
    freeRoleMask = 0;
}

void VicPicture::setMode(int pixelsPerByte, int arrays) {
    cardWidth = pixelsPerByte;
    colourArrays = arrays;
    roleCount = pixelsPerByte == 8 ? 2 : 4;
}

}  // namespace zov
