// An in-memory disk and a capturing console, for tests: files live in a map, and any operation can be made
// to fail on its n-th call. Like a real disk it has symbolic and hard links, special files (which are never
// opened) and a device and inode for everything on it.
#pragma once

#include "platform.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zov {

/// Operations of the in-memory disk that can be counted and made to fail.
enum class FileOp { OpenRead, Create, OpenExisting, Read, Write, Seek, SetLength, Rename, Count_ };

class MemoryFileSystem final : public FileSystem {
public:
    using Bytes = std::vector<unsigned char>;

    PathKind kind(const std::string& path) override;
    std::optional<FileIdentity> identity(const std::string& path) override;
    bool list(const std::string& directory, std::vector<std::string>& names) override;
    void makeDirectory(const std::string& path) override;
    std::unique_ptr<File> openRead(const std::string& path) override;
    std::unique_ptr<File> create(const std::string& path) override;
    std::unique_ptr<File> openExisting(const std::string& path) override;
    std::string canonicalPath(const std::string& path) override;
    void rename(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;

    /// Puts a file with the given content at path (its directory must exist).
    void addFile(const std::string& path, Bytes content);
    void addFile(const std::string& path, const std::string& content);
    /// Creates a directory and any missing parents.
    void addDirectory(const std::string& path);
    /// A symbolic link at path to target, which is read relative to the link's directory unless it begins
    /// with '/'; it may lead nowhere.
    void addLink(const std::string& path, const std::string& target);
    /// A second name for an existing file: the same content, device and inode.
    void addHardLink(const std::string& path, const std::string& existing);
    /// A named pipe, socket or device at path: listed and seen, but it cannot be opened.
    void addSpecial(const std::string& path);
    /// The content of a file (links followed); empty when there is none.
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
    enum class NodeType { File, Directory, Special, Link };
    struct Node {
        NodeType type = NodeType::File;
        bool unreadable = false;
        std::shared_ptr<Bytes> data;
        std::uint64_t inode = 0;
        std::string target;  // where a link leads
    };
    static std::string normal(const std::string& path);
    static std::string parentOf(const std::string& path);
    /// The path with every symbolic link along it followed (the last one only when followLast); nothing when
    /// links lead round in a circle.
    std::optional<std::string> resolve(const std::string& path, bool followLast = true) const;
    /// The node that path leads to, links followed; nullptr when there is none.
    Node* find(const std::string& path);
    const Node* find(const std::string& path) const;
    bool isDirectory(const std::string& path) const;
    /// The node at a plain path (no links followed), made with a new inode when it is not there yet.
    Node& node(const std::string& path);

    std::map<std::string, Node> nodes_;
    std::uint64_t nextInode_ = 3;  // 1 and 2 are the two roots, "" and "/"
    int calls_[static_cast<int>(FileOp::Count_)] = {};
    int failFrom_[static_cast<int>(FileOp::Count_)] = {-1, -1, -1, -1, -1, -1, -1, -1};
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
