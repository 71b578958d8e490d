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
    if (!colourMatrix || !colourRam || widthInCards <= 0 || heightInCards <= 0) return;
    const std::size_t cards = static_cast<std::size_t>(widthInCards) * static_cast<std::size_t>(heightInCards);
    const bool hiRes = cardWidth == 8;
    const std::int32_t lowColour = hiRes ? roleColours[0] : roleColours[2];
    const std::uint8_t matrixByte = static_cast<std::uint8_t>(nibble(roleColours[1]) << 4 | nibble(lowColour));
    std::fill(colourMatrix.get(), colourMatrix.get() + cards, matrixByte);
    std::fill(colourRam.get(), colourRam.get() + cards, nibble(roleColours[3]));
}

void VicPicture::reportPalette(int verbosity) const {
    if (verbosity < 2) return;
    if (cardWidth == 8) {
        out() << "Colors: Background " << colourText(roleColours[0]) << ", Foreground: "
              << colourText(roleColours[1]) << eol;
    } else {
        out() << "Colors: Background " << colourText(roleColours[0]) << ", MC1 " << colourText(roleColours[1])
              << ", MC2 " << colourText(roleColours[2]) << ", FG: " << colourText(roleColours[3]) << eol;
    }
}

}  // namespace zov
