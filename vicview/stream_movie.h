// A stream as a film: every frame the player shows, held from its time until the next frame's, written as an
// animated GIF (giflib) or as an MP4 film with the stream's sound (the ffmpeg program).
#pragma once

#include "vicview/rgb_image.h"
#include "formats/vic_colours.h"
#include "vicview/wave_file.h"
#include "formats/zovf_stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zov {

/// When pictures are shown: picture number k (counted from 1, dropped pictures included) starts at
/// (k - 1) / irate seconds.
struct FrameClock {
    double irate = 4.0;
    /// The source frame rate: --fps when given (fps > 0), else the audio rate over the samples per source
    /// frame when the stream has audio, else 4.
    static FrameClock of(const StreamInfo& info, double fps);
    /// Source-frame periods the film lasts: up to the end of the last picture's period, or of the sound
    /// when that plays longer.
    std::uint32_t periods(std::uint32_t lastPicture, std::size_t audioSamples, std::uint32_t audioRate) const;
    /// Hundredths of a second from the start to the start of a period, rounded: GIF delays are the
    /// differences of these, so they add up to the film's length without drift.
    long centiseconds(std::uint32_t period) const;
};

/// The source-picture periods [start, end) that a film holds a picture.
struct FilmSpan {
    std::uint32_t start = 0, end = 0;
};

/// When a film shows what: the frame numbered k (numbers from 1, rising) from period k − 1 until the next
/// frame's, the last one until the film's end (and for at least one period); before a first frame numbered
/// above 1 the screen is black, so the pictures keep their time against the sound.
struct FilmTiming {
    FilmSpan black;                // empty when the first frame is numbered 1
    std::vector<FilmSpan> frames;  // one per frame, in order
};

/// The timing of a film of periods periods showing the frames numbered frames.
FilmTiming filmTiming(const std::vector<std::uint32_t>& frames, std::uint32_t periods);

/// Receives the frames of a film in order, each with the periods it is held: [start, end).
class FilmWriter {
public:
    virtual ~FilmWriter() = default;
    /// False after printing the problem.
    virtual bool frame(const RgbImage& picture, std::uint32_t start, std::uint32_t end) = 0;
    /// Ends the film; false after printing the problem. A film that is not finished leaves no file.
    virtual bool finish() = 0;
};

/// The GIF film: the palette's 16 colours, delays from the clock, looping. Written through the platform's
/// file system when finished, under a passing name beside path that is renamed to path once complete.
std::unique_ptr<FilmWriter> gifWriter(const std::string& path, const VicPaletteRgb& palette, const FrameClock& clock);

/// The MP4 film through ffmpeg: H.264 yuv420p, scaled by a whole factor with nearest-neighbour sampling,
/// AAC sound when sound has samples. Written on the real file system beside path and renamed at the end.
/// Nullptr after printing the problem (ffmpeg missing, or it cannot start).
std::unique_ptr<FilmWriter> mp4Writer(const std::string& path, int width, int height, int scale,
                                      const FrameClock& clock, const PcmSound& sound);

}  // namespace zov
