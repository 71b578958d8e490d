#include "vicview/png_file.h"

#include "common/console/console.h"
#include "vicview/file_bytes.h"

#include <png.h>

namespace zov {

std::vector<std::uint8_t> encodePng(const RgbImage& picture) {
    std::vector<std::uint8_t> file;
    if (picture.empty()) return file;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width());
    image.height = static_cast<png_uint_32>(picture.height());
    image.format = PNG_FORMAT_RGB;
    const auto stride = static_cast<png_int_32>(picture.width() * 3);
    // The first call only measures; the second writes into a buffer of that size.
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.bytes().data(), stride, nullptr)) {
        png_image_free(&image);
        return file;
    }
    file.resize(size);
    if (!png_image_write_to_memory(&image, file.data(), &size, 0, picture.bytes().data(), stride, nullptr)) {
        png_image_free(&image);
        file.clear();
        return file;
    }
    file.resize(size);
    return file;
}

bool writePngFile(const std::string& path, const RgbImage& picture) {
    std::vector<std::uint8_t> file = encodePng(picture);
    if (file.empty()) {
        out() << "Couldn't encode the PNG picture " << path << eol;
        return false;
    }
    return writeWholeFile(path, file);
}

}  // namespace zov
