// The progress of a run on the terminal: a bar with the pictures done of the total, the time since the start
// and the time still to go, drawn on standard error over and over in one line. Nothing of it is written
// when standard error is not a terminal (or a test has put its own console in place).
#pragma once

#include "common/platform/platform.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace zov {

class ProgressBar {
public:
    /// Shown when the console is the real one and standard error is a terminal.
    ProgressBar();
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool shown() const { return shown_; }
    /// Starts a stage: its name and the pictures it will do (0 when not known yet).
    void stage(const std::string& name, std::size_t total);
    /// The pictures done so far in this stage; the bar is drawn at most ten times a second.
    void update(std::size_t done);
    /// Takes the bar off the line (before other output); draw() puts it back.
    void clear();
    void draw();

private:
    using Clock = std::chrono::steady_clock;
    bool shown_ = false;
    bool drawn_ = false;
    std::string stage_;
    std::size_t total_ = 0, done_ = 0;
    Clock::time_point started_ = Clock::now(), stageStarted_ = Clock::now(), lastDrawn_{};
};

/// The bar's line text: "compiling [######              ]  48/120 pictures, 0:03 elapsed, 0:05 left".
std::string progressLine(const std::string& stage, std::size_t done, std::size_t total, double elapsedSeconds,
                         double stageSeconds);

/// A console that takes the bar off its line before any other output and draws it again after each line.
class ConsoleBesideBar final : public Console {
public:
    ConsoleBesideBar(Console& console, ProgressBar& bar) : console_(console), bar_(bar) {}
    void out(std::string_view text) override;
    void err(std::string_view text) override;
    void flush() override { console_.flush(); }

private:
    Console& console_;
    ProgressBar& bar_;
};

}  // namespace zov
