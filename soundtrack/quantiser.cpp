#include "soundtrack/quantiser.h"

#include <algorithm>
#include <cmath>

namespace zov {
namespace {

constexpr double kStep = 0.5;  // full scale (2) over four levels

unsigned nearestLevel(double value) {
    double index = std::floor((value + 1.0) / kStep);
    if (!(index >= 0)) return 0;  // also NaN
    return index >= 3 ? 3u : static_cast<unsigned>(index);
}

// A small fixed pseudo-random sequence (xorshift64*), so every run writes the same track.
class NoiseSource {
public:
    double uniform() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 0x2545F4914F6CDD1DULL) >> 11) * 0x1.0p-53;
    }
    double triangular() { return uniform() - uniform(); }  // -1 to 1, peaked at 0

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

}  // namespace

const char* ditherName(Dither dither) {
    switch (dither) {
    case Dither::Tpdf: return "tpdf";
    case Dither::Shaped: return "shaped";
    case Dither::None: break;
    }
    return "none";
}

double levelValue(unsigned level) { return (2.0 * level - 3.0) / 4.0; }

QuantisedTrack quantiseTrack(const std::vector<double>& samples, double gain, Dither dither) {
    QuantisedTrack track;
    track.levels.reserve(samples.size());
    NoiseSource noise;
    double carried = 0;  // Shaped: the last rounding error, taken off the next sample
    for (double sample : samples) {
        double value = sample * gain;
        if (std::fabs(value) > 1.0) ++track.limited;
        value = std::clamp(value, -1.0, 1.0);
        unsigned level = 0;
        switch (dither) {
        case Dither::None: level = nearestLevel(value); break;
        case Dither::Tpdf: level = nearestLevel(value + kStep * noise.triangular()); break;
        case Dither::Shaped: {
            double wanted = value - carried;
            level = nearestLevel(wanted);
            // The error is held to one step, so a long run at the outer level cannot build it up.
            carried = std::clamp(levelValue(level) - wanted, -kStep, kStep);
            break;
        }
        }
        track.levels.push_back(static_cast<std::uint8_t>(level));
    }
    return track;
}

std::vector<std::uint8_t> packLevels(const std::vector<std::uint8_t>& levels) {
    std::vector<std::uint8_t> bytes((levels.size() + 3) / 4, 0);
    for (std::size_t i = 0; i < bytes.size() * 4; ++i) {
        unsigned level = i < levels.size() ? levels[i] & 3u : kMiddleLevel;
        bytes[i / 4] = static_cast<std::uint8_t>(bytes[i / 4] | level << (6 - 2 * (i % 4)));
    }
    return bytes;
}

}  // namespace zov
