// The level of the sound track. Four levels leave no room: by default the loud parts of the sound are made to
// fill them, measured by the RMS over the sound's active parts, so that a quiet recording does not collapse
// to one or two levels. Full scale (±1) is the range the four levels split into equal steps.
#pragma once

#include <vector>

namespace zov {

/// The RMS, over the parts of the sound that are active, of the samples at the given rate: the RMS of
/// every 50 ms window whose own RMS is within 30 dB of the loudest window's. 0 for silence.
double activeRms(const std::vector<double>& samples, double rate);

/// The RMS, in full scale, that the active parts get by default: one step of the four levels, the loading
/// that keeps rounding error and limited peaks together smallest (measured on recorded speech and music:
/// lower loads lose more to rounding, higher ones to limiting).
inline constexpr double kTargetRms = 0.5;

/// The gain (as a factor) that brings the active RMS to kTargetRms; 1 for silence.
double automaticGain(const std::vector<double>& samples, double rate);

/// A gain in decibels as a factor, and back.
double gainFactor(double decibels);
double gainDecibels(double factor);

}  // namespace zov
