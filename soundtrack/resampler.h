// Mono sample-rate conversion with libsoxr at its very high quality, fed block by block. The output is
// aligned with the input: output sample n stands for the time n / output rate. It is handed on in pieces of
// at most kPiece samples, however many one block of input makes (a sound at 1 Hz makes 7843 samples a
// sample at 7843 Hz), so that memory stays the same whatever the rates.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct soxr;

namespace zov {

class Resampler {
public:
    static constexpr std::size_t kPiece = 4096;
    /// Takes a piece of output; false stops the conversion.
    using Output = std::function<bool(const double* samples, std::size_t count)>;

    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    /// Prepares the conversion; false with the library's reason when it cannot.
    bool start(double inputRate, double outputRate, std::string& problem);

    /// Converts a block of input and hands what it yields to output; false when output stopped it.
    bool push(const std::vector<double>& input, const Output& output);

    /// The input has ended: hands the samples still held in the filter to output.
    bool finish(const Output& output);

private:
    bool run(const double* input, std::size_t count, const Output& output);

    soxr* resampler_ = nullptr;
    std::vector<double> piece_;
};

}  // namespace zov
