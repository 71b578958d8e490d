// Not a timing of this machine: the player's timing model (vicpack/player_timing.h) against the player's own
// record on the emulated machine (x64sc, or x128 with --c128, on the PATH). A clip is compiled at a series of
// bandwidths, packed for the machine with its REU image, the model predicts when each frame is switched in,
// and the play in the emulator records when it was.
//
//   build/player_timing [--c128] [--program] [--fps N] [--seconds S] [--frames] [--keep DIR] [CLIP] [BANDWIDTH...]
//   (--sample-cycles N, --wait-round N: try other constants of the model)
//
// Without CLIP the clip is drawn by code (video_compile_bench's panning landscape, three of its steps a
// picture, 24 pictures a second in the stream at --fps 8) with a 2-bit tone track; with CLIP it is made by
// vicclip's code (with --program as vicclip compiles it for the player when it writes NAME.prg). Prints a line per bandwidth: the frames, those predicted within 20 ms of the recorded
// switch, the largest difference, the frames late in the record and in the prediction, and late frames that
// the model called on time; then the same over all bandwidths.
#include "bench/compile_bench.h"
#include "formats/reu_stream64.h"
#include "formats/stream_walk.h"
#include "common/console/console.h"
#include "tests/support/media_clips.h"
#include "tests/support/temp_tree.h"
#include "tests/vicpack/machine_support.h"
#include "vicclip/vicclip_app.h"
#include "vicpack/player_timing.h"
#include "vicpack/stream64_program.h"
#include "vicpack/stream_program.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>

namespace {

using namespace zov;
using Bytes = std::vector<std::uint8_t>;

constexpr double kPalClock = 985248, kWithin = 0.020;
double seconds = 10, fps = 8;
std::string keepIn;
bool eachFrame = false;  // --frames: a line per frame
bool forPlayer = false;  // --program: the clip compiled for the player, as vicclip makes NAME.prg
bool c128 = false;       // --c128: the C128's player in x128
PlayerMachine tried;  // the machine's constants, some replaced by --sample-cycles, --wait-round

Bytes clipStream(const std::string& clip, int bandwidth, testing::TempTree& folder) {
    const std::string name = "clip" + std::to_string(bandwidth) + ".zov";
    std::vector<std::string> args{"vicclip", clip, folder.path(name), "--fps", formatted("%g", fps), "--length", formatted("%g", seconds),
                                  "--bw", std::to_string(bandwidth), "--force"};
    // Compiled for the player: the stream of the program, kept beside it.
    if (forPlayer) args = {"vicclip", clip, folder.path("program.prg"), "--keep-stream", folder.path(name), "--fps", formatted("%g", fps), "--length",
                           formatted("%g", seconds), "--bw", std::to_string(bandwidth), "--force"};
    if (forPlayer && c128) args.push_back("--c128");
    if (runVicclip(args) != 0) return {};
    testing::TempTree::Bytes bytes = folder.load(name);
    return Bytes(bytes.begin(), bytes.end());
}

struct Measure {
    int bandwidth = 0;
    Bytes stream;
    StreamPackage package;
    ReuStream64Layout layout;  // the C64's
    ReuStreamLayout layout128; // the C128's
    TimingPrediction prediction;
    int period = 0;  // cycles a tick
    std::vector<FrameWork> work;
    std::unique_ptr<Child> run;
};

struct Totals {
    int frames = 0, within = 0, recordedLate = 0, predictedLate = 0, missed = 0;
    double largest = 0;
} totals;

void start(Measure& m, testing::TempTree& folder) {
    WalkedStream walked;
    StreamFault fault;
    if (m.stream.empty() || !walkStream(m.stream, walked, fault)) return;
    const StreamPlayback playback{-1, fps};
    if (c128) {
        const StreamOperations operations = translateForC128(m.stream, walked, playback);
        m.layout128 = {{operations.pages.size() / 256, operations.sound.size(), operations.frames}};
        m.package = streamPackage(m.stream, walked, playback);
        m.work = framesWork(operations.pages);
    } else {
        std::string problem;
        const std::optional<C64Stream> c64 = translateForC64(m.stream, walked, playback, problem);
        if (!c64) {
            std::fprintf(stderr, "the C64 cannot play the stream at --bw %d: %s\n", m.bandwidth, problem.c_str());
            return;
        }
        m.layout = {c64->operations.pages.size() / 256, c64->operations.sound.size(), c64->operations.frames};
        m.package = stream64Package(m.stream, walked, c64->plan, playback);
        m.work = framesWork(c64->operations.pages);
    }
    m.period = streamClock(walked.info, playback, walked.lastFrame(), kPalCycles).period;
    m.prediction = predictTiming(m.work, tried, m.period);
    const std::string name = "bw" + std::to_string(m.bandwidth);
    folder.save(name + ".prg", testing::TempTree::Bytes(m.package.program.begin(), m.package.program.end()));
    folder.save(name + ".reu", testing::TempTree::Bytes(m.package.reuImage.begin(), m.package.reuImage.end()));
    if (!keepIn.empty()) {
        testing::saveBytes(keepIn + "/" + name + ".prg", std::vector<unsigned char>(m.package.program.begin(), m.package.program.end()));
        testing::saveBytes(keepIn + "/" + name + ".reu", std::vector<unsigned char>(m.package.reuImage.begin(), m.package.reuImage.end()));
    }
    const long cycles = (c128 ? 3300000 : 3000000) + static_cast<long>((seconds + 8) * kPalClock);
    m.run = testing::startCommand(
        testing::machineRun(cycles, {"-warp", "-reu", "-reusize", std::to_string(m.package.reuImage.size() / 1024), "-reuimage",
                                     folder.path(name + ".reu"), "-reuimagerw", "+autostart-delay-random", "-autostart", folder.path(name + ".prg")},
                            c128 ? "x128" : "x64sc"),
        folder.path(name + ".log"));
}

void report(Measure& m, testing::TempTree& folder) {
    std::printf("%6d  ", m.bandwidth);
    if (!m.run) {
        std::printf("no stream\n");
        return;
    }
    testing::finishCommand(m.run);
    testing::TempTree::Bytes image = folder.load("bw" + std::to_string(m.bandwidth) + ".reu");
    ReuStreamRecord record;
    const Bytes imageBytes(image.begin(), image.end());
    const bool read = c128 ? readReuStreamRecord(imageBytes, m.layout128, record) : readReuStream64Record(imageBytes, m.layout, record);
    if (!read || record.ending != 1) {
        std::printf("the play did not end\n");
        return;
    }
    std::map<std::uint32_t, const PredictedFrame*> predicted;
    for (const PredictedFrame& frame : m.prediction.frames) predicted[frame.number] = &frame;
    const double tick = m.period / kPalClock;
    int within = 0, recordedLate = 0, missed = 0;
    double largest = 0;
    std::string missedFrames;
    for (const ReuStreamRecord::Frame& frame : record.frames) {
        const PredictedFrame* model = predicted.count(frame.number) ? predicted[frame.number] : nullptr;
        if (!model) continue;
        const double difference = (static_cast<double>(frame.ticks) - model->switchTicks) * tick;
        const bool late = (static_cast<double>(frame.ticks) - model->dueTicks) * tick > kLateSeconds;
        within += std::abs(difference) <= kWithin;
        largest = std::max(largest, std::abs(difference));
        recordedLate += late;
        if (eachFrame) {
            const FrameWork& work = m.work[static_cast<std::size_t>(model - m.prediction.frames.data())];
            std::printf("        frame %4u  due %6u  model %6u  record %6u  %+7.1f ms  work %6.0f + %6.0f\n", frame.number, model->dueTicks,
                        model->switchTicks, frame.ticks, 1000 * difference, work.cycles.processor, work.cycles.transfer);
        }
        if (late && !model->late) {
            ++missed;
            missedFrames += ' ';
            missedFrames += std::to_string(frame.number);
        }
    }
    const double idle = static_cast<double>(record.idleSteps);
    std::printf("%7.0f  %6zu  %9.1f %%  %10.1f  %4d  %10d  %6d  %10.0f  %10.0f\n", static_cast<double>(m.stream.size()) / seconds,
                record.frames.size(), 100.0 * within / static_cast<double>(record.frames.size()), 1000 * largest, recordedLate,
                m.prediction.late, missed, idle, m.prediction.idleSteps);
    if (!missedFrames.empty()) std::printf("        late but predicted on time:%s\n", missedFrames.c_str());
    totals.frames += static_cast<int>(record.frames.size());
    totals.within += within;
    totals.recordedLate += recordedLate;
    totals.predictedLate += m.prediction.late;
    totals.missed += missed;
    totals.largest = std::max(totals.largest, largest);
}

}  // namespace

int main(int argc, char** argv) {
    std::string clip;
    std::vector<int> bandwidths;
    double sampleCycles = 0, waitRound = 0;
    std::vector<std::pair<std::string, double>> overrides;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fps" && i + 1 < argc) {
            fps = std::atof(argv[++i]);
            continue;
        }
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
            continue;
        }
        if (arg == "--sample-cycles" && i + 1 < argc) {
            sampleCycles = std::atof(argv[++i]);
            continue;
        }
        if (arg == "--constant" && i + 2 < argc) {  // --constant NAME VALUE: any of the model's constants tried
            overrides.emplace_back(argv[i + 1], std::atof(argv[i + 2]));
            i += 2;
            continue;
        }
        if (arg == "--wait-round" && i + 1 < argc) {
            waitRound = std::atof(argv[++i]);
            continue;
        }
        if (arg == "--c128") {
            c128 = true;
            continue;
        }
        if (arg == "--program") {
            forPlayer = true;
            continue;
        }
        if (arg == "--frames") {
            eachFrame = true;
            continue;
        }
        if (arg == "--keep" && i + 1 < argc) {
            keepIn = argv[++i];
            continue;
        }
        char* end = nullptr;
        const long value = std::strtol(argv[i], &end, 10);
        if (*end == 0 && value > 0) bandwidths.push_back(static_cast<int>(value));
        else clip = arg;
    }
    tried = c128 ? kC128Player : kC64Player;
    if (sampleCycles > 0) tried.sampleCycles = sampleCycles;
    if (waitRound > 0) tried.waitRound = waitRound;
    const std::map<std::string, double PlayerMachine::*> constants{
        {"fast-lines", &PlayerMachine::fastLines}, {"transfer-switch", &PlayerMachine::transferSwitchCycles},
        {"audio-piece", &PlayerMachine::audioPieceCycles}, {"frame", &PlayerMachine::frameCycles},
        {"raster", &PlayerMachine::rasterCycles}, {"hidden-sample", &PlayerMachine::hiddenSampleCycles}};
    for (const auto& [name, value] : overrides) {
        if (!constants.count(name)) {
            std::cerr << "no constant " << name << "\n";
            return 1;
        }
        tried.*constants.at(name) = value;
    }
    const char* emulator = c128 ? "x128" : "x64sc";
    if (!testing::emulatorCommand(emulator)) {
        std::cerr << emulator << " is not on the PATH\n";
        return 1;
    }
    if (bandwidths.empty()) bandwidths = {4000, 8000, 12000, 16000};
    testing::TempTree folder("player-timing");
    std::printf("%s, %g s at %g pictures a second, %s (PAL): the model's switch of each frame against the record\n",
                clip.empty() ? "drawn clip" : clip.c_str(), seconds, fps, emulator);
    std::printf("    bw  bytes/s  frames   within 20 ms  largest ms  late  model late  missed  idle steps  model idle\n");
    for (std::size_t i = 0; i < bandwidths.size(); i += 2) {
        std::vector<Measure> measures;
        for (std::size_t j = i; j < std::min(bandwidths.size(), i + 2); ++j) {
            Measure m;
            m.bandwidth = bandwidths[j];
            m.stream = clip.empty() ? drawnClipStream(m.bandwidth, seconds, fps) : clipStream(clip, m.bandwidth, folder);
            measures.push_back(std::move(m));
        }
        for (Measure& m : measures) start(m, folder);
        for (Measure& m : measures) report(m, folder);
    }
    if (totals.frames > 0)
        std::printf("all: %d frames, %.1f %% within 20 ms (the largest difference %.1f ms), %d late, %d called late, %d late called on time\n",
                    totals.frames, 100.0 * totals.within / totals.frames, 1000 * totals.largest, totals.recordedLate,
                    totals.predictedLate, totals.missed);
    return 0;
}
