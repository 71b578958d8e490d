// The real file system and console of a POSIX machine.
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zov {
namespace {

std::string systemText(int error) { return std::strerror(error); }

class PosixFile final : public File {
public:
    PosixFile(int fd, bool regular) : fd_(fd), regular_(regular) {}
    bool regular() const { return regular_; }
    ~PosixFile() override { close(); }

    std::size_t read(void* dst, std::size_t n) override {
        std::size_t done = 0;
        auto* bytes = static_cast<unsigned char*>(dst);
        while (done < n) {
            ssize_t got = ::read(fd_, bytes + done, n - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    void write(const void* src, std::size_t n) override {
        const auto* bytes = static_cast<const unsigned char*>(src);
        while (n > 0) {
            ssize_t put = ::write(fd_, bytes, n);
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) throw FileError(systemText(errno));
            if (put == 0) throw FileError(systemText(ENOSPC));
            bytes += put;
            n -= static_cast<std::size_t>(put);
        }
    }

    void seek(std::uint64_t position) override {
        if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) throw FileError(systemText(errno));
    }

    void seekEnd() override {
        if (::lseek(fd_, 0, SEEK_END) < 0) throw FileError(systemText(errno));
    }

    std::uint64_t position() override {
        off_t at = ::lseek(fd_, 0, SEEK_CUR);
        if (at < 0) throw FileError(systemText(errno));
        return static_cast<std::uint64_t>(at);
    }

    std::uint64_t length() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) throw FileError(systemText(errno));
        return static_cast<std::uint64_t>(st.st_size);
    }

    void setLength(std::uint64_t length) override {
        // A device or a pipe (such as /dev/full or /dev/null as the destination) has no length to set.
        if (!regular_) return;
        if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) throw FileError(systemText(errno));
    }

    void close() override {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_;
    bool regular_;
};

// Opens for writing with the given flags and takes an exclusive lock, so that two writers never share a file.
std::unique_ptr<PosixFile> openForWriting(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    if (S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd, S_ISREG(st.st_mode));
}

// Opens a regular file for reading. A named pipe is never opened without O_NONBLOCK (the open would wait
// for a writer), and whatever the open finds is checked again, in case the path was replaced meanwhile.
std::unique_ptr<PosixFile> openRegularForReading(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd, true);
}

class PosixFileSystem final : public FileSystem {
public:
    PathKind kind(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            return (errno == ENOENT || errno == ENOTDIR) ? PathKind::Missing : PathKind::Unreadable;
        }
        if (S_ISDIR(st.st_mode)) return PathKind::Directory;
        return S_ISREG(st.st_mode) ? PathKind::File : PathKind::Special;
    }

    std::optional<FileIdentity> identity(const std::string& path) override {
        struct stat st {};
        if (::stat(path.empty() ? "." : path.c_str(), &st) != 0) return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

    bool list(const std::string& directory, std::vector<std::string>& names) override {
        names.clear();
        DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
        if (!dir) return false;
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(std::move(name));
        }
        ::closedir(dir);
        return true;
    }

    void makeDirectory(const std::string& path) override { (void)::mkdir(path.c_str(), 0777); }

    std::unique_ptr<File> openRead(const std::string& path) override { return openRegularForReading(path); }

    std::unique_ptr<File> create(const std::string& path) override {
        // Take the lock before cutting, so a file another writer holds is left as it is. Devices
        // (such as /dev/full) cannot be cut and are written as they are.
        auto file = openForWriting(path, O_RDWR | O_CREAT);
        if (file && file->regular()) {
            try {
                file->setLength(0);
            } catch (const FileError&) {
                return nullptr;
            }
        }
        return file;
    }

    std::unique_ptr<File> openExisting(const std::string& path) override {
        return openForWriting(path, O_RDWR);
    }

    std::string canonicalPath(const std::string& path) override {
        char* real = ::realpath(path.empty() ? "." : path.c_str(), nullptr);
        if (!real) return path;
        std::string result = real;
        std::free(real);
        return result;
    }

    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) throw FileError(systemText(errno));
    }

    bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

    std::string makeTemporaryDirectory(const std::string& prefix) override {
        std::error_code error;
        std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::string pattern = ((error ? std::filesystem::path("/tmp") : base) / (prefix + "-XXXXXX")).string();
        return ::mkdtemp(pattern.data()) ? pattern : std::string();
    }

    bool removeTree(const std::string& path) override {
        std::error_code error;
        std::filesystem::remove_all(path, error);
        return !error;
    }

    std::unique_ptr<File> createUnnamed() override {
        std::error_code ignored;
        std::string pattern = (std::filesystem::temp_directory_path(ignored) / "zovtools-XXXXXX").string();
        int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // no program started meanwhile inherits it
        if (fd < 0) throw FileError(std::filesystem::path(pattern).parent_path().string() + ": " + systemText(errno));
        ::unlink(pattern.c_str());  // the file lives on, nameless, while it is open
        return std::make_unique<PosixFile>(fd, true);
    }
};

class StdConsole final : public Console {
public:
    void out(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
    void err(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
    void flush() override { std::fflush(stdout); }
};

FileSystem* currentFiles = nullptr;
Console* currentConsole = nullptr;
Programs* currentPrograms = nullptr;

}  // namespace

FileSystem& realFileSystem() {
    static PosixFileSystem files;
    return files;
}

Console& realConsole() {
    static StdConsole console;
    return console;
}

FileSystem& fileSystem() { return currentFiles ? *currentFiles : realFileSystem(); }
Console& console() { return currentConsole ? *currentConsole : realConsole(); }
Programs& programs() { return currentPrograms ? *currentPrograms : realPrograms(); }

PlatformOverride::PlatformOverride(FileSystem* files, Console* console, Programs* programs)
    : savedFiles_(currentFiles), savedConsole_(currentConsole), savedPrograms_(currentPrograms) {
    if (files) currentFiles = files;
    if (console) currentConsole = console;
    if (programs) currentPrograms = programs;
}

PlatformOverride::~PlatformOverride() {
    currentFiles = savedFiles_;
    currentConsole = savedConsole_;
    currentPrograms = savedPrograms_;
}

}  // namespace zov
