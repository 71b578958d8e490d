#include "frameconv/video/audio_source.h"

#include <climits>
#include <cmath>

namespace zov {

int truncatedInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return static_cast<int>(value);
}

int AudioSource::open(const std::string& path, double rate, double bytesEach, bool twoChannels) {
    if (!(rate > 0) || !(bytesEach > 0)) return 0;
    if (file_ && samplesLeft > 0) return -samplesLeft;
    if (file_) file_->close();
    file_.reset();
    sampleRate = rate;
    bytesPerSample = twoChannels ? bytesEach * 2 : bytesEach;
    samplesLeft = 0;
    file_ = fileSystem().openRead(path);
    if (!file_) return 0;
    samplesLeft = truncatedInt(static_cast<double>(file_->length()) / bytesPerSample);
    level = 0;
    return samplesLeft;
}

int AudioSource::credit(double seconds) {
    if (seconds > 0) level -= sampleRate * bytesPerSample * seconds;
    return truncatedInt(capacity - level);
}

int AudioSource::bytesLeft() const { return truncatedInt(samplesLeft * bytesPerSample); }

int AudioSource::read(std::uint8_t* destination, int n) {
    int available = bytesLeft();
    if (n > available) n = available;
    if (n <= 0 || !file_) return 0;
    int got = static_cast<int>(file_->read(destination, static_cast<std::size_t>(n)));
    level += got;
    samplesLeft -= truncatedInt(got / bytesPerSample);
    return got;
}

double AudioSource::bytesFor(double seconds) const { return sampleRate * bytesPerSample * seconds; }

}  // namespace zov
