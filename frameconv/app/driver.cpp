// The per-file driver: one source picture from opening to its bitmap file or video frame.
#include "common/console/console.h"
#include "common/platform/platform.h"
#include "common/walk/output_naming.h"
#include "frameconv/app/frameconv_app.h"
#include "frameconv/picture/picture_export.h"

namespace zov {
namespace {

/// A bitmap file that is there is kept (without /y) and the walk goes on; the stream is made at the first
/// picture, and one that is there (without /y) stops the run.
ExistingOutputRules outputRules(const Options& o) {
    ExistingOutputRules rules;
    if (o.compile != 0) {
        rules.directoryTail = "";
        rules.onDirectory = OutputDecision::Stop;
        rules.keptTail = "aborting...";
        rules.onKept = OutputDecision::Stop;
    }
    rules.reportOverwrite = o.verbose != 0;
    return rules;
}

}  // namespace

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
        if (checkExistingOutput(output, outputRules(o), o.yes) != OutputDecision::Write) {
            file->close();
            return o.compile == 0;
        }
    }

    int loaded = loadPicture(*file);
    file->close();
    if (loaded == 2) return false;  // out of memory: the run cannot go on
    if (loaded != 0) return true;   // the reader said why; the file is skipped

    if (cardChooser_) {
        if (!chooseCardColours()) return false;
    } else {
        pinBlack();
        if (!chooseColours()) return false;
    }

    if (o.compile != 0) return compileFrame(source, output);
    return convertStill(source, output);
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
    picture_.keepSourceRgb = cardChooser_.has_value();
    picture_.settings = ConversionSettings{.lumaGain = o.scale,
                                           .lumaOffset = o.bias,
                                           .saturationGain = o.chros,
                                           .saturationOffset = o.chrob,
                                           .hueShift = o.hue,
                                           .kpaWeight = o.kpa,
                                           .kpzWeight = o.kpz,
                                           .kpyWeight = o.kpy,
                                           .kprWeight = o.kpr};
    return picture_.load(file, o.verbose, true);
}

// Black is always one of the roles: the foreground in multicolour mode, the background in hi-res.
void FrameconvApp::pinBlack() {
    for (int i = 0; i < 4; ++i) {
        picture_.colours.pinnedRoles[i] = -1;
        picture_.colours.pinnedColours[i] = 16;
    }
    picture_.colours.pinnedRoles[0] = options_.mode == 4 ? 3 : 0;
    picture_.colours.pinnedColours[0] = 0;
    picture_.colours.freeRoleMask = 0;
}

bool FrameconvApp::chooseColours() {
    ColourChoice choice;
    if (memo_ && memo_->recall(totals_.frameIndex, choice)) return picture_.takeColourChoice(choice) == 0;
    if (picture_.chooseColours() != 0) return false;
    if (memo_) memo_->keep(totals_.frameIndex, picture_.colourChoice());
    return true;
}

// A frame keeps the card colours of the frame on screen where they serve nearly as well.
bool FrameconvApp::chooseCardColours() {
    const VicPicture* shown = nullptr;
    if (options_.compile != 0 && encoder_.initialised() && encoder_.store().slot(encoder_.store().currentSlot()).valid())
        shown = &encoder_.currentSlot();
    return cardChooser_->convert(picture_, shown) == 0;
}

bool FrameconvApp::convertStill(const std::string& source, const std::string& output) {
    const Options& o = options_;
    QuantStats stats = cardChooser_ ? cardChooser_->stats() : QuantStats{};
    if (!cardChooser_) {
        picture_.fillColourArrays();
        picture_.reportPalette(o.verbose);
        stats = picture_.quantisePicture();
    }
    int bitmapBytes = picture_.exportVicImage(true);
    if (bitmapBytes == 0) return false;
    if (o.verbose >= 2 && !cardChooser_) picture_.reportLoss(stats, o.verbose);
    addLumaLoss(stats);
    if (o.individual) writeBitmapFile(output, source, bitmapBytes);
    return true;
}

void FrameconvApp::addLumaLoss(const QuantStats& stats) {
    if (stats.edgeCount != 0) totals_.lumaErrorSum += stats.lostLuma / stats.edgeCount;
}

// The ring of frame buffers: as many as the player's memory holds for pictures of this size, fewer when the
// empty rows above the picture cannot take its screen matrix.
int FrameconvApp::ringSize() const {
    const int margin = picture_.geometry.topCardRow;
    const int rows = picture_.geometry.heightInCards;
    if (margin * 320 < (margin + rows) * 40) return 3;
    if (margin * 320 < 512) return 5;
    const int bitmapKilobytes = ((margin + rows) * 320 + 1023) & 0x3C00;
    return bitmapKilobytes + 1024 <= 8192 ? 6 : 5;
}

bool FrameconvApp::startVideo() {
    const int layout = options_.mode == 4 ? 3 : 1;
    if (encoder_.init(ringSize(), 1, picture_, layout) != 0) {
        out() << "Could not allocate memory for video encoder + frame buffer." << eol;
        return false;
    }
    encoder_.takePicturesAsChosen(cardChooser_.has_value());
    muxer_.connect(encoder_);
    return true;
}

bool FrameconvApp::compileFrame(const std::string& source, const std::string& output) {
    Options& o = options_;
    if (o.compile == 1 && !startVideo()) return false;

    muxer_.setOutputPath(output);
    FrameReport report = muxer_.compileFrame(picture_, totals_.frameIndex * o.framePeriod);
    if (report.abort) return false;
    if (!cardChooser_) picture_.reportPalette(o.verbose);
    totals_.codedBytes += report.encodeResult.codedSize;
    totals_.audioBytes += report.audioBytes;
    totals_.unusedBytes += report.unusedBytes;
    const int bitmapBytes = report.encodeResult.exportResult;
    if (bitmapBytes == 0) return false;

    reportFrame(report);
    addLumaLoss(report.encodeResult.stats);
    if (o.individual) writeIndividualBitmap(source, output, bitmapBytes);

    const int rows = picture_.geometry.heightInCards;
    double rawSize = bitmapBytes;
    if (o.color & 2) rawSize += rows * 40;
    if (o.color & 1) rawSize += rows * 40 + 1;
    totals_.rawSourceBytes += rawSize;
    if (!report.dropped) totals_.rawCodedBytes += rawSize;
    ++o.compile;
    return true;
}

// A frame that was dropped before it was converted has no statistics (its edge count is 0): it shows no
// loss lines, only that it was dropped.
void FrameconvApp::reportFrame(const FrameReport& report) {
    const Options& o = options_;
    if (o.verbose < 2) return;
    const EncodeResult& result = report.encodeResult;
    if (result.stats.edgeCount != 0 && !cardChooser_) picture_.reportLoss(result.stats, o.verbose);
    if (report.dropped) {
        out() << "** Dropped **" << eol;
        return;
    }
    const int segments = result.stats.copiedPixels / o.mode;
    const double saved = (1 - static_cast<double>(result.codedSize) / result.rawSize) * 100;
    out() << "Buffer# " << result.bufferNumber << "; " << "Copied " << segments << " segs " << "("
          << segments / 8 << " cards); " << static_cast<unsigned>(result.codedSize) << " byt (" << saved
          << "% saved)" << eol;
    if (o.verbose == 3) report.codeStats.printReport();
}

void FrameconvApp::writeIndividualBitmap(const std::string& source, const std::string& stream, int bitmapBytes) {
    const std::string path = individualBitmapPath(source);
    // The video being compiled is never overwritten by a bitmap, whatever /y says: the stream would be lost.
    const bool isStream = fileSystem().canonicalPath(path) == fileSystem().canonicalPath(stream);
    if (!checkIndividualBitmap(path, options_.yes && !isStream, options_.verbose)) return;
    writeBitmapFile(path, source, bitmapBytes);
}

void FrameconvApp::writeBitmapFile(const std::string& path, const std::string& source, int bitmapBytes) {
    // A file that cannot be created or written is reported and the picture's remaining steps go on; so is
    // one that is an input of the run.
    if (inputs_.refuses(path, source)) {
        reportBitmapFileNotOpened(path);
        bitmapFileFailed_ = true;
        return;
    }
    if (!saveBitmapFile(path, picture_.image, bitmapFileLayout(picture_, bitmapBytes))) bitmapFileFailed_ = true;
}

}  // namespace zov
