#include "vicpack/stream_pack.h"

#include "common/console/console.h"
#include "formats/reu_image.h"
#include "formats/stream_cut.h"
#include "formats/stream_walk.h"
#include "vicpack/pack_exit.h"
#include "formats/sound_file.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace zov {
namespace {

std::string seconds(double value) { return formatted("%.2f", value); }

bool fits(const StreamCut& cut) { return reuBytesNeeded(cut.length, cut.frames) <= kLargestReu; }

/// The longest cut in hundredths of a second, up to limit seconds, that the largest REU holds. A longer cut
/// never takes fewer bytes, so the hundredths are searched by halves.
double secondsThatFit(const WalkedStream& stream, double picturesPerSecond, double limit) {
    // low fits, high does not; a stream timed by a tiny --fps may last for ever, and no REU holds 10^13 s.
    long low = 0, high = static_cast<long>(std::min(std::ceil(limit * 100), 1e15));
    while (high - low > 1) {
        const long middle = low + (high - low) / 2;
        if (fits(planStreamCut(stream, middle / 100.0, picturesPerSecond)))
            low = middle;
        else
            high = middle;
    }
    return low / 100.0;
}

int refuseTooLarge(const std::string& name, const WalkedStream& stream, double picturesPerSecond, double asked) {
    const double fit = secondsThatFit(stream, picturesPerSecond, asked);
    out() << name << ": " << seconds(asked) << " s of stream need more than the largest REU ("
          << static_cast<unsigned long>(kLargestReu >> 20) << " MiB) holds; ";
    // Pictures all due at once (a header without samples per picture) can be too many for any cut.
    if (fit == 0)
        out() << "not even its first hundredth of a second fits" << eol;
    else
        out() << seconds(fit) << " s fit: --length " << seconds(fit) << " keeps that much" << eol;
    return kPackTooLarge;
}

}  // namespace

bool isVideoStream(const std::vector<std::uint8_t>& bytes) { return isZovf(bytes) && !isZovSound(bytes); }

bool streamHasSound(const std::vector<std::uint8_t>& bytes) {
    StreamInfo info;
    FileProblem problem;
    return isVideoStream(bytes) && readStreamHeader(bytes, info, problem) && info.hasAudio;
}

int packStream(const std::string& name, const std::vector<std::uint8_t>& bytes, const PackSettings& settings,
               PackedStream& packed) {
    WalkedStream stream;
    StreamFault fault;
    if (!walkStream(bytes, stream, fault)) {
        out() << streamRefusal(name, fault) << eol;
        return kPackUnusableInput;
    }
    if (stream.frames.empty()) {
        out() << name << ": a stream without frames" << eol;
        return kPackUnusableInput;
    }
    if (stream.info.hasAudio &&
        (stream.info.audioRate < lowestStreamAudioRate() || stream.info.audioRate > highestStreamAudioRate())) {
        out() << name << ": the player keeps a stream's sound at " << lowestStreamAudioRate() << " to "
              << highestStreamAudioRate() << " Hz, not " << stream.info.audioRate << " Hz" << eol;
        return kPackTooLarge;
    }
    const double length = streamSeconds(stream, settings.fps);
    const double asked = settings.length ? *settings.length : std::numeric_limits<double>::infinity();
    const StreamCut cut = planStreamCut(stream, asked, settings.fps);
    if (cut.frames == 0) {
        out() << name << ": --length " << formatted("%g", asked) << " keeps no frame; the first is due at "
              << seconds(frameDue(stream.info, stream.frames.front(), settings.fps)) << " s" << eol;
        return kPackUnusableInput;
    }
    if (!fits(cut)) return refuseTooLarge(name, stream, settings.fps, std::min(asked, length));

    packed.stream = cutStream(bytes, stream, cut);
    // What is left of a well-formed stream is one of its own.
    if (!cut.whole && !walkStream(packed.stream, stream, fault)) throw std::logic_error("a cut that breaks the stream");
    packed.info = stream.info;
    packed.seconds = std::min(asked, length);
    packed.package = streamPackage(packed.stream, stream, StreamPlayback{settings.borderColour, settings.fps});
    return kPackDone;
}

}  // namespace zov
