// Multi-byte numbers in every file the programs read or write are little-endian: these read them from
// bytes and write them into bytes, whatever the host's own order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

inline std::uint16_t readLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t readLe24(const std::uint8_t* p) {
    return readLe16(p) | static_cast<std::uint32_t>(p[2]) << 16;
}
inline std::uint32_t readLe32(const std::uint8_t* p) {
    return readLe24(p) | static_cast<std::uint32_t>(p[3]) << 24;
}

/// The same, at an offset of a whole file's bytes (the caller has checked that they are there).
inline std::uint32_t readU16(const std::vector<std::uint8_t>& bytes, std::size_t at) { return readLe16(&bytes[at]); }
inline std::uint32_t readU24(const std::vector<std::uint8_t>& bytes, std::size_t at) { return readLe24(&bytes[at]); }
inline std::uint32_t readU32(const std::vector<std::uint8_t>& bytes, std::size_t at) { return readLe32(&bytes[at]); }

inline void putLe16(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void putLe24(std::uint8_t* p, std::uint32_t value) {
    putLe16(p, value);
    p[2] = static_cast<std::uint8_t>(value >> 16);
}
inline void putLe32(std::uint8_t* p, std::uint32_t value) {
    putLe24(p, value);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

/// The low byte of a real truncated toward zero (NaN gives 0, huge values saturate first).
inline std::uint8_t lowByteOf(double value) {
    if (std::isnan(value)) return 0;
    const double limited = std::clamp(value, -9.0e15, 9.0e15);
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(limited) & 0xFF);
}
/// A real as 16 bits the way a stream header holds its rates: the value modulo 256, then the value / 256,
/// each truncated toward zero.
inline void putTruncatedLe16(std::uint8_t* p, double value) {
    p[0] = lowByteOf(std::fmod(value, 256.0));
    p[1] = lowByteOf(value / 256.0);
}

inline void appendLe16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void appendLe32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    appendLe16(bytes, value & 0xFFFF);
    appendLe16(bytes, value >> 16);
}

}  // namespace zov
