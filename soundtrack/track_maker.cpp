#include "soundtrack/track_maker.h"

#include "common/console/console.h"
#include "common/platform/spool_file.h"
#include "soundtrack/audio_reader.h"
#include "soundtrack/resampler.h"
#include "soundtrack/track_level.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zov {
namespace {

constexpr std::size_t kReadBlock = 65536;  // samples converted at a time

/// Rounds samples and packs them into the sink.
class Rounding {
public:
    Rounding(double gain, Dither dither, TrackSink& sink) : quantiser_(gain, dither), sink_(sink) {}

    bool add(const double* samples, std::size_t count) {
        levels_.clear();
        bytes_.clear();
        quantiser_.add(samples, count, levels_);
        packer_.add(levels_, bytes_);
        return flush();
    }
    bool finish() {
        bytes_.clear();
        packer_.finish(bytes_);
        return flush();
    }
    std::uint64_t limited() const { return quantiser_.limited(); }
    std::uint64_t bytes() const { return written_; }

private:
    bool flush() {
        written_ += bytes_.size();
        return bytes_.empty() || sink_.put(bytes_);
    }
    TrackQuantiser quantiser_;
    LevelPacker packer_;
    TrackSink& sink_;
    std::vector<std::uint8_t> levels_, bytes_;
    std::uint64_t written_ = 0;
};

/// Opens the input and reads up to --start. kTrackDone with the first block after it in block.
int openAtStart(AudioReader& reader, const TrackSettings& settings, std::vector<double>& block) {
    std::string problem;
    if (!reader.open(settings.input, problem, settings.stream)) {
        out() << settings.input << ": " << problem << eol;
        return kTrackUnusableInput;
    }
    const auto startSample = static_cast<std::uint64_t>(std::llround(settings.start * reader.rate()));
    while (reader.samplesRead() < startSample) {
        const std::uint64_t left = startSample - reader.samplesRead();
        if (reader.readMono(block, static_cast<std::size_t>(std::min<std::uint64_t>(left, kReadBlock))) == 0) break;
    }
    if (reader.samplesRead() >= startSample && reader.readMono(block, kReadBlock) > 0) return kTrackDone;
    if (!reader.breakOff().empty()) {
        out() << settings.input << ": " << reader.breakOff() << eol;
    } else if (reader.samplesRead() == 0) {
        out() << settings.input << ": the sound holds no samples" << eol;
    } else {
        out() << settings.input << ": --start " << formatted("%g", settings.start) << " s is past its end ("
              << formatted("%.3f", static_cast<double>(reader.samplesRead()) / reader.rate()) << " s)" << eol;
    }
    return kTrackUnusableInput;
}

/// Reads the selected part of the input, mono at the output rate, and hands it to take(samples, count) piece
/// by piece. Its first sample stands for the time --start; --length counts output samples. Returns the
/// samples made, or nothing after printing why there are none (or why the input ended before the samples
/// wanted: where it breaks off).
template <class Take>
std::optional<std::uint64_t> resampleInput(const TrackSettings& settings, Take take) {
    AudioReader reader;
    std::vector<double> block;
    if (openAtStart(reader, settings, block) != kTrackDone) return std::nullopt;
    Resampler resampler;
    std::string problem;
    if (!resampler.start(reader.rate(), settings.rate, problem)) {
        out() << settings.input << ": " << problem << eol;
        return std::nullopt;
    }
    const std::uint64_t wanted = settings.length ? static_cast<std::uint64_t>(std::llround(*settings.length * settings.rate))
                                                 : std::numeric_limits<std::uint64_t>::max();
    std::uint64_t made = 0;
    bool refused = false;
    const Resampler::Output output = [&](const double* samples, std::size_t count) {
        const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(count, wanted - made));
        made += kept;
        refused = kept > 0 && !take(samples, kept);
        return !refused && made < wanted;
    };
    while (made < wanted && !refused) {
        if (block.empty()) {
            resampler.finish(output);
            break;
        }
        if (resampler.push(block, output)) reader.readMono(block, kReadBlock);
    }
    if (refused) return made;
    if (made < wanted && !reader.breakOff().empty()) {
        out() << settings.input << ": " << reader.breakOff() << eol;
        return std::nullopt;
    }
    if (made == 0) {
        out() << settings.input << ": too short for one sample at " << settings.rate << " Hz from --start "
              << formatted("%g", settings.start) << " s" << eol;
        return std::nullopt;
    }
    return made;
}

/// Reads every sample of the spool in order, block by block.
template <class Take>
bool replay(const SpoolFile& spool, Take take, std::string& problem) {
    std::vector<double> block;
    for (std::uint64_t at = 0; at < spool.size();) {
        block.resize(kReadBlock);
        const std::size_t got = spool.read(at, block.data(), kReadBlock * sizeof(double));
        if (got == 0) {
            problem = "the temporary file of the samples cannot be read";
            return false;
        }
        at += got;
        if (!take(block.data(), got / sizeof(double))) return false;
    }
    return true;
}

int holdingFailed(const std::string& problem) {
    out() << problem << eol;
    return kTrackWriteFailed;
}

}  // namespace

int makeTrack(const TrackSettings& settings, TrackSink& sink, TrackSummary& summary) {
    summary = TrackSummary{};
    summary.automatic = !settings.gainDecibels;
    bool sinkRefused = false;
    if (!summary.automatic) {  // one pass: every sample is rounded as it comes
        summary.gain = gainFactor(*settings.gainDecibels);
        Rounding rounding(summary.gain, settings.dither, sink);
        auto made = resampleInput(settings, [&](const double* samples, std::size_t count) {
            return !(sinkRefused = !rounding.add(samples, count));
        });
        if (!made) return kTrackUnusableInput;
        if (sinkRefused || !rounding.finish()) return kTrackWriteFailed;
        summary.samples = *made;
        summary.limited = rounding.limited();
        summary.bytes = rounding.bytes();
        return kTrackDone;
    }

    // The level: the samples are measured while they go to the spool, measured again from it, and then
    // rounded from it.
    SpoolFile spool("the samples");
    std::string problem;
    if (!spool.start(problem)) return holdingFailed(problem);
    LoudestWindow loudest(settings.rate);
    bool spoolFailed = false;
    auto made = resampleInput(settings, [&](const double* samples, std::size_t count) {
        loudest.add(samples, count);
        return !(spoolFailed = !spool.append(samples, count * sizeof(double), problem));
    });
    if (!made) return kTrackUnusableInput;
    if (spoolFailed) return holdingFailed(problem);
    ActiveLevel level(settings.rate, loudest.power());
    auto measure = [&](const double* samples, std::size_t count) {
        level.add(samples, count);
        return true;
    };
    if (!replay(spool, measure, problem)) return holdingFailed(problem);
    summary.gain = gainForRms(level.rms());
    Rounding rounding(summary.gain, settings.dither, sink);
    auto round = [&](const double* samples, std::size_t count) { return !(sinkRefused = !rounding.add(samples, count)); };
    if (!replay(spool, round, problem)) return sinkRefused ? kTrackWriteFailed : holdingFailed(problem);
    if (!rounding.finish()) return kTrackWriteFailed;
    summary.samples = *made;
    summary.limited = rounding.limited();
    summary.bytes = rounding.bytes();
    return kTrackDone;
}

}  // namespace zov
