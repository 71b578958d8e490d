#include "soundtrack/track_level.h"

#include <algorithm>
#include <cmath>

namespace zov {

double activeRms(const std::vector<double>& samples, double rate) {
    const std::size_t window = std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(rate * 0.05)));
    std::vector<double> windowPower;  // mean square of every window
    std::vector<std::size_t> windowLength;
    for (std::size_t begin = 0; begin < samples.size(); begin += window) {
        std::size_t end = std::min(samples.size(), begin + window);
        double sum = 0;
        for (std::size_t i = begin; i < end; ++i) sum += samples[i] * samples[i];
        windowPower.push_back(sum / static_cast<double>(end - begin));
        windowLength.push_back(end - begin);
    }
    double loudest = 0;
    for (double power : windowPower) loudest = std::max(loudest, power);
    if (loudest <= 0) return 0;
    const double threshold = loudest * 1e-3;  // 30 dB below the loudest window
    double sum = 0;
    double count = 0;
    for (std::size_t w = 0; w < windowPower.size(); ++w) {
        if (windowPower[w] < threshold) continue;
        sum += windowPower[w] * static_cast<double>(windowLength[w]);
        count += static_cast<double>(windowLength[w]);
    }
    return std::sqrt(sum / count);
}

double automaticGain(const std::vector<double>& samples, double rate) {
    double rms = activeRms(samples, rate);
    return rms > 0 ? kTargetRms / rms : 1.0;
}

double gainFactor(double decibels) { return std::pow(10.0, decibels / 20.0); }

double gainDecibels(double factor) { return 20.0 * std::log10(factor); }

}  // namespace zov
