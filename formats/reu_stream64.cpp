#include "formats/reu_stream64.h"

#include <stdexcept>

namespace zov {

std::vector<std::uint8_t> reuStream64Image(const std::vector<std::uint8_t>& operationPages,
                                           const std::vector<std::uint8_t>& sound, std::uint32_t frames,
                                           std::uint64_t unitBytes) {
    std::vector<std::uint8_t> image = reuOperationsImage<ReuStream64Layout>(operationPages, sound, frames, unitBytes);
    if (image.empty()) throw std::logic_error("an REU image of operations in part pages, or smaller than its layout");
    return image;
}

bool readReuStream64Record(const std::vector<std::uint8_t>& image, const ReuStream64Layout& layout,
                           ReuStreamRecord& record) {
    return image.size() >= layout.bytesUsed() && readStreamRecordAt(image, layout.record(), layout.frames, record);
}

}  // namespace zov
