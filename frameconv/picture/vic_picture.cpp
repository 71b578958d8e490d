#include "frameconv/picture/vic_picture.h"

namespace zov {

void VicPicture::reset() {
    settings = ConversionSettings{};
    geometry = PictureGeometry{};
    conversionStats = ConversionStats{};
    analysis = ColourAnalysis{};
    planes = PicturePlanes{};
    cardColours = CardColours{};
    colours = PictureColours{};
    monochrome = 1;
    firstFrameLoaded = 0;
    keepSourceRgb = false;
    image.release();
    censusTerms = CensusTerms{};
}

void VicPicture::setMode(int pixelsPerByte, int arrays) {
    geometry.cardWidth = pixelsPerByte;
    geometry.colourArrays = arrays;
    geometry.roleCount = pixelsPerByte == 8 ? 2 : 4;
}

}  // namespace zov
