#include "vicview/file_bytes.h"

#include "common/console/console.h"
#include "common/platform/platform.h"

namespace zov {

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (fileSystem().kind(path) != PathKind::File) return false;
    std::unique_ptr<File> file = fileSystem().openRead(path);
    if (!file) return false;
    try {
        std::uint64_t length = file->length();
        bytes.resize(static_cast<std::size_t>(length));
        bool complete = file->read(bytes.data(), bytes.size()) == bytes.size();
        file->close();
        return complete;
    } catch (const FileError&) {
        return false;
    }
}

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

std::string partialName(const std::string& path, const char* suffix) {
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + name + suffix;
}

bool writeWholeFileAtOnce(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::string partial = partialName(path);
    std::unique_ptr<File> file = fileSystem().create(partial);
    if (!file) {
        out() << "Couldn't open destination: " << partial << eol;
        return false;
    }
    try {
        file->write(bytes.data(), bytes.size());
        file->close();
    } catch (const FileError& error) {
        file->close();
        fileSystem().remove(partial);
        out() << "Write error: " << error.what() << eol;
        return false;
    }
    try {
        fileSystem().rename(partial, path);
    } catch (const FileError& error) {
        fileSystem().remove(partial);
        out() << "Couldn't put " << partial << " in the place of " << path << ": " << error.what() << eol;
        return false;
    }
    return true;
}

}  // namespace zov
