#include "vicclip/staged_files.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zov {
namespace {

// Identities of the staged files, apart from every real device's.
constexpr std::uint64_t kStagedDevice = ~std::uint64_t{0};
constexpr std::uint64_t kDirectoryInode = ~std::uint64_t{0};
constexpr std::uint64_t kTrackInode = kDirectoryInode - 1;
constexpr std::uint64_t kSinkInode = kDirectoryInode - 2;

}  // namespace

/// A staged file read through a function of (offset, destination, count).
class StagedFiles::StagedFile final : public File {
public:
    using Reader = std::function<std::size_t(std::uint64_t, void*, std::size_t)>;
    StagedFile(Reader reader, std::uint64_t length) : reader_(std::move(reader)), length_(length) {}

    std::size_t read(void* dst, std::size_t n) override {
        std::size_t got = position_ < length_ ? reader_(position_, dst, n) : 0;
        position_ += got;
        return got;
    }
    void write(const void*, std::size_t) override { throw FileError("Read-only file system"); }
    void seek(std::uint64_t position) override { position_ = position; }
    void seekEnd() override { position_ = length_; }
    std::uint64_t position() override { return position_; }
    std::uint64_t length() override { return length_; }
    void setLength(std::uint64_t) override { throw FileError("Read-only file system"); }
    void close() override {}

private:
    Reader reader_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;
};

/// The sink: every write counts towards the length, only the head's bytes are kept.
class StagedFiles::SinkFile final : public File {
public:
    explicit SinkFile(StagedFiles& files) : files_(files) {}

    std::size_t read(void* dst, std::size_t n) override {
        std::size_t got = 0;
        if (position_ < std::min<std::uint64_t>(kSinkHead, files_.sinkLength_)) {
            got = std::min<std::size_t>(n, static_cast<std::size_t>(std::min<std::uint64_t>(kSinkHead, files_.sinkLength_) - position_));
            std::memcpy(dst, files_.sinkHead_.data() + position_, got);
        }
        position_ += got;
        return got;
    }
    void write(const void* src, std::size_t n) override {
        for (std::size_t i = 0; i < n && position_ + i < kSinkHead; ++i)
            files_.sinkHead_[static_cast<std::size_t>(position_ + i)] = static_cast<const std::uint8_t*>(src)[i];
        position_ += n;
        files_.sinkLength_ = std::max(files_.sinkLength_, position_);
    }
    void seek(std::uint64_t position) override { position_ = position; }
    void seekEnd() override { position_ = files_.sinkLength_; }
    std::uint64_t position() override { return position_; }
    std::uint64_t length() override { return files_.sinkLength_; }
    void setLength(std::uint64_t length) override {
        for (std::uint64_t i = length; i < kSinkHead; ++i) files_.sinkHead_[static_cast<std::size_t>(i)] = 0;
        files_.sinkLength_ = length;
    }
    void close() override {}

private:
    StagedFiles& files_;
    std::uint64_t position_ = 0;
};

StagedFiles::StagedFiles(FileSystem& real, const PictureStore& pictures, std::string directory)
    : real_(real), pictures_(pictures), directory_(std::move(directory)) {}

void StagedFiles::showTrack(std::string path, const SpoolFile& track) {
    trackPath_ = std::move(path);
    track_ = &track;
}

void StagedFiles::sinkAt(std::string path) {
    sinkPath_ = std::move(path);
    sinkMade_ = false;
    sinkHead_.fill(0);
    sinkLength_ = 0;
}

long StagedFiles::pictureAt(const std::string& path) const {
    const std::string prefix = directory_ + "/frame";
    if (path.size() <= prefix.size() + 4 || path.compare(0, prefix.size(), prefix) != 0) return -1;
    std::size_t number = 0;
    for (std::size_t i = prefix.size(); i < path.size() - 4; ++i) {
        if (path[i] < '0' || path[i] > '9' || number > (SIZE_MAX - 9) / 10) return -1;
        number = number * 10 + static_cast<std::size_t>(path[i] - '0');
    }
    const std::size_t first = pictures_.firstNumber();
    if (number < first || number - first >= pictures_.count()) return -1;
    const std::size_t k = number - first;
    return pictures_.fileName(k) == path.substr(directory_.size() + 1) ? static_cast<long>(k) : -1;
}

bool StagedFiles::isStaged(const std::string& path) const {
    return path == directory_ || pictureAt(path) >= 0 || (track_ && path == trackPath_) ||
           (!sinkPath_.empty() && path == sinkPath_);
}

PathKind StagedFiles::kind(const std::string& path) {
    if (path == directory_) return PathKind::Directory;
    if (pictureAt(path) >= 0 || (track_ && path == trackPath_)) return PathKind::File;
    if (!sinkPath_.empty() && path == sinkPath_) return sinkMade_ ? PathKind::File : PathKind::Missing;
    return real_.kind(path);
}

std::optional<FileIdentity> StagedFiles::identity(const std::string& path) {
    if (path == directory_) return FileIdentity{kStagedDevice, kDirectoryInode};
    if (long k = pictureAt(path); k >= 0) return FileIdentity{kStagedDevice, static_cast<std::uint64_t>(k)};
    if (track_ && path == trackPath_) return FileIdentity{kStagedDevice, kTrackInode};
    if (!sinkPath_.empty() && path == sinkPath_)
        return sinkMade_ ? std::optional<FileIdentity>(FileIdentity{kStagedDevice, kSinkInode}) : std::nullopt;
    return real_.identity(path);
}

bool StagedFiles::list(const std::string& directory, std::vector<std::string>& names) {
    if (directory != directory_) return real_.list(directory, names);
    names.clear();
    for (std::size_t k = 0; k < pictures_.count(); ++k) names.push_back(pictures_.fileName(k));
    return true;
}

std::unique_ptr<File> StagedFiles::openRead(const std::string& path) {
    if (long k = pictureAt(path); k >= 0) {
        if (pictureOpened && !pictureOpened(static_cast<std::size_t>(k))) return nullptr;
        const PictureStore& pictures = pictures_;
        return std::make_unique<StagedFile>(
            [&pictures, k](std::uint64_t at, void* dst, std::size_t n) {
                return pictures.read(static_cast<std::size_t>(k), at, dst, n);
            },
            pictures_.fileSize());
    }
    if (track_ && path == trackPath_) {
        const SpoolFile& track = *track_;
        return std::make_unique<StagedFile>(
            [&track](std::uint64_t at, void* dst, std::size_t n) { return track.read(at, dst, n); }, track.size());
    }
    if (isStaged(path)) return nullptr;
    return real_.openRead(path);
}

std::unique_ptr<File> StagedFiles::create(const std::string& path) {
    if (!sinkPath_.empty() && path == sinkPath_) {
        sinkMade_ = true;
        sinkHead_.fill(0);
        sinkLength_ = 0;
        return std::make_unique<SinkFile>(*this);
    }
    if (isStaged(path)) return nullptr;
    return real_.create(path);
}

std::unique_ptr<File> StagedFiles::openExisting(const std::string& path) {
    if (!sinkPath_.empty() && path == sinkPath_) return sinkMade_ ? std::make_unique<SinkFile>(*this) : nullptr;
    if (isStaged(path)) return nullptr;
    return real_.openExisting(path);
}

std::string StagedFiles::canonicalPath(const std::string& path) {
    return isStaged(path) ? path : real_.canonicalPath(path);
}

}  // namespace zov
