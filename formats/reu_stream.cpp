#include "formats/reu_stream.h"

#include "formats/little_endian.h"

#include <algorithm>
#include <stdexcept>

namespace zov {
namespace {

constexpr std::uint8_t kMark[4] = {'Z', 'O', 'V', 'R'};

void putMark(std::vector<std::uint8_t>& image, std::uint64_t at, std::uint32_t identity) {
    std::copy(kMark, kMark + 4, image.begin() + static_cast<std::ptrdiff_t>(at));
    putLe32(&image[at + 4], identity);
}

}  // namespace

std::uint32_t streamIdentity(const std::vector<std::uint8_t>& stream) {
    std::uint32_t hash = 2166136261u;
    for (std::uint8_t byte : stream) hash = (hash ^ byte) * 16777619u;
    return hash;
}

std::vector<std::uint8_t> reuStreamImage(const std::vector<std::uint8_t>& stream, std::uint32_t frames,
                                         std::uint64_t unitBytes) {
    const ReuStreamLayout layout{stream.size(), frames};
    if (unitBytes < layout.bytesUsed()) throw std::logic_error("an REU image smaller than its layout");
    std::vector<std::uint8_t> image(unitBytes, 0);
    const std::uint32_t identity = streamIdentity(stream);
    putMark(image, ReuStreamLayout::kHead, identity);
    for (int value = 0; value < 256; ++value) image[ReuStreamLayout::kValueTable + value] = static_cast<std::uint8_t>(value);
    std::copy(stream.begin(), stream.end(), image.begin() + ReuStreamLayout::kStream);
    putMark(image, layout.tail(), identity);
    return image;
}

bool readReuStreamRecord(const std::vector<std::uint8_t>& image, const ReuStreamLayout& layout,
                         ReuStreamRecord& record) {
    return image.size() >= layout.bytesUsed() && readStreamRecordAt(image, layout.record(), layout.frames, record);
}

bool readStreamRecordAt(const std::vector<std::uint8_t>& image, std::uint64_t recordStart, std::uint32_t frames,
                        ReuStreamRecord& record) {
    const std::uint64_t end = recordStart + ReuStreamLayout::kRecordHeadBytes + std::uint64_t{ReuStreamLayout::kRecordEntryBytes} * frames;
    if (image.size() < end) return false;
    const std::size_t head = recordStart;
    record = ReuStreamRecord{};
    record.ending = image[head];
    record.ntsc = image[head + 1] != 0;
    record.sidModel = image[head + 2];
    record.endTicks = readU32(image, head + 5);
    record.idleSteps = readU32(image, head + 9);
    // The entries end at the first frame number 0 (frames are numbered from 1); once the play has ended, the
    // head counts them too.
    for (std::uint32_t i = 0; i < frames; ++i) {
        const std::size_t at = head + ReuStreamLayout::kRecordHeadBytes + ReuStreamLayout::kRecordEntryBytes * i;
        if (readU16(image, at) == 0) break;
        record.frames.push_back({readU16(image, at), readU32(image, at + 2)});
    }
    return record.ending == 0 || readU16(image, head + 3) == record.frames.size();
}

}  // namespace zov
