// Measures the levels behind vicpack's volume tables (vicpack/sid_levels.cpp) from the emulator's recording
// of level_steps.s; measure.sh runs the whole measurement (see README.md beside this file).
//
//   sid_level_meter program 6581|8580 OUT.prg       the stepping program, with the voices set up as vicpack's
//                                                    sound program sets them up on that model
//   sid_level_meter levels 6581|8580 RECORDING.wav  the levels in a recording of that program, in the form of
//                                                    vicpack/sid_levels.cpp; on standard error, how far they
//                                                    lie from the levels there
#include "common/platform/whole_file.h"
#include "level_steps_settings.h"
#include "soundtrack/audio_reader.h"
#include "vicpack/sid_levels.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using zov::SidModel;
using zov::SidSetup;

// As in level_steps.s: the length of a stretch, and the stretches at 0x00 on either side of the marker.
constexpr double kMachineClock = 985248.0;
constexpr int kStretchCycles = 9852;
constexpr int kSilence = 50;
constexpr int kStretches = 2 * 256 + 1;  // 0x00, 0x00, 0x00, 0x01, ..., 0x00, 0xFF, 0x00

std::optional<SidModel> modelNamed(const std::string& name) {
    if (name == "6581") return SidModel::Mos6581;
    if (name == "8580") return SidModel::Mos8580;
    return std::nullopt;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "sid_level_meter: %s\n", message.c_str());
    return 1;
}

int writeProgram(const SidSetup& setup, const std::string& output) {
    std::ifstream in(ZOV_LEVEL_STEPS_PROGRAM, std::ios::binary);
    std::vector<std::uint8_t> program{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (program.size() < zov::LevelStepsSettings::routing.offset + 1)
        return fail(std::string("cannot read ") + ZOV_LEVEL_STEPS_PROGRAM);
    zov::setSetting(program, zov::LevelStepsSettings::voice1Control, setup.voice1Control);
    zov::setSetting(program, zov::LevelStepsSettings::voice1Sustain, setup.voice1Sustain);
    zov::setSetting(program, zov::LevelStepsSettings::routing, setup.routing);
    const std::string problem = zov::writeWholeFileInPlace(zov::realFileSystem(), output, program);
    return problem.empty() ? 0 : fail(problem);
}

/// A recording as running sums, for means over stretches whose ends fall between samples (sample i covers
/// the time from i to i + 1).
class Recording {
public:
    Recording(const std::vector<double>& samples, double rate) : sums_(samples.size() + 1, 0.0), rate_(rate) {
        for (std::size_t i = 0; i < samples.size(); ++i) sums_[i + 1] = sums_[i] + samples[i];
    }
    double rate() const { return rate_; }
    double length() const { return static_cast<double>(sums_.size() - 1); }
    double mean(double from, double to) const { return (sumBefore(to) - sumBefore(from)) / (to - from); }

private:
    double sumBefore(double at) const {
        const auto whole = static_cast<std::size_t>(at);
        if (whole + 1 >= sums_.size()) return sums_.back();
        return sums_[whole] + (at - static_cast<double>(whole)) * (sums_[whole + 1] - sums_[whole]);
    }
    std::vector<double> sums_;
    double rate_;
};

/// Where the steps lie in the recording, in samples: the start of their first stretch and the length of a
/// stretch, which is taken from the recording (the emulator's recording rate is not exactly 48000 samples
/// per 985248 cycles).
struct Steps {
    double first = 0, stretch = 0;
    double end() const { return first + kStretches * stretch; }
};

/// Each value's level: the mean of its stretch less the mean of its two neighbours at 0x00, which takes
/// out the recording's slow drift.
std::array<double, 256> levelsOf(const Recording& recording, const Steps& steps) {
    auto stretchMean = [&](int k) {
        const double from = steps.first + k * steps.stretch;
        return recording.mean(from, from + steps.stretch);
    };
    std::array<double, 256> levels{};
    for (int value = 0; value < 256; ++value)
        levels[static_cast<std::size_t>(value)] =
            stretchMean(2 * value + 1) - (stretchMean(2 * value) + stretchMean(2 * value + 2)) / 2;
    return levels;
}

/// How sharply the stretches stand out from their neighbours: largest where their ends fall on the steps.
double sharpness(const std::array<double, 256>& levels) {
    double sum = 0;
    for (double level : levels) sum += std::abs(level);
    return sum;
}

/// The first sample louder than a quarter of the loudest: the marker's start. The marker (0x0F) is among
/// the loudest values of both models' set-ups, and everything before it is silence.
std::optional<double> markerStart(const std::vector<double>& samples) {
    double loudest = 0;
    for (double sample : samples) loudest = std::max(loudest, std::abs(sample));
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (loudest > 0 && std::abs(samples[i]) > loudest / 4) return static_cast<double>(i);
    return std::nullopt;
}

/// The steps that stand out most sharply: the stretch's length within 0.2 % of 10 ms, the first stretch
/// within a few samples of where the marker puts it; searched coarse, then fine.
Steps findSteps(const Recording& recording, double marker) {
    const double nominal = kStretchCycles * recording.rate() / kMachineClock;
    Steps best;
    double bestSharpness = -1;
    auto search = [&](double stretchFrom, double stretchTo, double stretchStep, double shiftFrom, double shiftTo,
                      double shiftStep) {
        Steps found = best;
        for (double stretch = stretchFrom; stretch <= stretchTo + 1e-9; stretch += stretchStep)
            for (double shift = shiftFrom; shift <= shiftTo + 1e-9; shift += shiftStep) {
                Steps steps{marker + (1 + kSilence) * stretch + shift, stretch};
                if (steps.first < 0 || steps.end() > recording.length()) continue;
                double value = sharpness(levelsOf(recording, steps));
                if (value > bestSharpness) bestSharpness = value, found = steps;
            }
        best = found;
    };
    search(nominal * 0.998, nominal * 1.002, 0.01, -4, 4, 0.5);
    if (bestSharpness < 0) return best;
    const double shift = best.first - marker - (1 + kSilence) * best.stretch;
    search(best.stretch - 0.01, best.stretch + 0.01, 0.0005, shift - 0.5, shift + 0.5, 0.05);
    return best;
}

/// The levels as vicpack/sid_levels.cpp holds them.
void printSetup(SidModel model, const SidSetup& setup, const std::array<int, 256>& levels) {
    std::printf("const SidSetup k%s{0x%02X, 0x%02X, 0x%02X, {\n", model == SidModel::Mos6581 ? "6581" : "8580",
                setup.voice1Control, setup.voice1Sustain, setup.routing);
    for (int row = 0; row < 16; ++row) {
        std::printf("        ");
        for (int column = 0; column < 16; ++column)
            std::printf(" %d%s", levels[static_cast<std::size_t>(row * 16 + column)],
                        column < 15 ? "," : row < 15 ? ",\n" : "}};\n");
    }
}

/// How far the measured levels lie from the committed ones.
void compare(const std::string& name, const std::array<int, 256>& measured, const SidSetup& committed) {
    int lowest = committed.levels[0], highest = committed.levels[0], largest = 0, at = 0;
    double sum = 0;
    for (int value = 0; value < 256; ++value) {
        const int was = committed.levels[static_cast<std::size_t>(value)];
        const int difference = std::abs(measured[static_cast<std::size_t>(value)] - was);
        lowest = std::min(lowest, was), highest = std::max(highest, was), sum += difference;
        if (difference > largest) largest = difference, at = value;
    }
    std::fprintf(stderr,
                 "%s: against vicpack/sid_levels.cpp: largest difference %d (at 0x%02X; %.2f %% of the range %d to %d), "
                 "%.1f on average\n",
                 name.c_str(), largest, at, 100.0 * largest / (highest - lowest), lowest, highest, sum / 256);
}

int measureLevels(SidModel model, const std::string& name, const std::string& path) {
    zov::AudioReader reader;
    std::string problem;
    if (!reader.open(path, problem)) return fail(path + ": " + problem);
    std::vector<double> samples, block;
    while (reader.readMono(block, 1 << 16) > 0) samples.insert(samples.end(), block.begin(), block.end());
    for (double& sample : samples) sample *= 32768;  // in steps of a 16-bit sample
    const std::optional<double> marker = markerStart(samples);
    if (!marker) return fail(path + ": the recording is silent");
    const Recording recording(samples, reader.rate());
    const Steps steps = findSteps(recording, *marker);
    if (steps.stretch == 0) return fail(path + ": the recording ends before the steps do: give the emulator more cycles");
    const std::array<double, 256> levels = levelsOf(recording, steps);
    // 0x00 against its neighbours at 0x00 gives next to nothing, unless the stretches were placed one or more off.
    double loudest = 0;
    for (double level : levels) loudest = std::max(loudest, std::abs(level));
    if (std::abs(levels[0]) > loudest / 100)
        return fail(path + ": no steps where the marker puts them (is it the recording of sid_level_meter's program?)");
    std::array<int, 256> rounded{};
    for (std::size_t value = 0; value < 256; ++value) rounded[value] = static_cast<int>(std::lround(levels[value]));
    std::fprintf(stderr, "%s: steps from %.4f s, %.3f samples each: %.1f samples a second of machine time, %d a second "
                 "of the file's\n", name.c_str(), steps.first / reader.rate(), steps.stretch,
                 steps.stretch * kMachineClock / kStretchCycles, reader.rate());
    const SidSetup& setup = zov::sidSetup(model);
    printSetup(model, setup, rounded);
    compare(name, rounded, setup);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<SidModel> model = argc == 4 ? modelNamed(argv[2]) : std::nullopt;
    const std::string command = argc == 4 ? argv[1] : "";
    if (!model || (command != "program" && command != "levels")) {
        std::fprintf(stderr, "usage: sid_level_meter program 6581|8580 OUT.prg\n"
                             "       sid_level_meter levels 6581|8580 RECORDING.wav\n");
        return 2;
    }
    if (command == "program") return writeProgram(zov::sidSetup(*model), argv[3]);
    return measureLevels(*model, argv[2], argv[3]);
}
