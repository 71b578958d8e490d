#include "vicpack/program_image.h"

#include "formats/little_endian.h"

namespace zov {

ProgramImage::ProgramImage(MachineProgram program) : bytes_(machineProgram(program)) {}

void ProgramImage::append(const std::vector<std::uint8_t>& part) { bytes_.insert(bytes_.end(), part.begin(), part.end()); }

void ProgramImage::padTo(int address) {
    if (address > end()) bytes_.resize(bytes_.size() + static_cast<std::size_t>(address - end()), 0);
}

void ProgramImage::setByte(int offset, int value) {
    bytes_[static_cast<std::size_t>(kSettingsAddress + offset - kLoadAddress + 2)] = static_cast<std::uint8_t>(value);
}

void ProgramImage::setWord(int offset, int value) {
    putLe16(&bytes_[static_cast<std::size_t>(kSettingsAddress + offset - kLoadAddress + 2)], static_cast<std::uint32_t>(value));
}

}  // namespace zov
