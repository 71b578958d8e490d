// Bytes held on the disk while a run needs them: an unnamed temporary file that the system removes when it is
// closed, whatever ends the run, so that a clip of any length takes no more memory than a picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zov {

class SpoolFile {
public:
    SpoolFile() = default;
    ~SpoolFile();
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;

    /// Makes the file; false with the system's reason.
    bool start(std::string& problem);
    /// Appends bytes; false with the system's reason (a full disk).
    bool append(const void* bytes, std::size_t count, std::string& problem);
    /// Reads up to count bytes from offset; returns how many were read.
    std::size_t read(std::uint64_t offset, void* bytes, std::size_t count) const;
    std::uint64_t size() const { return size_; }

private:
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace zov
