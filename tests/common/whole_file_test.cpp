#include "common/platform/memory_platform.h"
#include "common/platform/whole_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::string> namesIn(MemoryFileSystem& fs, const std::string& directory) {
    std::vector<std::string> names;
    fs.list(directory, names);
    return names;
}

// Two outputs that belong together are both written or neither, whichever step fails; nothing passing is left.
TEST(WholeFiles, BothOrNeitherWhicheverStepFails) {
    const Bytes program(300, 0x11), image(5000, 0x22);
    struct Fault {
        FileOp op;
        int call;
        const char* words;
    };
    for (const Fault& fault : {Fault{FileOp::Create, 1, "Couldn't create /out/.clip.reu.part"},
                               Fault{FileOp::Write, 1, "Couldn't write /out/clip.reu: No space left"},
                               Fault{FileOp::Rename, 1, "Couldn't write /out/clip.reu: No space left"},
                               Fault{FileOp::Rename, 0, "Couldn't write /out/clip.prg: No space left"}}) {
        MemoryFileSystem fs;
        fs.addDirectory("/out");
        fs.addFile("/out/keep", "kept");
        fs.failAt(fault.op, fault.call);
        const std::string problem =
            writeWholeFilesInPlace(fs, {{"/out/clip.prg", program}, {"/out/clip.reu", image}});
        EXPECT_EQ(problem.rfind(fault.words, 0), 0u) << problem;
        EXPECT_EQ(namesIn(fs, "/out"), std::vector<std::string>{"keep"}) << fault.words;
    }

    MemoryFileSystem fs;
    fs.addFile("/out/clip.reu", "old image");
    EXPECT_EQ(writeWholeFilesInPlace(fs, {{"/out/clip.prg", program}, {"/out/clip.reu", image}}), "");
    EXPECT_EQ(fs.contents("/out/clip.prg"), program);
    EXPECT_EQ(fs.contents("/out/clip.reu"), image);
    EXPECT_EQ(namesIn(fs, "/out").size(), 2u);
}

}  // namespace
}  // namespace zov
