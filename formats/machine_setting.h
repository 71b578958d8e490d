// A setting of a program for the target machine: the bytes at a label of its SETTINGS segment that the
// desktop side fills in before the program is written out. The build generates each program's settings
// (NAME_settings.h) from the assembler's own labels; these write them into the program file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zov {

struct MachineSetting {
    std::size_t offset;  // in the program file, load address included
    int size;            // bytes the label reserves
};

/// Writes a number over the whole setting, little-endian. A number wider than the setting, or a setting
/// outside the file, is a fault of the caller.
inline void setSetting(std::vector<std::uint8_t>& file, MachineSetting setting, std::uint32_t value) {
    if (setting.size < 1 || setting.size > 4 || setting.offset + static_cast<std::size_t>(setting.size) > file.size())
        throw std::logic_error("a setting outside the program");
    if (setting.size < 4 && value >> (8 * setting.size) != 0)
        throw std::logic_error("the value " + std::to_string(value) + " is wider than its setting");
    for (int i = 0; i < setting.size; ++i) file[setting.offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

/// Writes one byte of a setting that is a table of bytes (one per chip model, say).
inline void setSettingByte(std::vector<std::uint8_t>& file, MachineSetting setting, int index, std::uint32_t value) {
    if (index < 0 || index >= setting.size || setting.offset + static_cast<std::size_t>(setting.size) > file.size())
        throw std::logic_error("a setting's byte outside the program");
    if (value > 0xFF) throw std::logic_error("the value " + std::to_string(value) + " is wider than a byte");
    file[setting.offset + static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);
}

}  // namespace zov
