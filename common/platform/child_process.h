// Starting another program (cc1541, the emulator in the tests) with nothing to read and its output kept in a
// file, so that neither its input nor its chatter reaches the user's terminal.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace zov {

/// Starts args[0], found on the PATH, with args as its arguments (no shell sees them), standard input empty
/// and both output streams going to the file at outputPath. 0 with the child's process id in pid, or the
/// system's error number (ENOENT: no such program).
int startWithOutputTo(const std::vector<std::string>& args, const std::string& outputPath, pid_t& pid);

}  // namespace zov
