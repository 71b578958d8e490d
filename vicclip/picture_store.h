// The clip's pictures as the files frameconv reads: multicolour pictures as 24-bit BMP files, hi-res ones as
// binary PPM files (the files the ffmpeg commands of the long route write). Their pixels wait in a SpoolFile
// in the files' own row order, a picture written and read back in one piece (frameconv reads a row at a
// time); the heads are made when a file is read.
#pragma once

#include "common/platform/spool_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zov {

enum class PictureFormat { Bmp, Ppm };

class PictureStore {
public:
    /// Pictures of width × height pixels; file names count from firstNumber.
    bool start(int width, int height, PictureFormat format, std::size_t firstNumber, std::string& problem);

    /// Adds a picture from its rows, top first, 3 bytes a pixel in the file's order (B, G, R for BMP; R, G,
    /// B for PPM), stride bytes apart.
    bool add(const std::uint8_t* rows, int stride, std::string& problem);

    std::size_t count() const { return count_; }
    PictureFormat format() const { return format_; }
    std::size_t firstNumber() const { return firstNumber_; }
    /// The bytes of every picture's file.
    std::uint64_t fileSize() const { return head_.size() + pixelBytes(); }
    /// Reads part of picture k's file (0-based); returns how many bytes were read.
    std::size_t read(std::size_t picture, std::uint64_t offset, void* bytes, std::size_t count) const;
    /// Picture k's pixels, rows top first, 3 bytes a pixel in the order red, green, blue; false when it
    /// cannot be read.
    bool rgbPixels(std::size_t picture, std::vector<std::uint8_t>& rgb) const;
    int width() const { return width_; }
    int height() const { return height_; }
    /// "frame00001.bmp": the name of picture k's file.
    std::string fileName(std::size_t picture) const;

private:
    std::uint64_t pixelBytes() const { return static_cast<std::uint64_t>(rowBytes()) * static_cast<std::uint64_t>(height_); }
    int rowBytes() const { return (width_ * 3 + 3) / 4 * 4; }

    /// Whether picture k's pixels are in shown_, read back from the spool.
    bool shows(std::size_t picture) const;

    SpoolFile pixels_{"the pictures"};
    std::vector<std::uint8_t> head_;
    std::vector<std::uint8_t> added_;  // a picture's pixels on their way to the spool
    mutable std::vector<std::uint8_t> shown_;  // the pixels of the picture last read
    mutable std::size_t shownPicture_ = SIZE_MAX;
    int width_ = 0, height_ = 0;
    std::size_t firstNumber_ = 1;
    PictureFormat format_ = PictureFormat::Bmp;
    std::size_t count_ = 0;
};

}  // namespace zov
