#include "formats/reu_sound.h"

#include "formats/little_endian.h"
#include "formats/reu_image.h"

#include <algorithm>
#include <stdexcept>

namespace zov {
namespace {

constexpr std::uint64_t kPage = 256;

std::uint32_t fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t hash = 2166136261u;
    for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 16777619u;
    return hash;
}

}  // namespace

ReuSoundLayout reuSoundLayout(std::uint64_t sampleBytes) {
    const std::uint64_t end = kPage + (sampleBytes + kPage - 1) / kPage * kPage;
    ReuSoundLayout layout;
    layout.unitSize = reuSizeFor(end + kReuSoundMarkSize);
    if (layout.unitSize == 0) return layout;
    layout.end = static_cast<std::uint32_t>(end);
    layout.firstSample = static_cast<std::uint32_t>(end - sampleBytes);
    return layout;
}

// The end is a page boundary with room for the mark behind it, and page 0 holds the first mark.
std::uint64_t mostReuSoundBytes() { return kLargestReu - 2 * kPage; }

ReuSoundMark reuSoundMark(int bits, unsigned rate, const std::vector<std::uint8_t>& samples) {
    ReuSoundMark mark{'Z', 'O', 'V', 'R', static_cast<std::uint8_t>(bits)};
    putLe16(&mark[5], rate);
    putLe32(&mark[8], static_cast<std::uint32_t>(samples.size()));
    putLe32(&mark[12], fnv1a(samples));
    return mark;
}

std::vector<std::uint8_t> reuSoundImage(int bits, unsigned rate, const std::vector<std::uint8_t>& samples) {
    const ReuSoundLayout layout = reuSoundLayout(samples.size());
    if (layout.unitSize == 0) throw std::logic_error("a sound larger than the largest unit");
    const ReuSoundMark mark = reuSoundMark(bits, rate, samples);
    std::vector<std::uint8_t> image(layout.unitSize, 0);
    std::copy(mark.begin(), mark.end(), image.begin());
    std::copy(samples.begin(), samples.end(), image.begin() + layout.firstSample);
    std::copy(mark.begin(), mark.end(), image.begin() + layout.end);
    return image;
}

}  // namespace zov
