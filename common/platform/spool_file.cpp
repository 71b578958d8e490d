#include "common/platform/spool_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace zov {

SpoolFile::~SpoolFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool SpoolFile::start(std::string& problem) {
    std::error_code ignored;
    std::string pattern = (std::filesystem::temp_directory_path(ignored) / "zovtools-XXXXXX").string();
    descriptor_ = ::mkostemp(pattern.data(), O_CLOEXEC);  // no program started meanwhile inherits it
    if (descriptor_ < 0) {
        problem = "no temporary file for " + content_ + " in " + std::filesystem::path(pattern).parent_path().string() + ": " +
                  std::strerror(errno);
        return false;
    }
    ::unlink(pattern.c_str());  // the file lives on, nameless, while it is open
    return true;
}

bool SpoolFile::append(const void* bytes, std::size_t count, std::string& problem) {
    const auto* from = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t wrote = ::pwrite(descriptor_, from, count, static_cast<off_t>(size_));
        if (wrote <= 0) {
            if (wrote < 0 && errno == EINTR) continue;
            problem = "the temporary file of " + content_ + " cannot be written: " + std::strerror(wrote < 0 ? errno : ENOSPC);
            return false;
        }
        from += wrote;
        count -= static_cast<std::size_t>(wrote);
        size_ += static_cast<std::uint64_t>(wrote);
    }
    return true;
}

std::size_t SpoolFile::read(std::uint64_t offset, void* bytes, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(descriptor_, static_cast<char*>(bytes) + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace zov
