// The VIC-II memory image of one picture: bitmap, screen matrix and Color RAM, laid out as in the target
// machine's memory from 0x2000.
#pragma once

#include <cstdint>
#include <memory>

namespace zov {

class VicImage {
public:
    static constexpr int kBlockSize = 10240;
    static constexpr int kBitmapOffset = 0;       // 8000 of 8192 bytes used
    static constexpr int kMatrixOffset = 8192;    // 1000 of 1024 bytes used
    static constexpr int kColourRamOffset = 9216; // 1000 of 1024 bytes used

    /// Frees any previous block and allocates a zero-filled block of 10240 bytes; false when out of memory
    /// (the areas then stay empty).
    bool create();
    /// Frees the block and clears every area pointer.
    void release();
    /// Whether the areas point anywhere.
    bool empty() const { return bitmap == nullptr; }
    /// The owned block, or nullptr.
    std::uint8_t* block() const { return block_.get(); }

    // Where the export writes each area. They point into the owned block, or (for the video encoder's ring
    // slots) into another picture's block.
    std::uint8_t* bitmap = nullptr;
    std::uint8_t* matrix = nullptr;
    std::uint8_t* colourRam = nullptr;

private:
    std::unique_ptr<std::uint8_t[]> block_;
};

}  // namespace zov
