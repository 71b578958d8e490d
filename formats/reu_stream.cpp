#include "formats/reu_stream.h"

#include "formats/little_endian.h"

#include <stdexcept>

namespace zov {
namespace {

constexpr std::uint64_t kWrap = 512 * 1024;  // the unit's address counts on inside this

}  // namespace

std::uint64_t recordStartAfter(std::uint64_t soundEnd, std::uint32_t frames) {
    const std::uint64_t start = (soundEnd + 0xFF) & ~std::uint64_t{0xFF};
    const std::uint64_t end = start + machine::kRecordHeadBytes + std::uint64_t{machine::kRecordEntryBytes} * frames;
    const std::uint64_t boundary = (start / kWrap + 1) * kWrap;
    return end > boundary ? boundary : start;
}

void putReuStreamMark(std::vector<std::uint8_t>& image, std::uint64_t at, std::uint32_t identity) {
    const std::uint8_t mark[4] = {'Z', 'O', 'V', 'R'};
    std::copy(mark, mark + 4, image.begin() + static_cast<std::ptrdiff_t>(at));
    putLe32(&image[at + 4], identity);
}

std::vector<std::uint8_t> reuStreamImage(const std::vector<std::uint8_t>& operationPages,
                                         const std::vector<std::uint8_t>& sound, std::uint32_t frames,
                                         std::uint64_t unitBytes) {
    std::vector<std::uint8_t> image = reuOperationsImage<ReuStreamLayout>(operationPages, sound, frames, unitBytes);
    if (image.empty()) throw std::logic_error("an REU image of operations in part pages, or smaller than its layout");
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
