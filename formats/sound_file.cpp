#include "formats/sound_file.h"

namespace zov {

bool readZovSound(const std::vector<std::uint8_t>& bytes, ZovSound& sound, FileProblem& problem) {
    sound = ZovSound{};
    SoundHeader header;
    if (!readSoundHeader(bytes, header, problem)) return false;
    sound.bits = header.bits;
    sound.rate = header.rate;
    sound.sampleBytes.assign(bytes.begin() + kSoundHeaderSize, bytes.end());
    return true;
}

}  // namespace zov
