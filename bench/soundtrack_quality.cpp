// The quality of a 2-bit sound track: the signal-to-noise ratio of the decoded track against its source
// resampled to the same rate (libsoxr, very high quality, mono), after fitting one gain by least squares.
//
//   soundtrack_quality SOURCE RATE TRACK...
//
// Each TRACK is a raw 2-bit track (four samples a byte, the first in bits 7-6), or, written "u8:FILE", raw
// 8-bit unsigned samples of which only the top two bits are kept (the usual route: an 8-bit resample by
// another tool, then its top bits). The best alignment within ±16 samples is taken, since other resamplers
// may start a sample or two apart. Prints one line per track: name, samples, lag, gain, SNR in dB, and the
// SNR below 1 kHz (both signals low-passed first), where the ear is most sensitive to the rounding noise.
#include "soundtrack/audio_reader.h"
#include "soundtrack/quantiser.h"
#include "soundtrack/resampler.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using zov::levelValue;

bool readReference(const std::string& path, double rate, std::vector<double>& reference) {
    zov::AudioReader reader;
    zov::Resampler resampler;
    std::string problem;
    if (!reader.open(path, problem) || !resampler.start(reader.rate(), rate, problem)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), problem.c_str());
        return false;
    }
    const zov::Resampler::Output keep = [&reference](const double* samples, std::size_t count) {
        reference.insert(reference.end(), samples, samples + count);
        return true;
    };
    std::vector<double> block;
    while (reader.readMono(block, 65536) > 0) resampler.push(block, keep);
    resampler.finish(keep);
    return true;
}

bool readTrack(const std::string& name, std::vector<double>& decoded) {
    bool eightBit = name.rfind("u8:", 0) == 0;
    std::string path = eightBit ? name.substr(3) : name;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (unsigned char byte : bytes) {
        if (eightBit) {
            decoded.push_back(levelValue(byte >> 6));
        } else {
            for (int shift = 6; shift >= 0; shift -= 2) decoded.push_back(levelValue((byte >> shift) & 3u));
        }
    }
    return true;
}

struct Fit {
    int lag = 0;
    double gain = 0;
    double snr = -INFINITY;
};

// Compares reference[i] with decoded[i + lag] over the samples both have.
Fit fitAt(const std::vector<double>& reference, const std::vector<double>& decoded, int lag) {
    double rd = 0, dd = 0, rr = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        long j = static_cast<long>(i) + lag;
        if (j < 0 || j >= static_cast<long>(decoded.size())) continue;
        rd += reference[i] * decoded[j];
        dd += decoded[j] * decoded[j];
        rr += reference[i] * reference[i];
    }
    Fit fit;
    fit.lag = lag;
    if (dd <= 0 || rr <= 0) return fit;
    fit.gain = rd / dd;
    double residual = rr - fit.gain * rd;  // |r - g d|² at the least-squares gain
    fit.snr = 10 * std::log10(rr / residual);
    return fit;
}

// A linear-phase low-pass (Hann-windowed sinc, 255 taps) at cutoff hertz: the same delay for both signals.
std::vector<double> lowPassed(const std::vector<double>& signal, double cutoff, double rate) {
    const int half = 127;
    std::vector<double> taps(2 * half + 1);
    double sum = 0;
    for (int k = -half; k <= half; ++k) {
        double x = 2 * cutoff / rate * k;
        double sinc = k == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
        double window = 0.5 + 0.5 * std::cos(M_PI * k / (half + 1));
        taps[static_cast<std::size_t>(k + half)] = sinc * window;
        sum += sinc * window;
    }
    std::vector<double> out(signal.size(), 0.0);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        double acc = 0;
        for (int k = -half; k <= half; ++k) {
            long j = static_cast<long>(i) + k;
            if (j >= 0 && j < static_cast<long>(signal.size())) acc += taps[static_cast<std::size_t>(k + half)] * signal[j];
        }
        out[i] = acc / sum;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: soundtrack_quality SOURCE RATE TRACK|u8:FILE...\n");
        return 1;
    }
    double rate = std::atof(argv[2]);
    std::vector<double> reference;
    if (!readReference(argv[1], rate, reference)) return 2;
    for (int a = 3; a < argc; ++a) {
        std::vector<double> decoded;
        if (!readTrack(argv[a], decoded)) {
            std::fprintf(stderr, "%s: cannot be read\n", argv[a]);
            return 2;
        }
        Fit best;
        for (int lag = -16; lag <= 16; ++lag) {
            Fit fit = fitAt(reference, decoded, lag);
            if (fit.snr > best.snr) best = fit;
        }
        Fit low = fitAt(lowPassed(reference, 1000, rate), lowPassed(decoded, 1000, rate), best.lag);
        std::printf("%-24s %8zu samples  lag %+3d  gain %7.4f  SNR %6.2f dB  below 1 kHz %6.2f dB\n", argv[a],
                    decoded.size(), best.lag, best.gain, best.snr, low.snr);
    }
    return 0;
}
