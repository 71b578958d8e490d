#include "formats/displayed_frame.h"

namespace zov {
namespace {

std::uint8_t memoryByte(const TargetMemory& memory, std::uint32_t address) {
    return address >= kTargetBase && address < kTargetEnd ? memory.at(address) : 0;
}

}  // namespace

DisplayAddresses decodeFrameRegisters(std::uint8_t m1, std::uint8_t m2, std::uint8_t m3) {
    DisplayAddresses display;
    display.bank = static_cast<std::uint32_t>((3 - m2) & 3) * 0x4000;
    display.screen = display.bank + static_cast<std::uint32_t>(m1 >> 4) * 0x400;
    display.bitmap = display.bank + ((m1 & 0x08) ? 0x2000 : 0);
    display.background = m3 & 0x0F;
    return display;
}

VicScreen screenFromMemory(const TargetMemory& memory, const DisplayAddresses& display, int colourRamColour) {
    VicScreen screen;
    for (std::uint32_t i = 0; i < kBitmapBytes; ++i) screen.bitmap[i] = memoryByte(memory, display.bitmap + i);
    for (std::uint32_t i = 0; i < kScreenCards; ++i) screen.matrix[i] = memoryByte(memory, display.screen + i);
    screen.colourRam.fill(static_cast<std::uint8_t>(colourRamColour & 0x0F));
    screen.background = display.background;
    return screen;
}

}  // namespace zov
