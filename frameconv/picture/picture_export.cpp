#include "frameconv/picture/picture_export.h"

#include "frameconv/picture/vic_picture.h"
#include "frameconv/vicimage/vic_export.h"

namespace zov {

int VicPicture::exportVicImage(bool fill) {
    const VicExportSource source{geometry, planes.lumaDither.get(), cardColours.colourMatrix.get(),
                                 cardColours.colourRam.get(), colours.roleColours[4]};
    return buildVicImage(image, source, fill);
}

BitmapFileLayout bitmapFileLayout(const VicPicture& picture, int bitmapBytes) {
    BitmapFileLayout layout;
    layout.colourArrays = picture.geometry.colourArrays;
    layout.multicolour = picture.geometry.cardWidth == 4;
    layout.backgroundColour = picture.colours.roleColours[0];
    layout.foregroundColour = picture.colours.roleColours[3];
    layout.topCardRow = picture.geometry.topCardRow;
    layout.bitmapBytes = bitmapBytes;
    return layout;
}

}  // namespace zov
