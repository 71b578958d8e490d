#include "vicpack/picture_program.h"

#include "vicpack/program_image.h"

namespace zov {
namespace {

// The settings of machine/picture.s.
constexpr int kBorder = 0, kBackground = 1, kControl2 = 2, kHasColourRam = 3, kSource = 4;
constexpr int kMulticolourControl = 0x18, kHiResControl = 0x08;  // 0xD016: 40 columns, multicolour or not

}  // namespace

std::vector<std::uint8_t> pictureProgram(const VicScreen& screen, VicMode mode, int borderColour) {
    ProgramImage program(MachineProgram::Picture);
    const bool multicolour = mode == VicMode::Multicolour;
    program.setByte(kBorder, borderColour & 0x0F);
    program.setByte(kBackground, screen.background & 0x0F);
    program.setByte(kControl2, multicolour ? kMulticolourControl : kHiResControl);
    program.setByte(kHasColourRam, multicolour ? 1 : 0);
    program.setWord(kSource, program.end());
    program.append({screen.matrix.begin(), screen.matrix.end()});
    program.append({screen.bitmap.begin(), screen.bitmap.end()});
    if (multicolour) program.append({screen.colourRam.begin(), screen.colourRam.end()});
    return program.file();
}

}  // namespace zov
