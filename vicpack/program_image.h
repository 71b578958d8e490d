// A program file for the target machine as it is put together: the assembled program, its settings filled
// in, and what it shows or plays appended, each part at the address where LOAD puts it.
#pragma once

#include "formats/machine_setting.h"
#include "vicpack/machine_programs.h"

#include <cstdint>
#include <vector>

namespace zov {

inline constexpr int kLoadAddress = 0x0801;    // where BASIC's LOAD puts a program
inline constexpr int kLoadAddress128 = 0x1C01; // where the C128's BASIC 7 puts one
inline constexpr int kLoadLimit = 0xD000;      // a program ends below the I/O area

class ProgramImage {
public:
    explicit ProgramImage(MachineProgram program, int loadAddress = kLoadAddress);

    /// The address after the last byte so far.
    int end() const { return loadAddress_ + static_cast<int>(bytes_.size()) - 2; }
    /// Appends bytes at end().
    void append(const std::vector<std::uint8_t>& part);
    /// Appends zero bytes up to an address at or after end().
    void padTo(int address);
    /// One of the program's settings (its NAME_settings.h), or one byte of a setting that is a table.
    void set(MachineSetting setting, int value) { setSetting(bytes_, setting, static_cast<std::uint32_t>(value)); }
    void setByteOf(MachineSetting setting, int index, int value) {
        setSettingByte(bytes_, setting, index, static_cast<std::uint32_t>(value));
    }
    /// The program file: load address, then every byte from there on.
    const std::vector<std::uint8_t>& file() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    int loadAddress_;
};

/// The first page boundary at or after an address.
inline int pageAlignedUp(int address) { return (address + 255) & ~255; }

}  // namespace zov
