#include "frameconv/picture/picture_export.h"

#include "frameconv/picture/vic_picture.h"
#include "frameconv/vicimage/vic_export.h"

namespace zov {

int VicPicture::exportVicImage(bool fill) {
    VicExportSource source;
    source.roles = lumaDither.get();
    source.roleElements = paddedSize;
    source.paddedWidth = paddedWidth;
    source.width = width;
    source.cardWidth = cardWidth;
    source.topCardRow = topCardRow;
    source.widthInCards = widthInCards;
    source.heightInCards = heightInCards;
    source.colourMatrix = colourMatrix.get();
    source.colourRam = colourRam.get();
    source.colourArrays = colourArrays;
    source.fillColour = roleColours[4];
    return buildVicImage(image, source, fill);
}

BitmapFileLayout bitmapFileLayout(const VicPicture& picture, int bitmapBytes) {
    BitmapFileLayout layout;
    layout.colourArrays = picture.colourArrays;
    layout.multicolour = picture.cardWidth == 4;
    layout.backgroundColour = picture.roleColours[0];
    layout.foregroundColour = picture.roleColours[3];
    layout.topCardRow = picture.topCardRow;
    layout.bitmapBytes = bitmapBytes;
    return layout;
}

}  // namespace zov
