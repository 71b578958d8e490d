// Source pictures built in memory for tests: BMP files (8-bit grey, 24-bit colour) and binary PPM files made
// from a width × height grid of pixels, with the header fields open to override, plus byte surgery for files
// that lie about themselves.
//
//   auto grid = RgbGrid::generate(3, 2, [](int x, int y) { return Rgb{std::uint8_t(x * 80), 0, 0}; });
//   files.addFile("/in/a.bmp", bmp(grid));                       // bottom-up, rows padded to 4 bytes
//   files.addFile("/in/b.bmp", bmp(grid, BmpOptions().withoutRowPadding()));
//   files.addFile("/in/c.ppm", ppm(grid));
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace zov::picture_files {

using Bytes = std::vector<unsigned char>;

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

/// A width × height array of pixels, row 0 at the top.
template <typename Pixel>
struct PixelGrid {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;

    PixelGrid(int w, int h, Pixel fill = {})
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

    /// A grid whose pixel (x, y) is pixelAt(x, y).
    template <typename Function>
    static PixelGrid generate(int w, int h, Function pixelAt) {
        PixelGrid grid(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) grid.at(x, y) = pixelAt(x, y);
        return grid;
    }

    Pixel& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const Pixel& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

using RgbGrid = PixelGrid<Rgb>;
using GreyGrid = PixelGrid<std::uint8_t>;

inline void put16(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    bytes.at(offset) = static_cast<unsigned char>(value);
    bytes.at(offset + 1) = static_cast<unsigned char>(value >> 8);
}

inline void put32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    put16(bytes, offset, value & 0xFFFF);
    put16(bytes, offset + 2, value >> 16);
}

/// The first `length` bytes (all of them when the file is shorter).
inline Bytes cut(Bytes bytes, std::size_t length) {
    bytes.resize(std::min(length, bytes.size()));
    return bytes;
}

/// BMP header fields and layout. Unset fields take the values of a well-formed file of the grid; the pixel
/// data always follows the grid, whatever the header fields say. Set fields by chaining:
/// BmpOptions().withHeaderSize(108).withPlanes(2).
struct BmpOptions {
    std::uint32_t headerSize = 40;        // size field of the info header; at least 40 bytes are written
    std::optional<std::int32_t> width;    // header width
    std::optional<std::int32_t> height;   // header height (negative when topDown)
    std::optional<std::uint16_t> bitsPerPixel;
    std::uint16_t planes = 1;
    std::optional<std::uint32_t> dataOffset;
    bool topDown = false;                 // rows stored top-down with a negative height
    bool padRows = true;                  // each stored row padded to a multiple of 4 bytes
    std::vector<Rgb> colourTable;         // 8-bit files: empty gives a 256-entry grey ramp

    BmpOptions& withHeaderSize(std::uint32_t v) { headerSize = v; return *this; }
    BmpOptions& withWidth(std::int32_t v) { width = v; return *this; }
    BmpOptions& withHeight(std::int32_t v) { height = v; return *this; }
    BmpOptions& withBitsPerPixel(std::uint16_t v) { bitsPerPixel = v; return *this; }
    BmpOptions& withPlanes(std::uint16_t v) { planes = v; return *this; }
    BmpOptions& withDataOffset(std::uint32_t v) { dataOffset = v; return *this; }
    BmpOptions& storedTopDown() { topDown = true; return *this; }
    BmpOptions& withoutRowPadding() { padRows = false; return *this; }
    BmpOptions& withColourTable(std::vector<Rgb> v) { colourTable = std::move(v); return *this; }
};

namespace detail {

template <typename Pixel>
Bytes bmpFile(const PixelGrid<Pixel>& grid, int bits, const BmpOptions& options) {
    const std::size_t infoBytes = std::max<std::uint32_t>(options.headerSize, 40);
    std::vector<Rgb> table;
    if (bits == 8) {
        table = options.colourTable;
        if (table.empty())
            for (int i = 0; i < 256; ++i) table.push_back({std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
    }
    const std::size_t offset = 14 + infoBytes + 4 * table.size();
    const std::size_t rowBytes = static_cast<std::size_t>(grid.width) * (bits / 8);
    const std::size_t stride = options.padRows ? (rowBytes + 3) / 4 * 4 : rowBytes;

    Bytes file(offset, 0);
    file[0] = 'B';
    file[1] = 'M';
    put32(file, 2, static_cast<std::uint32_t>(offset + stride * grid.height));
    put32(file, 10, options.dataOffset.value_or(static_cast<std::uint32_t>(offset)));
    put32(file, 14, options.headerSize);
    put32(file, 18, static_cast<std::uint32_t>(options.width.value_or(grid.width)));
    put32(file, 22, static_cast<std::uint32_t>(
                        options.height.value_or(options.topDown ? -grid.height : grid.height)));
    put16(file, 26, options.planes);
    put16(file, 28, options.bitsPerPixel.value_or(static_cast<std::uint16_t>(bits)));
    put32(file, 34, static_cast<std::uint32_t>(stride * grid.height));
    put32(file, 46, static_cast<std::uint32_t>(table.size()));
    for (std::size_t i = 0; i < table.size(); ++i) {
        file[14 + infoBytes + 4 * i] = table[i].blue;
        file[14 + infoBytes + 4 * i + 1] = table[i].green;
        file[14 + infoBytes + 4 * i + 2] = table[i].red;
    }
    for (int k = 0; k < grid.height; ++k) {
        const int y = options.topDown ? k : grid.height - 1 - k;
        for (int x = 0; x < grid.width; ++x) {
            if constexpr (std::is_same_v<Pixel, Rgb>) {
                const Rgb& p = grid.at(x, y);
                file.insert(file.end(), {p.blue, p.green, p.red});
            } else {
                file.push_back(grid.at(x, y));
            }
        }
        file.resize(file.size() + stride - rowBytes, 0);
    }
    return file;
}

}  // namespace detail

/// An 8-bit BMP: one byte per pixel, stored bottom-up, behind a colour table.
inline Bytes bmp(const GreyGrid& grid, const BmpOptions& options = {}) { return detail::bmpFile(grid, 8, options); }

/// A 24-bit BMP: blue, green, red per pixel, stored bottom-up.
inline Bytes bmp(const RgbGrid& grid, const BmpOptions& options = {}) { return detail::bmpFile(grid, 24, options); }

/// The usual binary PPM header of a grid.
inline std::string ppmHeader(int width, int height, int maxValue = 255) {
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n" + std::to_string(maxValue) + "\n";
}

/// A binary PPM: the header (the usual one unless given), then red, green, blue per pixel, top-down.
inline Bytes ppm(const RgbGrid& grid, std::optional<std::string> header = std::nullopt) {
    const std::string text = header.value_or(ppmHeader(grid.width, grid.height));
    Bytes file(text.begin(), text.end());
    for (const Rgb& p : grid.pixels) file.insert(file.end(), {p.red, p.green, p.blue});
    return file;
}

}  // namespace zov::picture_files
