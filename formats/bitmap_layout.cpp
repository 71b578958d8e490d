#include "formats/bitmap_layout.h"

#include "formats/little_endian.h"

#include <algorithm>

namespace zov {
namespace {

/// Appends n bytes of an area, or `blank` bytes when there is no such area.
void appendArea(std::vector<std::uint8_t>& bytes, const std::uint8_t* area, int n, std::uint8_t blank) {
    if (area)
        bytes.insert(bytes.end(), area, area + n);
    else
        bytes.insert(bytes.end(), static_cast<std::size_t>(n), blank);
}

/// With COLOR 0 or 2 the bitmap stops after the picture's last card row.
int bitmapLength(const BitmapFileLayout& layout, bool whole) {
    if (whole) return kFileBitmapBytes;
    const std::int64_t end = static_cast<std::int64_t>(layout.topCardRow) * kFileCardRowBytes + layout.bitmapBytes;
    return static_cast<int>(std::clamp<std::int64_t>(end, 0, kFileBitmapBytes));
}

}  // namespace

std::vector<std::uint8_t> bitmapFileBytes(const BitmapAreas& areas, const BitmapFileLayout& layout) {
    const int colour = layout.colourArrays & 3;
    const bool matrixFirst = colour == 2;
    const bool withColourRam = (colour & 1) != 0;
    const std::uint8_t background = static_cast<std::uint8_t>(layout.backgroundColour);

    std::vector<std::uint8_t> bytes;
    bytes.reserve(kFullFileLength);
    appendLe16(bytes, matrixFirst ? kLoadMatrixFirst : kLoadBitmapFirst);
    if (matrixFirst) {
        // The matrix sits in the KiB below the bitmap; in multicolour its spare bytes carry the two colours
        // that live outside the matrix.
        appendArea(bytes, areas.matrix, kFileAreaBytes, 0x00);
        if (layout.multicolour) {
            bytes.push_back(background);
            bytes.push_back(static_cast<std::uint8_t>(layout.foregroundColour));
        }
        bytes.resize(kMatrixFirstHead, 0x00);
    }
    appendArea(bytes, areas.bitmap, bitmapLength(layout, withColourRam), 0x00);
    if (colour == 3) appendArea(bytes, areas.matrix, kFileAreaBytes, 0x00);
    if (withColourRam) {
        // Hi-res pictures have no Color RAM colours: the block holds the unused-byte pattern.
        appendArea(bytes, layout.multicolour ? areas.colourRam : nullptr, kFileAreaBytes, kUnusedColourRam);
        bytes.push_back(background);
    }
    return bytes;
}

}  // namespace zov
