// Bytes held on the disk while a run needs them: an unnamed temporary file of the platform's file system,
// which goes away when it is closed, whatever ends the run, so that a track or a clip of any length takes no
// more memory than a block.
#pragma once

#include "common/platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace zov {

class SpoolFile {
public:
    /// content names what the file holds, for the messages ("the samples").
    explicit SpoolFile(std::string content) : content_(std::move(content)) {}
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
    /// Moves the file's position to at, unless it is there already (reads and appends mostly follow on).
    void moveTo(std::uint64_t at) const;

    std::string content_;
    std::unique_ptr<File> file_;
    std::uint64_t size_ = 0;
    mutable std::uint64_t position_ = 0;
};

}  // namespace zov
