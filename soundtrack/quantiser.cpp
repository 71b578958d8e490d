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

double NoiseSource::uniform() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<double>((state_ * 0x2545F4914F6CDD1DULL) >> 11) * 0x1.0p-53;
}

void TrackQuantiser::add(const double* samples, std::size_t count, std::vector<std::uint8_t>& levels) {
    for (std::size_t i = 0; i < count; ++i) {
        double value = samples[i] * gain_;
        if (std::fabs(value) > 1.0) ++limited_;
        value = std::clamp(value, -1.0, 1.0);
        unsigned level = 0;
        switch (dither_) {
        case Dither::None: level = nearestLevel(value); break;
        case Dither::Tpdf: level = nearestLevel(value + kStep * noise_.triangular()); break;
        case Dither::Shaped: {
            double wanted = value - carried_;
            level = nearestLevel(wanted);
            // The error is held to one step, so a long run at the outer level cannot build it up.
            carried_ = std::clamp(levelValue(level) - wanted, -kStep, kStep);
            break;
        }
        }
        levels.push_back(static_cast<std::uint8_t>(level));
    }
}

QuantisedTrack quantiseTrack(const std::vector<double>& samples, double gain, Dither dither) {
    QuantisedTrack track;
    track.levels.reserve(samples.size());
    TrackQuantiser quantiser(gain, dither);
    quantiser.add(samples.data(), samples.size(), track.levels);
    track.limited = static_cast<std::size_t>(quantiser.limited());
    return track;
}

void LevelPacker::add(const std::vector<std::uint8_t>& levels, std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t level : levels) {
        byte_ = byte_ << 2 | (level & 3u);
        if (++held_ == 4) {
            bytes.push_back(static_cast<std::uint8_t>(byte_));
            byte_ = 0;
            held_ = 0;
        }
    }
}

void LevelPacker::finish(std::vector<std::uint8_t>& bytes) {
    if (held_ == 0) return;
    while (held_ < 4) {
        byte_ = byte_ << 2 | kMiddleLevel;
        ++held_;
    }
    bytes.push_back(static_cast<std::uint8_t>(byte_));
    byte_ = 0;
    held_ = 0;
}

std::vector<std::uint8_t> packLevels(const std::vector<std::uint8_t>& levels) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((levels.size() + 3) / 4);
    LevelPacker packer;
    packer.add(levels, bytes);
    packer.finish(bytes);
    return bytes;
}

}  // namespace zov
