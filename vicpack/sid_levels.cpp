#include "vicpack/sid_levels.h"

#include "formats/machine_numbers.h"

#include <algorithm>
#include <cstdlib>

namespace zov {
namespace {

// The levels were measured in the emulator the tests use (reSIDfp): a program set the voices up, then
// alternated every 10 ms between the register value 0x00 and each value in turn while the emulator
// recorded; a level is the mean of a value's stretch less the mean of its two neighbours at 0x00.
// These are the output of tools/sid_levels/measure.sh, which measures them again and prints them in this
// form (tools/sid_levels/README.md).
// Several set-ups were measured; these give the most even steps for speech on each model. On the 6581
// voice 1 holds a high pulse through the low-pass filter; on the 8580, whose volume register alone is
// faint, voice 1 holds the sawtooth's bottom at 14/15 sustain through the filter, which turns it round,
// so that the filter bit adds a fourth step size to those of the voices.
const SidSetup k6581{0x49, 0xF0, 0x01, {
         -1, 2017, 4005, 5964, 7906, 9817, 11713, 13570, 15412, 17204, 18969, 20680, 22357, 24003, 25582, 27155,
         20, 1261, 2474, 3664, 4828, 5971, 7093, 8187, 9266, 10316, 11352, 12359, 13350, 14302, 15234, 16158,
         12, 2003, 3962, 5897, 7804, 9693, 11553, 13385, 15197, 16956, 18691, 20376, 22040, 23649, 25235, 26758,
         22, 1258, 2466, 3653, 4813, 5955, 7068, 8165, 9234, 10284, 11316, 12316, 13302, 14250, 15188, 16097,
         14, 1886, 3727, 5538, 7324, 9093, 10831, 12554, 14235, 15888, 17493, 19073, 20621, 22124, 23608, 25030,
         21, 1133, 2223, 3288, 4333, 5353, 6351, 7333, 8288, 9234, 10150, 11054, 11922, 12775, 13610, 14425,
         13, 1849, 3656, 5430, 7184, 8912, 10620, 12304, 13946, 15564, 17136, 18691, 20197, 21688, 23117, 24512,
         19, 1136, 2227, 3295, 4343, 5362, 6365, 7344, 8307, 9251, 10173, 11074, 11944, 12804, 13635, 14461,
         10, 1256, 2471, 3662, 4830, 5971, 7098, 8199, 9277, 10327, 11358, 12369, 13353, 14324, 15253, 16172,
         8, 477, 928, 1367, 1797, 2214, 2623, 3020, 3410, 3789, 4158, 4515, 4866, 5207, 5540, 5871,
         5, 1264, 2494, 3704, 4882, 6042, 7182, 8296, 9389, 10451, 11502, 12522, 13528, 14497, 15446, 16369,
         9, 535, 1042, 1538, 2021, 2493, 2951, 3401, 3839, 4266, 4683, 5085, 5481, 5864, 6245, 6612,
         6, 1123, 2217, 3288, 4332, 5359, 6362, 7348, 8306, 9250, 10171, 11073, 11959, 12809, 13646, 14456,
         7, 409, 795, 1172, 1540, 1898, 2247, 2590, 2920, 3246, 3559, 3868, 4166, 4460, 4749, 5026,
         3, 1130, 2231, 3308, 4364, 5394, 6405, 7397, 8363, 9315, 10240, 11154, 12035, 12901, 13736, 14560,
         7, 467, 911, 1342, 1764, 2174, 2577, 2968, 3351, 3723, 4083, 4436, 4779, 5118, 5445, 5768}};

const SidSetup k8580{0x29, 0xE0, 0x01, {
         0, 400, 810, 1215, 1623, 2036, 2449, 2864, 3286, 3706, 4131, 4555, 4981, 5414, 5844, 6288,
         4, 672, 1342, 2023, 2706, 3397, 4098, 4799, 5511, 6226, 6957, 7691, 8438, 9183, 9938, 10714,
         8, 411, 814, 1218, 1626, 2037, 2448, 2861, 3281, 3698, 4121, 4545, 4974, 5402, 5837, 6274,
         7, 673, 1344, 2021, 2701, 3393, 4089, 4794, 5501, 6219, 6946, 7678, 8421, 9164, 9923, 10692,
         9, 411, 814, 1219, 1628, 2040, 2450, 2867, 3285, 3707, 4128, 4552, 4981, 5410, 5846, 6282,
         5, 672, 1345, 2022, 2705, 3397, 4092, 4798, 5505, 6226, 6952, 7690, 8426, 9174, 9932, 10700,
         9, 409, 814, 1216, 1625, 2033, 2443, 2860, 3275, 3692, 4113, 4538, 4963, 5396, 5824, 6256,
         5, 670, 1340, 2017, 2697, 3386, 4082, 4782, 5492, 6209, 6935, 7667, 8400, 9150, 9902, 10673,
         7, 195, 379, 565, 752, 941, 1130, 1318, 1505, 1694, 1883, 2074, 2263, 2457, 2647, 2840,
         2, 454, 910, 1365, 1826, 2285, 2751, 3217, 3691, 4163, 4645, 5121, 5604, 6090, 6579, 7079,
         4, 191, 375, 562, 746, 935, 1120, 1309, 1497, 1683, 1874, 2063, 2255, 2444, 2632, 2824,
         4, 456, 904, 1362, 1820, 2284, 2742, 3212, 3682, 4156, 4634, 5110, 5592, 6076, 6567, 7060,
         4, 192, 377, 562, 748, 937, 1124, 1312, 1500, 1690, 1878, 2069, 2263, 2452, 2640, 2831,
         3, 455, 906, 1361, 1822, 2286, 2746, 3217, 3685, 4162, 4634, 5116, 5596, 6084, 6576, 7067,
         4, 190, 374, 559, 744, 931, 1118, 1306, 1492, 1680, 1869, 2060, 2248, 2438, 2625, 2818,
         3, 455, 904, 1357, 1815, 2277, 2735, 3206, 3674, 4147, 4619, 5098, 5576, 6065, 6550, 7042}};

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
    constexpr int kSteps = machine::kRampSteps;
    std::vector<std::uint8_t> ramp(kSteps);
    for (int step = 1; step <= kSteps; ++step)
        ramp[static_cast<std::size_t>(step - 1)] = step == kSteps ? to : nearest(setup, start + (end - start) * step / kSteps);
    return ramp;
}

std::vector<std::uint8_t> volumeTablePages(const SidSetup& setup, int bits) {
    const std::vector<std::uint8_t> table = volumeTable(setup, bits);
    const int pages = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    std::vector<std::uint8_t> bytes;
    for (int place = 0; place < pages; ++place)
        for (unsigned byte = 0; byte < 256; ++byte) {
            // 4-bit samples come low nibble first, 2-bit samples from the top bits down.
            int shift = bits == 4 ? 4 * place : 8 - bits * (place + 1);
            bytes.push_back(table[(byte >> shift) & mask]);
        }
    return bytes;
}

std::vector<std::uint8_t> volumeRampPage(int bits) {
    static_assert(machine::kRampFalling == 2 * machine::kRampSteps, "a model's ramp each way, both models' rising first");
    std::vector<std::uint8_t> page(2 * machine::kRampFalling);
    for (int model = 0; model < 2; ++model) {
        const SidSetup& setup = sidSetup(kSidModels[model]);
        const std::uint8_t middle = volumeTable(setup, bits)[1u << (bits - 1)];
        std::vector<std::uint8_t> rise = volumeRamp(setup, 0x00, middle), fall = volumeRamp(setup, middle, 0x00);
        std::copy(rise.begin(), rise.end(), page.begin() + model * machine::kRampSteps);
        std::copy(fall.begin(), fall.end(), page.begin() + machine::kRampFalling + model * machine::kRampSteps);
    }
    return page;
}

}  // namespace zov
