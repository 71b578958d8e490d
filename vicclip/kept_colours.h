// The colour choices of the stream's compile, kept on the disk for the compiles that count what another
// bandwidth keeps: they convert the same pictures with the same settings, so the choice (most of a
// picture's conversion) is taken rather than made again.
#pragma once

#include "common/platform/spool_file.h"
#include "frameconv/app/frameconv_app.h"

namespace zov {

class KeptColours final : public ColourChoiceMemo {
public:
    bool recall(int picture, ColourChoice& choice) override;
    /// A choice that cannot be kept (a full disk) is made again when it is wanted.
    void keep(int picture, const ColourChoice& choice) override;

private:
    struct Record {
        ColourChoice choice;
        bool kept;
    };
    bool append(const Record& record);

    SpoolFile file_{"the colour choices"};
    bool started_ = false;
    bool failed_ = false;
};

}  // namespace zov
