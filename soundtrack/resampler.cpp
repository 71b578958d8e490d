#include "soundtrack/resampler.h"

#include <soxr.h>

namespace zov {

Resampler::~Resampler() {
    if (resampler_) soxr_delete(resampler_);
}

bool Resampler::start(double inputRate, double outputRate, std::string& problem) {
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // one thread: the same result on every run
    soxr_error_t error = nullptr;
    resampler_ = soxr_create(inputRate, outputRate, 1, &error, &io, &quality, &runtime);
    if (error || !resampler_) {
        problem = std::string("the resampler cannot start: ") + (error ? error : "no reason given");
        return false;
    }
    piece_.resize(kPiece);
    return true;
}

bool Resampler::run(const double* input, std::size_t count, const Output& output) {
    // With no input (the end) the filter is drained until it yields nothing more.
    for (;;) {
        std::size_t taken = 0, made = 0;
        soxr_process(resampler_, input, count, &taken, piece_.data(), piece_.size(), &made);
        if (made > 0 && !output(piece_.data(), made)) return false;
        if (taken == 0 && made == 0 && count > 0) return true;  // nothing moves: never loop for ever
        if (input) {
            input += taken;
            count -= taken;
            if (count == 0 && made < piece_.size()) return true;
        } else if (made == 0) {
            return true;
        }
    }
}

bool Resampler::push(const std::vector<double>& input, const Output& output) {
    return input.empty() || run(input.data(), input.size(), output);
}

bool Resampler::finish(const Output& output) { return run(nullptr, 0, output); }

}  // namespace zov
