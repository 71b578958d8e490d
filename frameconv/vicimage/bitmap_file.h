// The individual VIC-II bitmap file: a load address, then the image's areas in the order a loader on the
// target machine puts them in place. Which areas it holds depends on the colour arrays setting (COLOR) and
// the bitmap mode.
#pragma once

#include "frameconv/vicimage/vic_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

class File;

struct BitmapFileLayout {
    std::int32_t colourArrays = 3;      // COLOR: 0 none, 1 Color RAM, 2 screen matrix, 3 both
    bool multicolour = true;            // false for hi-res
    std::int32_t backgroundColour = 0;  // role 0
    std::int32_t foregroundColour = 0;  // role 3, the Color RAM colour (multicolour only)
    std::int32_t topCardRow = 0;
    std::int32_t bitmapBytes = 0;       // bitmap bytes of the picture's card rows, as the export returned
};

/// The whole file. Without a Color RAM area in the image (hi-res), the Color RAM block holds 0xF0 bytes.
std::vector<std::uint8_t> bitmapFileBytes(const VicImage& image, const BitmapFileLayout& layout);

/// Writes the file's bytes at the current position; throws FileError when the write fails.
void writeBitmapFile(File& file, const VicImage& image, const BitmapFileLayout& layout);

/// Creates the file at path and writes it, printing "Couldn't open output file: "path"" when it cannot be
/// created and "\r\nWrite error: " with the system's text when a write fails. True when written.
bool saveBitmapFile(const std::string& path, const VicImage& image, const BitmapFileLayout& layout);

/// The line for a bitmap file that could not be created.
void reportBitmapFileNotOpened(const std::string& path);

}  // namespace zov
