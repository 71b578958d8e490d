// Making a sound track: the sound of a media file mixed to mono, resampled, brought to its level, rounded to
// the four levels and packed four samples a byte, handed on a block at a time. The level needs the whole
// sound first; the samples wait on the disk in the meantime (a SpoolFile), so memory stays the same
// whatever the length. soundtrack and vicclip both make their tracks here.
#pragma once

#include "soundtrack/quantiser.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zov {

enum SoundtrackExit : int {
    kTrackDone = 0,
    kTrackBadCommandLine = 1,
    kTrackUnusableInput = 2,  // unreadable, no sound, no channels or samples, nothing from --start on
    kTrackOutputRefused = 3,  // OUTPUT exists (without --force), is not a regular file, or is INPUT
    kTrackWriteFailed = 4,    // OUTPUT could not be written; nothing is left behind
};

struct TrackSettings {
    std::string input;
    int stream = -1;                     // the file's stream number; -1: its first audio stream
    int rate = 7843;                     // output samples per second, frameconv's default A.RATE
    double start = 0;                    // seconds of the input skipped
    std::optional<double> length;        // seconds written at most; none: to the end
    std::optional<double> gainDecibels;  // none: the automatic level
    Dither dither = Dither::None;
};

struct TrackSummary {
    std::uint64_t samples = 0;
    std::uint64_t bytes = 0;
    std::uint64_t limited = 0;  // samples whose amplified value lay beyond full scale
    double gain = 1;            // as a factor
    bool automatic = true;
};

/// Where the track's bytes go, in order.
class TrackSink {
public:
    virtual ~TrackSink() = default;
    /// False when the bytes cannot be taken; the track then ends at once.
    virtual bool put(const std::vector<std::uint8_t>& bytes) = 0;
};

/// Makes the track of settings.input into sink. Returns kTrackDone, kTrackUnusableInput after printing
/// the one line that says why, or kTrackWriteFailed: the sink refused (it says why), or the samples could
/// not be held on the disk (printed here).
int makeTrack(const TrackSettings& settings, TrackSink& sink, TrackSummary& summary);

}  // namespace zov
