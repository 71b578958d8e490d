// The services every program runs on: the file system, the console and the other programs it starts.
// Everything that touches the disk, the terminal or another process goes through these interfaces, so tests
// can run the programs on an in-memory disk with stand-ins for the other programs, and inject faults.
#pragma once

#include <cstddef>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zov {

/// A failed file operation; what() is the system's description of the failure.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// What a path names, after following symbolic links. Special is anything that is neither a regular file
/// nor a directory: a named pipe, a socket or a device.
enum class PathKind { Missing, File, Directory, Unreadable, Special };

/// The device and inode of a file or directory: two paths name the same thing exactly when these agree,
/// whatever links or spellings lead there.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

/// An open file. Reads report short counts; writes, seeks and length changes throw FileError.
class File {
public:
    virtual ~File() = default;
    /// Reads up to n bytes into dst and returns how many were read (0 at the end or on failure).
    virtual std::size_t read(void* dst, std::size_t n) = 0;
    /// Writes all n bytes at the current position.
    virtual void write(const void* src, std::size_t n) = 0;
    /// Moves to an absolute position from the start.
    virtual void seek(std::uint64_t position) = 0;
    /// Moves to the end of the file.
    virtual void seekEnd() = 0;
    /// The current position.
    virtual std::uint64_t position() = 0;
    /// The current length of the file.
    virtual std::uint64_t length() = 0;
    /// Cuts or extends the file to the given length.
    virtual void setLength(std::uint64_t length) = 0;
    /// Closes the file; further calls are not allowed. Closing twice is harmless.
    virtual void close() = 0;
};

/// Access to files and directories by path ('/' separated).
class FileSystem {
public:
    virtual ~FileSystem() = default;
    /// What the path names: nothing, a file, a directory, a special file, or something whose attributes
    /// cannot be read.
    virtual PathKind kind(const std::string& path) = 0;
    /// The device and inode that the path leads to; nothing when its attributes cannot be read.
    virtual std::optional<FileIdentity> identity(const std::string& path) = 0;
    /// The names in a directory, without "." and ".."; false when the directory cannot be listed.
    virtual bool list(const std::string& directory, std::vector<std::string>& names) = 0;
    /// Creates a directory; the outcome is not reported (an existing one is fine).
    virtual void makeDirectory(const std::string& path) = 0;
    /// Opens a regular file for reading, others may read too; nullptr when it cannot be opened. A special
    /// file is never opened: a named pipe would wait for a writer.
    virtual std::unique_ptr<File> openRead(const std::string& path) = 0;
    /// Creates a file empty (cutting an existing one) for exclusive writing; nullptr on failure.
    virtual std::unique_ptr<File> create(const std::string& path) = 0;
    /// Opens an existing file for exclusive writing without cutting it, positioned at 0; nullptr on failure.
    virtual std::unique_ptr<File> openExisting(const std::string& path) = 0;
    /// One name for every path that leads to the same file or directory (the real path on a disk), so that a
    /// directory met again under another name can be recognised; the path itself when there is none.
    virtual std::string canonicalPath(const std::string& path) { return path; }
    /// Gives a file a new name in the same file system, replacing a file of that name at once (a reader sees
    /// the old file or the new one, never a part); throws FileError with the system's text on failure. A file
    /// system that cannot rename fails every time.
    virtual void rename(const std::string& from, const std::string& to) {
        (void)from, (void)to;
        throw FileError("Operation not supported");
    }
    /// Removes a file (not a directory); false when it could not be removed.
    virtual bool remove(const std::string& path) {
        (void)path;
        return false;
    }
    /// Makes a new, empty directory of the run's own where the system keeps temporary files, its name
    /// beginning with prefix; its path, or "" when none can be made. removeTree takes it away again.
    virtual std::string makeTemporaryDirectory(const std::string& prefix) {
        (void)prefix;
        return {};
    }
    /// Removes a directory with everything in it (links themselves, not what they lead to); false when
    /// something could not be removed.
    virtual bool removeTree(const std::string& path) {
        (void)path;
        return false;
    }
    /// Makes a file without a name, for reading and writing, where the system keeps temporary files; it goes
    /// away when it is closed, whatever ends the run. Throws FileError naming that place and the system's
    /// reason ("/tmp: No space left on device"). A file system without such a place fails every time.
    virtual std::unique_ptr<File> createUnnamed() { throw FileError("Operation not supported"); }
};

/// The process's standard output and standard error.
class Console {
public:
    virtual ~Console() = default;
    /// Writes text to standard output.
    virtual void out(std::string_view text) = 0;
    /// Writes text to standard error.
    virtual void err(std::string_view text) = 0;
    /// Pushes everything written so far to the terminal.
    virtual void flush() = 0;
};

/// How a program that another started has ended.
struct ChildEnd {
    bool exited = false;  // it ended by itself; false when a signal ended it or it could not be waited for
    int status = 0;       // its exit status, or the signal that ended it
    bool succeeded() const { return exited && status == 0; }
};

/// A program started by this one. Destroying it ends its input and waits for it, if finish() has not.
class Child {
public:
    virtual ~Child() = default;
    /// Hands bytes to the program's standard input; false when it takes no more (it has ended or closed it).
    virtual bool feed(const void* bytes, std::size_t count) = 0;
    /// Ends the program's input and waits until it has ended. Called once.
    virtual ChildEnd finish() = 0;
};

/// Starting other programs. They see the same file system as this one: the real disk, or in a test the
/// in-memory one with stand-ins for the programs.
class Programs {
public:
    virtual ~Programs() = default;
    /// Starts the program args[0], found on the PATH, with args as its arguments (no shell sees them). Its
    /// standard input is what feed() hands it when withInput, else empty; both its output streams go to the
    /// file at outputPath, so that none of its chatter reaches the user's terminal. nullptr, with the system's
    /// error number in error (ENOENT: there is no such program), when it cannot be started.
    virtual std::unique_ptr<Child> start(const std::vector<std::string>& args, const std::string& outputPath,
                                         bool withInput, int& error) = 0;
};

/// The services the programs run on: the real ones unless a test has put others in place.
FileSystem& fileSystem();
Console& console();
Programs& programs();

/// Puts other services in place for the lifetime of the object (tests); nullptr keeps the current one.
class PlatformOverride {
public:
    PlatformOverride(FileSystem* files, Console* console, Programs* programs = nullptr);
    ~PlatformOverride();
    PlatformOverride(const PlatformOverride&) = delete;
    PlatformOverride& operator=(const PlatformOverride&) = delete;

private:
    FileSystem* savedFiles_;
    Console* savedConsole_;
    Programs* savedPrograms_;
};

/// The real services of this machine.
FileSystem& realFileSystem();
Console& realConsole();
Programs& realPrograms();

}  // namespace zov
