#include "frameconv/app/frameconv_app.h"

#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/batch_walk.h"
#include "frameconv/app/totals_report.h"

namespace zov {

int runFrameconv(const std::vector<std::string>& args) {
    FrameconvApp app;
    return app.run(args);
}

// The values that follow from the whole command line, in their order; returns 0 or the exit code.
int FrameconvApp::prepare() {
    Options& o = options_;
    o.framePeriod = 1.0 / o.irate;
    if (o.rate == 0) o.rate = o.irate;
    if (!picture_.image.create()) {
        out() << "Could not allocate memory for VIC-II export." << eol;
        return 3;
    }
    if (o.compile != 0) {
        totals_ = RunTotals{};
        muxer_.bwidth = o.bwidth;
        muxer_.irate = o.irate;
        muxer_.rate = o.rate;
        if (o.hasAudio && muxer_.audio().open(o.audioPath, o.aRate, 0.25, false) < 1) {
            out() << "Couldn't open audio file: " << o.audioPath << eol;
            return 4;
        }
    } else {
        o.individual = true;
    }
    if (o.color == -1) o.color = o.mode == 4 ? 3 : 2;
    picture_.setMode(o.mode, o.color);
    o.scale *= 0.01;
    o.chros *= 0.01;
    o.kpa *= 0.01;
    o.kpz *= 0.01;
    o.kpy *= 0.01;
    o.kpr *= 0.01;
    o.bias *= 2.55;
    o.chrob *= 2.55;
    return 0;
}

int FrameconvApp::run(const std::vector<std::string>& args) {
    if (!parseCommandLine(args, options_)) return 1;
    if (int code = prepare()) return code;

    PathKind origin = fileSystem().kind(options_.origin);
    if (origin == PathKind::Missing || origin == PathKind::Unreadable) {
        out() << "Could not access: " << options_.origin << eol;
        return 2;
    }

    BatchWalk::Settings settings;
    settings.extensions = {".BMP", ".PPM"};
    settings.directoryLine =
        options_.verbose != 0 ? BatchWalk::DirectoryLine::Pattern : BatchWalk::DirectoryLine::None;
    settings.recursive = options_.recursive;
    settings.createDestination = options_.compile == 0;
    settings.jump = &options_.jump;
    settings.frames = &options_.frames;
    BatchWalk walk(settings, [this](const std::string& source, const std::string& dest) {
        return convert(source, dest);
    });
    collectInputs(walk);
    if (!walk.passes(options_.origin, options_.dest)) return 2;
    if (options_.compile > 1 && options_.verbose != 0) printTotals();
    // A bitmap file that could not be written (a full disk) does not stop the walk, but the run has failed.
    return bitmapFileFailed_ ? 2 : 0;
}

// Every picture the walk will read, also those still to come, is known before the first output is made.
void FrameconvApp::collectInputs(BatchWalk& walk) {
    if (options_.hasAudio) inputs_.add(options_.audioPath);
    for (const std::string& source : walk.sources(options_.origin)) inputs_.add(source);
    muxer_.guardInputs(inputs_);
}

void FrameconvApp::printTotals() {
    StreamCounters counters;
    counters.framesOffered = muxer_.framesOffered();
    counters.framesDropped = muxer_.framesDropped();
    counters.videoPackets = muxer_.videoPackets();
    counters.audioPackets = muxer_.audioPackets();
    counters.bytesWritten = muxer_.bytesWritten();
    printTotalsReport(options_, totals_, counters, &encoder_.totals());
}

}  // namespace zov
