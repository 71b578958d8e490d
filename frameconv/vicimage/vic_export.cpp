#include "frameconv/vicimage/vic_export.h"

#include "common/console/console.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace zov {
namespace {

constexpr int kScreenCards = 40;
constexpr int kScreenCardRows = 25;
constexpr int kCardRowBytes = 320;
constexpr int kBitmapBytes = kScreenCardRows * kCardRowBytes;  // 8000
constexpr int kBitmapArea = 8192;
constexpr int kMatrixBytes = kScreenCards * kScreenCardRows;  // 1000
constexpr int kMatrixArea = 1024;

bool fitsScreen(const PictureGeometry& g) {
    if (g.cardWidth != 4 && g.cardWidth != 8) return false;
    if (g.widthInCards < 1 || g.widthInCards > kScreenCards || g.heightInCards < 1) return false;
    if (g.widthInCards * g.cardWidth > g.paddedWidth) return false;
    const std::int64_t rowsUsed = static_cast<std::int64_t>(g.heightInCards) * 8;
    return rowsUsed * g.paddedWidth <= g.paddedSize;
}

/// Where the picture sits on the screen; card rows outside 0-24 are not shown.
struct Placement {
    int top;         // screen card row of picture card row 0 (may lie off the screen)
    int left;        // screen card column of picture card column 0
    int firstShown;  // first screen card row showing the picture
    int endShown;    // screen card row after the last one showing it

    bool inPictureRows(int row) const { return row >= firstShown && row < endShown; }
};

Placement placementOf(const PictureGeometry& g) {
    Placement p;
    p.top = g.topCardRow;
    p.left = (kScreenCards - g.widthInCards) / 2;
    const std::int64_t end = static_cast<std::int64_t>(g.topCardRow) + g.heightInCards;
    p.firstShown = std::clamp(g.topCardRow, 0, kScreenCardRows);
    p.endShown = static_cast<int>(std::clamp<std::int64_t>(end, p.firstShown, kScreenCardRows));
    return p;
}

/// One byte of bitmap: the roles of a card's pixel row, leftmost pixel in the high bits. Pixels beyond the
/// source width take the highest role.
std::uint8_t cardRowByte(const PictureGeometry& g, const std::int16_t* pixelRow, int firstPixel) {
    const int bits = 8 / g.cardWidth;
    const int highest = (1 << bits) - 1;
    unsigned byte = 0;
    for (int m = 0; m < g.cardWidth; ++m) {
        const int x = firstPixel + m;
        const int role = x < g.width ? (pixelRow[x] & highest) : highest;
        byte = (byte << bits) + static_cast<unsigned>(role);
    }
    return static_cast<std::uint8_t>(byte);
}

void exportBitmap(std::uint8_t* bitmap, const VicExportSource& s, const Placement& p, bool fill) {
    const std::uint8_t outside = fill ? 0xFF : 0x00;
    for (int row = 0; row < kScreenCardRows; ++row) {
        std::uint8_t* cardRow = bitmap + row * kCardRowBytes;
        if (!p.inPictureRows(row)) {
            std::memset(cardRow, outside, kCardRowBytes);
            continue;
        }
        const int pictureRow = row - p.top;
        for (int column = 0; column < kScreenCards; ++column) {
            std::uint8_t* card = cardRow + column * 8;
            const int pictureColumn = column - p.left;
            if (pictureColumn < 0 || pictureColumn >= s.geometry.widthInCards) {
                std::memset(card, 0xFF, 8);
                continue;
            }
            for (int k = 0; k < 8; ++k) {
                const std::ptrdiff_t y = pictureRow * 8 + k;
                const std::int16_t* pixelRow = s.roles + y * s.geometry.paddedWidth;
                card[k] = cardRowByte(s.geometry, pixelRow, pictureColumn * s.geometry.cardWidth);
            }
        }
    }
    std::memset(bitmap + kBitmapBytes, 0x00, kBitmapArea - kBitmapBytes);
}

/// Fills one screen row of 40 per-card bytes: picture cards from the picture's array, the others `outside`.
void exportCardRow(std::uint8_t* row, const std::uint8_t* pictureRow, const VicExportSource& s,
                   const Placement& p, std::uint8_t outside) {
    std::memset(row, outside, kScreenCards);
    std::memcpy(row + p.left, pictureRow, static_cast<std::size_t>(s.geometry.widthInCards));
}

/// The matrix may lie inside the bitmap area (the video encoder's working buffer). Rows outside the
/// picture then must not overwrite the picture's bitmap bytes, which were written first.
class MatrixGuard {
public:
    MatrixGuard(const std::uint8_t* matrix, const std::uint8_t* bitmap, const Placement& p)
        : matrix_(address(matrix)),
          bitmap_(address(bitmap)),
          pictureStart_(bitmap_ + static_cast<std::uintptr_t>(p.firstShown) * kCardRowBytes),
          pictureEnd_(bitmap_ + static_cast<std::uintptr_t>(p.endShown) * kCardRowBytes) {}

    bool writeRowAbove(int row) const {
        return !(matrix_ >= bitmap_ && rowStart(row) <= pictureEnd_);
    }
    bool writeRowBelow(int row) const {
        return !(matrix_ < pictureEnd_ && rowStart(row) + kScreenCards - 1 >= pictureStart_);
    }
    bool writeTail() const {
        return matrix_ >= pictureEnd_ || matrix_ + kMatrixArea <= pictureStart_;
    }

private:
    static std::uintptr_t address(const std::uint8_t* p) { return reinterpret_cast<std::uintptr_t>(p); }
    std::uintptr_t rowStart(int row) const { return matrix_ + static_cast<std::uintptr_t>(row) * kScreenCards; }

    std::uintptr_t matrix_, bitmap_, pictureStart_, pictureEnd_;
};

void exportMatrix(std::uint8_t* matrix, const std::uint8_t* bitmap, const VicExportSource& s,
                  const Placement& p, bool fill) {
    const std::uint8_t filled = static_cast<std::uint8_t>((s.fillColour & 0x0F) * 17);
    const MatrixGuard guard(matrix, bitmap, p);
    for (int row = 0; row < kScreenCardRows; ++row) {
        std::uint8_t* line = matrix + row * kScreenCards;
        if (p.inPictureRows(row)) {
            exportCardRow(line, s.colourMatrix + (row - p.top) * s.geometry.widthInCards, s, p, filled);
        } else if (row < p.firstShown ? guard.writeRowAbove(row) : guard.writeRowBelow(row)) {
            std::memset(line, fill ? filled : 0x00, kScreenCards);
        }
    }
    if (guard.writeTail()) std::memset(matrix + kMatrixBytes, 0x00, kMatrixArea - kMatrixBytes);
}

void exportColourRam(std::uint8_t* colourRam, const VicExportSource& s, const Placement& p, bool fill) {
    const std::uint8_t filled = static_cast<std::uint8_t>((s.fillColour & 0x0F) + 0xF0);
    for (int row = 0; row < kScreenCardRows; ++row) {
        std::uint8_t* line = colourRam + row * kScreenCards;
        if (p.inPictureRows(row))
            exportCardRow(line, s.colourRam + (row - p.top) * s.geometry.widthInCards, s, p, filled);
        else
            std::memset(line, fill ? filled : 0xF0, kScreenCards);
    }
    std::memset(colourRam + kMatrixBytes, 0xF0, kMatrixArea - kMatrixBytes);
}

}  // namespace

int buildVicImage(VicImage& image, const VicExportSource& source, bool fill) {
    if (!source.roles) return 0;
    if (image.empty() && !image.create()) {
        out() << "Error: couldn't allocate memory for VIC-II export." << eol;
        return 0;
    }
    const bool exportsColourRam = source.geometry.cardWidth == 4 && (source.geometry.colourArrays & 1);
    if (!source.colourMatrix || (exportsColourRam && !source.colourRam)) return 0;
    if (!fitsScreen(source.geometry)) return 0;
    if (!image.bitmap || !image.matrix || (exportsColourRam && !image.colourRam)) return 0;

    const Placement placement = placementOf(source.geometry);
    exportBitmap(image.bitmap, source, placement, fill);
    exportMatrix(image.matrix, image.bitmap, source, placement, fill);
    if (exportsColourRam) exportColourRam(image.colourRam, source, placement, fill);
    return source.geometry.heightInCards * kCardRowBytes;
}

}  // namespace zov
