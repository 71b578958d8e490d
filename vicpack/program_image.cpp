#include "vicpack/program_image.h"

namespace zov {

ProgramImage::ProgramImage(MachineProgram program, int loadAddress)
    : bytes_(machineProgram(program)), loadAddress_(loadAddress) {}

void ProgramImage::append(const std::vector<std::uint8_t>& part) { bytes_.insert(bytes_.end(), part.begin(), part.end()); }

void ProgramImage::padTo(int address) {
    if (address > end()) bytes_.resize(bytes_.size() + static_cast<std::size_t>(address - end()), 0);
}

}  // namespace zov
