// The image file of a RAM expansion unit (REU), as emulators and today's cartridge devices load it: the
// unit's bytes from its address 0, exactly as long as the unit, which is one of the standard sizes from
// 128 KiB to 16 MiB (each twice the one before).
#pragma once

#include <cstdint>

namespace zov {

inline constexpr std::uint64_t kSmallestReu = 128 * 1024;
inline constexpr std::uint64_t kLargestReu = 16 * 1024 * 1024;

/// The smallest standard REU size that holds a number of bytes; 0 when even the largest does not.
inline std::uint64_t reuSizeFor(std::uint64_t bytes) {
    for (std::uint64_t size = kSmallestReu; size <= kLargestReu; size *= 2)
        if (bytes <= size) return size;
    return 0;
}

}  // namespace zov
