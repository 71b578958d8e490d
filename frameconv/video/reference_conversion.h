// Conversion of a new video frame with the frames the player already holds as references: wherever a
// block of the new picture can be shown, within a small luminance tolerance, by pixels a ring slot already
// shows (same card column, a few pixel rows higher or lower), those pixels are taken over; every other
// pixel is dithered as usual. Fewer bitmap bytes then change from one frame to the next.
#pragma once

#include "frameconv/picture/quant_stats.h"
#include "frameconv/video/frame_store.h"

#include <cstdint>
#include <vector>

namespace zov {

/// The block of an earlier frame chosen to stand in for a block of the new picture.
struct BlockMatch {
    bool found = false;
    int height = 0;        // block rows, 8 down to 4
    int subRow = 0;        // first block row inside the card row
    int shift = 0;         // source rows start this many rows below the card row's top (may be negative)
    int source = -1;       // ring slot the pixels come from
    std::int32_t score = 0;  // sum of the tested luminance differences
    double value = 0;        // |score| per pixel
};

inline constexpr int kBlockTolerance = 20;  // luminance steps, per pixel and per block average

/// Finds, for one card column at a time, the block of an earlier frame that best stands in for the new
/// picture's pixels there. The chosen reference slot is read through the working slot, as it stands at
/// the moment of the search.
class BlockSearch {
public:
    BlockSearch(const FrameStore& store, const VicPicture& picture, int referenceSlot);

    /// The winner for card row top `top` and card column starting at pixel column `column`, if any.
    BlockMatch find(int top, int column);

    /// The slot whose planes stand for ring slot v: the working slot for the reference slot.
    static const FrameSlot& sourceOf(const FrameStore& store, int referenceSlot, int v) {
        return v == referenceSlot ? store.workingSlot() : store.slot(v);
    }

private:
    struct Source {
        int slot;
        const std::uint8_t* luminance;
        const std::int16_t* roles;
        bool roleAgrees[4];  // the source's colour for the role equals the new picture's
    };

    // The new picture's eight rows of the card column: luminance and carried error (the dither word
    // arithmetically shifted right by 6).
    struct NewRows {
        std::int16_t luminance[8][8];
        std::int16_t carry[8][8];
    };
    // One source's row scores summed along each diagonal (source row − new row + 14): entry [n][t] sums
    // the scores of new rows 0 .. n − 1 on diagonal t, and counts the rows among them that fail.
    struct DiagonalSums {
        std::int16_t sum[9][24];
        std::int16_t failures[9][24];
    };

    // The block of all eight rows at shift 0: false when a pixel fails, else its score in total.
    bool wholeBlockScore(const Source& source, std::int32_t& total) const;
    template <int kWidth>
    void scoreRows(const Source& source, const NewRows& fresh, DiagonalSums& diagonals) const;

    const VicPicture& picture_;
    std::vector<Source> sources_;
    std::vector<DiagonalSums> diagonals_;
    int top_ = 0;
    int column_ = 0;
};

/// Converts the new picture against ring slot k, which the working slot has the placement of, and leaves
/// the frame in the working slot (luminance, pixel roles, colour arrays, role colours), marked valid and
/// not drained. Returns the dithering record of the whole frame; its copied pixels count the pixels taken
/// over (1 when none were).
QuantStats convertWithReference(FrameStore& store, VicPicture& picture, int referenceSlot);

}  // namespace zov
