// An in-memory disk and a capturing console, for tests: files live in a map, and any operation can be made
// to fail on its n-th call.
#pragma once

#include "platform.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zov {

/// Operations of the in-memory disk that can be counted and made to fail.
enum class FileOp { OpenRead, Create, OpenExisting, Read, Write, Seek, SetLength, Count_ };

class MemoryFileSystem final : public FileSystem {
public:
    using Bytes = std::vector<unsigned char>;

    PathKind kind(const std::string& path) override;
    bool list(const std::string& directory, std::vector<std::string>& names) override;
    void makeDirectory(const std::string& path) override;
    std::unique_ptr<File> openRead(const std::string& path) override;
    std::unique_ptr<File> create(const std::string& path) override;
    std::unique_ptr<File> openExisting(const std::string& path) override;
    std::string canonicalPath(const std::string& path) override { return normal(path); }

    /// Puts a file with the given content at path (its directory must exist).
    void addFile(const std::string& path, Bytes content);
    void addFile(const std::string& path, const std::string& content);
    /// Creates a directory and any missing parents.
    void addDirectory(const std::string& path);
    /// The content of a file; empty when there is none.
    Bytes contents(const std::string& path) const;
    bool exists(const std::string& path) const;
    /// Makes the attributes of path unreadable.
    void makeUnreadable(const std::string& path);

    /// Makes the n-th call (counted from 0) of an operation fail; -1 clears it. always=true fails every
    /// call from the n-th on.
    void failAt(FileOp op, int n, bool always = false);
    /// How many times an operation has been called.
    int calls(FileOp op) const { return calls_[static_cast<int>(op)]; }
    /// The text that failed operations report.
    std::string failureText = "No space left on device";

    /// Bookkeeping shared with open files.
    bool shouldFail(FileOp op);

private:
    struct Node {
        bool directory = false;
        bool unreadable = false;
        std::shared_ptr<Bytes> data;
    };
    static std::string normal(const std::string& path);
    static std::string parentOf(const std::string& path);
    bool isDirectory(const std::string& path) const;

    std::map<std::string, Node> nodes_;
    int calls_[static_cast<int>(FileOp::Count_)] = {};
    int failFrom_[static_cast<int>(FileOp::Count_)] = {-1, -1, -1, -1, -1, -1, -1};
    bool failAlways_[static_cast<int>(FileOp::Count_)] = {};
};

/// A console that keeps everything written to it.
class StringConsole final : public Console {
public:
    void out(std::string_view text) override { stdout_.append(text); }
    void err(std::string_view text) override { stderr_.append(text); }
    void flush() override { ++flushes_; }

    const std::string& output() const { return stdout_; }
    const std::string& errors() const { return stderr_; }
    int flushes() const { return flushes_; }
    void clear() {
        stdout_.clear();
        stderr_.clear();
    }

private:
    std::string stdout_;
    std::string stderr_;
    int flushes_ = 0;
};

}  // namespace zov
