// frameconv run on an in-memory disk with its console captured.
#pragma once

#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "support/command_line.h"

#include <string>

namespace zov {

struct FrameconvOnMemory {
    MemoryFileSystem fs;
    StringConsole console;

    /// Runs frameconv with a line of words as its arguments; returns the exit code.
    int run(const std::string& line) {
        console.clear();
        PlatformOverride use(&fs, &console);
        return runFrameconv(frameconvArgs(line));
    }
};

}  // namespace zov
