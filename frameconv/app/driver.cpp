// The per-file driver: one source picture from opening to its bitmap file or video frame.
#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"
#include "frameconv/app/frameconv_app.h"
#include "frameconv/picture/picture_export.h"

namespace zov {

bool FrameconvApp::convert(const std::string& source, const std::string& dest) {
    Options& o = options_;
    ++totals_.frameIndex;

    auto file = fileSystem().openRead(source);
    if (!file) {
        out() << "\r\nCouldn't open: " << source << eol;
        return true;
    }
    announce(source);

    std::string output = outputPath(source, dest);
    if (o.compile < 2) {
        OutputCheck who = o.compile == 0 ? OutputCheck::Picture : OutputCheck::VideoFirstFrame;
        if (checkExistingOutput(output, who, o.yes, o.verbose) != OutputDecision::Write) {
            file->close();
            return o.compile == 0;
        }
    }

    int loaded = loadPicture(*file);
    file->close();
    if (loaded == 2) return false;  // out of memory: the run cannot go on
    if (loaded != 0) return true;   // the reader said why; the file is skipped

    pinBlack();
    if (picture_.chooseColours() != 0) return false;

    if (o.compile != 0) return compileFrame(source, output);
    return convertStill(output);
}

void FrameconvApp::announce(const std::string& source) {
    if (options_.verbose == 0) return;
    if (options_.compile != 0) out() << " Frame " << options_.compile << ": ";
    else out() << " File: ";
    out() << "\"" << fileNamePart(source) << "\"" << eol;
}

int FrameconvApp::loadPicture(File& file) {
    const Options& o = options_;
    // Every still picture starts from a clean state; video frames keep the first frame's size.
    if (o.compile == 0) {
        picture_.reset();
        picture_.setMode(o.mode, o.color);
    }
    picture_.lumaGain = o.scale;
    picture_.lumaOffset = o.bias;
    picture_.saturationGain = o.chros;
    picture_.saturationOffset = o.chrob;
    picture_.hueShift = o.hue;
    picture_.kpaWeight = o.kpa;
    picture_.kpzWeight = o.kpz;
    picture_.kpyWeight = o.kpy;
    picture_.kprWeight = o.kpr;
    return picture_.load(file, o.verbose, true);
}

// Black is always one of the roles: the foreground in multicolour mode, the background in hi-res.
void FrameconvApp::pinBlack() {
    for (int i = 0; i < 4; ++i) {
        picture_.pinnedRoles[i] = -1;
        picture_.pinnedColours[i] = 16;
    }
    picture_.pinnedRoles[0] = options_.mode == 4 ? 3 : 0;
    picture_.pinnedColours[0] = 0;
    picture_.freeRoleMask = 0;
}

bool FrameconvApp::convertStill(const std::string& output) {
    const Options& o = options_;
    picture_.fillColourArrays();
    picture_.reportPalette(o.verbose);
    QuantStats stats = picture_.quantisePicture();
    int bitmapBytes = picture_.exportVicImage(true);
    if (bitmapBytes == 0) return false;
    if (o.verbose >= 2) picture_.reportLoss(stats, o.verbose);
    addLumaLoss(stats);
    if (o.individual) writeBitmapFile(output, bitmapBytes);
    return true;
}

void FrameconvApp::addLumaLoss(const QuantStats& stats) {
    if (stats.edgeCount != 0) totals_.lumaErrorSum += stats.lostLuma / stats.edgeCount;
}

bool FrameconvApp::compileFrame(const std::string&, const std::string&) {
    // Compiling video comes with the video encoder.
    return true;
}

void FrameconvApp::writeBitmapFile(const std::string& path, int bitmapBytes) {
    // A file that cannot be created or written is reported and the picture's remaining steps go on.
    saveBitmapFile(path, picture_.image, bitmapFileLayout(picture_, bitmapBytes));
}

}  // namespace zov
