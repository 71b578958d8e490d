// A timing model of the stream players that run a stream's operations (formats/stream_operations.h): what
// each operation costs the main loop in processor cycles and in cycles of the unit's transfers (32-byte
// pieces), how much of the machine's time the sample interrupt, the bad lines and the raster interrupt
// leave it, and from that when each frame is ready and when it is switched in. The player runs a frame's
// operations only once the frame before it is on screen (a frame may write into the buffer shown before
// it), and the raster interrupt switches a ready frame in at its two border lines, at the first one at or
// after its due time. The costs are counted from the players' code (vicpack/machine/stream64_operations.inc)
// and calibrated against the record the player writes in the emulator (bench/player_timing.cpp).
#pragma once

#include "formats/stream_operations.h"

#include <cstdint>
#include <vector>

namespace zov {

/// What an operation costs the player's main loop: its processor's cycles, and the cycles the unit holds
/// the processor while it moves bytes (a byte a cycle, at 1 MHz).
struct WorkCycles {
    double processor = 0;
    double transfer = 0;
    double hidden = 0;  // processor cycles with I/O switched out: the sample interrupt takes longer then
    double transfers = 0;  // the unit's transfers started one at a time (a C128 drops to 1 MHz for each)
    WorkCycles& operator+=(const WorkCycles& other) {
        processor += other.processor, transfer += other.transfer, hidden += other.hidden, transfers += other.transfers;
        return *this;
    }
};

/// A machine and its player: the constants of the model.
struct PlayerMachine {
    const char* name;
    double clock;                 // cycles a second at 1 MHz (PAL)
    int rasterLines, lineCycles;  // a screen frame
    int checkLines[2];            // the raster interrupt's lines, where a due frame is switched in
    double badLineCycles;         // the bad lines' cycles a screen frame (bitmap on)
    double rasterCycles;          // the raster interrupt's cycles a screen frame
    double sampleCycles;          // the sample interrupt's average cycles a tick
    double hiddenSampleCycles;    // the same while I/O is switched out
    double fastLines;             // lines of a screen frame at 2 MHz (0: 1 MHz throughout); transfers stay at 1 MHz
    double waitRound;             // the main loop's round while it waits, of which kIdleStepCycles are its idle step
    double audioPieceCycles;      // moving a 32-byte piece of sound into the ring, transfer included
    double frameCycles;           // each frame: noticing the switch, recording it, the Show and handing it over
    double transferSwitchCycles;  // each transfer's drop to 1 MHz and return, in cycles at 1 MHz (0 on the C64)
};

extern const PlayerMachine kC64Player;
extern const PlayerMachine kC128Player;

/// The cost of one operation (not NextPage: see pageCycles).
WorkCycles operationCycles(const Operation& operation);
/// Going on to the next page: the ring topped up, the keys looked at, the page fetched.
WorkCycles pageCycles();

/// A frame's work: the operations from the Show before it to its own.
struct FrameWork {
    std::uint32_t number = 0;
    std::uint32_t dueTicks = 0;
    WorkCycles cycles;
};

/// The frames' work in a stream's operation pages, in order.
std::vector<FrameWork> framesWork(const std::vector<std::uint8_t>& pages);

/// The work of a sequence of operations (a frame's, without its pages).
WorkCycles operationsCycles(const std::vector<Operation>& operations);

struct PredictedFrame {
    std::uint32_t number = 0;
    std::uint32_t dueTicks = 0;
    double readyCycles = 0;        // when its operations are done, from the clock's start
    std::uint32_t switchTicks = 0; // the clock when it is switched in
    double lateSeconds = 0;        // switched in this long after its due time
    bool late = false;             // more than kLateSeconds
};

struct TimingPrediction {
    std::vector<PredictedFrame> frames;
    int late = 0;
    double latestSeconds = 0;   // of the frames after the first
    double idleSteps = 0;       // the idle steps the player counts while it waits
};

inline constexpr double kLateSeconds = 0.020;  // a frame switched in later than this after its time is late
inline constexpr double kWorkMargin = 1.06;    // the model's work may fall short of the player's by this much

/// The clock of a stream on a machine: the timer's period in cycles (a tick).
/// Predicts the switches of the frames with their work scaled by workScale. The clock starts at one of the
/// raster interrupt's lines, which depends on how long the start took; the prediction takes, frame by frame,
/// the later of the two. A frame is called late also when it would be late with kWorkMargin times the work.
TimingPrediction predictTiming(const std::vector<FrameWork>& frames, const PlayerMachine& machine, int tickPeriod,
                               double workScale = 1);
/// The same from one given line of the two (0 or 1) where the clock starts.
TimingPrediction predictTimingFrom(const std::vector<FrameWork>& frames, const PlayerMachine& machine, int tickPeriod,
                                   int startLine, double workScale = 1);

/// The seconds the main loop takes for a frame's work, from the switch of the frame before it to the frame
/// ready (its overhead of noticing the switch and handing the frame over included).
double workSeconds(const WorkCycles& work, const PlayerMachine& machine, int tickPeriod);
/// The longest time from one raster check to the next: what a frame ready at its time may wait for its switch.
double longestSwitchWait(const PlayerMachine& machine);

/// The largest factor (up to limit, to 1 %) by which every frame's work could grow with every frame still on
/// time; 0 when a frame is late as it is.
double timeKeepingScale(const std::vector<FrameWork>& frames, const PlayerMachine& machine, int tickPeriod, double limit = 64);

}  // namespace zov
