// PNG files of RGB pictures, written with libpng.
#pragma once

#include "vicview/rgb_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// The PNG file of a picture (8-bit RGB, no alpha); empty when libpng cannot encode it.
std::vector<std::uint8_t> encodePng(const RgbImage& picture);

/// Writes the picture as a PNG file; false after printing the reason.
bool writePngFile(const std::string& path, const RgbImage& picture);

}  // namespace zov
