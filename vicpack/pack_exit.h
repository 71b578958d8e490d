// vicpack's exit codes.
#pragma once

namespace zov {

enum VicpackExit : int {
    kPackDone = 0,
    kPackBadCommandLine = 1,
    kPackUnusableInput = 2,  // unreadable, of no kind vicpack packs, malformed, or without samples
    kPackOutputRefused = 3,  // OUTPUT exists (without --force), is not a regular file, or is an INPUT
    kPackWriteFailed = 4,    // OUTPUT could not be written (nothing is left behind), or cc1541 failed
    kPackTooLarge = 5,       // a sound longer than the memory holds, or at a rate the player cannot keep
};

}  // namespace zov
