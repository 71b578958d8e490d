#include "soundtrack/audio_reader.h"

#include <sndfile.h>

#include <cstdio>

namespace zov {
namespace {

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
    return sf_seek(sound_, static_cast<sf_count_t>(frame), SEEK_SET) == static_cast<sf_count_t>(frame);
}

std::size_t AudioReader::readMono(std::vector<double>& mono, std::size_t count) {
    interleaved_.resize(count * static_cast<std::size_t>(channels_));
    sf_count_t got = sf_readf_double(sound_, interleaved_.data(), static_cast<sf_count_t>(count));
    std::size_t frames = got > 0 ? static_cast<std::size_t>(got) : 0;
    mono.resize(frames);
    const double* sample = interleaved_.data();
    for (std::size_t i = 0; i < frames; ++i) {
        double sum = 0;
        for (int c = 0; c < channels_; ++c) sum += *sample++;
        mono[i] = sum / channels_;
    }
    return frames;
}

}  // namespace zov
