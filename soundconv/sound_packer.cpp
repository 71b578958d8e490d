#include "soundconv/sound_packer.h"

#include "common/console/console.h"

#include <cmath>
#include <cstdint>

namespace zov {
namespace {

constexpr std::size_t kWriteBlock = 1024;
constexpr std::uint64_t kDiskBlock = 254;  // payload bytes of one disk block on the target machine
constexpr double kHighestHeaderFrequency = 65536.0;  // the header holds the frequency as 16 bits

/// x truncated towards zero, saturating at the given limits; NaN gives 0.
std::int64_t truncateClamped(double x, std::int64_t low, std::int64_t high) {
    if (std::isnan(x)) return 0;
    if (x <= static_cast<double>(low)) return low;
    if (x >= static_cast<double>(high)) return high;
    return static_cast<std::int64_t>(x);
}

// Interpolated values stay near the input range (a few times 2^31 at most); this bound keeps the sum with
// the offset far from the 64-bit limits.
constexpr std::int64_t kValueLimit = std::int64_t{1} << 62;

void reportWriteError(const FileError& error) { out() << "\r\nWrite error: " << error.what() << eol; }

}  // namespace

SoundPacker::SoundPacker(const SoundOptions& options, std::uint32_t sampleRate, std::int64_t fullScale)
    : options_(options),
      inPeriod_(1.0 / sampleRate),
      outPeriod_(1.0 / options.freq),
      gain_(options.scale * (options.nbits == 8 ? 1.28 : 0.08) / static_cast<double>(fullScale)),
      offset_(static_cast<std::int32_t>(
          truncateClamped(options.bias * static_cast<double>(fullScale) * 0.01, INT32_MIN, INT32_MAX))),
      midpoint_(options.nbits == 8 ? 128 : 8),
      // Several outputs per input only at a rate the header can state (below 65536 Hz): beyond it the step
      // keeps to one output per input, so that a huge rate cannot make an endless file.
      severalPerInput_(options.freq > sampleRate && options.freq < kHighestHeaderFrequency) {}

SoundPacker::OpenResult SoundPacker::openOutput(const std::string& path, bool existed, File& source, bool refused) {
    if (!refused) file_ = existed ? fileSystem().openExisting(path) : fileSystem().create(path);
    if (!file_) {
        source.close();
        out() << "\r\nCouldn't open destination: " << path << eol;
        return OpenResult::NotOpened;
    }
    path_ = path;
    source_ = &source;
    auto header = soundFileHeader(options_.freq, options_.nbits);
    if (!writeBytes(header.data(), header.size())) return OpenResult::HeaderWriteFailed;
    return OpenResult::Opened;
}

bool SoundPacker::takeSample(std::int32_t x) {
    if (failed_) return false;
    beforePrevious_ = previous_;
    previous_ = newest_;
    newest_ = x;
    double tIn = static_cast<double>(inIndex_) * inPeriod_;
    double tOut = static_cast<double>(outIndex_) * outPeriod_;
    // Every output sample that is due by the time of x; more than one only when the output rate is higher.
    while (tIn >= tOut) {
        produce(tIn, tOut);
        if (bufferLength_ == kWriteBlock && !flushFullBuffer()) return false;
        if (!severalPerInput_) break;
        tOut = static_cast<double>(outIndex_) * outPeriod_;
    }
    ++inIndex_;
    return true;
}

void SoundPacker::produce(double tIn, double tOut) {
    std::int64_t y = tIn == tOut ? newest_ : interpolate(tIn, tOut);
    ++outIndex_;
    int v = quantise(y);
    if (v == midpoint_ && recentCount_ >= 2 && recent_[2] == midpoint_ && recent_[1] == midpoint_) ++silent_;
    recent_[0] = recent_[1];
    recent_[1] = recent_[2];
    recent_[2] = v;
    if (recentCount_ < 3) ++recentCount_;
    ++pending_;
    pack(v);
}

std::int64_t SoundPacker::interpolate(double tIn, double tOut) const {
    // A curve through p (u = 0) and g (u = 1) with the slope at p taken from its neighbours l and g.
    double l = inIndex_ >= 2 ? beforePrevious_ : previous_;
    double p = previous_;
    double g = newest_;
    double m = (g - l) * 0.5;
    double u = (tOut - (tIn - inPeriod_)) / inPeriod_;
    double y = p + u * (m + u * (g - p - m));
    return truncateClamped(y, -kValueLimit, kValueLimit);
}

int SoundPacker::quantise(std::int64_t y) {
    double scaled = static_cast<double>(y + offset_) * gain_ + midpoint_;
    auto v = static_cast<std::int32_t>(truncateClamped(scaled, INT32_MIN, INT32_MAX));
    if (v > maxValue_) maxValue_ = v;
    if (v < 0) {
        ++clipped_;
        return 0;
    }
    if (v >= 2 * midpoint_) {
        ++clipped_;
        return 2 * midpoint_ - 1;
    }
    return v;
}

void SoundPacker::pack(int v) {
    if (options_.nbits == 8) {
        buffer_[bufferLength_++] = static_cast<unsigned char>(v);
        pending_ = 0;
    } else if (pending_ == 2) {
        // The earlier sample goes into the low nibble.
        buffer_[bufferLength_++] = static_cast<unsigned char>(recent_[2] * 16 + recent_[1]);
        pending_ = 0;
    }
}

bool SoundPacker::flushFullBuffer() {
    if (!writeBytes(buffer_.data(), bufferLength_)) return false;
    written_ += bufferLength_;
    bufferLength_ = 0;
    return true;
}

bool SoundPacker::writeBytes(const unsigned char* bytes, std::size_t count) {
    try {
        file_->write(bytes, count);
        return true;
    } catch (const FileError& error) {
        reportWriteError(error);
        failed_ = true;
        return false;
    }
}

bool SoundPacker::finishOutput(bool ok) {
    bool flushed = false;
    if (ok && !failed_) {
        flushed = true;
        if (inIndex_ > 0) {
            if (options_.nbits == 4 && pending_ == 1) {
                int v = recent_[2];
                buffer_[bufferLength_++] = static_cast<unsigned char>(v * 16 + v);
                pending_ = 0;
            }
            if (bufferLength_ > 0) {
                flushed = writeBytes(buffer_.data(), bufferLength_);
                if (flushed) written_ += bufferLength_;
                bufferLength_ = 0;
            }
        }
    }
    if (flushed) {
        out() << path_ << " stats: max vol " << maxValue_ << ", clipped " << clipped_ << ", silent "
              << static_cast<double>(silent_) / options_.freq << " seconds." << eol;
    }
    if (source_) source_->close();
    if (options_.verbose) {
        double seconds = static_cast<double>(written_) / options_.freq * 8 / options_.nbits;
        out() << "Wrote " << written_ << " sample bytes (" << seconds << " seconds); " << kSoundHeaderSize
              << " byte overhead; " << (writePosition() + (kDiskBlock - 1)) / kDiskBlock << " blocks" << eol;
    }
    finishLengthField();
    file_->close();
    return !failed_;
}

std::uint64_t SoundPacker::writePosition() {
    try {
        return file_->position();
    } catch (const FileError&) {
        return kSoundHeaderSize + written_;
    }
}

void SoundPacker::finishLengthField() {
    try {
        // Cutting at the write position drops the rest of an older, longer file.
        file_->setLength(file_->position());
        std::uint64_t length = file_->length();
        // A file that did not even get its magic has no length field to fill in.
        if (length < kFileHeadLength) return;
        std::uint8_t field[4];
        putLe32(field, static_cast<std::uint32_t>(length - kFileHeadLength));
        file_->seek(kLengthFieldOffset);
        file_->write(field, sizeof field);
    } catch (const FileError& error) {
        reportWriteError(error);
        failed_ = true;
    }
}

}  // namespace zov
