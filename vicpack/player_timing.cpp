#include "vicpack/player_timing.h"

#include "formats/machine_numbers.h"

#include <algorithm>
#include <cmath>

namespace zov {
namespace {

constexpr int kPiece = 32;  // the bytes of a transfer while samples sound

// ---- what the operations cost, counted from stream64_operations.inc --------------------------------------
constexpr double kDispatch = 13;       // next_operation: the operation's handler through the table
constexpr double kPieceRound = 28;     // unit_pieces: a whole piece and the loop round before the next
constexpr double kLastPiece = 15;      // unit_pieces: the last piece
constexpr double kHiddenSwitch = 22;   // hide_interrupts and show_interrupts

/// unit_pieces for n bytes (1 to 255): the processor's cycles; the unit's are n.
double piecesCycles(std::uint32_t n) { return kPieceRound * ((n + kPiece - 1) / kPiece - 1) + kLastPiece; }
double pieces(std::uint32_t n) { return (n + kPiece - 1) / kPiece; }

WorkCycles unitPut(std::uint32_t n) { return {kDispatch + 49 + piecesCycles(n) + 14, static_cast<double>(n), 0, pieces(n)}; }

WorkCycles unitFill(std::uint32_t n) {
    const std::uint32_t pages = n / 256, rest = n % 256;
    WorkCycles cost{kDispatch + 48 + 17 + 4, static_cast<double>(n), 0, pages * 256.0 / kPiece + pieces(rest)};
    cost.processor += pages > 0 ? 5 + 147.0 * pages : 3;
    cost.processor += rest > 0 ? 4 + piecesCycles(rest) : 3;
    return cost;
}

/// copy_way: count bytes (256 in two halves) one way.
double copyWay(std::uint32_t n) { return n == 256 ? 6 + 6 + 4 + 2 * piecesCycles(128) : 6 + 5 + piecesCycles(n) + 6; }

WorkCycles unitCopy(std::uint32_t n) {
    const double bytes = 2.0 * n;  // out to the scratch and back
    if (n <= kPiece) return {103, bytes, 0, 2};
    return {108 + 2 * copyWay(n), bytes, 0, 2 * pieces(n)};
}

WorkCycles processorPut(std::uint32_t n) { return {46 + 20.0 * n, 0, 0}; }
WorkCycles processorFill(std::uint32_t n) { return {78 + 11.0 * n + 13.0 * (n / 256), 0, 0}; }
WorkCycles processorCopy(std::uint32_t n) { return {69 + 18.0 * (n == 0 ? 256 : n), 0, 0}; }

WorkCycles hiddenWork(WorkCycles cost) { return {0, 0, cost.processor + kHiddenSwitch, 0}; }

constexpr double kShow = 189 + 134 + 20;  // op_show, decode_frame's copy of its values, frame_pending

}  // namespace

// The C64: PAL, 312 lines of 63 cycles; the bad lines of a bitmap screen; the sample interrupt's four
// handlers (35, 35, 35 and 89 cycles with the interrupt's own 7; 55 and 110 with I/O switched out); the wait
// loop's round of audio_service, check_key and the idle step; a piece of sound with its checks.
const PlayerMachine kC64Player{
    "C64", 985248, 312, 63, {251, 40}, 1075, 200, 48.5, 69, 0, 447, 150, 560, 0,
};

// The C128 in its native mode, whose player runs the same operations: the C64's costs, 2 MHz in the 106
// border lines from 251 to 45 but for the unit's transfers, each of which drops to 1 MHz and back (29
// processor cycles, some of them at 1 MHz: counted 25, and 30 matches the player's record best); its raster
// interrupt checks at lines 251 and 45.
const PlayerMachine kC128Player{
    "C128", 985248, 312, 63, {251, 45}, 1075, 200, 48.5, 69, 106, 447, 150, 560, 30,
};

WorkCycles operationCycles(const Operation& operation) {
    const std::uint32_t n = operation.count;
    switch (operation.kind) {
        case OperationKind::Put: return unitPut(n);
        case OperationKind::Fill: return unitFill(n);
        case OperationKind::Copy: return unitCopy(n == 0 ? 256 : n);
        case OperationKind::PutByProcessor: return processorPut(n);
        case OperationKind::FillByProcessor: return processorFill(n);
        case OperationKind::CopyByProcessor: return processorCopy(n);
        case OperationKind::PutHidden: return hiddenWork(processorPut(n));
        case OperationKind::FillHidden: return hiddenWork(processorFill(n));
        case OperationKind::CopyHidden: return hiddenWork(processorCopy(n));
        case OperationKind::Show: return {kShow, 0, 0};
        case OperationKind::NextPage:
        case OperationKind::End: return {kDispatch, 0, 0};
    }
    return {};
}

// op_next_page with between_pages (audio_service's check, check_key) and fetch_page's eight pieces.
WorkCycles pageCycles() { return {kDispatch + 8 + 6 + 60 + 38 + 3 + 182 + 5, 256, 0, 256 / kPiece}; }

WorkCycles operationsCycles(const std::vector<Operation>& operations) {
    WorkCycles total;
    for (const Operation& operation : operations) total += operationCycles(operation);
    return total;
}

std::vector<FrameWork> framesWork(const std::vector<std::uint8_t>& pages) {
    std::vector<FrameWork> frames;
    FrameWork frame;
    for (std::size_t page = 0; page < pages.size() / kOperationPageBytes; ++page) {
        std::size_t at = page * kOperationPageBytes;
        const std::size_t end = at + kOperationPageBytes;
        while (at < end) {
            Operation operation;
            const std::size_t length = decodeOperation(&pages[at], end - at, operation);
            if (length == 0) return frames;
            at += length;
            if (operation.kind == OperationKind::End) return frames;
            if (operation.kind == OperationKind::NextPage) {
                frame.cycles += pageCycles();
                break;
            }
            frame.cycles += operationCycles(operation);
            if (operation.kind == OperationKind::Show) {
                frame.number = operation.frameNumber;
                frame.dueTicks = operation.dueTicks;
                frames.push_back(frame);
                frame = FrameWork{};
            }
        }
    }
    return frames;
}

namespace {

/// How fast the main loop gets on: the share of the machine's time left to it, and its processor's cycles
/// per cycle at 1 MHz.
struct MainLoopSpeed {
    double speed = 1;        // processor cycles per 1 MHz cycle
    double share = 1;        // of the time, left by the interrupts and the bad lines
    double hiddenShare = 1;  // the same while I/O is switched out
    double transferSwitch = 0;

    MainLoopSpeed(const PlayerMachine& machine, int tickPeriod) {
        const double screen = static_cast<double>(machine.rasterLines) * machine.lineCycles;
        speed = (machine.rasterLines + machine.fastLines) / machine.rasterLines;
        transferSwitch = machine.transferSwitchCycles;
        const double common = machine.badLineCycles / screen + machine.rasterCycles / (screen * speed) +
                              machine.audioPieceCycles / (4.0 * kPiece * tickPeriod * speed);
        share = 1 - common - machine.sampleCycles / (tickPeriod * speed);
        hiddenShare = 1 - common - machine.hiddenSampleCycles / (tickPeriod * speed);
    }

    /// The machine's cycles the main loop takes for work.
    double wallCycles(const WorkCycles& work) const {
        return (work.processor / speed + work.transfer + work.transfers * transferSwitch) / share + work.hidden / speed / hiddenShare;
    }
};

/// The raster interrupt's checks, from the one that started the clock.
struct Checks {
    double screen = 0, second = 0;  // a screen frame; the other line after the starting one

    Checks(const PlayerMachine& machine, int startLine) {
        screen = static_cast<double>(machine.rasterLines) * machine.lineCycles;
        const int from = machine.checkLines[startLine], to = machine.checkLines[1 - startLine];
        second = static_cast<double>((to - from + machine.rasterLines) % machine.rasterLines) * machine.lineCycles;
    }

    /// The first check at or after t.
    double atOrAfter(double t) const {
        const double base = std::floor(t / screen) * screen;
        if (base >= t) return base;
        if (base + second >= t) return base + second;
        return base + screen;
    }
};

}  // namespace

TimingPrediction predictTimingFrom(const std::vector<FrameWork>& frames, const PlayerMachine& machine, int tickPeriod,
                                   int startLine, double workScale) {
    const MainLoopSpeed loop(machine, tickPeriod);
    const Checks checks(machine, startLine);
    const double tickSeconds = tickPeriod / machine.clock;
    TimingPrediction prediction;
    double switched = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const FrameWork& frame = frames[i];
        PredictedFrame predicted;
        predicted.number = frame.number;
        predicted.dueTicks = frame.dueTicks;
        // The first frame is run before the clock starts, at its first check.
        if (i > 0) {
            WorkCycles work = frame.cycles;
            work.processor = work.processor * workScale + machine.frameCycles;
            work.transfer *= workScale;
            work.hidden *= workScale;
            predicted.readyCycles = switched + loop.wallCycles(work);
        }
        const double at = checks.atOrAfter(std::max(predicted.readyCycles, static_cast<double>(frame.dueTicks) * tickPeriod));
        if (i > 0)
            prediction.idleSteps += (at - predicted.readyCycles) * loop.share * loop.speed / machine.waitRound;
        switched = at;
        predicted.switchTicks = static_cast<std::uint32_t>(std::floor(at / tickPeriod));
        predicted.lateSeconds = (static_cast<double>(predicted.switchTicks) - frame.dueTicks) * tickSeconds;
        predicted.late = predicted.lateSeconds > kLateSeconds;
        prediction.late += predicted.late;
        if (i > 0) prediction.latestSeconds = std::max(prediction.latestSeconds, predicted.lateSeconds);
        prediction.frames.push_back(predicted);
    }
    return prediction;
}

double workSeconds(const WorkCycles& work, const PlayerMachine& machine, int tickPeriod) {
    WorkCycles total = work;
    total.processor += machine.frameCycles;
    return MainLoopSpeed(machine, tickPeriod).wallCycles(total) / machine.clock;
}

double longestSwitchWait(const PlayerMachine& machine) {
    const Checks checks(machine, 0);
    return std::max(checks.second, checks.screen - checks.second) / machine.clock;
}

namespace {

/// Frame by frame, the later of the two starting lines' predictions.
TimingPrediction laterOfBothStarts(const std::vector<FrameWork>& frames, const PlayerMachine& machine, int tickPeriod, double workScale) {
    TimingPrediction first = predictTimingFrom(frames, machine, tickPeriod, 0, workScale);
    const TimingPrediction second = predictTimingFrom(frames, machine, tickPeriod, 1, workScale);
    first.idleSteps = std::min(first.idleSteps, second.idleSteps);
    for (std::size_t i = 0; i < first.frames.size(); ++i)
        if (second.frames[i].switchTicks > first.frames[i].switchTicks) first.frames[i] = second.frames[i];
    return first;
}

}  // namespace

TimingPrediction predictTiming(const std::vector<FrameWork>& frames, const PlayerMachine& machine, int tickPeriod,
                               double workScale) {
    TimingPrediction prediction = laterOfBothStarts(frames, machine, tickPeriod, workScale);
    // A frame is called on time only when it is also on time with a little more work: one ready just before
    // a check may come just after it, and then it and the frames after it switch a check later.
    const TimingPrediction harder = laterOfBothStarts(frames, machine, tickPeriod, workScale * kWorkMargin);
    prediction.late = 0;
    prediction.latestSeconds = 0;
    for (std::size_t i = 0; i < prediction.frames.size(); ++i) {
        PredictedFrame& frame = prediction.frames[i];
        frame.late = frame.late || harder.frames[i].late;
        prediction.late += frame.late;
        if (i > 0) prediction.latestSeconds = std::max(prediction.latestSeconds, frame.lateSeconds);
    }
    return prediction;
}

double timeKeepingScale(const std::vector<FrameWork>& frames, const PlayerMachine& machine, int tickPeriod, double limit) {
    auto onTime = [&](double scale) { return predictTiming(frames, machine, tickPeriod, scale).late == 0; };
    if (onTime(limit)) return limit;
    if (!onTime(0)) return 0;
    double low = 0, high = limit;  // on time at low, not at high
    while (high - low > 0.01 * std::max(low, 0.01)) {
        const double middle = (low + high) / 2;
        (onTime(middle) ? low : high) = middle;
    }
    return low;
}

}  // namespace zov
