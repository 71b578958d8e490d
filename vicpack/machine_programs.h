// The programs for the target machine, assembled from machine/*.s by the build. Each is a program file: the
// load address (0x0801 on the C64, 0x1C01 for the C128's stream player), then a BASIC line that starts the
// machine code, the settings that vicpack fills in, and the code. vicpack appends what the program shows or
// plays.
#pragma once

#include <cstdint>
#include <vector>

namespace zov {

enum class MachineProgram { Picture, Sound8, Sound4, Sound2, Sound8Reu, Sound4Reu, Sound2Reu, Stream, Stream64 };

/// The program file as assembled.
const std::vector<std::uint8_t>& machineProgram(MachineProgram which);

}  // namespace zov
