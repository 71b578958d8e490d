// The files that frameconv reads and writes when vicclip compiles in the same process: the real file system,
// with a few files of vicclip's own put in front of it. The clip's pictures appear as a directory of
// numbered picture files (those of the long route's ffmpeg command), the sound track as a file, and a
// stream compiled only to be counted goes to a sink that keeps just its head.
#pragma once

#include "common/platform/platform.h"
#include "vicclip/picture_store.h"
#include "common/platform/spool_file.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace zov {

class StagedFiles final : public FileSystem {
public:
    /// The pictures appear in directory; everything else is the real file system's.
    StagedFiles(FileSystem& real, const PictureStore& pictures, std::string directory);

    /// The sound track appears as the file at path.
    void showTrack(std::string path, const SpoolFile& track);
    /// A stream written to path keeps only its first kSinkHead bytes and its length: enough to count it.
    void sinkAt(std::string path);
    /// The sink's stream: its first bytes (as far as written).
    static constexpr std::size_t kSinkHead = 64;
    const std::array<std::uint8_t, kSinkHead>& sinkHead() const { return sinkHead_; }

    /// Called with picture k (0-based) whenever its file is opened: frameconv has done the ones before. An
    /// answer of false refuses the file (it cannot be opened).
    std::function<bool(std::size_t)> pictureOpened;

    PathKind kind(const std::string& path) override;
    std::optional<FileIdentity> identity(const std::string& path) override;
    bool list(const std::string& directory, std::vector<std::string>& names) override;
    void makeDirectory(const std::string& path) override { real_.makeDirectory(path); }
    std::unique_ptr<File> openRead(const std::string& path) override;
    std::unique_ptr<File> create(const std::string& path) override;
    std::unique_ptr<File> openExisting(const std::string& path) override;
    std::string canonicalPath(const std::string& path) override;
    void rename(const std::string& from, const std::string& to) override { real_.rename(from, to); }
    bool remove(const std::string& path) override { return real_.remove(path); }
    std::unique_ptr<File> createUnnamed() override { return real_.createUnnamed(); }

private:
    class StagedFile;
    class SinkFile;
    /// Picture k when path names one of the pictures' files; -1 otherwise.
    long pictureAt(const std::string& path) const;
    bool isStaged(const std::string& path) const;

    FileSystem& real_;
    const PictureStore& pictures_;
    std::string directory_;
    std::string trackPath_;
    const SpoolFile* track_ = nullptr;
    std::string sinkPath_;
    bool sinkMade_ = false;
    std::array<std::uint8_t, kSinkHead> sinkHead_{};
    std::uint64_t sinkLength_ = 0;
};

}  // namespace zov
