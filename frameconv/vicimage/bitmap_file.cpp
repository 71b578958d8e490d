#include "frameconv/vicimage/bitmap_file.h"

#include "common/console/console.h"
#include "common/platform/platform.h"

namespace zov {

std::vector<std::uint8_t> bitmapFileBytes(const VicImage& image, const BitmapFileLayout& layout) {
    return bitmapFileBytes(BitmapAreas{image.bitmap, image.matrix, image.colourRam}, layout);
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
