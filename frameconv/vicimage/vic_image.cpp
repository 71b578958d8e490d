#include "frameconv/vicimage/vic_image.h"

#include <new>

namespace zov {

bool VicImage::create() {
    release();
    block_.reset(new (std::nothrow) std::uint8_t[kBlockSize]());
    if (!block_) return false;
    bitmap = block_.get() + kBitmapOffset;
    matrix = block_.get() + kMatrixOffset;
    colourRam = block_.get() + kColourRamOffset;
    return true;
}

void VicImage::release() {
    block_.reset();
    bitmap = matrix = colourRam = nullptr;
}

}  // namespace zov
