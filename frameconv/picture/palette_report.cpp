// The per-card colour arrays filled from the role colours, and the palette line of the console report.
#include "common/console/console.h"
#include "formats/palette.h"
#include "frameconv/picture/vic_picture.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace zov {
namespace {

std::uint8_t nibble(std::int32_t colour) { return static_cast<std::uint8_t>(colour & 0x0F); }

// A colour as its index, a colon and its five-character name: "0:Black", "2: Red ".
std::string colourText(std::int32_t colour) {
    const int named = colour >= 0 && colour <= kNoColour ? colour : kNoColour;
    return std::to_string(colour) + ":" + kPalette[named].name;
}

}  // namespace

void VicPicture::fillColourArrays() {
    std::uint8_t* matrix = cardColours.colourMatrix.get();
    std::uint8_t* colourRam = cardColours.colourRam.get();
    if (!matrix || !colourRam || geometry.widthInCards <= 0 || geometry.heightInCards <= 0) return;
    const std::size_t cards =
        static_cast<std::size_t>(geometry.widthInCards) * static_cast<std::size_t>(geometry.heightInCards);
    const std::int32_t* roles = colours.roleColours;
    const std::int32_t lowColour = geometry.cardWidth == 8 ? roles[0] : roles[2];
    const std::uint8_t matrixByte = static_cast<std::uint8_t>(nibble(roles[1]) << 4 | nibble(lowColour));
    std::fill(matrix, matrix + cards, matrixByte);
    std::fill(colourRam, colourRam + cards, nibble(roles[3]));
}

void VicPicture::reportPalette(int verbosity) const {
    if (verbosity < 2) return;
    if (geometry.cardWidth == 8) {
        out() << "Colors: Background " << colourText(colours.roleColours[0]) << ", Foreground: "
              << colourText(colours.roleColours[1]) << eol;
    } else {
        out() << "Colors: Background " << colourText(colours.roleColours[0]) << ", MC1 "
              << colourText(colours.roleColours[1]) << ", MC2 " << colourText(colours.roleColours[2])
              << ", FG: " << colourText(colours.roleColours[3]) << eol;
    }
}

}  // namespace zov
