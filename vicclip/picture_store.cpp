#include "vicclip/picture_store.h"

#include "formats/little_endian.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace zov {

bool PictureStore::start(int width, int height, PictureFormat format, std::size_t firstNumber, std::string& problem) {
    width_ = width;
    height_ = height;
    format_ = format;
    firstNumber_ = firstNumber;
    head_.clear();
    if (format == PictureFormat::Bmp) {  // a bottom-up 24-bit BMP with its 40-byte info head
        const auto imageBytes = static_cast<std::uint32_t>(pixelBytes());
        head_ = {'B', 'M'};
        appendLe32(head_, 54 + imageBytes);
        appendLe32(head_, 0);
        appendLe32(head_, 54);
        for (std::uint32_t field : {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}) appendLe32(head_, field);
        appendLe16(head_, 1);
        appendLe16(head_, 24);
        for (std::uint32_t field : {0u, imageBytes, 0u, 0u, 0u, 0u}) appendLe32(head_, field);
    } else {
        const std::string text = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        head_.assign(text.begin(), text.end());
    }
    added_.assign(static_cast<std::size_t>(pixelBytes()), 0);  // the rows' padding stays 0
    shown_.clear();
    shownPicture_ = SIZE_MAX;
    return pixels_.start(problem);
}

bool PictureStore::add(const std::uint8_t* rows, int stride, std::string& problem) {
    for (int y = 0; y < height_; ++y) {
        // A BMP file keeps its rows bottom first.
        const int from = format_ == PictureFormat::Bmp ? height_ - 1 - y : y;
        std::memcpy(added_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes()),
                    rows + static_cast<std::ptrdiff_t>(from) * stride, static_cast<std::size_t>(width_) * 3);
    }
    if (!pixels_.append(added_.data(), added_.size(), problem)) return false;
    ++count_;
    return true;
}

std::size_t PictureStore::read(std::size_t picture, std::uint64_t offset, void* bytes, std::size_t count) const {
    const std::uint64_t size = fileSize();
    if (picture >= count_ || offset >= size) return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size - offset));
    auto* to = static_cast<std::uint8_t*>(bytes);
    std::size_t done = 0;
    if (offset < head_.size()) {
        done = std::min(count, static_cast<std::size_t>(head_.size() - offset));
        std::memcpy(to, head_.data() + offset, done);
    }
    if (done < count) {
        const std::uint64_t within = offset + done - head_.size();
        if (shows(picture)) {
            std::memcpy(to + done, shown_.data() + within, count - done);
            return count;
        }
        done += pixels_.read(static_cast<std::uint64_t>(picture) * pixelBytes() + within, to + done, count - done);
    }
    return done;
}

bool PictureStore::rgbPixels(std::size_t picture, std::vector<std::uint8_t>& rgb) const {
    const std::size_t rowLength = static_cast<std::size_t>(width_) * 3;
    rgb.resize(rowLength * static_cast<std::size_t>(height_));
    for (int k = 0; k < height_; ++k) {
        const int y = format_ == PictureFormat::Bmp ? height_ - 1 - k : k;
        std::uint8_t* row = rgb.data() + static_cast<std::size_t>(y) * rowLength;
        const std::uint64_t at = head_.size() + static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(rowBytes());
        if (read(picture, at, row, rowLength) != rowLength) return false;
        if (format_ == PictureFormat::Bmp)
            for (std::size_t x = 0; x < rowLength; x += 3) std::swap(row[x], row[x + 2]);
    }
    return true;
}

bool PictureStore::shows(std::size_t picture) const {
    if (picture == shownPicture_) return true;
    shownPicture_ = SIZE_MAX;
    shown_.resize(static_cast<std::size_t>(pixelBytes()));
    if (pixels_.read(static_cast<std::uint64_t>(picture) * pixelBytes(), shown_.data(), shown_.size()) != shown_.size())
        return false;  // read as asked, then, as far as it goes
    shownPicture_ = picture;
    return true;
}

std::string PictureStore::fileName(std::size_t picture) const {
    char name[32];
    std::snprintf(name, sizeof name, "frame%05zu.%s", picture + firstNumber_,
                  format_ == PictureFormat::Bmp ? "bmp" : "ppm");
    return name;
}

}  // namespace zov
