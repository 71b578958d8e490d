// Not a timing of this machine: the stream players' capacity, measured on the emulated machines (x64sc for
// the C64's, x128 for the C128's, on the PATH). A 10-second full-screen multicolour clip at 8 pictures a
// second is compiled at a series of bandwidths, packed for each machine with its REU image and played to its
// end; the player's record says which frames it showed and when, and how long it waited with nothing to do.
//
//   build/stream_capacity [--c64 | --c128] [--keep DIR] [CLIP] [BANDWIDTH...]
//
// Without CLIP the clip is drawn by code (video_compile_bench's panning landscape, three of its steps a
// picture) with a 2-bit tone track; with CLIP it is made by vicclip's code (--fps 8 --length 10), with its
// sound or without. Prints a table per machine (both, unless --c64 or --c128 picks one): a line per
// bandwidth and the highest at which every frame of the stream was shown on time. --keep DIR keeps each
// bandwidth's programs and REU images there (c64-bwN.prg, c64-bwN.reu, c128-...), to run them again.
#include "bench/compile_bench.h"
#include "formats/reu_stream.h"
#include "formats/reu_stream64.h"
#include "formats/stream_walk.h"
#include "tests/support/media_clips.h"
#include "tests/support/temp_tree.h"
#include "tests/vicpack/machine_support.h"
#include "vicclip/vicclip_app.h"
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

constexpr double kSeconds = 10, kPictureRate = 8, kPalClock = 985248, kLateLimit = 0.020;

/// The machine whose player is measured: how it is started and how a stream is packed for it.
struct Target {
    const char* emulator;
    const char* name;
    long startCycles;  // a program has started by then
    std::vector<std::string> options;
    bool c64;
};
const Target kC64{"x64sc", "c64", 3000000, {"+autostart-delay-random"}, true};
const Target kC128{"x128", "c128", 3300000, {}, false};  // without a disk drive

Bytes clipStream(const std::string& clip, int bandwidth, testing::TempTree& folder) {
    const std::string path = folder.path("clip" + std::to_string(bandwidth) + ".zov");
    if (runVicclip({"vicclip", clip, path, "--fps", "8", "--length", "10", "--bw", std::to_string(bandwidth), "--force"}) != 0)
        return {};
    testing::TempTree::Bytes bytes = folder.load("clip" + std::to_string(bandwidth) + ".zov");
    return Bytes(bytes.begin(), bytes.end());
}

/// How the streams are packed: a stream without sound at the clip's picture rate.
StreamPlayback playback() {
    StreamPlayback playback;
    playback.fps = kPictureRate;
    return playback;
}

/// A stream compiled at a bandwidth, with what the players' records are held against.
struct Compiled {
    int bandwidth = 0;
    Bytes stream;
    WalkedStream walked;
    std::map<std::uint32_t, std::size_t> frameBytes;  // the video bytes of each frame
    StreamClock clock;  // the players' clock on a PAL machine
};

Compiled compiled(int bandwidth, Bytes stream) {
    Compiled c;
    c.bandwidth = bandwidth;
    c.stream = std::move(stream);
    StreamFault fault;
    if (c.stream.empty() || !walkStream(c.stream, c.walked, fault)) {
        c.stream.clear();
        return c;
    }
    std::uint32_t frame = 0;
    for (const StreamPacket& packet : c.walked.packets) {
        if (packet.kind == PacketKind::FirstVideo) frame = packet.frameNumber;
        if (packet.kind != PacketKind::Audio) c.frameBytes[frame] += packet.payloadLength;
    }
    c.clock = playerClocks(c.walked.info, playback(), 0).pal;
    return c;
}

/// One stream played on one machine.
struct Measure {
    const Target* target = nullptr;
    const Compiled* compiled = nullptr;
    std::uint64_t recordStart = 0;  // in the REU image
    std::uint32_t recordFrames = 0;
    std::unique_ptr<Child> run;
    std::string name() const { return std::string(target->name) + "-bw" + std::to_string(compiled->bandwidth); }
};

std::string keepIn;  // --keep

void start(Measure& m, testing::TempTree& folder) {
    const Compiled& c = *m.compiled;
    if (c.stream.empty()) return;
    StreamPackage package;
    if (m.target->c64) {
        std::string problem;
        const std::optional<C64Stream> c64 = translateForC64(c.stream, c.walked, playback(), problem);
        if (!c64) {
            std::fprintf(stderr, "the C64 cannot play the stream at --bw %d: %s\n", c.bandwidth, problem.c_str());
            return;
        }
        const ReuStream64Layout layout{{c64->operations.pages.size() / 256, c64->operations.sound.size(), c64->operations.frames}};
        m.recordStart = layout.record();
        m.recordFrames = layout.frames;
        package = stream64Package(c.stream, c.walked, c64->plan, playback());
    } else {
        const StreamOperations operations = translateForC128(c.stream, c.walked, playback());
        const ReuStreamLayout layout{{operations.pages.size() / 256, operations.sound.size(), operations.frames}};
        m.recordStart = layout.record();
        m.recordFrames = layout.frames;
        package = streamPackage(c.stream, c.walked, playback());
    }
    const std::string name = m.name();
    folder.save(name + ".prg", testing::TempTree::Bytes(package.program.begin(), package.program.end()));
    folder.save(name + ".reu", testing::TempTree::Bytes(package.reuImage.begin(), package.reuImage.end()));
    if (!keepIn.empty()) {
        testing::saveBytes(keepIn + "/" + name + ".prg", std::vector<unsigned char>(package.program.begin(), package.program.end()));
        testing::saveBytes(keepIn + "/" + name + ".reu", std::vector<unsigned char>(package.reuImage.begin(), package.reuImage.end()));
    }
    const long cycles = m.target->startCycles + static_cast<long>((kSeconds + 6) * kPalClock);  // late plays end later
    std::vector<std::string> args{"-warp", "-reu", "-reusize", std::to_string(package.reuImage.size() / 1024), "-reuimage",
                                  folder.path(name + ".reu"), "-reuimagerw"};
    args.insert(args.end(), m.target->options.begin(), m.target->options.end());
    args.insert(args.end(), {"-autostart", folder.path(name + ".prg")});
    m.run = testing::startCommand(testing::machineRun(cycles, args, m.target->emulator), folder.path(name + ".log"));
}

/// The measure's line (and lines of its late and missing frames) in text; true when every frame of the
/// stream was shown in order and on time.
bool report(Measure& m, testing::TempTree& folder, std::string& text) {
    const Compiled& c = *m.compiled;
    char line[160];
    std::snprintf(line, sizeof line, "%6d  ", c.bandwidth);
    text += line;
    if (!m.run) {
        text += "no stream\n";
        return false;
    }
    testing::finishCommand(m.run);
    testing::TempTree::Bytes image = folder.load(m.name() + ".reu");
    ReuStreamRecord record;
    const Bytes bytes(image.begin(), image.end());
    if (!readStreamRecordAt(bytes, m.recordStart, m.recordFrames, record) || record.ending != 1) {
        text += "the play did not end within 6 s after the stream\n";
        return false;
    }
    const double tickRate = kPalClock / c.clock.period;
    auto lateness = [&](const ReuStreamRecord::Frame& frame) {
        return (static_cast<double>(frame.ticks) - (frame.number - 1.0) * c.clock.frameTicks) / tickRate;
    };
    int late = 0;
    double latest = 0;
    std::vector<std::uint32_t> shown;
    std::string lateFrames;
    for (std::size_t i = 0; i < record.frames.size(); ++i) {
        const ReuStreamRecord::Frame& frame = record.frames[i];
        shown.push_back(frame.number);
        const double after = lateness(frame);
        latest = std::max(latest, after);
        late += after > kLateLimit || after < 0;
        if (after <= kLateLimit || i == 0) continue;
        // The time it had: from the switch to the frame before it to its own due time.
        const double had = ((frame.number - 1.0) * c.clock.frameTicks - record.frames[i - 1].ticks) / tickRate;
        char entry[96];
        std::snprintf(entry, sizeof entry, " %u (%zu bytes in %.0f ms, %.0f ms late)", frame.number, c.frameBytes.at(frame.number),
                      1000 * had, 1000 * after);
        lateFrames += entry;
    }
    const double played = record.endTicks / tickRate;
    const double idle = static_cast<double>(record.idleSteps) * ReuStreamRecord::kIdleStepCycles / played;
    const bool onTime = shown == c.walked.frames && late == 0;
    std::snprintf(line, sizeof line, "%7.0f  %6zu  %6zu  %5d  %8.1f  %9.0f  %s\n", static_cast<double>(c.stream.size()) / kSeconds,
                  c.walked.frames.size(), shown.size(), late, 1000 * latest, idle, onTime ? "yes" : "no");
    text += line;
    if (!lateFrames.empty() && late <= 8) text += "        late:" + lateFrames + "\n";
    for (std::uint32_t number : c.walked.frames)
        if (std::find(shown.begin(), shown.end(), number) == shown.end()) text += "        not shown: " + std::to_string(number) + "\n";
    return onTime;
}

}  // namespace

int main(int argc, char** argv) {
    std::string clip;
    std::vector<int> bandwidths;
    std::vector<const Target*> targets{&kC64, &kC128};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--c64" || argument == "--c128") {
            targets = {argument == "--c64" ? &kC64 : &kC128};
            continue;
        }
        if (argument == "--keep" && i + 1 < argc) {
            keepIn = argv[++i];
            continue;
        }
        char* end = nullptr;
        const long value = std::strtol(argv[i], &end, 10);
        if (*end == 0 && value > 0) bandwidths.push_back(static_cast<int>(value));
        else clip = argument;
    }
    for (const Target* target : targets)
        if (!testing::emulatorCommand(target->emulator)) {
            std::cerr << target->emulator << " is not on the PATH\n";
            return 1;
        }
    if (bandwidths.empty()) bandwidths = {4000, 8000, 12000, 16000, 24000, 32000};
    testing::TempTree folder("stream-capacity");
    std::vector<std::string> tables(targets.size());
    std::vector<int> highest(targets.size(), 0);
    // Each stream on every machine at once (two at a time at most).
    for (int bandwidth : bandwidths) {
        const Compiled c = compiled(bandwidth, clip.empty() ? drawnClipStream(bandwidth, kSeconds, kPictureRate) : clipStream(clip, bandwidth, folder));
        std::vector<Measure> measures(targets.size());
        for (std::size_t t = 0; t < targets.size(); ++t) {
            measures[t].target = targets[t];
            measures[t].compiled = &c;
            start(measures[t], folder);
        }
        for (std::size_t t = 0; t < targets.size(); ++t)
            if (report(measures[t], folder, tables[t])) highest[t] = std::max(highest[t], bandwidth);
    }
    for (std::size_t t = 0; t < targets.size(); ++t) {
        std::printf("%s, 10 s at 8 pictures a second, %s (PAL), every frame on time: shown in order, none more than 20 ms late\n",
                    clip.empty() ? "drawn clip" : clip.c_str(), targets[t]->emulator);
        std::printf("    bw  bytes/s  frames   shown   late  latest ms  idle cycles/s  on time\n%s", tables[t].c_str());
        std::printf("highest bandwidth with every frame on time: %d bytes a second\n\n", highest[t]);
    }
    return 0;
}
