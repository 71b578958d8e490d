// How the SID's output follows its volume register when every voice holds a steady level: the levels that
// the sound program's tables are made from, one set per chip model.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace zov {

enum class SidModel { Mos6581, Mos8580 };
inline constexpr SidModel kSidModels[] = {SidModel::Mos6581, SidModel::Mos8580};

/// How the sound program sets the voices up on one model, and the output level that each of the 256
/// volume-register values then gives. Voices 2 and 3 always hold a high pulse at full sustain; the register's
/// bit 7 cuts voice 3 off, bits 4-6 choose the filter outputs that voice 1 reaches when it is routed there.
struct SidSetup {
    std::uint8_t voice1Control;  // 0xD404
    std::uint8_t voice1Sustain;  // 0xD406
    std::uint8_t routing;        // 0xD417
    std::array<int, 256> levels;
};

const SidSetup& sidSetup(SidModel model);

/// For each of the 2^bits sample values (0 lowest) the volume-register value whose level lies nearest to
/// the sample's place on the straight line from the lowest to the highest level of the model.
std::vector<std::uint8_t> volumeTable(const SidSetup& setup, int bits);

/// 64 volume-register values whose levels step evenly from the level of one register value to that of
/// another, ending on it.
std::vector<std::uint8_t> volumeRamp(const SidSetup& setup, std::uint8_t from, std::uint8_t to);

/// The players' table pages of one model for samples of bits bits: page k gives, for every byte, the
/// register value of its k-th sample (4-bit samples low nibble first, 2-bit samples from the top bits down).
std::vector<std::uint8_t> volumeTablePages(const SidSetup& setup, int bits);

/// The players' ramp page: 64 values each rising from silence to the middle level on the 6581, on the 8580,
/// then falling back on each.
std::vector<std::uint8_t> volumeRampPage(int bits);

}  // namespace zov
