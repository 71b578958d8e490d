#include "common/walk/output_naming.h"

#include "common/console/console.h"
#include "common/platform/platform.h"

namespace zov {

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

std::string fileNamePart(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string outputName(const std::string& sourcePath) {
    std::string name = fileNamePart(sourcePath);
    auto dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name + ".BIN";
}

std::string outputPath(const std::string& sourcePath, const std::string& dest) {
    if (!dest.empty() && dest[0] == '*') {
        auto slash = sourcePath.rfind('/');
        std::string directory = slash == std::string::npos ? std::string() : sourcePath.substr(0, slash + 1);
        return directory + outputName(sourcePath);
    }
    if (fileSystem().kind(dest) == PathKind::Directory) return joinPath(dest, outputName(sourcePath));
    return dest;
}

std::string individualBitmapPath(const std::string& sourcePath) {
    // Only a dot in the file name part counts, so that "a.b/frame" does not lose its directory.
    auto slash = sourcePath.rfind('/');
    auto dot = sourcePath.rfind('.');
    std::string base = sourcePath;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
    return base + ".BIN";
}

OutputDecision checkExistingOutput(const std::string& path, const ExistingOutputRules& rules, bool yes,
                                   bool* existed) {
    PathKind kind = fileSystem().kind(path);
    if (existed) *existed = kind != PathKind::Missing;
    if (kind == PathKind::Missing) return OutputDecision::Write;

    const std::string head = path + " already exists, ";
    if (kind == PathKind::Directory) {
        out() << head << " but as a directory!" << rules.directoryTail;
        if (rules.directoryLineEnds) out() << eol;
        else console().flush();
        return rules.onDirectory;
    }
    if (!yes) {
        out() << head << rules.keptTail << eol;
        return rules.onKept;
    }
    if (rules.reportOverwrite) out() << head << "and will be " << "overwritten." << eol;
    return OutputDecision::Write;
}

bool checkIndividualBitmap(const std::string& path, bool yes, int verbose) {
    PathKind kind = fileSystem().kind(path);
    if (kind == PathKind::Missing) return true;
    const std::string head = path + " already exists, ";
    if (kind == PathKind::Directory) {
        out() << head << " but as a directory!  Individual bitmap will not be created..." << eol;
        return false;
    }
    if (!yes) {
        out() << head << "and will " << "not " << "be overwritten." << eol;
        return false;
    }
    if (verbose != 0) out() << head << "and will " << "be overwritten." << eol;
    return true;
}

}  // namespace zov
