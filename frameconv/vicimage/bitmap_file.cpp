#include "frameconv/vicimage/bitmap_file.h"

#include "common/console/console.h"
#include "common/platform/platform.h"

#include <algorithm>

namespace zov {
namespace {

constexpr int kBitmapBytes = 8000;
constexpr int kCardBytes = 1000;
constexpr int kCardRowBytes = 320;
constexpr std::uint8_t kUnusedColourRam = 0xF0;

void appendWord(std::vector<std::uint8_t>& bytes, unsigned value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

/// Appends n bytes of an area, or `blank` bytes when the image has no such area.
void appendArea(std::vector<std::uint8_t>& bytes, const std::uint8_t* area, int n, std::uint8_t blank) {
    if (area)
        bytes.insert(bytes.end(), area, area + n);
    else
        bytes.insert(bytes.end(), static_cast<std::size_t>(n), blank);
}

/// With COLOR 0 or 2 the bitmap stops after the picture's last card row.
int bitmapLength(const BitmapFileLayout& layout, bool whole) {
    if (whole) return kBitmapBytes;
    const std::int64_t end = static_cast<std::int64_t>(layout.topCardRow) * kCardRowBytes + layout.bitmapBytes;
    return static_cast<int>(std::clamp<std::int64_t>(end, 0, kBitmapBytes));
}

}  // namespace

std::vector<std::uint8_t> bitmapFileBytes(const VicImage& image, const BitmapFileLayout& layout) {
    const int colour = layout.colourArrays & 3;
    const bool matrixFirst = colour == 2;
    const bool withColourRam = (colour & 1) != 0;
    const std::uint8_t background = static_cast<std::uint8_t>(layout.backgroundColour);

    std::vector<std::uint8_t> bytes;
    bytes.reserve(10003);
    appendWord(bytes, matrixFirst ? 0x1C00 : 0x2000);
    if (matrixFirst) {
        // The matrix sits in the KiB below the bitmap; in multicolour its spare bytes carry the two colours
        // that live outside the matrix.
        appendArea(bytes, image.matrix, kCardBytes, 0x00);
        int padding = 24;
        if (layout.multicolour) {
            bytes.push_back(background);
            bytes.push_back(static_cast<std::uint8_t>(layout.foregroundColour));
            padding = 22;
        }
        bytes.insert(bytes.end(), static_cast<std::size_t>(padding), 0x00);
    }
    appendArea(bytes, image.bitmap, bitmapLength(layout, withColourRam), 0x00);
    if (colour == 3) appendArea(bytes, image.matrix, kCardBytes, 0x00);
    if (withColourRam) {
        // Hi-res pictures have no Color RAM colours: the block holds the unused-byte pattern.
        appendArea(bytes, layout.multicolour ? image.colourRam : nullptr, kCardBytes, kUnusedColourRam);
        bytes.push_back(background);
    }
    return bytes;
}

void writeBitmapFile(File& file, const VicImage& image, const BitmapFileLayout& layout) {
    const std::vector<std::uint8_t> bytes = bitmapFileBytes(image, layout);
    file.write(bytes.data(), bytes.size());
}

void reportBitmapFileNotOpened(const std::string& path) {
    out() << "Couldn't open output file: \"" << path << "\"" << eol;
}

bool saveBitmapFile(const std::string& path, const VicImage& image, const BitmapFileLayout& layout) {
    std::unique_ptr<File> file = fileSystem().create(path);
    if (!file) {
        reportBitmapFileNotOpened(path);
        return false;
    }
    try {
        writeBitmapFile(*file, image, layout);
    } catch (const FileError& error) {
        out() << "\r\nWrite error: " << error.what() << eol;
        file->close();
        return false;
    }
    file->close();
    return true;
}

}  // namespace zov
