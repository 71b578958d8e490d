// Builds WAVE files in memory and runs soundconv on an in-memory disk, for the soundconv tests.
#pragma once

#include "common/platform/memory_platform.h"
#include "formats/wave_file.h"
#include "soundconv/soundconv_app.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov::test {

using Bytes = std::vector<unsigned char>;

inline void putLe(Bytes& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

inline void putText(Bytes& out, const std::string& text) {
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
}

/// A PCM WAVE file; every field can be set to a wrong value. By default the format chunk is 16 bytes and
/// the data chunk follows it directly (a 44-byte header).
struct WaveBuilder {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 1;
    std::uint32_t sampleRate = 8000;
    std::uint16_t bits = 8;
    int blockAlign = -1;          // -1: channels × bytes per sample
    Bytes formatExtra;            // bytes of the format chunk after its first 16 (the extra count first)
    Bytes betweenChunks;          // bytes between the format chunk and the data chunk
    Bytes samples;                // the sound bytes
    std::int64_t dataLength = -1; // -1: the size of samples
    Bytes trailer;                // bytes after the sound data

    /// Appends each value as one sample of the current size, little-endian (8-bit: stored as given).
    WaveBuilder& add(std::initializer_list<std::int64_t> values) {
        int size = (bits + 7) / 8;
        for (std::int64_t v : values) putLe(samples, static_cast<std::uint64_t>(v), size);
        return *this;
    }

    Bytes build() const {
        int bytesPerSample = (bits + 7) / 8;
        int align = blockAlign >= 0 ? blockAlign : channels * bytesPerSample;
        WaveFormatFields format{formatTag, channels, sampleRate, static_cast<std::uint32_t>(sampleRate * static_cast<std::uint64_t>(align)),
                                static_cast<std::uint16_t>(align), bits};
        Bytes out;
        appendRiffHead(out, 0);
        appendChunkHead(out, kFormatChunkTag, static_cast<std::uint32_t>(kFormatFieldsLength + formatExtra.size()));
        appendFormatFields(out, format);
        out.insert(out.end(), formatExtra.begin(), formatExtra.end());
        out.insert(out.end(), betweenChunks.begin(), betweenChunks.end());
        appendChunkHead(out, kDataChunkTag, static_cast<std::uint32_t>(dataLength >= 0 ? static_cast<std::uint64_t>(dataLength) : samples.size()));
        out.insert(out.end(), samples.begin(), samples.end());
        out.insert(out.end(), trailer.begin(), trailer.end());
        return out;
    }
};

/// The 20-byte header of a ZOV file for a given total length.
inline Bytes zovHeader(std::uint32_t fileLength, int freq = 7812, int nbits = 4) {
    Bytes out;
    putText(out, "ZOVF");
    putLe(out, fileLength - 8, 4);
    out.insert(out.end(), {0x48, 0xC1, 8, 0, 'P', 'C', 'M', static_cast<unsigned char>(nbits == 8 ? 'U' : 'L')});
    putLe(out, static_cast<std::uint64_t>(freq), 2);
    out.insert(out.end(), {static_cast<unsigned char>(nbits), 1});
    return out;
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// The sample bytes of a ZOV file (everything after the header).
inline Bytes sampleBytes(const Bytes& zov) {
    return zov.size() < 20 ? Bytes{} : Bytes(zov.begin() + 20, zov.end());
}

/// An in-memory disk with a capturing console in place for the lifetime of the object.
class SoundRun {
public:
    SoundRun() : use_(&disk, &console) {}

    /// Runs soundconv with "in.wav out.bin" followed by the options; returns the exit code.
    int run(const Bytes& wave, std::vector<std::string> options = {}) {
        disk.addFile("in.wav", wave);
        std::vector<std::string> args = {"soundconv", "in.wav", "out.bin"};
        args.insert(args.end(), options.begin(), options.end());
        return runSoundconv(args);
    }

    Bytes output() const { return disk.contents("out.bin"); }
    Bytes samples() const { return sampleBytes(output()); }
    const std::string& text() const { return console.output(); }

    MemoryFileSystem disk;
    StringConsole console;

private:
    PlatformOverride use_;
};

}  // namespace zov::test
