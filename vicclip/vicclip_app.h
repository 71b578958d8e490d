// The vicclip program: a video clip to a ZOVF stream with its sound in one command. The clip's pictures are
// taken as the long route's ffmpeg command extracts them, its sound made into a track as soundtrack makes
// it, and both compiled by frameconv's own code in the same process: the stream is byte for byte the one
// that route gives.
#pragma once

#include "soundtrack/track_maker.h"
#include "vicclip/clip_pictures.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zov {

enum VicclipExit : int {
    kClipDone = 0,
    kClipBadCommandLine = 1,
    kClipUnusableInput = 2,   // CLIP (or --audio) unreadable, without pictures, cut off, --start past its end
    kClipOutputRefused = 3,   // STREAM (or the film) exists without --force, is not a regular file, or is an input
    kClipWriteFailed = 4,     // STREAM or the film could not be written or compiled; no STREAM is left
    kClipTooLarge = 5,        // the program's stream is larger than the largest REU holds
};

struct ClipOptions {
    std::string clip;
    std::string stream;
    PictureSettings pictures;
    double fps = 4;  // pictures.fps as a number
    double start = 0;
    std::optional<double> length;
    // The sound.
    std::string audio;   // another file's sound instead of the clip's
    bool noSound = false;
    TrackSettings track;  // --stream, --gain, --dither, --sound-rate
    std::string ditherName = "none";
    // frameconv's picture and stream settings, given only when set.
    std::optional<double> contrast, brightness, saturation, saturationOffset, hue;
    std::optional<double> paletteSaturation, colourlessBoost, fewColoursBoost, droppedChroma;
    std::optional<int> colourArrays;
    std::optional<std::string> rate;
    int bandwidth = 4000;
    int verbose = 0;
    std::string colours = "picture";  // --colours: one set of role colours (picture) or each card's own (card)
    std::string film;
    bool force = false;
    // A program (STREAM names NAME.prg) with its REU image NAME.reu.
    bool c128 = false;       // for the C128 in its native mode, else for the C64
    std::string keptStream;  // the stream is kept here too
    bool program() const;
};

/// Fills the options from the arguments (args[0] is the program name). Returns nothing when the run goes on;
/// otherwise the exit code: 0 after --help or --version, kClipBadCommandLine after a bad command line.
std::optional<int> parseClipCommandLine(const std::vector<std::string>& args, ClipOptions& options);

/// STREAM names a bitmap file (.BIN, any case): the clip's first picture becomes one.
bool namesBitmapFile(const std::string& path);

/// frameconv's command line for converting one picture into a bitmap file with these options: the one the
/// long route runs on one picture.
std::vector<std::string> frameconvStillArguments(const ClipOptions& options, const std::string& picture,
                                                 const std::string& dest);

/// frameconv's command line for compiling the pictures in directory (and the track, when not empty) into
/// dest with these options: the one the long route runs.
std::vector<std::string> frameconvArguments(const ClipOptions& options, const std::string& directory,
                                            const std::string& track, const std::string& dest, int bandwidth,
                                            int verbose);

/// The smallest bandwidth, in steps of 500 above the one used, that keeps at least 90 % of the pictures,
/// given the pictures a bandwidth keeps (found by compiling again, which may fail); enough is nothing when
/// none up to kMostBandwidth does; failed when a count failed, which ends the search. Assumes that more
/// bandwidth never keeps fewer pictures. The search starts at the step of guess (when it lies above the one
/// used): a good guess saves compiles, a bad one only costs some.
inline constexpr int kMostBandwidth = 64000;
struct BandwidthSearch {
    std::optional<int> enough;
    bool failed = false;
};
BandwidthSearch sufficientBandwidth(int used, int guess, std::size_t pictures,
                                    const std::function<std::optional<std::size_t>(int)>& keptWith);

/// A guess at the bandwidth that keeps nine pictures of ten, from a compile at used bytes a second that
/// kept some of them: the sound's share stays, the video's grows with the pictures kept.
int bandwidthGuess(int used, double audioBytesPerSecond, std::size_t pictures, std::size_t kept);

/// The program's entry point with its arguments; returns the exit code.
int runVicclip(const std::vector<std::string>& args);

}  // namespace zov
