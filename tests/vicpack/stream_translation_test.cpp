// The translation of a stream's commands into the C64 player's operations: replayed on a model of the C64's
// memory, every frame that a Show switches to must look as the segment player's frame of the same stream,
// colour index for colour index, on streams that frameconv compiles in every layout of its frame buffers
// (full screen, letterboxed rings of 5 and 6 with a bitmap at 0x0000, multicolour and hi-res). Where the
// C64's VIC-II sees its character ROM the model shows other bytes: no picture may depend on them.
#include "common/platform/memory_platform.h"
#include "formats/stream_operations.h"
#include "formats/stream_walk.h"
#include "frameconv/app/frameconv_app.h"
#include "support/c64_frames.h"
#include "support/compiled_stream.h"
#include "vicpack/stream_translation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace zov {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Translated {
    std::size_t frames = 0;
    bool hidden = false;  // some operation moves bytes with I/O switched out
};

/// Translates the stream for the C64 and replays the operations against the segment player's frames.
Translated expectFramesAsTheSegmentPlayerShowsThem(const Bytes& stream, const std::string& what) {
    Translated result;
    WalkedStream walked;
    StreamFault fault;
    EXPECT_TRUE(walkStream(stream, walked, fault)) << streamRefusal("stream", fault);
    const StreamInfo& info = walked.info;
    const std::vector<StreamPacket>& packets = walked.packets;
    std::string why;
    const std::optional<MemoryPlan> plan = planC64Memory(stream, info, packets, why);
    if (!plan) {
        ADD_FAILURE() << what << ": " << why;
        return result;
    }
    const StreamOperations operations = translateStream(stream, info, packets, *plan, 1960);
    EXPECT_EQ(testing::c64FramesDiffer(stream, info, packets, operations.pages, 1960), "") << what;
    result.frames = operations.frames;
    for (std::size_t page = 0; page * kOperationPageBytes < operations.pages.size(); ++page) {
        std::size_t at = 0;
        Operation operation;
        while (at < kOperationPageBytes) {
            const std::size_t length = decodeOperation(&operations.pages[page * kOperationPageBytes + at], kOperationPageBytes - at, operation);
            if (length == 0 || operation.kind == OperationKind::NextPage || operation.kind == OperationKind::End) break;
            result.hidden |= moverOf(operation.kind) == Mover::Hidden && operation.kind != OperationKind::Show;
            at += length;
        }
    }
    return result;
}

TEST(StreamTranslation, EveryLayoutOfFrameBuffersShowsItsFramesOnTheC64) {
    struct Case {
        const char* options;
        int width, height, pictures;
        bool hidden;  // the ring needs the RAM under I/O
    } cases[] = {
        {"/ir4 /bw8000", 160, 200, 16, false},       // full-screen multicolour, a ring of 3
        {"/ir4 /bw12000 /m1", 320, 200, 12, false},  // full-screen hi-res
        {"/ir8 /bw16000 /m1", 320, 96, 16, true},    // letterboxed hi-res: a ring of 6, the first bitmap at 0x0000
        {"/ir8 /bw16000", 160, 96, 16, true},        // the same in multicolour: the empty rows show their bytes
        {"/ir6 /bw9000", 160, 160, 14, false},       // a ring of 5
        {"/ir4 /bw3000", 100, 152, 12, true},        // a narrow picture on a tight budget, a ring of 6
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.options) + " " + std::to_string(c.width) + "x" + std::to_string(c.height);
        const Translated translated = expectFramesAsTheSegmentPlayerShowsThem(testing::compiledStream(c.options, c.width, c.height, c.pictures), what);
        EXPECT_GE(translated.frames, 5u) << what;
        EXPECT_EQ(translated.hidden, c.hidden) << what;
    }
}

}  // namespace
}  // namespace zov
