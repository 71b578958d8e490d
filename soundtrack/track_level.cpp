#include "soundtrack/track_level.h"

#include <algorithm>
#include <cmath>

namespace zov {

WindowPower::WindowPower(double rate)
    : window_(std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(rate * 0.05)))) {}

void LoudestWindow::add(const double* samples, std::size_t count) {
    windows_.add(samples, count, [this](double power, std::size_t) { loudest_ = std::max(loudest_, power); });
}

double LoudestWindow::power() {
    windows_.finish([this](double power, std::size_t) { loudest_ = std::max(loudest_, power); });
    return loudest_;
}

void ActiveLevel::take(double power, std::size_t samples) {
    if (power < loudest_ * 1e-3) return;  // more than 30 dB below the loudest window
    activeSum_ += power * static_cast<double>(samples);
    activeCount_ += static_cast<double>(samples);
}

void ActiveLevel::add(const double* samples, std::size_t count) {
    windows_.add(samples, count, [this](double power, std::size_t n) { take(power, n); });
}

double ActiveLevel::rms() {
    windows_.finish([this](double power, std::size_t n) { take(power, n); });
    if (loudest_ <= 0 || activeCount_ == 0) return 0;
    return std::sqrt(activeSum_ / activeCount_);
}

double gainForRms(double rms) { return rms > 0 ? kTargetRms / rms : 1.0; }

double gainFactor(double decibels) { return std::pow(10.0, decibels / 20.0); }

double gainDecibels(double factor) { return 20.0 * std::log10(factor); }

}  // namespace zov
