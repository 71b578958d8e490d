#include "vicpack/picture_program.h"

#include "formats/machine_numbers.h"
#include "picture_settings.h"
#include "vicpack/program_image.h"

namespace zov {

std::vector<std::uint8_t> pictureProgram(const VicScreen& screen, VicMode mode, int borderColour) {
    ProgramImage program(MachineProgram::Picture);
    const bool multicolour = mode == VicMode::Multicolour;
    program.set(PictureSettings::border, borderColour & 0x0F);
    program.set(PictureSettings::background, screen.background & 0x0F);
    program.set(PictureSettings::control2, multicolour ? machine::kMulticolourControl : machine::kHiResControl);
    program.set(PictureSettings::hasColourRam, multicolour ? 1 : 0);
    program.set(PictureSettings::source, program.end());
    program.append({screen.matrix.begin(), screen.matrix.end()});
    program.append({screen.bitmap.begin(), screen.bitmap.end()});
    if (multicolour) program.append({screen.colourRam.begin(), screen.colourRam.end()});
    return program.file();
}

}  // namespace zov
