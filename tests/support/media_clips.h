// Media files made for a test by the ffmpeg program from its own sources (testsrc2 pictures, sine tones), and
// damaged copies of them.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zov::testing {

inline bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

/// Runs ffmpeg quietly with the arguments (input options, then output options and the output path);
/// true when it succeeded.
inline bool runFfmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -v error -y " + arguments + " </dev/null").c_str()) == 0;
}

/// The lavfi input of testsrc2 pictures of the given size, rate and length.
inline std::string testPictures(const std::string& size, double rate, double seconds) {
    return "-f lavfi -i testsrc2=size=" + size + ":rate=" + std::to_string(rate) + ":duration=" + std::to_string(seconds);
}

/// The lavfi input of a sine tone.
inline std::string testTone(double hertz, int sampleRate, double seconds) {
    return "-f lavfi -i sine=frequency=" + std::to_string(hertz) + ":sample_rate=" + std::to_string(sampleRate) +
           ":duration=" + std::to_string(seconds);
}

inline std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void saveBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

/// The first part of a file, as a download that broke off leaves it.
inline void saveCut(const std::string& from, const std::string& to, double share) {
    std::vector<unsigned char> bytes = fileBytes(from);
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * share));
    saveBytes(to, bytes);
}

/// A copy whose middle half has every seventh byte changed.
inline void saveCorrupted(const std::string& from, const std::string& to) {
    std::vector<unsigned char> bytes = fileBytes(from);
    for (std::size_t i = bytes.size() / 4; i < bytes.size() * 3 / 4; i += 7) bytes[i] ^= 0x5A;
    saveBytes(to, bytes);
}

}  // namespace zov::testing
