// The walk over a source file or directory tree that hands every source file, with its destination, to a
// program's per-file converter. What differs between the programs (the file kinds, the lines printed, the
// countdowns) comes in with the settings.
#pragma once

#include "common/platform/platform.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zov {

class BatchWalk {
public:
    /// Converts one source file; answers true to go on, false to stop the walk.
    using Converter = std::function<bool(const std::string& source, const std::string& dest)>;

    /// The line printed for every directory a pass visits.
    enum class DirectoryLine {
        None,
        Pattern,  // "Directory: DIR/*.EXT"
        Path,     // "DIR"
    };

    struct Settings {
        std::vector<std::string> extensions;  // one pass each, in this order (".BMP", any case)
        bool recursive = false;
        DirectoryLine directoryLine = DirectoryLine::None;
        bool reportMissingSource = false;  // print "Could not access: PATH" when a pass finds no source
        bool createDestination = true;     // create the destination directory of a directory with sources
        int* jump = nullptr;               // files still to skip, counted down across passes (none: nullptr)
        int* frames = nullptr;             // files still to take (0 = no limit), counted down across passes
    };

    BatchWalk(Settings settings, Converter converter);

    /// One pass over path with the destination, taking the files whose names end in extension (".BMP",
    /// ".PPM", ".WAV", any case). A file named directly is handed over whatever its name.
    bool pass(const std::string& path, const std::string& dest, const std::string& extension);

    /// A pass for every extension of the settings, each only when the one before succeeded. A file named
    /// directly is converted once.
    bool passes(const std::string& origin, const std::string& dest);

    /// True once the frame limit has run out: the whole batch has ended.
    bool finished() const { return finished_; }

    /// True when a special file (a named pipe, socket or device) in a listing was refused by the converter.
    /// Such a file is no source, so the walk went on past it; the run has failed all the same.
    bool specialFileRefused() const { return specialFileRefused_; }

    /// Every source file that the passes would hand over, in walking order, found without printing,
    /// creating or converting anything: so that no output ever replaces a source still to come.
    std::vector<std::string> sources(const std::string& origin);

    /// The entries of a directory that a pass visits, in visiting order: files whose names end in the
    /// extension and, when recursive, every sub-directory; sorted by name without regard to case.
    std::vector<std::string> listing(const std::string& directory, const std::string& extension) const;

private:
    class OpenDirectory;

    bool walkDirectory(const std::string& path, const std::string& dest, const std::string& extension);
    bool visitFile(const std::string& entry, const std::string& dest);
    void createDestination(const std::string& dest);
    /// The directory on the current walk path that entry is (the same device and inode), or nullptr.
    const std::string* ancestorOf(const std::string& entry) const;
    /// Reports a directory that leads back to one of its ancestors, once per run.
    void reportLoop(const std::string& entry, const std::string& ancestor);
    void collectSources(const std::string& directory, const std::string& extension, std::vector<std::string>& files);

    Settings settings_;
    Converter converter_;
    bool finished_ = false;
    bool specialFileRefused_ = false;
    // The directories open on the current walk path, from the top: a link back to one of them is a loop.
    std::vector<std::pair<std::optional<FileIdentity>, std::string>> walkPath_;
    std::set<std::string> reportedLoops_;
    // Destination directories this walk has made. A destination inside the source tree is never walked as
    // a source: each visit would make the next level inside it, without end.
    std::set<std::string> created_;
};

/// Orders names as a directory is visited: by their upper-cased bytes, equal keys then by the bytes as
/// they are.
bool visitsBefore(const std::string& a, const std::string& b);

}  // namespace zov
