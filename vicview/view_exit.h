// vicview's exit codes.
#pragma once

namespace zov {

enum VicviewExit : int {
    kViewDone = 0,
    kViewBadCommandLine = 1,
    kViewUnreadableInput = 2,  // missing, unreadable, or not a bitmap file, stream or sound file
    kViewMalformedInput = 3,   // a stream or sound file that breaks its format (the offset is reported)
    kViewWriteFailed = 4,      // an output could not be written
};

}  // namespace zov
