#include "vicpack/sid_levels.h"

#include <algorithm>
#include <cstdlib>

namespace zov {
namespace {

// The levels were measured in the emulator the tests use (reSIDfp): a program set the voices up, then
// alternated every 10 ms between the register value 0x00 and each value in turn while the emulator
// recorded; a level is the mean of a value's stretch less the mean of its two neighbours at 0x00.
// tools/sid_levels/measure.sh measures them again and prints them in this form (tools/sid_levels/README.md).
// Several set-ups were measured; these give the most even steps for speech on each model. On the 6581
// voice 1 holds a high pulse through the low-pass filter; on the 8580, whose volume register alone is
// faint, voice 1 holds the sawtooth's bottom at 14/15 sustain through the filter, which turns it round,
// so that the filter bit adds a fourth step size to those of the voices.
const SidSetup k6581{0x49, 0xF0, 0x01, {
         12, 2026, 4013, 5970, 7908, 9824, 11712, 13572, 15401, 17195, 18955, 20675, 22354, 23992, 25582, 27121,
         24, 1262, 2475, 3663, 4829, 5969, 7091, 8190, 9266, 10320, 11351, 12358, 13342, 14302, 15239, 16152,
         16, 2005, 3963, 5895, 7806, 9695, 11557, 13392, 15195, 16963, 18697, 20392, 22047, 23663, 25230, 26749,
         25, 1259, 2469, 3655, 4816, 5954, 7072, 8168, 9243, 10293, 11322, 12325, 13308, 14266, 15201, 16111,
         15, 1887, 3731, 5542, 7334, 9103, 10846, 12561, 14246, 15898, 17516, 19099, 20645, 22154, 23623, 25049,
         23, 1136, 2226, 3294, 4339, 5359, 6362, 7344, 8306, 9247, 10167, 11066, 11943, 12801, 13636, 14452,
         15, 1852, 3661, 5441, 7197, 8932, 10640, 12323, 13974, 15594, 17179, 18729, 20245, 21722, 23163, 24561,
         22, 1138, 2231, 3302, 4351, 5376, 6381, 7366, 8330, 9274, 10196, 11098, 11978, 12840, 13678, 14495,
         15, 1259, 2479, 3672, 4843, 5989, 7115, 8219, 9301, 10359, 11395, 12406, 13395, 14358, 15299, 16215,
         15, 478, 930, 1371, 1802, 2222, 2632, 3032, 3421, 3802, 4172, 4532, 4884, 5227, 5563, 5890,
         7, 1269, 2505, 3716, 4902, 6064, 7207, 8329, 9426, 10500, 11550, 12576, 13578, 14556, 15510, 16440,
         15, 536, 1045, 1544, 2029, 2504, 2966, 3417, 3857, 4284, 4702, 5110, 5508, 5896, 6274, 6645,
         7, 1128, 2228, 3303, 4355, 5383, 6393, 7382, 8350, 9298, 10224, 11130, 12013, 12875, 13716, 14537,
         13, 411, 798, 1178, 1547, 1909, 2260, 2603, 2937, 3264, 3582, 3892, 4194, 4489, 4775, 5056,
         6, 1137, 2244, 3329, 4388, 5427, 6445, 7443, 8420, 9376, 10309, 11221, 12113, 12984, 13832, 14659,
         13, 469, 915, 1351, 1776, 2190, 2595, 2989, 3374, 3748, 4114, 4468, 4816, 5155, 5485, 5807}};

const SidSetup k8580{0x29, 0xE0, 0x01, {
         -2, 385, 770, 1161, 1552, 1952, 2351, 2750, 3157, 3565, 3977, 4393, 4809, 5230, 5655, 6119,
         2, 648, 1304, 1962, 2645, 3329, 4016, 4713, 5417, 6128, 6853, 7575, 8309, 9057, 9815, 10589,
         10, 406, 806, 1206, 1611, 2019, 2427, 2836, 3252, 3664, 4086, 4506, 4929, 5357, 5783, 6212,
         8, 667, 1331, 2003, 2679, 3363, 4055, 4752, 5456, 6167, 6887, 7612, 8348, 9089, 9840, 10601,
         9, 408, 809, 1210, 1616, 2024, 2431, 2845, 3260, 3674, 4096, 4517, 4941, 5369, 5796, 6229,
         6, 668, 1334, 2008, 2683, 3369, 4064, 4762, 5467, 6179, 6900, 7627, 8362, 9107, 9861, 10621,
         9, 406, 806, 1206, 1611, 2018, 2426, 2837, 3250, 3663, 4085, 4506, 4930, 5355, 5781, 6212,
         8, 666, 1332, 2003, 2679, 3362, 4053, 4752, 5455, 6167, 6886, 7613, 8348, 9089, 9841, 10601,
         10, 194, 377, 562, 747, 934, 1122, 1309, 1495, 1682, 1871, 2061, 2251, 2442, 2632, 2820,
         1, 450, 904, 1358, 1814, 2273, 2735, 3200, 3671, 4141, 4616, 5094, 5575, 6060, 6547, 7036,
         6, 191, 374, 559, 742, 929, 1115, 1301, 1490, 1677, 1865, 2055, 2244, 2434, 2622, 2812,
         5, 453, 899, 1354, 1811, 2272, 2731, 3201, 3666, 4136, 4612, 5090, 5571, 6055, 6540, 7030,
         7, 191, 375, 560, 746, 932, 1119, 1307, 1495, 1683, 1872, 2062, 2252, 2442, 2631, 2823,
         5, 454, 903, 1357, 1814, 2277, 2737, 3207, 3672, 4144, 4621, 5100, 5582, 6067, 6552, 7043,
         7, 190, 374, 559, 742, 928, 1116, 1301, 1489, 1676, 1865, 2054, 2242, 2432, 2618, 2811,
         4, 452, 900, 1354, 1811, 2273, 2732, 3199, 3665, 4137, 4610, 5087, 5567, 6050, 6539, 7028}};

/// The register value whose level is nearest to a target; the lowest value among equals.
std::uint8_t nearest(const SidSetup& setup, double target) {
    int best = 0;
    double bestDistance = -1;
    for (int value = 0; value < 256; ++value) {
        double distance = std::abs(setup.levels[static_cast<std::size_t>(value)] - target);
        if (bestDistance < 0 || distance < bestDistance) best = value, bestDistance = distance;
    }
    return static_cast<std::uint8_t>(best);
}

}  // namespace

const SidSetup& sidSetup(SidModel model) { return model == SidModel::Mos6581 ? k6581 : k8580; }

std::vector<std::uint8_t> volumeTable(const SidSetup& setup, int bits) {
    int lowest = setup.levels[0], highest = setup.levels[0];
    for (int level : setup.levels) lowest = std::min(lowest, level), highest = std::max(highest, level);
    const int count = 1 << bits;
    std::vector<std::uint8_t> table(static_cast<std::size_t>(count));
    for (int sample = 0; sample < count; ++sample)
        table[static_cast<std::size_t>(sample)] =
            nearest(setup, lowest + static_cast<double>(highest - lowest) * sample / (count - 1));
    return table;
}

std::vector<std::uint8_t> volumeRamp(const SidSetup& setup, std::uint8_t from, std::uint8_t to) {
    const double start = setup.levels[from], end = setup.levels[to];
    std::vector<std::uint8_t> ramp(64);
    for (int step = 1; step <= 64; ++step)
        ramp[static_cast<std::size_t>(step - 1)] = step == 64 ? to : nearest(setup, start + (end - start) * step / 64);
    return ramp;
}

}  // namespace zov
