#include "frameconv/video/frame_store.h"

#include "formats/target_memory.h"

#include <algorithm>
#include <new>

namespace zov {

namespace {

template <typename T>
bool allocateZeroed(std::unique_ptr<T[]>& buffer, std::int64_t count) {
    buffer.reset();
    if (count < 0) return false;
    buffer.reset(new (std::nothrow) T[static_cast<std::size_t>(count)]());
    return buffer != nullptr;
}

constexpr std::uint32_t kBlock8K = 8192;
constexpr std::uint32_t kBank = 16384;
constexpr std::uint32_t kKiB = 1024;

std::uint32_t bankOf(std::uint32_t address) { return address / kBank; }

// The sizes that decide a slot's placement, all in bytes.
struct PlacementSizes {
    std::uint32_t topRow;          // T: empty card rows above the picture
    std::uint32_t rows;            // R: the picture's card rows
    std::uint32_t bitmapEnd;       // e: bitmap bytes from card row 0 to the end of the picture
    std::uint32_t pictureBytes;    // f: bitmap bytes of the picture's own rows
    std::uint32_t bitmapSpan;      // g: e rounded up to whole KiB
    std::uint32_t emptyTop() const { return bitmapEnd - pictureBytes; }
    std::uint32_t matrixEnd() const { return (topRow + rows) * 40; }
};

PlacementSizes sizesOf(const VicPicture& picture) {
    PlacementSizes sizes{};
    const int top = std::clamp(picture.geometry.topCardRow, 0, 25);  // a screen has 25 card rows
    sizes.topRow = static_cast<std::uint32_t>(top);
    sizes.rows = static_cast<std::uint32_t>(std::clamp(picture.geometry.heightInCards, 0, 25 - top));
    sizes.bitmapEnd = (sizes.topRow + sizes.rows) * 320;
    sizes.pictureBytes = sizes.rows * 320;
    sizes.bitmapSpan = (sizes.bitmapEnd + kKiB - 1) / kKiB * kKiB;
    return sizes;
}

// Walks the target memory from its lowest codable address, handing each ring slot the first place where
// its bitmap and screen matrix fit into one VIC-II bank without touching the slots before it.
class Placer {
public:
    Placer(const PlacementSizes& sizes, bool screenUsed, int imageCount)
        : sizes_(sizes), screenUsed_(screenUsed), imageCount_(imageCount) {}

    // Places one slot; false when the images are full.
    bool placeNext(FrameSlot& slot) {
        floor_ = candidate_;  // nothing of this slot may lie below what the earlier slots reached
        for (;;) {
            switch (tryPlace(slot)) {
            case Outcome::Placed:
                return true;
            case Outcome::NextBank:
                if (candidate_ < kTargetEnd) {
                    candidate_ = candidate_ / kBank * kBank;
                    continue;
                }
                [[fallthrough]];
            case Outcome::NextImage:
                if (++image_ >= imageCount_) return false;
                candidate_ = kTargetBase;
                floor_ = kTargetBase;
                continue;
            }
        }
    }

private:
    enum class Outcome { Placed, NextBank, NextImage };

    Outcome tryPlace(FrameSlot& slot) {
        bool screenBelow = false;
        const std::uint32_t pastBoundary = candidate_ % kBlock8K;
        if (pastBoundary != 0) {
            if (pastBoundary <= sizes_.emptyTop()) {
                candidate_ -= pastBoundary;  // only the bitmap's empty top rows lie below the candidate
            } else {
                const std::uint32_t boundary = candidate_ - pastBoundary + kBlock8K;
                if (screenUsed_) {
                    slot.screenAddress = boundary - kKiB;
                    slot.imageIndex = image_;
                    screenBelow = true;
                }
                candidate_ = boundary;
            }
        }
        if (candidate_ >= kTargetEnd) return Outcome::NextImage;
        // A bitmap opening a bank cannot use a screen matrix left in the bank below.
        if (candidate_ % kBank == 0 && screenBelow) return Outcome::NextBank;

        slot.bitmapAddress = candidate_;
        slot.imageIndex = image_;
        candidate_ += sizes_.bitmapSpan;
        if (candidate_ > kTargetEnd) return Outcome::NextImage;
        if (!screenUsed_ || screenBelow) return Outcome::Placed;

        if (matrixFitsInEmptyTopRows(slot.bitmapAddress)) {
            slot.screenAddress = slot.bitmapAddress;
            return Outcome::Placed;
        }
        if (bankOf(candidate_) == bankOf(slot.bitmapAddress)) {
            slot.screenAddress = candidate_;
            candidate_ += kKiB;
            return candidate_ <= kTargetEnd ? Outcome::Placed : Outcome::NextBank;
        }
        return Outcome::NextBank;
    }

    // The matrix may share the bitmap's first rows when they are empty, the bitmap lies in the image,
    // and the matrix rows in use do not reach down into the slot placed before.
    bool matrixFitsInEmptyTopRows(std::uint32_t bitmapAddress) const {
        return sizes_.emptyTop() >= sizes_.matrixEnd() && bitmapAddress >= kTargetBase &&
               bitmapAddress + sizes_.topRow * 40 >= floor_;
    }

    const PlacementSizes sizes_;
    const bool screenUsed_;
    const int imageCount_;
    std::uint32_t candidate_ = kTargetBase;  // the address tried next for a slot's bitmap
    std::uint32_t floor_ = kTargetBase;
    int image_ = 0;
};

// The coded region of a placed slot and where its areas go in the working buffer.
void setRegion(FrameSlot& slot, const PlacementSizes& sizes, bool screenUsed, bool colourRamUsed) {
    const std::uint32_t T = sizes.topRow;
    if (!screenUsed) {
        slot.regionStart = slot.bitmapAddress + T * 320;
        slot.regionLength = sizes.pictureBytes;
        slot.bitmapPosition = 0;
        slot.screenPosition = static_cast<std::int32_t>(sizes.bitmapSpan);
    } else if (slot.screenAddress > slot.bitmapAddress) {
        slot.regionStart = slot.bitmapAddress + T * 320;
        slot.regionLength = sizes.bitmapSpan - T * 320 + sizes.matrixEnd();
        slot.bitmapPosition = 0;
        slot.screenPosition = static_cast<std::int32_t>(sizes.bitmapSpan);
    } else if (slot.screenAddress == slot.bitmapAddress) {
        slot.regionStart = slot.screenAddress + T * 40;
        slot.regionLength = sizes.bitmapEnd - T * 40;
        slot.bitmapPosition = 0;
        slot.screenPosition = 0;
    } else {
        slot.regionStart = slot.screenAddress + T * 40;
        slot.regionLength = sizes.bitmapEnd - T * 40 + kKiB;
        slot.bitmapPosition = static_cast<std::int32_t>(kKiB);
        slot.screenPosition = 0;
    }
    slot.colourPosition = FrameSlot::kColourPosition;
    slot.regionLengthWithColour = slot.regionLength + (colourRamUsed ? sizes.rows * 40 : 0);
}

}  // namespace

// ---- FrameSlot ------------------------------------------------------------------------------------------

int FrameSlot::takeSettings(const VicPicture& picture) {
    settings = picture.settings;
    geometry = picture.geometry;
    colours = picture.colours;
    monochrome = picture.monochrome;
    firstFrameLoaded = 0;

    const std::int32_t size = geometry.paddedSize;
    const std::int64_t cards = std::int64_t{geometry.widthInCards} * geometry.heightInCards;
    bool ok = allocateZeroed(planes.luminancePlane, size) && allocateZeroed(planes.lumaDither, size) &&
              allocateZeroed(cardColours.colourMatrix, cards) && allocateZeroed(cardColours.colourRam, cards);
    if (monochrome) {
        planes.huePlane.reset();
        planes.saturationPlane.reset();
    } else {
        ok = ok && allocateZeroed(planes.huePlane, size) && allocateZeroed(planes.saturationPlane, size);
    }
    return ok ? 0 : 1;
}

void FrameSlot::takePlacement(const FrameSlot& other) {
    imageIndex = other.imageIndex;
    bitmapAddress = other.bitmapAddress;
    screenAddress = other.screenAddress;
    regionStart = other.regionStart;
    regionLength = other.regionLength;
    regionLengthWithColour = other.regionLengthWithColour;
    bitmapPosition = other.bitmapPosition;
    screenPosition = other.screenPosition;
    colourPosition = other.colourPosition;
    if (image.block() != nullptr) aimImageInto(image.block());
}

void FrameSlot::aimImageInto(std::uint8_t* buffer) {
    image.bitmap = buffer + bitmapPosition;
    image.matrix = buffer + screenPosition;
    image.colourRam = buffer + colourPosition;
}

// ---- FrameStore -----------------------------------------------------------------------------------------

int FrameStore::allocate(int ringSize) {
    if (ringSize < 1) return 2;
    slots_.reset();
    ringSize_ = 0;
    currentSlot_ = 0;
    slots_.reset(new (std::nothrow) FrameSlot[static_cast<std::size_t>(ringSize) + 1]);
    if (!slots_) return 1;
    ringSize_ = ringSize;
    currentSlot_ = ringSize - 1;
    return 0;
}

int FrameStore::setUpWorkingSlot(const VicPicture& picture) {
    if (!slots_) return 1;
    FrameSlot& working = workingSlot();
    if (working.takeSettings(picture) != 0) return 1;
    if (!working.image.create()) return 1;
    return 0;
}

int FrameStore::place(const VicPicture& picture, int /*layoutFlags*/, int colourFlags, int imageCount) {
    if (!slots_) return 1;
    const PlacementSizes sizes = sizesOf(picture);
    const bool colourRamUsed = (colourFlags & 1) != 0;
    const bool screenUsed = (colourFlags & 2) != 0;
    std::uint8_t* workingBuffer = workingSlot().image.block();

    Placer placer(sizes, screenUsed, imageCount);
    for (int j = 0; j < ringSize_; ++j) {
        FrameSlot& slot = slots_[j];
        if (slot.takeSettings(picture) != 0) return 1;
        if (!placer.placeNext(slot)) return 3;
        setRegion(slot, sizes, screenUsed, colourRamUsed);
        if (workingBuffer != nullptr) slot.aimImageInto(workingBuffer);
    }
    return 0;
}

}  // namespace zov
