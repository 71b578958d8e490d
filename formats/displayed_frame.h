// What the VIC-II shows after a coded frame: the Frame command's register values say where the bitmap and
// the screen matrix lie in target memory and which background colour is set.
#pragma once

#include "formats/target_memory.h"
#include "formats/screen_bytes.h"

#include <cstdint>

namespace zov {

struct DisplayAddresses {
    std::uint32_t bank = 0;    // start of the 16 KiB bank the chip sees
    std::uint32_t bitmap = 0;  // target address of the bitmap
    std::uint32_t screen = 0;  // target address of the screen matrix
    int background = 0;
};

/// Decodes the three register bytes of a Frame command: m2 = 3 − bank number, m1's high nibble is the
/// screen matrix's KiB within the bank and its bit 3 the bitmap's 8 KiB half (the chip ignores bits 0-2),
/// m3's low nibble the background colour.
DisplayAddresses decodeFrameRegisters(std::uint8_t m1, std::uint8_t m2, std::uint8_t m3);

/// The screen that the chip reads from target memory. The Color RAM is not part of target memory; every
/// card shows colourRamColour for the multicolour FG role. Bytes below 0x0200 read as zero (the player
/// never writes there).
VicScreen screenFromMemory(const TargetMemory& memory, const DisplayAddresses& display, int colourRamColour);

}  // namespace zov
