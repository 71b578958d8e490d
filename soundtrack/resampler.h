// Mono sample-rate conversion with libsoxr at its very high quality, fed block by block. The output is
// aligned with the input: output sample n stands for the time n / output rate.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct soxr;

namespace zov {

class Resampler {
public:
    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    /// Prepares the conversion; false with the library's reason when it cannot.
    bool start(double inputRate, double outputRate, std::string& problem);

    /// Converts a block of input and appends what it yields to output.
    void push(const std::vector<double>& input, std::vector<double>& output);

    /// The input has ended: appends the samples still held in the filter.
    void finish(std::vector<double>& output);

private:
    void run(const double* input, std::size_t count, std::vector<double>& output);

    soxr* resampler_ = nullptr;
    std::vector<double> block_;
};

}  // namespace zov
