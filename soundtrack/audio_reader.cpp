#include "soundtrack/audio_reader.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zov {
namespace {

constexpr std::size_t kMostSamples = std::size_t{1} << 20;
constexpr double kLargest = 1e6;  // 120 dB above full scale

// libsndfile reads through these, so the file comes from the platform's file system (and the tests' disk).
// Nothing may be thrown through the library's C code: a failing call answers -1 or 0.
File& fileOf(void* user) { return *static_cast<File*>(user); }

sf_count_t fileLength(void* user) {
    try {
        return static_cast<sf_count_t>(fileOf(user).length());
    } catch (const FileError&) {
        return -1;
    }
}

sf_count_t fileSeek(sf_count_t offset, int whence, void* user) {
    try {
        File& file = fileOf(user);
        sf_count_t base = 0;
        if (whence == SEEK_CUR) base = static_cast<sf_count_t>(file.position());
        if (whence == SEEK_END) base = static_cast<sf_count_t>(file.length());
        sf_count_t to = base + offset;
        if (to < 0) return -1;
        file.seek(static_cast<std::uint64_t>(to));
        return to;
    } catch (const FileError&) {
        return -1;
    }
}

sf_count_t fileRead(void* dst, sf_count_t count, void* user) {
    if (count <= 0) return 0;
    return static_cast<sf_count_t>(fileOf(user).read(dst, static_cast<std::size_t>(count)));
}

sf_count_t fileWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t fileTell(void* user) {
    try {
        return static_cast<sf_count_t>(fileOf(user).position());
    } catch (const FileError&) {
        return -1;
    }
}

SF_VIRTUAL_IO platformIo = {fileLength, fileSeek, fileRead, fileWrite, fileTell};

}  // namespace

AudioReader::AudioReader() = default;

AudioReader::~AudioReader() {
    if (sound_) sf_close(sound_);
}

bool AudioReader::open(const std::string& path, std::string& problem) {
    file_ = fileSystem().openRead(path);
    if (!file_) {
        problem = "cannot be opened for reading";
        return false;
    }
    SF_INFO info{};
    sound_ = sf_open_virtual(&platformIo, SFM_READ, &info, file_.get());
    if (!sound_) {
        problem = std::string("not an audio file that libsndfile reads (") + sf_strerror(nullptr) + ")";
        return false;
    }
    rate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = info.frames;
    if (channels_ < 1) {
        problem = "the file has no channels";
        return false;
    }
    if (rate_ < 1) {
        problem = "the file names a sample rate of " + std::to_string(rate_) + " Hz";
        return false;
    }
    if (frames_ < 1) {
        problem = "the file holds no samples";
        return false;
    }
    // Integer samples come as ±1 full scale; floating-point ones as they are stored (peaks above 1 are
    // limited later, with the level).
    sf_command(sound_, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    return true;
}

bool AudioReader::seek(std::int64_t frame) {
    if (sf_seek(sound_, static_cast<sf_count_t>(frame), SEEK_SET) == static_cast<sf_count_t>(frame)) return true;
    // A file that cannot seek is read up to the frame instead (only from the start, right after opening).
    std::vector<double> skipped;
    for (std::int64_t left = frame; left > 0;) {
        std::size_t got = readMono(skipped, static_cast<std::size_t>(std::min<std::int64_t>(left, 65536)));
        if (got == 0) return false;
        left -= static_cast<std::int64_t>(got);
    }
    return true;
}

std::size_t AudioReader::readMono(std::vector<double>& mono, std::size_t count) {
    // At most about a million samples at a time, however many channels the file has.
    count = std::max<std::size_t>(1, std::min(count, kMostSamples / static_cast<std::size_t>(channels_)));
    interleaved_.resize(count * static_cast<std::size_t>(channels_));
    sf_count_t got = sf_readf_double(sound_, interleaved_.data(), static_cast<sf_count_t>(count));
    std::size_t frames = got > 0 ? static_cast<std::size_t>(got) : 0;
    mono.resize(frames);
    const double* sample = interleaved_.data();
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0;
        for (int c = 0; c < channels_; ++c) sum += *sample++;
        // A floating-point file may hold NaN or infinities: they play as silence, and huge values are held
        // where their squares cannot overflow the level's sums.
        double value = sum / channels_;
        mono[i] = std::isfinite(value) ? std::clamp(value, -kLargest, kLargest) : 0.0;
    }
    return frames;
}

}  // namespace zov
