// Running programs on the emulated machines (the headless emulators x64sc and x128 on the PATH) and judging what
// they show and play: screenshots by colour index, recordings against the sound they should play.
#pragma once

#include "common/platform/platform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace zov::testing {

/// The command that starts one of the emulator's programs (x64sc, x128, c1541): its name when it is an executable
/// on the PATH. A copy of the emulator's folder that lost its links holds the name as a plain file beside
/// the executable launcher that the links pointed at; it is then started through that. Nothing when neither.
inline std::optional<std::vector<std::string>> emulatorCommand(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (folder.empty()) continue;
        const std::string named = folder + "/" + program, launcher = folder + "/launch";
        if (access(named.c_str(), X_OK) == 0) return std::vector<std::string>{named};
        if (access(named.c_str(), F_OK) == 0 && access(launcher.c_str(), X_OK) == 0)
            return std::vector<std::string>{launcher, program};
    }
    return std::nullopt;
}

/// Why the runs on one of the emulated machines (x64sc, x128) are left out in this build or on this machine;
/// empty when they run.
inline std::string whyNoMachineRuns(const std::string& machine = "x64sc") {
#ifdef ZOV_NO_MACHINE_RUNS
    (void)machine;
    return ZOV_NO_MACHINE_RUNS;
#else
    if (!emulatorCommand(machine)) return machine + " is not on the PATH: the programs are not run on the emulated machine";
    return {};
#endif
}

/// Starts a command on the real machine with its output going to a log file; nullptr when it cannot start.
inline std::unique_ptr<Child> startCommand(const std::vector<std::string>& args, const std::string& log) {
    int error = 0;
    return realPrograms().start(args, log, false, error);
}

/// Waits for a started command; its exit status, or -1 when it did not start or did not end by itself.
inline int finishCommand(const std::unique_ptr<Child>& command) {
    if (!command) return -1;
    const ChildEnd end = command->finish();
    return end.exited ? end.status : -1;
}

/// The arguments of an emulator run: the machine (x64sc, or x128 on its 40-column screen without a disk
/// drive, which starts a program soonest) with its defaults, stopped after a number of cycles.
inline std::vector<std::string> machineRun(long cycles, const std::vector<std::string>& more,
                                           const std::string& machine = "x64sc") {
    std::vector<std::string> args = *emulatorCommand(machine);
    args.insert(args.end(), {"-default", "-autostartprgmode", "1", "-limitcycles", std::to_string(cycles)});
    if (machine == "x128") args.insert(args.end(), {"-40col", "-drive8type", "0"});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// ---- Sound ------------------------------------------------------------------------------------------------

/// How well a recording follows the sound it should play.
struct SoundMatch {
    double snr = 0;            // dB, of the recording's mean over each sample's time against the sound
    double rateFactor = 1;     // the recording's time against the played rate
    double start = 0;          // seconds into the recording where the sound starts
    double rms = 0;            // of the recording while the sound plays, as a share of full scale
    double recordedSeconds = 0, soundSeconds = 0;  // from the first to the last loud moment of each
    // Each quarter second of the sound set against the recording near the whole's alignment (the
    // emulator's recording keeps its rate to about 0.1 ms over half a minute, not exactly): the SNR of the
    // one followed least well, and the largest move of the alignment from one quarter to the next, which a
    // sample lost or played twice shows.
    double worstStretchSnr = 0;  // dB
    double largestShift = 0;     // seconds
};

/// The signal less its mean over about 20 ms around each point: what is left of it above some 20 Hz.
inline std::vector<double> withoutDrift(const std::vector<double>& x, std::size_t window) {
    std::vector<double> sums(x.size() + 1, 0.0), out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) sums[i + 1] = sums[i] + x[i];
    for (std::size_t i = 0; i < x.size(); ++i) {
        std::size_t from = i >= window / 2 ? i - window / 2 : 0, to = std::min(x.size(), i + window / 2 + 1);
        out[i] = x[i] - (sums[to] - sums[from]) / static_cast<double>(to - from);
    }
    return out;
}

/// Seconds from the first to the last 10 ms stretch whose RMS reaches a tenth of the loudest stretch's.
inline double loudSpan(const std::vector<double>& x, double rate) {
    const std::size_t frame = static_cast<std::size_t>(rate / 100);
    std::vector<double> rms;
    for (std::size_t at = 0; at + frame <= x.size(); at += frame) {
        double sum = 0;
        for (std::size_t i = at; i < at + frame; ++i) sum += x[i] * x[i];
        rms.push_back(std::sqrt(sum / static_cast<double>(frame)));
    }
    if (rms.empty()) return 0;
    double loudest = *std::max_element(rms.begin(), rms.end());
    std::size_t first = rms.size(), last = 0;
    for (std::size_t i = 0; i < rms.size(); ++i)
        if (rms[i] >= loudest / 10) first = std::min(first, i), last = i;
    return first <= last ? static_cast<double>(last - first + 1) / 100 : 0;
}

/// The SNR in dB of the samples from..to of the means against the target, with one gain and offset fitted:
/// the variance that gain × target explains against what is left.
inline double fittedSnr(const std::vector<double>& target, const std::vector<double>& means, std::size_t from,
                        std::size_t to) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    for (std::size_t k = from; k < to; ++k) {
        sx += target[k], sy += means[k], sxx += target[k] * target[k], sxy += target[k] * means[k];
        syy += means[k] * means[k];
    }
    const double count = static_cast<double>(to - from), vx = sxx - sx * sx / count, vy = syy - sy * sy / count;
    const double cxy = sxy - sx * sy / count;
    if (vx <= 0 || vy <= 0 || cxy <= 0) return -1e9;
    const double fitted = cxy * cxy / vx;
    return 10 * std::log10(fitted / std::max(vy - fitted, 1e-9));
}

/// Compares a recording at recordingRate with the sound's samples as the machine plays them, one every
/// 1 / playedRate seconds: for a rate factor and a start, the recording's mean over each sample's time is
/// set against the sample (both without their drift below 20 Hz), with one gain and offset fitted. The
/// rate factor and start that match best are searched from coarse to fine; then each quarter second of the
/// sound is set against the recording on its own, so that a stretch played wrongly shows even in a long sound.
inline SoundMatch matchSound(const std::vector<std::int16_t>& recording, double recordingRate,
                             const std::vector<std::int16_t>& sound, double playedRate) {
    std::vector<double> rec(recording.begin(), recording.end()), ref(sound.begin(), sound.end());
    std::vector<double> sums(rec.size() + 1, 0.0);
    for (std::size_t i = 0; i < rec.size(); ++i) sums[i + 1] = sums[i] + rec[i];
    const std::size_t window = static_cast<std::size_t>(playedRate / 50);
    const std::vector<double> target = withoutDrift(ref, window);
    const std::size_t n = ref.size();

    // The recording's means over the times of count samples from the first (without their drift), or
    // nothing when the sound would reach beyond the recording.
    auto meansAt = [&](double factor, double start, std::size_t first, std::size_t count) {
        const double period = recordingRate / (playedRate * factor);
        if (start < 0 || start + period * static_cast<double>(n) >= static_cast<double>(rec.size()))
            return std::vector<double>();
        std::vector<double> means(count);
        for (std::size_t k = 0; k < count; ++k) {
            auto from = static_cast<std::size_t>(std::lround(start + period * static_cast<double>(first + k)));
            auto to = static_cast<std::size_t>(std::lround(start + period * static_cast<double>(first + k + 1)));
            means[k] = (sums[to] - sums[from]) / static_cast<double>(std::max<std::size_t>(to - from, 1));
        }
        return withoutDrift(means, window);
    };
    // Searching every start with the whole of a long sound takes long: the coarse search sets its first
    // seconds against the recording.
    std::size_t compared = n;
    auto snrAt = [&](double factor, double start) {
        std::vector<double> means = meansAt(factor, start, 0, compared);
        return means.empty() ? -1e9 : fittedSnr(target, means, 0, compared);
    };

    SoundMatch best;
    best.snr = -1e9;
    auto search = [&](double factorFrom, double factorTo, double factorStep, double startFrom, double startTo,
                      double startStep) {
        SoundMatch found = best;
        for (double factor = factorFrom; factor <= factorTo + 1e-12; factor += factorStep)
            for (double start = startFrom; start <= startTo; start += startStep) {
                double snr = snrAt(factor, start);
                if (snr > found.snr) found.snr = snr, found.rateFactor = factor, found.start = start;
            }
        best = found;
    };
    // Coarse: every quarter millisecond within the recording at the played rate (a loud sound's upper
    // partials part ways within a millisecond), then finer rates and starts. At the played rate a long
    // sound drifts from the recording (0.02 % is 1.3 ms over 6 s), so the coarse start can lie a
    // millisecond off: the rates are searched within 2 ms of it.
    const double latest = static_cast<double>(rec.size()) - recordingRate / playedRate * static_cast<double>(n);
    const double quarter = recordingRate / 4000;
    compared = std::min(n, static_cast<std::size_t>(5 * playedRate));
    search(1.0, 1.0, 1.0, 0, latest, quarter);
    compared = n;
    best.snr = snrAt(best.rateFactor, best.start);
    search(0.998, 1.002, 0.0002, best.start - 8 * quarter, best.start + 8 * quarter, 2);
    search(best.rateFactor - 0.0002, best.rateFactor + 0.0002, 0.00001, best.start - 4, best.start + 4, 1);
    search(best.rateFactor - 0.00001, best.rateFactor + 0.00001, 0.000001, best.start - 2, best.start + 2, 1);

    const auto from = static_cast<std::size_t>(best.start);
    const auto to = std::min(rec.size(), from + static_cast<std::size_t>(recordingRate / playedRate * static_cast<double>(n)));
    std::vector<double> played = withoutDrift(std::vector<double>(rec.begin() + static_cast<long>(from), rec.begin() + static_cast<long>(to)),
                                              static_cast<std::size_t>(recordingRate / 50));
    double squares = 0;
    for (double v : played) squares += v * v;
    best.rms = std::sqrt(squares / static_cast<double>(std::max<std::size_t>(played.size(), 1))) / 32768;
    best.recordedSeconds = loudSpan(withoutDrift(rec, static_cast<std::size_t>(recordingRate / 50)), recordingRate);
    best.soundSeconds = loudSpan(target, playedRate);
    // Each quarter second with a margin for the drift's removal, at starts within 1 ms of the whole's (a
    // tone repeats itself: further off, a stretch may match its own period).
    const std::size_t stretch = static_cast<std::size_t>(playedRate / 4);
    best.worstStretchSnr = 1e9;
    double lastShift = 0;
    for (std::size_t from = window; from + stretch + window <= n; from += stretch) {
        double stretchSnr = -1e9, shift = 0;
        for (double moved = -recordingRate / 1000; moved <= recordingRate / 1000; moved += 1) {
            std::vector<double> means = meansAt(best.rateFactor, best.start + moved, from - window, stretch + 2 * window);
            if (means.empty()) continue;
            std::vector<double> part(target.begin() + static_cast<long>(from - window), target.begin() + static_cast<long>(from + stretch + window));
            double snr = fittedSnr(part, means, window, window + stretch);
            if (snr > stretchSnr) stretchSnr = snr, shift = moved;
        }
        best.worstStretchSnr = std::min(best.worstStretchSnr, stretchSnr);
        if (from > window) best.largestShift = std::max(best.largestShift, std::abs(shift - lastShift) / recordingRate);
        lastShift = shift;
    }
    best.start /= recordingRate;
    return best;
}

}  // namespace zov::testing
