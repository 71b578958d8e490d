#include "formats/wave_file.h"

#include "formats/little_endian.h"

#include <cstring>

namespace zov {

WaveFormatFields pcmFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample) {
    WaveFormatFields format;
    format.channels = channels;
    format.sampleRate = sampleRate;
    format.bitsPerSample = bitsPerSample;
    format.blockAlign = static_cast<std::uint16_t>(channels * (bitsPerSample / 8));
    format.byteRate = sampleRate * format.blockAlign;
    return format;
}

bool hasWaveTag(const std::uint8_t* at, const WaveTag& tag) { return std::memcmp(at, tag, sizeof tag) == 0; }

WaveFormatFields readFormatFields(const std::uint8_t* payload) {
    WaveFormatFields format;
    format.formatTag = readLe16(payload + kFormatTagAt);
    format.channels = readLe16(payload + kFormatChannelsAt);
    format.sampleRate = readLe32(payload + kFormatRateAt);
    format.byteRate = readLe32(payload + kFormatByteRateAt);
    format.blockAlign = readLe16(payload + kFormatBlockAlignAt);
    format.bitsPerSample = readLe16(payload + kFormatBitsAt);
    return format;
}

namespace {

void appendTag(std::vector<std::uint8_t>& bytes, const WaveTag& tag) { bytes.insert(bytes.end(), tag, tag + sizeof tag); }

}  // namespace

void appendRiffHead(std::vector<std::uint8_t>& bytes, std::uint32_t restLength) {
    appendTag(bytes, kRiffTag);
    appendLe32(bytes, restLength);
    appendTag(bytes, kWaveTag);
}

void appendChunkHead(std::vector<std::uint8_t>& bytes, const WaveTag& tag, std::uint32_t payloadLength) {
    appendTag(bytes, tag);
    appendLe32(bytes, payloadLength);
}

void appendFormatFields(std::vector<std::uint8_t>& bytes, const WaveFormatFields& format) {
    appendLe16(bytes, format.formatTag);
    appendLe16(bytes, format.channels);
    appendLe32(bytes, format.sampleRate);
    appendLe32(bytes, format.byteRate);
    appendLe16(bytes, format.blockAlign);
    appendLe16(bytes, format.bitsPerSample);
}

std::vector<std::uint8_t> pcmWaveHead(const WaveFormatFields& format, std::uint32_t dataLength) {
    std::vector<std::uint8_t> head;
    head.reserve(kPcmWaveHeadLength);
    appendRiffHead(head, static_cast<std::uint32_t>(kPcmWaveHeadLength - kWaveTagAt) + dataLength);
    appendChunkHead(head, kFormatChunkTag, kFormatFieldsLength);
    appendFormatFields(head, format);
    appendChunkHead(head, kDataChunkTag, dataLength);
    return head;
}

std::vector<std::uint8_t> encodeWave(const PcmSound& sound) {
    const auto dataLength = static_cast<std::uint32_t>(sound.samples.size() * 2);
    std::vector<std::uint8_t> bytes = pcmWaveHead(pcmFormat(1, sound.rate, 16), dataLength);
    bytes.reserve(bytes.size() + dataLength);
    for (std::int16_t sample : sound.samples) appendLe16(bytes, static_cast<std::uint16_t>(sample));
    return bytes;
}

}  // namespace zov
