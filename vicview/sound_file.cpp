#include "vicview/sound_file.h"

namespace zov {

bool readZovSound(const std::vector<std::uint8_t>& bytes, PcmSound& sound, int& bits, FileProblem& problem) {
    sound = PcmSound{};
    SoundHeader header;
    if (!readSoundHeader(bytes, header, problem)) return false;
    bits = header.bits;
    sound.rate = header.rate;
    for (std::size_t at = kSoundHeaderSize; at < bytes.size(); ++at) {
        if (bits == 8) {
            sound.samples.push_back(widenSample(bytes[at], 8));
        } else {
            sound.samples.push_back(widenSample(bytes[at] & 0x0F, 4));
            sound.samples.push_back(widenSample(bytes[at] >> 4, 4));
        }
    }
    return true;
}

}  // namespace zov
