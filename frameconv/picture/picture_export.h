// Connects a picture to the bitmap file: the file layout that its mode, colour setting and roles select.
#pragma once

#include "frameconv/picture/vic_picture.h"
#include "frameconv/vicimage/bitmap_file.h"

namespace zov {

/// The bitmap file layout of a picture whose export returned bitmapBytes.
BitmapFileLayout bitmapFileLayout(const VicPicture& picture, int bitmapBytes);

}  // namespace zov
