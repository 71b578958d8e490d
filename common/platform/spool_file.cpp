#include "common/platform/spool_file.h"

namespace zov {

bool SpoolFile::start(std::string& problem) {
    try {
        file_ = fileSystem().createUnnamed();
    } catch (const FileError& error) {
        problem = "no temporary file for " + content_ + " in " + error.what();
        return false;
    }
    size_ = position_ = 0;
    return true;
}

bool SpoolFile::append(const void* bytes, std::size_t count, std::string& problem) {
    try {
        if (!file_) throw FileError("Bad file descriptor");  // never started
        moveTo(size_);
        file_->write(bytes, count);
    } catch (const FileError& error) {
        problem = "the temporary file of " + content_ + " cannot be written: " + error.what();
        position_ = ~std::uint64_t{0};  // not known after a failure
        return false;
    }
    size_ += count;
    position_ = size_;
    return true;
}

std::size_t SpoolFile::read(std::uint64_t offset, void* bytes, std::size_t count) const {
    if (!file_) return 0;
    try {
        moveTo(offset);
    } catch (const FileError&) {
        position_ = ~std::uint64_t{0};
        return 0;
    }
    const std::size_t got = file_->read(bytes, count);
    position_ = offset + got;
    return got;
}

void SpoolFile::moveTo(std::uint64_t at) const {
    if (position_ != at) file_->seek(at);
    position_ = at;
}

}  // namespace zov
