// Plays a ZOVF video stream the way the target's player does: the format library's walk runs every video
// packet's segment commands on a model of target memory (all zero at the start), and every Frame command
// shows a frame, which is written as a PNG picture and put on a contact sheet, or into a film. The audio
// packets can be written as a WAVE file. A stream that breaks a rule is refused before anything is written.
#pragma once

#include "formats/vic_colours.h"
#include "vicview/wave_file.h"
#include "formats/stream_walk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

struct StreamViewSettings {
    const VicPaletteRgb* palette = nullptr;
    bool border = false;
    int borderColour = -1;  // -1: each frame's background colour
    int foreground = -1;    // the Color RAM colour in multicolour mode; -1: Black
    bool crop = false;      // only the picture's area instead of the whole screen
    std::string wavPath;    // empty: no WAVE file
    double fps = 0;         // source pictures per second; 0: from the stream
    bool timeline = false;  // also timeline.csv and timeline.svg in the directory
    double bandwidth = 0;   // bytes per second for the timeline chart; 0: from the stream
    int scale = 3;          // MP4 films: whole factor for the screen
};

/// Plays the stream file (bytes, read from inputName) into the directory dir; returns the exit code and
/// prints what it wrote, or where the stream is malformed.
int previewStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const std::string& dir,
                  const StreamViewSettings& settings);

/// Plays the stream into a film: an animated GIF when filmPath ends in ".gif", else an MP4 film with the
/// stream's sound. Returns the exit code; a film that cannot be finished leaves no file.
int filmStream(const std::vector<std::uint8_t>& bytes, const std::string& inputName, const std::string& filmPath,
               const StreamViewSettings& settings);

/// Whether an output name asks for a film: it ends in ".mp4" or ".gif" (any case).
bool isFilmName(const std::string& path);
bool isGifName(const std::string& path);

/// The name of a frame's picture: "frame" and the stream's five-digit frame number.
std::string frameFileName(std::uint32_t frameNumber);

/// The stream's audio: every audio packet's bytes in order, four 2-bit samples a byte, the first sample in
/// the top bits, as 16-bit samples at the audio chunk's rate.
PcmSound streamAudio(const std::vector<std::uint8_t>& bytes, const WalkedStream& stream);

}  // namespace zov
