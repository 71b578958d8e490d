#include "common/platform/temporary_directory.h"

namespace zov {

TemporaryDirectory::TemporaryDirectory(FileSystem& files, const std::string& prefix)
    : files_(files), path_(files.makeTemporaryDirectory(prefix)) {}

TemporaryDirectory::~TemporaryDirectory() {
    if (made()) files_.removeTree(path_);
}

std::string TemporaryDirectory::put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<File> out = files_.create(path(name));
    if (!out) return "it cannot be created";
    try {
        out->write(bytes.data(), bytes.size());
        out->close();
    } catch (const FileError& error) {
        out->close();
        return error.what();
    }
    return "";
}

}  // namespace zov
