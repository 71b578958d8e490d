// The level of the sound track. Four levels leave no room: by default the loud parts of the sound are made to
// fill them, measured by the RMS over the sound's active parts, so that a quiet recording does not collapse
// to one or two levels. Full scale (±1) is the range the four levels split into equal steps.
#pragma once

#include <cstddef>
#include <vector>

namespace zov {

/// The RMS over the active parts of a sound, measured in two passes over its samples at the given rate, so
/// that no sound need be held: the first pass finds the loudest 50 ms window, the second takes the RMS of
/// every window whose own RMS is within 30 dB of it. Each pass gets the same samples in the same order, in
/// blocks of any size.
class ActiveLevel {
public:
    explicit ActiveLevel(double rate);
    void firstPass(const double* samples, std::size_t count);
    void secondPass(const double* samples, std::size_t count);
    /// After the second pass: the RMS of the active windows; 0 for silence.
    double rms();

private:
    void takeWindow();
    std::size_t window_;    // samples a window
    int pass_ = 1;
    double sum_ = 0;        // squares of the window being filled
    std::size_t filled_ = 0;
    double loudest_ = 0;    // mean square of the loudest window
    double activeSum_ = 0;  // second pass: mean square × length of the active windows
    double activeCount_ = 0;
};

/// The RMS of the active parts of samples at the given rate (both passes of ActiveLevel over them).
double activeRms(const std::vector<double>& samples, double rate);

/// The RMS, in full scale, that the active parts get by default: one step of the four levels, the loading
/// that keeps rounding error and limited peaks together smallest (measured on recorded speech and music:
/// lower loads lose more to rounding, higher ones to limiting).
inline constexpr double kTargetRms = 0.5;

/// The gain (as a factor) that brings an active RMS to kTargetRms; 1 for silence.
double gainForRms(double rms);

/// The gain that brings the active RMS of samples to kTargetRms.
double automaticGain(const std::vector<double>& samples, double rate);

/// A gain in decibels as a factor, and back.
double gainFactor(double decibels);
double gainDecibels(double factor);

}  // namespace zov
