// The files a run reads, known by device and inode, so that no output ever replaces one of them: not under
// another spelling, through a link, nor with /y.
#pragma once

#include "common/platform/platform.h"

#include <map>
#include <string>

namespace zov {

class InputFiles {
public:
    /// Adds a file the run reads; a path whose attributes cannot be read is not added.
    void add(const std::string& path);
    /// Checked before an output is created or opened for writing: when the output is the file being read
    /// (reading, if given) or one of the inputs, prints the line that names both and answers true; the
    /// caller then treats the output as one that cannot be opened.
    bool refuses(const std::string& output, const std::string& reading = {}) const;

private:
    std::map<FileIdentity, std::string> files_;
};

}  // namespace zov
