// The level of the sound track. Four levels leave no room: by default the loud parts of the sound are made to
// fill them, measured by the RMS over the sound's active parts, so that a quiet recording does not collapse
// to one or two levels. Full scale (±1) is the range the four levels split into equal steps.
#pragma once

#include <cstddef>

namespace zov {

/// The mean squares of a sound's consecutive windows of a given length, fed in blocks of any size.
class WindowPower {
public:
    explicit WindowPower(double rate);
    /// Calls take(mean square, samples) for every window that the samples complete.
    template <class Take>
    void add(const double* samples, std::size_t count, Take take) {
        for (std::size_t i = 0; i < count; ++i) {
            sum_ += samples[i] * samples[i];
            if (++filled_ == window_) finish(take);
        }
    }
    /// Calls take for the last window when it is short of the length.
    template <class Take>
    void finish(Take take) {
        if (filled_ == 0) return;
        take(sum_ / static_cast<double>(filled_), filled_);
        sum_ = 0;
        filled_ = 0;
    }

private:
    std::size_t window_;  // samples a window: 50 ms
    double sum_ = 0;      // squares of the window being filled
    std::size_t filled_ = 0;
};

/// The RMS over the active parts of a sound, measured in two steps over the same samples in the same order,
/// so that no sound need be held: the first finds the loudest 50 ms window, the second takes the RMS of every
/// window whose own RMS is within 30 dB of it.
class LoudestWindow {
public:
    explicit LoudestWindow(double rate) : windows_(rate) {}
    void add(const double* samples, std::size_t count);
    /// After every sample: the mean square of the loudest window.
    double power();

private:
    WindowPower windows_;
    double loudest_ = 0;
};

class ActiveLevel {
public:
    /// loudest: LoudestWindow::power() of the same samples.
    ActiveLevel(double rate, double loudest) : windows_(rate), loudest_(loudest) {}
    void add(const double* samples, std::size_t count);
    /// After every sample: the RMS of the active windows; 0 for silence.
    double rms();

private:
    void take(double power, std::size_t samples);
    WindowPower windows_;
    double loudest_;
    double activeSum_ = 0;  // mean square × length of the active windows
    double activeCount_ = 0;
};

/// The RMS, in full scale, that the active parts get by default: one step of the four levels, the loading
/// that keeps rounding error and limited peaks together smallest (measured on recorded speech and music:
/// lower loads lose more to rounding, higher ones to limiting).
inline constexpr double kTargetRms = 0.5;

/// The gain (as a factor) that brings an active RMS to kTargetRms; 1 for silence.
double gainForRms(double rms);

/// A gain in decibels as a factor, and back.
double gainFactor(double decibels);
double gainDecibels(double factor);

}  // namespace zov
