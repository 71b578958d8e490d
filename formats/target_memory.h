// A byte-exact model of the target machine's RAM from 0x0200 to 0xBFFF, as the player will hold it after
// every coded frame. It is indexed directly by target address.
#pragma once

#include "formats/machine_numbers.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace zov {

inline constexpr std::uint32_t kTargetBase = machine::kFrameMemoryBase;  // lowest address ever coded
inline constexpr std::uint32_t kTargetEnd = machine::kFrameMemoryEnd;    // first address never coded
inline constexpr std::uint32_t kTargetImageSize = kTargetEnd - kTargetBase;  // 48640

class TargetMemory {
public:
    /// Allocates the zero-filled image; false when out of memory.
    bool allocate() {
        bytes_.reset(new (std::nothrow) std::uint8_t[kTargetImageSize]());
        return bytes_ != nullptr;
    }
    bool allocated() const { return bytes_ != nullptr; }

    /// The byte at a target address (kTargetBase <= address < kTargetEnd).
    std::uint8_t& at(std::uint32_t address) { return bytes_[address - kTargetBase]; }
    std::uint8_t at(std::uint32_t address) const { return bytes_[address - kTargetBase]; }

    /// Pointer to the byte of a target address, for block copies.
    std::uint8_t* address(std::uint32_t address) { return bytes_.get() + (address - kTargetBase); }
    const std::uint8_t* address(std::uint32_t address) const { return bytes_.get() + (address - kTargetBase); }

    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
};

}  // namespace zov
