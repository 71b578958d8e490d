#include "soundtrack/track_level.h"

#include <algorithm>
#include <cmath>

namespace zov {

ActiveLevel::ActiveLevel(double rate)
    : window_(std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(rate * 0.05)))) {}

void ActiveLevel::takeWindow() {
    const double power = sum_ / static_cast<double>(filled_);
    if (pass_ == 1) {
        loudest_ = std::max(loudest_, power);
    } else if (power >= loudest_ * 1e-3) {  // within 30 dB of the loudest window
        activeSum_ += power * static_cast<double>(filled_);
        activeCount_ += static_cast<double>(filled_);
    }
    sum_ = 0;
    filled_ = 0;
}

void ActiveLevel::firstPass(const double* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        sum_ += samples[i] * samples[i];
        if (++filled_ == window_) takeWindow();
    }
}

void ActiveLevel::secondPass(const double* samples, std::size_t count) {
    if (pass_ == 1) {
        if (filled_ > 0) takeWindow();  // the last window of the first pass may be short
        pass_ = 2;
    }
    firstPass(samples, count);
}

double ActiveLevel::rms() {
    if (filled_ > 0) takeWindow();
    if (loudest_ <= 0 || activeCount_ == 0) return 0;
    return std::sqrt(activeSum_ / activeCount_);
}

double activeRms(const std::vector<double>& samples, double rate) {
    ActiveLevel level(rate);
    level.firstPass(samples.data(), samples.size());
    level.secondPass(samples.data(), samples.size());
    return level.rms();
}

double gainForRms(double rms) { return rms > 0 ? kTargetRms / rms : 1.0; }

double automaticGain(const std::vector<double>& samples, double rate) { return gainForRms(activeRms(samples, rate)); }

double gainFactor(double decibels) { return std::pow(10.0, decibels / 20.0); }

double gainDecibels(double factor) { return 20.0 * std::log10(factor); }

}  // namespace zov
