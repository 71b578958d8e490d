#include "vicclip/kept_colours.h"

namespace zov {

bool KeptColours::recall(int picture, ColourChoice& choice) {
    if (picture < 0 || !started_) return false;
    Record record;
    const std::uint64_t at = static_cast<std::uint64_t>(picture) * sizeof record;
    if (file_.read(at, &record, sizeof record) != sizeof record || !record.kept) return false;
    choice = record.choice;
    return true;
}

void KeptColours::keep(int picture, const ColourChoice& choice) {
    if (picture < 0 || failed_) return;
    std::string problem;
    if (!started_) {
        started_ = true;
        failed_ = !file_.start(problem);
    }
    // A picture that the compile passed over leaves a gap of records not kept.
    const std::uint64_t at = static_cast<std::uint64_t>(picture) * sizeof(Record);
    while (!failed_ && file_.size() < at) failed_ = !append(Record{ColourChoice{}, false});
    if (failed_ || file_.size() != at) return;
    failed_ = !append(Record{choice, true});
}

bool KeptColours::append(const Record& record) {
    std::string problem;
    return file_.append(&record, sizeof record, problem);
}

}  // namespace zov
