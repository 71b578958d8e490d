#include "common/walk/batch_walk.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"

#include <algorithm>
#include <cctype>

namespace zov {
namespace {

std::string upper(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

bool endsWithNoCase(const std::string& name, const std::string& extension) {
    if (name.size() < extension.size()) return false;
    return upper(name.substr(name.size() - extension.size())) == upper(extension);
}

}  // namespace

bool visitsBefore(const std::string& a, const std::string& b) {
    std::string ka = upper(a), kb = upper(b);
    if (ka != kb) return ka < kb;
    return a < b;
}

/// Keeps a directory on the walk path while it is being visited.
class BatchWalk::OpenDirectory {
public:
    OpenDirectory(BatchWalk& walk, const std::string& path) : walk_(walk) {
        walk_.walkPath_.emplace_back(fileSystem().identity(path), path);
    }
    ~OpenDirectory() { walk_.walkPath_.pop_back(); }
    OpenDirectory(const OpenDirectory&) = delete;
    OpenDirectory& operator=(const OpenDirectory&) = delete;

private:
    BatchWalk& walk_;
};

BatchWalk::BatchWalk(Settings settings, Converter converter)
    : settings_(settings), converter_(std::move(converter)) {}

std::vector<std::string> BatchWalk::listing(const std::string& directory, const std::string& extension) const {
    std::vector<std::string> names;
    std::vector<std::string> entries;
    if (!fileSystem().list(directory, names)) return entries;
    for (const std::string& name : names) {
        if (name == "." || name == "..") continue;
        PathKind kind = fileSystem().kind(joinPath(directory, name));
        bool isDirectory = kind == PathKind::Directory;
        if (isDirectory ? settings_.recursive : endsWithNoCase(name, extension)) entries.push_back(name);
    }
    std::sort(entries.begin(), entries.end(), visitsBefore);
    return entries;
}

bool BatchWalk::passes(const std::string& origin, const std::string& dest) {
    bool directory = fileSystem().kind(origin) == PathKind::Directory;
    for (std::size_t i = 0; i < settings_.extensions.size(); ++i) {
        // A file named directly went to the first pass; a finished walk takes nothing more.
        if (i > 0 && (!directory || finished_)) return true;
        if (!pass(origin, dest, settings_.extensions[i])) return false;
    }
    return true;
}

bool BatchWalk::pass(const std::string& path, const std::string& dest, const std::string& extension) {
    if (finished_) return true;
    PathKind kind = fileSystem().kind(path);
    if (kind == PathKind::Missing || kind == PathKind::Unreadable) {
        if (settings_.reportMissingSource) out() << eol << "Could not access: " << path << eol;
        return false;
    }
    if (kind != PathKind::Directory) return converter_(path, dest);
    return walkDirectory(path, dest, extension);
}

std::vector<std::string> BatchWalk::sources(const std::string& origin) {
    std::vector<std::string> files;
    PathKind kind = fileSystem().kind(origin);
    if (kind == PathKind::File) files.push_back(origin);
    if (kind != PathKind::Directory) return files;
    for (const std::string& extension : settings_.extensions) collectSources(origin, extension, files);
    return files;
}

void BatchWalk::collectSources(const std::string& directory, const std::string& extension,
                               std::vector<std::string>& files) {
    OpenDirectory open(*this, directory);
    for (const std::string& name : listing(directory, extension)) {
        std::string entry = joinPath(directory, name);
        PathKind kind = fileSystem().kind(entry);
        if (kind == PathKind::File) {
            files.push_back(entry);
        } else if (kind == PathKind::Directory && settings_.recursive && !ancestorOf(entry)) {
            collectSources(entry, extension, files);
        }
    }
}

const std::string* BatchWalk::ancestorOf(const std::string& entry) const {
    std::optional<FileIdentity> id = fileSystem().identity(entry);
    if (!id) return nullptr;
    for (const auto& [identity, path] : walkPath_) {
        if (identity == id) return &path;
    }
    return nullptr;
}

void BatchWalk::reportLoop(const std::string& entry, const std::string& ancestor) {
    // Both passes of frameconv meet the same loop; one line says it.
    if (!reportedLoops_.insert(entry).second) return;
    out() << "\r\nDirectory loop: " << entry << " leads back to " << ancestor << " ...skipping." << eol;
}

bool BatchWalk::walkDirectory(const std::string& path, const std::string& dest, const std::string& extension) {
    switch (settings_.directoryLine) {
        case DirectoryLine::None: break;
        case DirectoryLine::Pattern: out() << "Directory: " << joinPath(path, "*" + extension) << eol; break;
        case DirectoryLine::Path: out() << path << eol; break;
    }
    std::vector<std::string> entries = listing(path, extension);
    if (entries.empty()) return true;
    if (settings_.createDestination && (dest.empty() || dest[0] != '*')) createDestination(dest);

    OpenDirectory open(*this, path);
    for (const std::string& name : entries) {
        std::string entry = joinPath(path, name);
        PathKind kind = fileSystem().kind(entry);
        if (kind == PathKind::Missing || kind == PathKind::Unreadable) {
            out() << "\r\nCouldn't get attributes of " << entry << eol;
            return false;
        }
        if (kind == PathKind::File) {
            if (!visitFile(entry, dest)) return false;
        } else if (kind == PathKind::Special) {
            // Handed over like a file that cannot be opened (the converter says so), but it is no source:
            // a refusal does not end the walk.
            if (!visitFile(entry, dest)) specialFileRefused_ = true;
        } else if (settings_.recursive && created_.count(fileSystem().canonicalPath(entry)) == 0) {
            if (const std::string* ancestor = ancestorOf(entry)) {
                reportLoop(entry, *ancestor);
                continue;
            }
            std::string subDest = (!dest.empty() && dest[0] == '*') ? dest : joinPath(dest, name);
            if (!pass(entry, subDest, extension)) return false;
        }
        if (finished_) return true;
    }
    return true;
}

void BatchWalk::createDestination(const std::string& dest) {
    const bool existed = fileSystem().kind(dest) != PathKind::Missing;
    fileSystem().makeDirectory(dest);
    if (!existed && fileSystem().kind(dest) == PathKind::Directory) created_.insert(fileSystem().canonicalPath(dest));
}

bool BatchWalk::visitFile(const std::string& entry, const std::string& dest) {
    if (settings_.jump && *settings_.jump > 0) {
        --*settings_.jump;
        return true;
    }
    if (!converter_(entry, dest)) return false;
    if (settings_.frames && *settings_.frames != 0) {
        --*settings_.frames;
        if (*settings_.frames == 0) finished_ = true;
    }
    return true;
}

}  // namespace zov
