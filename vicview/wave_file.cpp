#include "vicview/wave_file.h"

#include "vicview/file_bytes.h"

namespace zov {

bool writeWaveFile(const std::string& path, const PcmSound& sound) {
    return writeWholeFile(path, encodeWave(sound));
}

std::int16_t widenSample(unsigned value, int bits) {
    if (bits == 2) return static_cast<std::int16_t>((static_cast<int>(value) * 2 - 3) * 8192);
    int midpoint = 1 << (bits - 1);
    return static_cast<std::int16_t>((static_cast<int>(value) - midpoint) * (32768 / midpoint));
}

PcmSound widenedSound(const ZovSound& sound) {
    PcmSound pcm;
    pcm.rate = sound.rate;
    for (std::uint8_t byte : sound.sampleBytes) {
        if (sound.bits == 8) {
            pcm.samples.push_back(widenSample(byte, 8));
        } else {
            pcm.samples.push_back(widenSample(byte & 0x0F, 4));
            pcm.samples.push_back(widenSample(byte >> 4, 4));
        }
    }
    return pcm;
}

PcmSound twoBitSound(const std::uint8_t* bytes, std::size_t count, std::uint32_t rate) {
    PcmSound sound;
    sound.rate = rate;
    sound.samples.reserve(count * 4);
    for (std::size_t i = 0; i < count; ++i)
        for (int shift = 6; shift >= 0; shift -= 2) sound.samples.push_back(widenSample((bytes[i] >> shift) & 3, 2));
    return sound;
}

}  // namespace zov
