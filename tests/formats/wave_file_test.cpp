// The WAVE layout that vicview, the tests' builders, the benchmarks and the samples write and soundconv
// reads: the usual 44-byte head of a PCM file, byte for byte.
#include "formats/wave_file.h"

#include <gtest/gtest.h>

namespace zov {
namespace {

TEST(WaveFile, ThePcmHeadAndTheMonoFileLieWhereEveryReaderLooks) {
    const std::vector<std::uint8_t> head = pcmWaveHead(pcmFormat(2, 44100, 16), 1000);
    const std::vector<std::uint8_t> expected = {
        'R', 'I', 'F', 'F', 0x0C, 0x04, 0, 0, 'W', 'A', 'V', 'E',  // 36 + 1000 bytes follow the length
        'f', 'm', 't', ' ', 16, 0, 0, 0,                            // the format chunk, 16 bytes
        1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0,  // PCM, 2 channels, 44100 Hz, 176400 B/s, 4, 16
        'd', 'a', 't', 'a', 0xE8, 0x03, 0, 0};
    EXPECT_EQ(head, expected);
    const WaveFormatFields fields = readFormatFields(&head[kFormatPayloadAt]);
    EXPECT_EQ(fields.byteRate, 176400u);
    EXPECT_EQ(fields.blockAlign, 4u);

    const std::vector<std::uint8_t> mono = encodeWave({8000, {1, -2}});
    ASSERT_EQ(mono.size(), kPcmWaveHeadLength + 4);
    EXPECT_EQ(std::vector<std::uint8_t>(mono.end() - 4, mono.end()), (std::vector<std::uint8_t>{1, 0, 0xFE, 0xFF}));
    EXPECT_EQ(readFormatFields(&mono[kFormatPayloadAt]).blockAlign, 2u);
}

}  // namespace
}  // namespace zov
