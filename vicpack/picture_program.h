// The picture program: shows a bitmap screen on the machine until a key is pressed.
#pragma once

#include "formats/screen_bytes.h"

#include <cstdint>
#include <vector>

namespace zov {

/// The program file that shows the screen in the mode with the border in a colour (0-15). In hi-res mode
/// the chip takes no colour from the Colour RAM, so its bytes are left out.
std::vector<std::uint8_t> pictureProgram(const VicScreen& screen, VicMode mode, int borderColour);

}  // namespace zov
