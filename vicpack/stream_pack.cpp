#include "vicpack/stream_pack.h"

#include "common/console/console.h"
#include "formats/reu_image.h"
#include "formats/stream_cut.h"
#include "formats/stream_walk.h"
#include "vicpack/disk_image.h"
#include "vicpack/pack_exit.h"
#include "vicpack/stream64_program.h"
#include "vicpack/stream_translation.h"
#include "formats/sound_file.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

namespace zov {
namespace {

std::string seconds(double value) { return formatted("%.2f", value); }

/// Whether the largest REU holds the image of a cut.
using CutFits = std::function<bool(const StreamCut&)>;

/// The longest cut in hundredths of a second, up to limit seconds, that the largest REU holds. A longer cut
/// never takes fewer bytes, so the hundredths are searched by halves.
double secondsThatFit(const WalkedStream& stream, double picturesPerSecond, double limit, const CutFits& fits) {
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

int refuseTooLarge(const std::string& name, const WalkedStream& stream, double picturesPerSecond, double asked,
                   const CutFits& fits) {
    const double fit = secondsThatFit(stream, picturesPerSecond, asked, fits);
    out() << name << ": " << seconds(asked) << " s of stream need more than the largest REU ("
          << static_cast<unsigned long>(kLargestReu >> 20) << " MiB) holds; ";
    // Pictures all due at once (a header without samples per picture) can be too many for any cut.
    if (fit == 0)
        out() << "not even its first hundredth of a second fits" << eol;
    else
        out() << seconds(fit) << " s fit: --length " << seconds(fit) << " keeps that much" << eol;
    return kPackTooLarge;
}

std::string sizeText(std::uint64_t bytes) {
    if (bytes < (1u << 20)) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes >> 20) + " MiB";
}

}  // namespace

std::string reuImageName(const std::string& program) {
    const bool upper = program.compare(program.size() - 4, 4, ".PRG") == 0;
    return program.substr(0, program.size() - 4) + (upper ? ".REU" : ".reu");
}

std::string packedStreamLine(const std::string& program, const PackedStream& packed, double fps) {
    const std::string image = reuImageName(program);
    const std::uint64_t reu = packed.package.reuImage.size();
    std::string line = program + ", " + image + ": " + formatted("%.2f", packed.seconds) + " s of a " +
                       (packed.info.multicolour() ? "multicolour" : "hi-res") + " stream " +
                       (packed.info.hasAudio ? "with sound" : "without sound at " + formatted("%g", fps) + " pictures a second") +
                       ", " + std::to_string(packed.info.frames) + (packed.info.frames == 1 ? " frame" : " frames") + "; set a " +
                       sizeText(reu) + " REU with the image " + image;
    const std::string name = diskFileName(program), kib = std::to_string(static_cast<unsigned long>(reu >> 10));
    if (packed.c128)
        return line + " and RUN\"" + name + "\" on a C128 (x128 -40col -reu -reusize " + kib + " -reuimage " + image + " " + program + ")";
    return line + ", LOAD\"" + name + "\",8 and RUN on a C64 (x64sc -reu -reusize " + kib + " -reuimage " + image + " " + program + ")";
}

std::string packedTimingLine(const std::string& program, const PackedStream& packed) {
    const PlayerMachine& machine = packed.c128 ? kC128Player : kC64Player;
    const TimingPrediction prediction = predictTiming(packed.work, machine, packed.tickPeriod);
    std::string line = program + " on a PAL " + machine.name + ", by the player's timing model: ";
    if (prediction.late == 0)
        line += "every frame on time (the latest " + formatted("%.0f", 1000 * prediction.latestSeconds) + " ms after its time)";
    else
        line += std::to_string(prediction.late) + " of " + std::to_string(prediction.frames.size()) + " frames late, by up to " +
                formatted("%.0f", 1000 * prediction.latestSeconds) + " ms";
    constexpr double kLimit = 64;
    const double scale = timeKeepingScale(packed.work, machine, packed.tickPeriod, kLimit);
    const double bytesPerSecond = static_cast<double>(packed.stream.size()) / std::max(packed.seconds, 0.01);
    if (scale == 0) return line + "; not even frames without work keep their time at this picture rate";
    if (scale >= kLimit) return line + "; frames like these keep their time up to more than 64 times their work";
    line += "; frames like these keep their time up to about " + formatted("%.0f", bytesPerSecond * scale) + " bytes a second (" +
            formatted("%.2g", scale) + " times their work)";
    if (prediction.late > 0) line += ": vicclip compiles a clip for the player when it writes NAME.prg";
    return line;
}

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
    const StreamPlayback playback{settings.borderColour, settings.fps};
    // Both players play the stream's operations, translated once for the whole stream (the C64's through a
    // plan of its memory made for it), so that a cut's operations are the start of the whole's.
    std::optional<C64Stream> c64;
    CutFits fits;
    StreamOperations c128;
    if (settings.c128) {
        c128 = translateForC128(bytes, stream, playback);
        fits = [&c128](const StreamCut& part) { return c128ReuBytesNeeded(c128, part.frames, part.audioBytes) <= kLargestReu; };
    } else {
        std::string problem;
        c64 = translateForC64(bytes, stream, playback, problem);
        if (!c64) {
            out() << name << ": the C64 cannot show this stream's frames: " << problem << "; --c128 packs it for the C128" << eol;
            return kPackUnusableInput;
        }
        fits = [&c64](const StreamCut& part) {
            return c64ReuBytesNeeded(c64->operations, part.frames, part.audioBytes) <= kLargestReu;
        };
    }
    if (!fits(cut)) return refuseTooLarge(name, stream, settings.fps, std::min(asked, length), fits);

    packed.stream = cutStream(bytes, stream, cut);
    // What is left of a well-formed stream is one of its own.
    if (!cut.whole && !walkStream(packed.stream, stream, fault)) throw std::logic_error("a cut that breaks the stream");
    packed.info = stream.info;
    packed.seconds = std::min(asked, length);
    packed.c128 = settings.c128;
    packed.package = settings.c128 ? streamPackage(packed.stream, stream, playback)
                                   : stream64Package(packed.stream, stream, c64->plan, playback);
    packed.work = framesWork(packed.package.operationPages);
    packed.tickPeriod = streamClock(stream.info, playback, stream.lastFrame(), kPalCycles).period;
    return kPackDone;
}

}  // namespace zov
