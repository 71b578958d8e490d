#include "vicview/file_bytes.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/platform/whole_file.h"

namespace zov {

bool writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<File> file = fileSystem().create(path);
    if (!file) {
        out() << "Couldn't open destination: " << path << eol;
        return false;
    }
    try {
        file->write(bytes.data(), bytes.size());
        file->close();
        return true;
    } catch (const FileError& error) {
        file->close();
        out() << "Write error: " << error.what() << eol;
        return false;
    }
}

bool writeWholeFileAtOnce(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::string problem = writeWholeFileInPlace(fileSystem(), path, bytes);
    if (!problem.empty()) out() << problem << eol;
    return problem.empty();
}

}  // namespace zov
