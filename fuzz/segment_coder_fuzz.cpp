// The segment coder and the player on arbitrary memory. The input is first played as a command stream (a
// hostile stream must be refused command by command, never read or write outside the image), then it
// seeds the player's memory and a region of new bytes: a coded frame must play back on the memory as it
// was to exactly the new bytes and the coder's own memory, touching nothing else; a frame that cannot be
// coded must leave everything outside the region as it was, so that restoring the region restores all.
//
// Input: region start (2 bytes), region length (2 bytes), layout byte, shift byte, then the material that
// fills the memory and the new bytes.
#include "frameconv/video/segment_coder.h"
#include "formats/segment_player.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace zov;

constexpr std::uint32_t kMaxRegion = 9216;  // the largest region the encoder codes (its backup size)

void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\n", property);
    std::abort();
}

struct Case {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint8_t layout = 0;
    std::uint8_t shift = 0;
    const std::uint8_t* material = nullptr;
    std::size_t materialLength = 0;
};

std::uint8_t materialAt(const Case& c, std::size_t i) {
    return c.materialLength == 0 ? 0 : c.material[i % c.materialLength];
}

// Memory outside the region: all zero, or the material repeated (so that much of it can be copied).
void fillMemory(TargetMemory& memory, const Case& c) {
    if (c.layout & 1) {
        for (std::uint32_t i = 0; i < kTargetImageSize; ++i) memory.data()[i] = materialAt(c, i + c.shift);
    }
}

// New bytes: the material from an offset, forwards or backwards, with every other 64-byte block
// inverted when asked, so that some of it matches memory and some does not.
std::vector<std::uint8_t> newBytesOf(const Case& c) {
    std::vector<std::uint8_t> bytes(c.length + 1);  // one spare byte, so that an empty region has an address
    for (std::uint32_t j = 0; j < c.length; ++j) {
        std::size_t i = (c.layout & 2) ? c.materialLength * 64 - 1 - j : j + c.shift;
        std::uint8_t value = materialAt(c, i);
        if ((c.layout & 4) && (j / 64) % 2 == 1) value = static_cast<std::uint8_t>(~value);
        bytes[j] = value;
    }
    return bytes;
}

void playHostileStream(const std::uint8_t* data, std::size_t size) {
    TargetMemory memory;
    require(memory.allocate(), "memory");
    SegmentPlayer player(memory);
    player.play(data, size);
}

void codeAndPlay(const Case& c) {
    TargetMemory memory, before;
    require(memory.allocate() && before.allocate(), "memory");
    fillMemory(memory, c);
    std::memcpy(before.data(), memory.data(), kTargetImageSize);
    const std::vector<std::uint8_t> newBytes = newBytesOf(c);
    const FrameMarks marks{c.shift, static_cast<std::uint8_t>(c.layout >> 4), 0x06};

    static SegmentCoder coder;  // its search tables are reused from frame to frame, as in the encoder
    const int length = coder.code(memory, c.start, c.length, newBytes.data(), marks);
    require(length == coder.length(), "the coded length is kept");
    const bool inRange = c.start >= kTargetBase && c.start + c.length <= kTargetEnd;
    if (length == 0) {
        // Everything outside the region is as it was.
        if (inRange) std::memcpy(memory.address(c.start), before.address(c.start), c.length);
        require(std::memcmp(memory.data(), before.data(), kTargetImageSize) == 0, "a failed frame restores");
        return;
    }
    require(inRange, "only regions inside the image are coded");
    require(length <= kCodedBufferSize, "the coded frame fits its buffer");
    require(std::memcmp(memory.address(c.start), newBytes.data(), c.length) == 0, "the coder's memory holds the new bytes");

    SegmentPlayer player(before);
    const PlayResult played = player.play(coder.bytes(), static_cast<std::size_t>(length));
    require(played.ok(), "the coded frame plays");
    require(player.framesEnded() == 1, "one Frame command, at the end");
    require(player.frameM1() == marks.m1 && player.frameM2() == marks.m2 && player.frameM3() == marks.m3,
            "the Frame values");
    require(std::memcmp(before.data(), memory.data(), kTargetImageSize) == 0, "playback equals the coder's memory");
    // And outside the region the memory is as it was.
    TargetMemory original;
    require(original.allocate(), "memory");
    fillMemory(original, c);
    std::memcpy(original.address(c.start), memory.address(c.start), c.length);
    require(std::memcmp(original.data(), memory.data(), kTargetImageSize) == 0, "nothing outside the region changes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    playHostileStream(data, size);
    if (size < 6) return 0;
    Case c;
    c.start = static_cast<std::uint32_t>(data[0] | data[1] << 8);
    c.length = static_cast<std::uint32_t>(data[2] | data[3] << 8) % (kMaxRegion + 1);
    c.layout = data[4];
    c.shift = data[5];
    c.material = data + 6;
    c.materialLength = size - 6;
    codeAndPlay(c);
    return 0;
}
