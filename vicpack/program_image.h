// A program file for the target machine as it is put together: the assembled program, its settings filled
// in, and what it shows or plays appended, each part at the address where LOAD puts it.
#pragma once

#include "vicpack/machine_programs.h"

#include <cstdint>
#include <vector>

namespace zov {

inline constexpr int kLoadAddress = 0x0801;    // where BASIC's LOAD puts a program
inline constexpr int kSettingsAddress = 0x0810; // the settings each program reads, right after its start
inline constexpr int kLoadLimit = 0xD000;      // a program ends below the I/O area

class ProgramImage {
public:
    explicit ProgramImage(MachineProgram program);

    /// The address after the last byte so far.
    int end() const { return kLoadAddress + static_cast<int>(bytes_.size()) - 2; }
    /// Appends bytes at end().
    void append(const std::vector<std::uint8_t>& part);
    /// Appends zero bytes up to an address at or after end().
    void padTo(int address);
    /// A byte or a little-endian word of the settings, at kSettingsAddress + offset.
    void setByte(int offset, int value);
    void setWord(int offset, int value);
    /// The program file: load address, then every byte from 0x0801 on.
    const std::vector<std::uint8_t>& file() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

/// The first page boundary at or after an address.
inline int pageAlignedUp(int address) { return (address + 255) & ~255; }

}  // namespace zov
