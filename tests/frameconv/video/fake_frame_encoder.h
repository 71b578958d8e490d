// A stand-in video encoder for muxer tests: it "codes" every frame as a chosen number of bytes of real
// segment commands (DestV, Raw, RLE, DestQ and a closing Frame) and drains them in whole commands.
#pragma once

#include "frameconv/picture/vic_picture.h"
#include "frameconv/video/frame_encoder.h"
#include "support/zovf_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zov::testing {

class FakeFrameEncoder final : public FrameEncoder {
public:
    FakeFrameEncoder() {
        totals_.reset();
        slot.geometry.paddedWidth = 160;
        slot.geometry.paddedHeight = 200;
        slot.geometry.heightInCards = 25;
        slot.geometry.topCardRow = 0;
        slot.geometry.roleCount = 4;
    }

    std::vector<int> sizes;  // coded size for each call in turn (at least 8); the last one repeats
    int exportResult = 8000;
    bool failDrain = false;  // every drain answers "nothing to send"
    std::vector<std::uint32_t> budgets;               // every budget offered
    std::vector<std::vector<std::uint8_t>> accepted;  // the coded bytes of every accepted frame
    VicPicture slot;

    EncodeResult encodeFrame(VicPicture&, std::uint32_t budget) override {
        budgets.push_back(budget);
        int size = sizes.empty() ? 100 : sizes[std::min(budgets.size(), sizes.size()) - 1];
        EncodeResult result;
        result.exportResult = exportResult;
        result.stats.pixelCount = 1234;
        if (exportResult == 0 || static_cast<std::uint32_t>(size) > budget) return result;
        coded_ = codedFrame(size, static_cast<int>(budgets.size()));
        position_ = 0;
        accepted.push_back(coded_);
        result.bufferNumber = static_cast<int>(accepted.size() % 3);
        result.updateSize = 9027;
        result.rawSize = 9000;
        result.codedSize = size;
        return result;
    }

    CodeStats drain(std::uint8_t* packet, int space, bool restart) override {
        CodeStats drained;
        drained.reset();
        if (failDrain || coded_.empty()) {
            drained.record(241, 0, -1, 0, 0);
            return drained;
        }
        if (restart) position_ = 0;
        int index = 0;
        while (position_ < coded_.size()) {
            std::uint8_t first = coded_[position_];
            int length = segmentCommandLength(first);
            if (length > space - index) break;
            std::memcpy(packet + index, coded_.data() + position_, static_cast<std::size_t>(length));
            drained.record(segmentCommandClass(first), 1, length, length - 1, 0);
            position_ += static_cast<std::size_t>(length);
            index += length;
        }
        return drained;
    }

    CodeStats& totals() override { return totals_; }
    const VicPicture& currentSlot() const override { return slot; }

    /// Exactly size bytes of commands: DestV, a body of Raw, RLE and DestQ commands, Frame.
    static std::vector<std::uint8_t> codedFrame(int size, int seed) {
        std::vector<std::uint8_t> out{0xF0, 0x87};
        int body = size - 8;
        std::uint8_t fill = static_cast<std::uint8_t>(seed * 37);
        auto raw = [&](int k) {
            out.push_back(static_cast<std::uint8_t>(k));
            for (int i = 0; i < k; ++i) out.push_back(fill++);
        };
        while (body > 0) {
            if (body >= 67 || body == 64) {
                raw(63);
                body -= 64;
            } else if (body == 65 || body == 66) {
                raw(body - 5);  // leaves 4 bytes for one more command
                body = 4;
            } else if (body >= 3) {
                raw(body - 1);
                body = 0;
            } else if (body == 2) {
                out.push_back(0x45);
                out.push_back(fill++);
                body = 0;
            } else {
                out.push_back(0x90);
                body = 0;
            }
        }
        for (std::uint8_t b : {0xF1, 0x3B, 0x18, 0x80, 0x02, 0x00}) out.push_back(b);
        return out;
    }

private:
    CodeStats totals_;
    std::vector<std::uint8_t> coded_;
    std::size_t position_ = 0;
};

}  // namespace zov::testing
