#include "vicclip/progress_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace zov {
namespace {

std::string minutes(double seconds) {
    const long whole = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

std::string progressLine(const std::string& stage, std::size_t done, std::size_t total, double elapsedSeconds,
                         double stageSeconds) {
    constexpr int kWidth = 24;
    const double share = total > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(total)) : 0;
    const int filled = static_cast<int>(share * kWidth);
    std::string line = stage;
    line.append(" [").append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(kWidth - filled), ' ');
    line.append("] ").append(std::to_string(done));
    if (total > 0) line.append("/").append(std::to_string(total));
    line.append(" pictures, ").append(minutes(elapsedSeconds)).append(" elapsed");
    if (done > 0 && total > 0) {
        const double left = stageSeconds / static_cast<double>(done) * static_cast<double>(total - std::min(done, total));
        line.append(", ").append(minutes(left)).append(" left");
    }
    return line;
}

ProgressBar::ProgressBar() : shown_(&console() == &realConsole() && ::isatty(STDERR_FILENO) == 1) {}

void ProgressBar::stage(const std::string& name, std::size_t total) {
    stage_ = name;
    total_ = total;
    done_ = 0;
    stageStarted_ = Clock::now();
    lastDrawn_ = {};
    update(0);
}

void ProgressBar::update(std::size_t done) {
    done_ = done;
    if (!shown_) return;
    const Clock::time_point now = Clock::now();
    if (now - lastDrawn_ < std::chrono::milliseconds(100) && done != total_) return;
    lastDrawn_ = now;
    draw();
}

void ProgressBar::draw() {
    if (!shown_) return;
    const auto seconds = [](Clock::duration span) { return std::chrono::duration<double>(span).count(); };
    const Clock::time_point now = Clock::now();
    realConsole().err("\r\033[K" + progressLine(stage_, done_, total_, seconds(now - started_), seconds(now - stageStarted_)));
    realConsole().flush();
    drawn_ = true;
}

void ProgressBar::clear() {
    if (!drawn_) return;
    realConsole().err("\r\033[K");
    realConsole().flush();
    drawn_ = false;
}

void ConsoleBesideBar::out(std::string_view text) {
    bar_.clear();
    console_.out(text);
    if (!text.empty() && text.back() == '\n') {
        console_.flush();
        bar_.draw();
    }
}

void ConsoleBesideBar::err(std::string_view text) {
    bar_.clear();
    console_.err(text);
}

}  // namespace zov
