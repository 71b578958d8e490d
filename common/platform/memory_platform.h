// An in-memory disk, a capturing console and stand-ins for other programs, for tests: files live in a map,
// and any operation can be made to fail on its n-th call. Like a real disk it has symbolic and hard links,
// special files (which are never opened), a device and inode for everything on it and temporary directories.
#pragma once

#include "platform.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zov {

/// Operations of the in-memory disk that can be counted and made to fail.
enum class FileOp {
    OpenRead, Create, OpenExisting, Read, Write, Seek, SetLength, Rename, MakeTemporaryDirectory, CreateUnnamed, Count_
};

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
    /// Temporary directories are made in "/tmp".
    std::string makeTemporaryDirectory(const std::string& prefix) override;
    bool removeTree(const std::string& path) override;
    /// An unnamed file in "/tmp": on no list, gone when it is closed.
    std::unique_ptr<File> createUnnamed() override;
    /// Unnamed files made and not yet closed.
    int unnamedFilesOpen() const;

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
    /// Makes every later call of an operation fail (a disk that has just become full).
    void failFromNow(FileOp op) { failAt(op, calls(op), true); }
    /// How many times an operation has been called.
    int calls(FileOp op) const { return calls_[static_cast<std::size_t>(op)]; }
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

    static constexpr std::size_t kOps = static_cast<std::size_t>(FileOp::Count_);
    static constexpr std::array<int, kOps> noFailures() {
        std::array<int, kOps> none{};
        none.fill(-1);
        return none;
    }

    std::map<std::string, Node> nodes_;
    std::vector<std::weak_ptr<Bytes>> unnamed_;  // the contents of the unnamed files, alive while one is open
    std::uint64_t nextInode_ = 3;  // 1 and 2 are the two roots, "" and "/"
    int temporaryDirectories_ = 0;
    std::array<int, kOps> calls_{};
    std::array<int, kOps> failFrom_ = noFailures();
    std::array<bool, kOps> failAlways_{};
};

/// Stand-ins for the programs that ours start, working on an in-memory disk. A program that was not added
/// is not on the PATH.
class MemoryPrograms final : public Programs {
public:
    /// One run of a stand-in: its arguments, what it was fed, and what it says (kept in its output file).
    struct Run {
        std::vector<std::string> args;
        std::string outputPath;
        std::vector<unsigned char> input;
        std::string said;
        bool finished = false;
    };
    /// What a stand-in does once its input has ended: its work on the disk, and its exit status.
    using Behaviour = std::function<int(Run& run, MemoryFileSystem& files)>;

    explicit MemoryPrograms(MemoryFileSystem& files) : files_(files) {}

    /// Adds a program. It takes at most inputLimit bytes of input and then no more, as a program that has
    /// stopped early.
    void add(const std::string& name, Behaviour behaviour, std::size_t inputLimit = SIZE_MAX);
    std::unique_ptr<Child> start(const std::vector<std::string>& args, const std::string& outputPath, bool withInput,
                                 int& error) override;

    /// Every run so far, in the order they were started.
    const std::deque<Run>& runs() const { return runs_; }
    /// Runs started and not yet waited for.
    int running() const;

private:
    struct Program {
        Behaviour behaviour;
        std::size_t inputLimit = SIZE_MAX;
    };
    friend class MemoryChild;

    MemoryFileSystem& files_;
    std::map<std::string, Program> programs_;
    std::deque<Run> runs_;
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
