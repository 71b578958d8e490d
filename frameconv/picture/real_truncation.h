// Conversion of a real to a 32-bit integer by dropping the fraction. Values that do not fit saturate at the
// integer range and NaN gives 0, so that any setting from the command line stays well defined; every
// in-range value converts exactly as a plain cast would.
#pragma once

#include <cstdint>
#include <limits>

namespace zov {

inline std::int32_t truncateSaturating(double value) {
    if (value != value) return 0;
    if (value <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
    if (value >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

}  // namespace zov
