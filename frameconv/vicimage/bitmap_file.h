// Writing a picture's individual VIC-II bitmap file, with the messages frameconv prints.
#pragma once

#include "formats/bitmap_layout.h"
#include "frameconv/vicimage/vic_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

class File;

/// The whole file of an image (its layout is the format library's).
std::vector<std::uint8_t> bitmapFileBytes(const VicImage& image, const BitmapFileLayout& layout);

/// Writes the file's bytes at the current position; throws FileError when the write fails.
void writeBitmapFile(File& file, const VicImage& image, const BitmapFileLayout& layout);

/// Creates the file at path and writes it, printing "Couldn't open output file: "path"" when it cannot be
/// created and "\r\nWrite error: " with the system's text when a write fails. True when written.
bool saveBitmapFile(const std::string& path, const VicImage& image, const BitmapFileLayout& layout);

/// The line for a bitmap file that could not be created.
void reportBitmapFileNotOpened(const std::string& path);

}  // namespace zov
