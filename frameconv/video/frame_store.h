// The converter's model of the player's frame buffers: a ring of slots, each a complete picture that the
// player shows, placed once in the target machine's memory, plus one working slot in which every new frame
// is prepared.
#pragma once

#include "frameconv/picture/vic_picture.h"

#include <cstdint>
#include <memory>

namespace zov {

/// One frame buffer of the player: the picture it holds and where it lies in target memory.
class FrameSlot : public VicPicture {
public:
    /// Offset of the Color RAM bytes in the working buffer: always outside the coded stretch.
    static constexpr std::int32_t kColourPosition = 9216;

    /// Takes over the picture's conversion settings, geometry (size, card grid, mode), colours and whether it
    /// is grey, clears the valid flag and allocates fresh zero-filled planes, dither words and colour arrays.
    /// 0, or 1 when an allocation fails.
    int takeSettings(const VicPicture& picture);

    /// Takes over another slot's placement (addresses, region and buffer positions). When this slot owns a
    /// VIC-II buffer, its image areas are aimed at those positions inside it.
    void takePlacement(const FrameSlot& other);

    /// Aims the image areas at this slot's buffer positions inside a 10240-byte VIC-II buffer.
    void aimImageInto(std::uint8_t* buffer);

    /// Set once the slot holds an accepted frame; the picture's first-frame flag serves as the mark.
    bool valid() const { return firstFrameLoaded != 0; }

    std::uint8_t drained = 0;           // every coded byte of the latest frame was handed out
    std::int32_t imageIndex = -1;       // which target memory image holds this buffer
    std::uint32_t bitmapAddress = 0;    // target address of card row 0 of the bitmap
    std::uint32_t screenAddress = 0;    // target address of row 0 of the screen matrix
    std::uint32_t regionStart = 0;      // first target address coded for each frame
    std::uint32_t regionLength = 0;     // bytes coded for each frame
    std::uint32_t regionLengthWithColour = 0;  // plus the picture's Color RAM bytes when those are used

    // Offsets inside the working slot's VIC-II buffer where the export puts this buffer's areas; the
    // bitmap and screen matrix keep their distance in target memory, so one stretch of the buffer is the
    // region byte for byte.
    std::int32_t bitmapPosition = 0;
    std::int32_t screenPosition = 0;
    std::int32_t colourPosition = kColourPosition;
};

/// The ring of frame slots and the working slot.
class FrameStore {
public:
    /// Creates ringSize + 1 default slots (the last is the working slot); the current slot becomes the
    /// last ring slot. 0, 2 for a ring size below 1, 1 when memory runs out.
    int allocate(int ringSize);

    /// Gives every ring slot the picture's settings and fixes where its bitmap, screen matrix and coded
    /// region lie in target memory. Colour flags: bit 0 Color RAM, bit 1 screen matrix. The layout flags
    /// name the bitmap layout, the only one there is. 0, 1 out of memory, 3 when the ring does not fit
    /// into the images.
    int place(const VicPicture& picture, int layoutFlags, int colourFlags, int imageCount);

    /// Gives the working slot the picture's settings and its own VIC-II buffer, into which every ring
    /// slot's image areas are aimed. 0, or 1 out of memory.
    int setUpWorkingSlot(const VicPicture& picture);

    int ringSize() const { return ringSize_; }
    int slotCount() const { return ringSize_ + 1; }
    /// Slot i, 0 <= i <= ring size; the slot with index ring size is the working slot.
    FrameSlot& slot(int i) { return slots_[i]; }
    const FrameSlot& slot(int i) const { return slots_[i]; }
    FrameSlot& workingSlot() { return slots_[ringSize_]; }
    const FrameSlot& workingSlot() const { return slots_[ringSize_]; }

    /// The ring slot that holds the most recently accepted frame.
    int currentSlot() const { return currentSlot_; }
    void setCurrentSlot(int i) { currentSlot_ = i; }

private:
    int ringSize_ = 0;
    int currentSlot_ = 0;
    std::unique_ptr<FrameSlot[]> slots_;
};

}  // namespace zov
