// The sound program: plays samples through the SID's volume register at the sound's own rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

/// Samples as a sound file or track holds them: unsigned, 8 / bits of them a byte. A 4-bit byte holds the
/// earlier sample in its low nibble; a 2-bit byte the first in bits 7-6.
struct SoundSamples {
    int bits = 8;  // 8, 4 or 2
    unsigned rate = 0;
    std::vector<std::uint8_t> bytes;
};

inline constexpr double kMachineClock = 985248.0;  // cycles per second of a PAL machine

/// Samples a byte holds.
inline int samplesPerByte(int bits) { return 8 / bits; }

/// The timer's cycles between two samples: the nearest to the rate that the machine can keep.
int samplePeriod(unsigned rate);
/// The rate that the machine then plays at.
inline double playedRate(unsigned rate) { return kMachineClock / samplePeriod(rate); }

/// The rates the player keeps: below the lowest the timer's count would not fit its 16 bits, above the
/// highest the next sample would come before the last one is handled.
unsigned lowestRate();
unsigned highestRate(int bits);

/// How many sample bytes fit in the machine's memory beside the player.
std::size_t mostSampleBytes(int bits);

/// The program file. The rate lies within the player's range and the bytes are not more than fit.
std::vector<std::uint8_t> soundProgram(const SoundSamples& sound);

/// A sound played from a RAM expansion unit (REU): the program and the unit's image (formats/reu_sound.h).
struct ReuSoundPackage {
    std::vector<std::uint8_t> program;
    std::vector<std::uint8_t> reuImage;
};

/// The package of a sound whose rate lies within the player's range and whose bytes are not more than the
/// largest unit holds (mostReuSoundBytes()).
ReuSoundPackage reuSoundPackage(const SoundSamples& sound);

}  // namespace zov
