// Not a timing of this machine: a stream player's capacity, measured on the emulated machine (x128 for the
// C128's, x64sc with --c64 for the C64's, on the PATH). A 10-second full-screen multicolour clip at 8
// pictures a second with sound is compiled at a series of bandwidths, packed with its REU image and played
// to its end; the player's record says which frames it showed and when, and how long it waited with nothing
// to do.
//
//   build/stream_capacity [--c64] [--keep DIR] [CLIP] [BANDWIDTH...]
//
// Without CLIP the clip is drawn by code (video_compile_bench's panning landscape, three of its steps a
// picture) with a 2-bit tone track; with CLIP it is made by vicclip's code (--fps 8 --length 10). Prints a
// line per bandwidth and the highest at which every frame of the stream was shown on time. --keep DIR keeps
// each bandwidth's program and REU image there (bwN.prg, bwN.reu), to run them again.
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
};
const Target kC128{"x128", "x128", 3300000, {}};  // without a disk drive
const Target kC64{"x64sc", "x64sc", 3000000, {"+autostart-delay-random"}};
const Target* target = &kC128;

/// A raw 2-bit track of tones at 7843 Hz for the drawn clip.
Bytes toneTrack() {
    Bytes track(static_cast<std::size_t>(7843 * kSeconds / 4), 0);
    for (std::size_t n = 0; n < 4 * track.size(); ++n) {
        const double t = static_cast<double>(n) / 7843;
        const int level = static_cast<int>(std::lround(1.5 + 1.5 * std::sin(2 * M_PI * (400 + 300 * std::sin(t)) * t)));
        track[n / 4] = static_cast<std::uint8_t>(track[n / 4] | level << (6 - 2 * (n % 4)));
    }
    return track;
}

Bytes drawnStream(int bandwidth) {
    MemoryFileSystem fs;
    StringConsole console;
    PlatformOverride use(&fs, &console);
    for (int i = 0; i < kSeconds * kPictureRate; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/clip/f%03d.bmp", i);
        fs.addFile(name, picture_files::bmp(panningLandscape(3 * i)));
    }
    const Bytes track = toneTrack();
    fs.addFile("/clip.raw", MemoryFileSystem::Bytes(track.begin(), track.end()));
    if (runFrameconv({"frameconv", "/clip", "/clip.zov", "/c", "/v0", "/ir8", "/af", "/clip.raw", "/ar7843",
                      "/bw" + std::to_string(bandwidth)}) != 0)
        return {};
    MemoryFileSystem::Bytes stream = fs.contents("/clip.zov");
    return Bytes(stream.begin(), stream.end());
}

Bytes clipStream(const std::string& clip, int bandwidth, testing::TempTree& folder) {
    const std::string path = folder.path("clip" + std::to_string(bandwidth) + ".zov");
    if (runVicclip({"vicclip", clip, path, "--fps", "8", "--length", "10", "--bw", std::to_string(bandwidth), "--force"}) != 0)
        return {};
    testing::TempTree::Bytes bytes = folder.load("clip" + std::to_string(bandwidth) + ".zov");
    return Bytes(bytes.begin(), bytes.end());
}

struct Measure {
    int bandwidth = 0;
    Bytes stream;
    StreamInfo info;
    StreamPackage package;
    ReuStream64Layout layout64;         // of the C64's image
    std::vector<std::uint32_t> frames;  // of the stream
    std::map<std::uint32_t, std::size_t> frameBytes;  // the video bytes of each frame
    std::unique_ptr<Child> run;
};

std::string keepIn;  // --keep

void start(Measure& m, testing::TempTree& folder) {
    WalkedStream walked;
    StreamFault fault;
    if (m.stream.empty() || !walkStream(m.stream, walked, fault)) return;
    m.info = walked.info;
    m.frames = walked.frames;
    std::uint32_t frame = 0;
    for (const StreamPacket& packet : walked.packets) {
        if (packet.kind == PacketKind::FirstVideo) frame = packet.frameNumber;
        if (packet.kind != PacketKind::Audio) m.frameBytes[frame] += packet.payloadLength;
    }
    if (target == &kC64) {
        std::string problem;
        const std::optional<C64Stream> c64 = translateForC64(m.stream, walked, StreamPlayback{}, problem);
        if (!c64) {
            std::fprintf(stderr, "the C64 cannot play the stream at --bw %d: %s\n", m.bandwidth, problem.c_str());
            return;
        }
        m.layout64 = {c64->operations.pages.size() / 256, c64->operations.sound.size(), c64->operations.frames};
        m.package = stream64Package(m.stream, walked, c64->plan, StreamPlayback{});
    } else {
        m.package = streamPackage(m.stream, walked, StreamPlayback{});
    }
    const std::string name = "bw" + std::to_string(m.bandwidth);
    folder.save(name + ".prg", testing::TempTree::Bytes(m.package.program.begin(), m.package.program.end()));
    folder.save(name + ".reu", testing::TempTree::Bytes(m.package.reuImage.begin(), m.package.reuImage.end()));
    if (!keepIn.empty()) {
        testing::saveBytes(keepIn + "/" + name + ".prg", std::vector<unsigned char>(m.package.program.begin(), m.package.program.end()));
        testing::saveBytes(keepIn + "/" + name + ".reu", std::vector<unsigned char>(m.package.reuImage.begin(), m.package.reuImage.end()));
    }
    const long cycles = target->startCycles + static_cast<long>((kSeconds + 6) * kPalClock);  // late plays end later
    std::vector<std::string> args{"-warp", "-reu", "-reusize", std::to_string(m.package.reuImage.size() / 1024), "-reuimage",
                                  folder.path(name + ".reu"), "-reuimagerw"};
    args.insert(args.end(), target->options.begin(), target->options.end());
    args.insert(args.end(), {"-autostart", folder.path(name + ".prg")});
    m.run = testing::startCommand(testing::machineRun(cycles, args, target->emulator), folder.path(name + ".log"));
}

/// Prints the measure's line; true when every frame of the stream was shown in order and on time.
bool report(Measure& m, testing::TempTree& folder) {
    std::printf("%6d  ", m.bandwidth);
    if (!m.run) {
        std::printf("no stream\n");
        return false;
    }
    testing::finishCommand(m.run);
    const std::string name = "bw" + std::to_string(m.bandwidth);
    testing::TempTree::Bytes image = folder.load(name + ".reu");
    ReuStreamRecord record;
    const Bytes bytes(image.begin(), image.end());
    const bool read = target == &kC64 ? readReuStream64Record(bytes, m.layout64, record)
                                      : readReuStreamRecord(bytes, ReuStreamLayout{m.stream.size(), m.info.frames}, record);
    if (!read || record.ending != 1) {
        std::printf("the play did not end within 6 s after the stream\n");
        return false;
    }
    const double tickRate = kPalClock / std::lround(kPalClock / m.info.audioRate);
    int late = 0;
    double latest = 0;
    std::vector<std::uint32_t> shown;
    for (const ReuStreamRecord::Frame& frame : record.frames) {
        shown.push_back(frame.number);
        const double after = (static_cast<double>(frame.ticks) - (frame.number - 1.0) * m.info.samplesPerFrame) / tickRate;
        latest = std::max(latest, after);
        late += after > kLateLimit || after < 0;
    }
    std::string lateFrames;
    for (std::size_t i = 0; i < record.frames.size(); ++i) {
        const ReuStreamRecord::Frame& frame = record.frames[i];
        const double after = (static_cast<double>(frame.ticks) - (frame.number - 1.0) * m.info.samplesPerFrame) / tickRate;
        if (after <= kLateLimit || i == 0) continue;
        // The time it had: from the switch to the frame before it to its own due time.
        const double had = ((frame.number - 1.0) * m.info.samplesPerFrame - record.frames[i - 1].ticks) / tickRate;
        char text[96];
        std::snprintf(text, sizeof text, " %u (%zu bytes in %.0f ms, %.0f ms late)", frame.number, m.frameBytes[frame.number],
                      1000 * had, 1000 * after);
        lateFrames += text;
    }
    const double played = record.endTicks / tickRate;
    const double idle = static_cast<double>(record.idleSteps) * ReuStreamRecord::kIdleStepCycles / played;
    const bool onTime = shown == m.frames && late == 0;
    std::printf("%7.0f  %6zu  %6zu  %5d  %8.1f  %9.0f  %s\n", static_cast<double>(m.stream.size()) / kSeconds, m.frames.size(),
                shown.size(), late, 1000 * latest, idle, onTime ? "yes" : "no");
    if (!lateFrames.empty() && late <= 8) std::printf("        late:%s\n", lateFrames.c_str());
    for (std::uint32_t number : m.frames)
        if (std::find(shown.begin(), shown.end(), number) == shown.end()) std::printf("        not shown: %u\n", number);
    return onTime;
}

}  // namespace

int main(int argc, char** argv) {
    std::string clip;
    std::vector<int> bandwidths;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--c64") {
            target = &kC64;
            continue;
        }
        if (std::string(argv[i]) == "--keep" && i + 1 < argc) {
            keepIn = argv[++i];
            continue;
        }
        char* end = nullptr;
        const long value = std::strtol(argv[i], &end, 10);
        if (*end == 0 && value > 0) bandwidths.push_back(static_cast<int>(value));
        else clip = argv[i];
    }
    if (!testing::emulatorCommand(target->emulator)) {
        std::cerr << target->emulator << " is not on the PATH\n";
        return 1;
    }
    if (bandwidths.empty()) bandwidths = {4000, 8000, 12000, 16000, 20000, 24000, 32000};
    testing::TempTree folder("stream-capacity");
    std::printf("%s, 10 s at 8 pictures a second, %s (PAL), every frame on time: shown in order, none more than 20 ms late\n",
                clip.empty() ? "drawn clip" : clip.c_str(), target->name);
    std::printf("    bw  bytes/s  frames   shown   late  latest ms  idle cycles/s  on time\n");
    int highest = 0;
    // Two machines at a time.
    for (std::size_t i = 0; i < bandwidths.size(); i += 2) {
        std::vector<Measure> measures;
        for (std::size_t j = i; j < std::min(bandwidths.size(), i + 2); ++j) {
            Measure m;
            m.bandwidth = bandwidths[j];
            m.stream = clip.empty() ? drawnStream(m.bandwidth) : clipStream(clip, m.bandwidth, folder);
            measures.push_back(std::move(m));
        }
        for (Measure& m : measures) start(m, folder);
        for (Measure& m : measures)
            if (report(m, folder)) highest = std::max(highest, m.bandwidth);
    }
    std::printf("highest bandwidth with every frame on time: %d bytes a second\n", highest);
    return 0;
}
