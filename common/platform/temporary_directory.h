// A directory of the run's own for the files another program reads and writes (cc1541's programs and disk
// image, ffmpeg's sound and film, their output), made where the system keeps temporary files and removed with
// everything in it when the object goes, whatever ends the run.
#pragma once

#include "common/platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

class TemporaryDirectory {
public:
    /// Makes the directory in files, its name beginning with prefix (the program's name).
    TemporaryDirectory(FileSystem& files, const std::string& prefix);
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    /// False when no directory could be made.
    bool made() const { return !path_.empty(); }
    /// The path of a file in the directory.
    std::string path(const std::string& name) const { return path_ + "/" + name; }
    /// Writes a file of the directory whole; "" when done, else the reason it could not be written.
    std::string put(const std::string& name, const std::vector<std::uint8_t>& bytes);

private:
    FileSystem& files_;
    std::string path_;
};

}  // namespace zov
