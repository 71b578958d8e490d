#include "formats/reu_stream64.h"

#include "formats/little_endian.h"

#include <algorithm>
#include <stdexcept>

namespace zov {
namespace {

constexpr std::uint64_t kWrap = 512 * 1024;  // the unit's address counts on inside this

void putMark(std::vector<std::uint8_t>& image, std::uint64_t at, std::uint32_t identity) {
    const std::uint8_t mark[4] = {'Z', 'O', 'V', 'R'};
    std::copy(mark, mark + 4, image.begin() + static_cast<std::ptrdiff_t>(at));
    putLe32(&image[at + 4], identity);
}

}  // namespace

std::uint64_t ReuStream64Layout::record() const {
    const std::uint64_t start = (soundEnd() + 0xFF) & ~std::uint64_t{0xFF};
    const std::uint64_t end = start + ReuStreamLayout::kRecordHeadBytes + std::uint64_t{ReuStreamLayout::kRecordEntryBytes} * frames;
    const std::uint64_t boundary = (start / kWrap + 1) * kWrap;
    return end > boundary ? boundary : start;
}

std::vector<std::uint8_t> reuStream64Image(const std::vector<std::uint8_t>& operationPages,
                                           const std::vector<std::uint8_t>& sound, std::uint32_t frames,
                                           std::uint64_t unitBytes) {
    if (operationPages.size() % 256 != 0) throw std::logic_error("operations in whole pages");
    const ReuStream64Layout layout{operationPages.size() / 256, sound.size(), frames};
    if (unitBytes < layout.bytesUsed()) throw std::logic_error("an REU image smaller than its layout");
    std::vector<std::uint8_t> image(unitBytes, 0);
    for (int value = 0; value < 256; ++value) image[ReuStream64Layout::kValueTable + value] = static_cast<std::uint8_t>(value);
    std::copy(operationPages.begin(), operationPages.end(), image.begin() + ReuStream64Layout::kOperations);
    std::copy(sound.begin(), sound.end(), image.begin() + static_cast<std::ptrdiff_t>(layout.sound()));
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(layout.sound() + sound.size()),
              image.begin() + static_cast<std::ptrdiff_t>(layout.soundEnd()), ReuStream64Layout::kSoundPad);
    const std::uint32_t identity = reuStream64Identity(image, layout);
    putMark(image, ReuStream64Layout::kHead, identity);
    putMark(image, layout.tail(), identity);
    return image;
}

std::uint32_t reuStream64Identity(const std::vector<std::uint8_t>& image, const ReuStream64Layout& layout) {
    std::uint32_t hash = 2166136261u;
    for (std::uint64_t at = ReuStream64Layout::kOperations; at < layout.soundEnd() && at < image.size(); ++at)
        hash = (hash ^ image[at]) * 16777619u;
    return hash;
}

bool readReuStream64Record(const std::vector<std::uint8_t>& image, const ReuStream64Layout& layout,
                           ReuStreamRecord& record) {
    return image.size() >= layout.bytesUsed() && readStreamRecordAt(image, layout.record(), layout.frames, record);
}

}  // namespace zov
