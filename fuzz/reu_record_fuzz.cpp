// Arbitrary bytes as the record of frames in an REU image that a stream played from: the first two bytes
// give the sound's length and the room for frames, the rest lies where the layout puts the record. Whatever
// they hold, the reader stays inside the image and returns at most the frames there is room for, each with
// a number.
#include "formats/reu_stream.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const zov::ReuStreamLayout layout{{0, data[0], data[1]}};
    std::vector<std::uint8_t> image(static_cast<std::size_t>(layout.record()), 0);
    image.insert(image.end(), data + 2, data + size);
    zov::ReuStreamRecord record;
    if (!zov::readReuStreamRecord(image, layout, record)) return 0;
    if (record.frames.size() > layout.frames) std::abort();
    for (const zov::ReuStreamRecord::Frame& frame : record.frames)
        if (frame.number == 0) std::abort();
    return 0;
}
