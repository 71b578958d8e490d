// A VicPicture loading files from an in-memory disk, with the console captured.
#pragma once

#include "common/platform/memory_platform.h"
#include "frameconv/picture/vic_picture.h"
#include "support/picture_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace zov {

class PictureLoad : public ::testing::Test {
protected:
    using Bytes = picture_files::Bytes;

    /// Loads the bytes as a file; the console then holds only what this load printed.
    int load(const Bytes& bytes, int verbosity = 1, bool centre = true) {
        files.addFile("/in/picture", bytes);
        auto file = files.openRead("/in/picture");
        console.clear();
        return picture.load(*file, verbosity, centre);
    }

    std::string printed() const { return console.output(); }

    std::size_t at(int x, int y) const { return static_cast<std::size_t>(y) * picture.geometry.paddedWidth + x; }
    int luma(int x, int y) const { return picture.planes.luminancePlane[at(x, y)]; }
    int saturation(int x, int y) const { return picture.planes.saturationPlane[at(x, y)]; }
    int hue(int x, int y) const { return picture.planes.huePlane[at(x, y)]; }

    MemoryFileSystem files;
    StringConsole console;
    PlatformOverride use{&files, &console};
    VicPicture picture;
};

}  // namespace zov
