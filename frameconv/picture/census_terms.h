// The per-pixel terms of the palette census that depend only on the picture and a census setting: the
// scaled luminance, and the two chroma components for a chroma scale and hue offset. They are kept in the
// order in which the census walks the picture, so that every census walks them front to back.
#pragma once

#include <cstdint>
#include <vector>

namespace zov {

struct CensusTerms {
    struct Plane {
        bool valid = false;
        std::uint64_t scaleBits = 0;   // the setting the values were made for, compared bit for bit
        std::uint64_t offsetBits = 0;  // hue offset (chroma only)
        std::int64_t largest = 0;      // the largest magnitude among the values
        std::vector<std::int32_t> x;   // luminance, or the cosine component
        std::vector<std::int32_t> y;   // the sine component (chroma only)
        std::vector<std::int16_t> narrowX, narrowY;  // the same in 16 bits, when every value is small
    };

    bool reuse = false;  // terms live on between censuses only while the planes are known not to change
    Plane luma[2];       // the two luminance scales the colour choice uses (1.0 and 0.95)
    int nextLuma = 0;    // the entry that the next new luminance scale replaces
    Plane chroma;

    void forget() {
        for (Plane& plane : luma) plane.valid = false;
        chroma.valid = false;
    }
};

}  // namespace zov
