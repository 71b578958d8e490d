// Loading a BMP or binary PPM picture into the VicPicture: recognition and header checks, the frame size
// fixed by the first picture of the run, the planes allocated once, and the rows read and converted.

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "frameconv/picture/colour_conversion.h"
#include "frameconv/picture/vic_picture.h"
#include "formats/little_endian.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>

namespace zov {
namespace {

// Holds the start of the file while it is recognised, then one stored row at a time.
constexpr std::size_t kBufferSize = 2048;
using Buffer = std::array<std::uint8_t, kBufferSize>;

constexpr std::int64_t kScreenCards = 40;
constexpr std::int64_t kScreenLines = 200;

enum class PixelOrder { Grey, BlueGreenRed, RedGreenBlue };

// What the header says about the pixel data, once every check has passed.
struct SourceLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;  // always positive
    int bytesPerPixel = 3;
    PixelOrder order = PixelOrder::RedGreenBlue;
    bool bottomUp = false;
    bool paddedRows = false;  // BMP rows take whole multiples of 4 bytes
    std::uint64_t dataStart = 0;
    std::optional<std::int64_t> availableData;  // bytes after the data start; only a BMP is checked
};

std::int32_t signed32(const std::uint8_t* p) { return static_cast<std::int32_t>(readLe32(p)); }

void skipLine(const char* text) { out() << text << eol; }

void notRecognised() { skipLine(" not recognized...skipping."); }

// The checks of the picture's size against the screen, common to both formats: false when skipped.
bool fitsScreen(std::int64_t width, std::int64_t height, int cardWidth, int verbosity) {
    if (width % cardWidth != 0 && verbosity >= 1) {
        out() << "Warning: bitmap width not multiple of " << cardWidth << eol;
    }
    if (width > kScreenCards * cardWidth) {
        out() << "Bitmap > 40 cards (" << static_cast<int>(kScreenCards * cardWidth) << " pixels) wide ...skipping."
              << eol;
        return false;
    }
    if ((height & 7) != 0 && verbosity >= 1) skipLine("Warning: bitmap height not multiple of 8.");
    if (height > kScreenLines) {
        skipLine("Bitmap > 25 cards (200 pixels) high ...skipping.");
        return false;
    }
    return true;
}

std::optional<SourceLayout> readBmpHeader(const Buffer& header, std::size_t count, File& file, int cardWidth,
                                          int verbosity) {
    const std::uint8_t* h = header.data();
    if (count < 19) {
        skipLine("\r\nNo bitmap found in file ...skipping.");
        return std::nullopt;
    }
    const std::uint32_t dataOffset = readLe32(h + 10);
    const std::uint32_t headerSize = readLe32(h + 14);
    if (static_cast<std::int64_t>(headerSize) + 14 >= static_cast<std::int64_t>(count)) {
        skipLine("\r\nNo bitmap found in file ...skipping.");
        return std::nullopt;
    }
    if (headerSize != 40) {
        out() << "Unexpected BMP header size ";
        if (verbosity >= 1) out() << "(" << headerSize << ") ";
        out() << " ...skipping." << eol;
        return std::nullopt;
    }
    // From here the 40-byte header lies within the bytes read.
    const std::int32_t width = signed32(h + 18);
    const std::int32_t storedHeight = signed32(h + 22);  // negative: rows stored top-down
    const std::int64_t height = storedHeight < 0 ? -static_cast<std::int64_t>(storedHeight) : storedHeight;
    if (width <= 0 || height == 0) {
        notRecognised();
        return std::nullopt;
    }
    if (!fitsScreen(width, height, cardWidth, verbosity)) return std::nullopt;
    if (readLe16(h + 26) != 1) {
        skipLine("Bitmap has multiple planes ...skipping.");
        return std::nullopt;
    }
    const int bits = readLe16(h + 28);
    if (bits != 8 && bits != 24) {
        skipLine("Bitmap does not have 8 (monochrome) nor 24 (color) bits per pixel ...skipping.");
        return std::nullopt;
    }

    SourceLayout layout;
    layout.width = width;
    layout.height = static_cast<std::int32_t>(height);
    layout.bytesPerPixel = bits / 8;
    layout.order = bits == 8 ? PixelOrder::Grey : PixelOrder::BlueGreenRed;
    layout.bottomUp = storedHeight > 0;
    layout.paddedRows = true;
    layout.dataStart = dataOffset;
    layout.availableData = static_cast<std::int64_t>(file.length()) - static_cast<std::int64_t>(dataOffset);
    return layout;
}

// The decimal number starting at `at`; nothing when there is no digit there. Long numbers saturate far
// above any accepted size.
std::optional<std::int64_t> numberAt(const Buffer& buffer, std::size_t count, std::size_t at) {
    if (at >= count || buffer[at] < '0' || buffer[at] > '9') return std::nullopt;
    std::int64_t value = 0;
    for (; at < count && buffer[at] >= '0' && buffer[at] <= '9'; ++at) {
        value = std::min<std::int64_t>(value * 10 + (buffer[at] - '0'), 1'000'000'000'000);
    }
    return value;
}

// Position of the first separator at or after `from` (a line feed only, or also a space).
std::optional<std::size_t> separatorFrom(const Buffer& buffer, std::size_t count, std::size_t from,
                                         bool spaceToo) {
    for (std::size_t i = from; i < count; ++i) {
        if (buffer[i] == '\n' || (spaceToo && buffer[i] == ' ')) return i;
    }
    return std::nullopt;
}

// "P6", width at byte 3, height and maximum value after one separator each, pixels after the next line feed.
std::optional<SourceLayout> readPpmHeader(const Buffer& header, std::size_t count, int cardWidth,
                                          int verbosity) {
    const auto width = numberAt(header, count, 3);
    const auto afterWidth = width ? separatorFrom(header, count, 4, true) : std::nullopt;
    const auto height = afterWidth ? numberAt(header, count, *afterWidth + 1) : std::nullopt;
    const auto afterHeight = height ? separatorFrom(header, count, *afterWidth + 2, true) : std::nullopt;
    const auto maximum = afterHeight ? numberAt(header, count, *afterHeight + 1) : std::nullopt;
    const auto lineEnd = maximum ? separatorFrom(header, count, *afterHeight + 2, false) : std::nullopt;
    if (!lineEnd || *maximum != 255 || *width == 0 || *height == 0) {
        notRecognised();
        return std::nullopt;
    }
    if (!fitsScreen(*width, *height, cardWidth, verbosity)) return std::nullopt;

    SourceLayout layout;
    layout.width = static_cast<std::int32_t>(*width);
    layout.height = static_cast<std::int32_t>(*height);
    layout.dataStart = *lineEnd + 1;
    return layout;
}

std::optional<SourceLayout> recognise(const Buffer& header, std::size_t count, File& file, int cardWidth,
                                      int verbosity) {
    std::optional<SourceLayout> layout;
    if (count >= 2 && header[0] == 'B' && header[1] == 'M') {
        layout = readBmpHeader(header, count, file, cardWidth, verbosity);
    } else if (count >= 2 && header[0] == 'P' && header[1] == '6') {
        layout = readPpmHeader(header, count, cardWidth, verbosity);
    } else {
        notRecognised();
    }
    // One stored row must fit the buffer. The screen's width limit keeps every accepted picture far below.
    if (layout && static_cast<std::int64_t>(layout->width) * layout->bytesPerPixel > static_cast<std::int64_t>(kBufferSize)) {
        out() << "Buffer to small to process BMP ";
        if (verbosity >= 1) {
            out() << "(bpp: " << layout->bytesPerPixel * 8 << ", " << "X: " << layout->width << ", "
                  << "Y: " << layout->height << ") ";
        }
        out() << " ...skipping." << eol;
        return std::nullopt;
    }
    return layout;
}

// Blank card rows above the picture when it is centred on the 25-row screen; a picture padded to the full
// height starts at row 0.
std::int32_t centredTopRow(std::int32_t height) {
    const std::int32_t heightInCards = (height + 7) / 8;
    return std::min((215 - height) / 16, 25 - heightInCards);
}

// Zero-filled, once per run: later pictures reuse the buffer, and the padding must read as defined values.
template <typename T>
bool allocateOnce(std::unique_ptr<T[]>& buffer, std::int32_t elements, const char* what) {
    if (buffer) return true;
    buffer.reset(new (std::nothrow) T[static_cast<std::size_t>(elements)]());
    if (buffer) return true;
    out() << "Error: couldn't allocate memory for " << what << " ("
          << static_cast<long long>(elements) * static_cast<long long>(sizeof(T)) << " bytes)" << eol;
    return false;
}

bool allocateBuffers(VicPicture& picture) {
    const std::int32_t size = picture.geometry.paddedSize;
    const bool colour = !picture.monochrome;
    return allocateOnce(picture.planes.luminancePlane, size, "source image luminance") &&
           (!colour || allocateOnce(picture.planes.huePlane, size, "source image hue")) &&
           (!colour || allocateOnce(picture.planes.saturationPlane, size, "source image saturation")) &&
           allocateOnce(picture.planes.lumaDither, size, "bitmap luminance dither") &&
           (!colour || allocateOnce(picture.planes.hueDither, size, "bitmap hue dither")) &&
           (!colour || allocateOnce(picture.planes.saturationDither, size, "bitmap saturation dither")) &&
           (!picture.keepSourceRgb || allocateOnce(picture.planes.sourceRgb, 3 * size, "source image pixels"));
}

// A first picture that fails leaves no buffers behind, so the next attempt allocates them at its own size.
void releaseUnsizedBuffers(VicPicture& picture) {
    if (picture.firstFrameLoaded) return;
    picture.planes = PicturePlanes{};
}

void convertRow(PixelConverter& converter, const std::uint8_t* row, std::size_t rowStart, std::int32_t width,
                PixelOrder order) {
    switch (order) {
    case PixelOrder::Grey: converter.greyRow(row, rowStart, width); break;
    case PixelOrder::BlueGreenRed: converter.colourRow(row, rowStart, width, true); break;
    case PixelOrder::RedGreenBlue: converter.colourRow(row, rowStart, width, false); break;
    }
}

// The stored row's pixels as red, green and blue bytes in the source pixel plane.
void keepRow(VicPicture& picture, const std::uint8_t* row, std::int32_t y, const SourceLayout& layout) {
    std::uint8_t* to = picture.planes.sourceRgb.get() + 3 * static_cast<std::size_t>(y) * picture.geometry.paddedWidth;
    for (std::int32_t x = 0; x < layout.width; ++x, to += 3) {
        const std::uint8_t* p = row + static_cast<std::size_t>(x) * layout.bytesPerPixel;
        switch (layout.order) {
        case PixelOrder::Grey: to[0] = to[1] = to[2] = p[0]; break;
        case PixelOrder::BlueGreenRed: to[0] = p[2], to[1] = p[1], to[2] = p[0]; break;
        case PixelOrder::RedGreenBlue: to[0] = p[0], to[1] = p[1], to[2] = p[2]; break;
        }
    }
}

// Reads every stored row into the buffer and converts it; false on a short read or a failed seek.
bool readRows(VicPicture& picture, File& file, const SourceLayout& layout, Buffer& buffer) {
    try {
        file.seek(layout.dataStart);
    } catch (const FileError&) {
        return false;
    }
    PixelConverter converter(picture);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.width) * layout.bytesPerPixel;
    const std::size_t padding = layout.paddedRows ? (4 - rowBytes % 4) % 4 : 0;
    for (std::int32_t k = 0; k < layout.height; ++k) {
        if (file.read(buffer.data(), rowBytes) != rowBytes) return false;
        if (padding != 0) {
            std::uint8_t skipped[4];
            file.read(skipped, padding);  // the last row's padding may be missing
        }
        const std::int32_t y = layout.bottomUp ? layout.height - 1 - k : k;
        convertRow(converter, buffer.data(), static_cast<std::size_t>(y) * picture.geometry.paddedWidth, layout.width,
                   layout.order);
        if (picture.planes.sourceRgb) keepRow(picture, buffer.data(), y, layout);
    }
    return true;
}

}  // namespace

int VicPicture::load(File& file, int verbosity, bool centre) {
    Buffer buffer;
    const std::size_t count = file.read(buffer.data(), buffer.size());
    const std::optional<SourceLayout> layout = recognise(buffer, count, file, geometry.cardWidth, verbosity);
    if (!layout) return 1;

    if (!firstFrameLoaded) {
        geometry.width = layout->width;
        geometry.height = layout->height;
        geometry.pixelCount = static_cast<std::uint32_t>(geometry.width) * static_cast<std::uint32_t>(geometry.height);
        geometry.topCardRow = centre ? centredTopRow(geometry.height) : 0;
    } else if (layout->width != geometry.width || layout->height != geometry.height) {
        out() << "Bitmap size (" << layout->width << "x" << layout->height << ")" << "differs from first frame ("
              << geometry.width << "x" << geometry.height << ")" << " ...skipping." << eol;
        return 1;
    }
    if (layout->availableData &&
        *layout->availableData < static_cast<std::int64_t>(layout->bytesPerPixel) * geometry.pixelCount) {
        skipLine("Error: source file data size inconsistant... skipping.");
        return 1;
    }
    geometry.paddedWidth = (geometry.width + geometry.cardWidth - 1) / geometry.cardWidth * geometry.cardWidth;
    geometry.paddedHeight = (geometry.height + 7) / 8 * 8;
    geometry.paddedSize = geometry.paddedWidth * geometry.paddedHeight;
    monochrome = layout->order == PixelOrder::Grey ? 1 : 0;

    if (!allocateBuffers(*this)) {
        releaseUnsizedBuffers(*this);
        return 2;
    }
    resetConversionStatistics(*this);
    if (!readRows(*this, file, *layout, buffer)) {
        releaseUnsizedBuffers(*this);
        skipLine("Error reading file data.");
        return 1;
    }
    firstFrameLoaded = 1;
    if (verbosity >= 2) printConversionStatistics(*this);
    return 0;
}

}  // namespace zov
