// Quantising to the four levels of a 2-bit sample and packing them four to a byte. Level k (0-3) plays as
// (2k − 3) / 4 of full scale: −0.75, −0.25, +0.25, +0.75, so full scale (±1) splits into four equal steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// How samples are rounded to the four levels:
///   None   - to the nearest level;
///   Tpdf   - with triangular noise of ±1 step added first (the error no longer follows the sound);
///   Shaped - each sample's rounding error is taken off the next, which moves the error's energy up
///            towards half the rate (first-order error feedback, no added noise).
enum class Dither { None, Tpdf, Shaped };

/// The names on the command line: "none", "tpdf", "shaped".
const char* ditherName(Dither dither);

/// The level that plays back the padding of the last byte: 2, the unsigned midpoint, as 128 for 8 bits.
inline constexpr std::uint8_t kMiddleLevel = 2;

struct QuantisedTrack {
    std::vector<std::uint8_t> levels;  // one level (0-3) per sample
    std::size_t limited = 0;           // samples whose amplified value lay beyond full scale
};

/// A small fixed pseudo-random sequence (xorshift64*), so every run writes the same track.
class NoiseSource {
public:
    double uniform();
    double triangular() { return uniform() - uniform(); }  // -1 to 1, peaked at 0

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

/// Rounds a track block after block, as quantiseTrack rounds it whole: the dither's state goes on from one
/// block to the next.
class TrackQuantiser {
public:
    TrackQuantiser(double gain, Dither dither) : gain_(gain), dither_(dither) {}
    /// Appends one level per sample.
    void add(const double* samples, std::size_t count, std::vector<std::uint8_t>& levels);
    std::uint64_t limited() const { return limited_; }

private:
    double gain_;
    Dither dither_;
    NoiseSource noise_;
    double carried_ = 0;  // Shaped: the last rounding error, taken off the next sample
    std::uint64_t limited_ = 0;
};

/// Packs levels four to a byte as they come, the first sample in bits 7-6.
class LevelPacker {
public:
    /// Appends every byte that is complete.
    void add(const std::vector<std::uint8_t>& levels, std::vector<std::uint8_t>& bytes);
    /// Appends the last byte, padded with kMiddleLevel, when levels are left over.
    void finish(std::vector<std::uint8_t>& bytes);

private:
    unsigned byte_ = 0;
    int held_ = 0;  // levels in byte_
};

/// Amplifies every sample by gain, limits it to full scale (peaks are held at the outer level, never
/// wrapped) and rounds it to a level. Deterministic: the dither's noise comes from a fixed sequence.
QuantisedTrack quantiseTrack(const std::vector<double>& samples, double gain, Dither dither);

/// Packs levels four to a byte, the first sample in bits 7-6; the last byte is padded with kMiddleLevel.
std::vector<std::uint8_t> packLevels(const std::vector<std::uint8_t>& levels);

/// The value in full scale that a level plays back.
double levelValue(unsigned level);

}  // namespace zov
