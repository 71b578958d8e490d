// The frameconv program: its settings, the objects it keeps for the whole run, and the per-file driver.
#pragma once

#include "common/walk/input_files.h"
#include "frameconv/cardcolour/card_colours.h"
#include "frameconv/app/options.h"
#include "frameconv/picture/vic_picture.h"
#include "frameconv/video/delta_encoder.h"
#include "frameconv/video/stream_muxer.h"

#include <optional>
#include <string>
#include <vector>

namespace zov {

class BatchWalk;
class File;

/// The colour choices of a run's pictures, kept so that a run over the same pictures with the same picture
/// settings (a compile at another bandwidth) takes them instead of choosing again.
class ColourChoiceMemo {
public:
    virtual ~ColourChoiceMemo() = default;
    /// The choice kept for the run's picture number picture (0 for the first that the walk visits), if any.
    virtual bool recall(int picture, ColourChoice& choice) = 0;
    /// Keeps the choice made for that picture.
    virtual void keep(int picture, const ColourChoice& choice) = 0;
};

class FrameconvApp {
public:
    /// Runs the whole program on a command line (args[0] is the program name); returns the exit code.
    int run(const std::vector<std::string>& args);

    /// Colour choices are recalled from memo where it has them and kept in it where it has not.
    void rememberColours(ColourChoiceMemo* memo) { memo_ = memo; }

    /// Every card's colours are chosen for it with these settings (and the pixels dithered to them), in
    /// place of one set of role colours for the whole picture; a frame keeps the colours of the frame on
    /// screen where they serve. Not reachable from frameconv's command line: vicclip's --colours card.
    void chooseColoursPerCard(const CardColourSettings& settings) { cardChooser_.emplace(settings); }

    /// Compiles the stream for a player (StreamMuxer::compileFor). Not reachable from frameconv's command
    /// line: vicclip's NAME.prg.
    void compileFor(PlayerCost* player) { muxer_.compileFor(player); }

    /// Converts one source picture (the per-file driver); answers true to let the walk go on.
    bool convert(const std::string& source, const std::string& dest);

    const Options& options() const { return options_; }
    const RunTotals& totals() const { return totals_; }
    const DeltaEncoder& encoder() const { return encoder_; }

private:
    int prepare();
    void announce(const std::string& source);
    int loadPicture(File& file);
    void pinBlack();
    bool chooseColours();
    bool chooseCardColours();
    bool convertStill(const std::string& source, const std::string& output);
    bool compileFrame(const std::string& source, const std::string& output);
    bool startVideo();
    int ringSize() const;
    void reportFrame(const FrameReport& report);
    void writeIndividualBitmap(const std::string& source, const std::string& stream, int bitmapBytes);
    void collectInputs(BatchWalk& walk);
    void printTotals();
    void addLumaLoss(const QuantStats& stats);
    void writeBitmapFile(const std::string& path, const std::string& source, int bitmapBytes);

    Options options_;
    RunTotals totals_;
    VicPicture picture_;
    DeltaEncoder encoder_;
    StreamMuxer muxer_;
    InputFiles inputs_;  // every source picture of the walk and the AUDIO file: never an output
    bool bitmapFileFailed_ = false;  // a bitmap file could not be created or written: the run fails at its end
    ColourChoiceMemo* memo_ = nullptr;
    std::optional<CardColourChooser> cardChooser_;
};

/// The program's entry point with its arguments.
int runFrameconv(const std::vector<std::string>& args);

}  // namespace zov
