#include "vicclip/player_time.h"

namespace zov {

double PlayerTime::frameSeconds(const std::uint8_t* commands, std::size_t length) {
    ++measured_;
    WorkCycles work;
    for (const FrameWork& frame : framesWork(frames_.translate(commands, length))) work += frame.cycles;
    // The frame starts anywhere in a page of operations, not at a page's start: half a page more on average.
    work.processor += pageCycles().processor / 2;
    work.transfer += pageCycles().transfer / 2;
    work.transfers += pageCycles().transfers / 2;
    return workSeconds(work, machine_, tickPeriod_);
}

}  // namespace zov
