// The video encoder: each new frame is converted against the frame buffer the player will rebuild, coded
// as segment commands against the model of the player's memory, accepted within a byte budget or rolled
// back, and handed to the muxer in packet-sized pieces.
#pragma once

#include "frameconv/video/command_drain.h"
#include "frameconv/video/frame_encoder.h"
#include "frameconv/video/frame_store.h"
#include "frameconv/video/segment_coder.h"
#include "formats/target_memory.h"

#include <cstdint>
#include <memory>

namespace zov {

class DeltaEncoder final : public FrameEncoder {
public:
    static constexpr int kRegionBackupSize = 9216;

    /// Sets up the ring of ringSize frame buffers in imageCount memory images for pictures like this one.
    /// 0; 1 when already set up, the image count is not 1 or 2 or the layout flags are not 0..4 (or memory
    /// for the slots runs out); 2 out of memory for an image or a ring size below 1; 3 when the ring does
    /// not fit into the images.
    int init(int ringSize, int imageCount, const VicPicture& picture, int layoutFlags);

    EncodeResult encodeFrame(VicPicture& picture, std::uint32_t budget) override;
    CodeStats drain(std::uint8_t* packet, int space, bool restart) override;
    CodeStats& totals() override { return totals_; }
    const VicPicture& currentSlot() const override { return store_->slot(store_->currentSlot()); }

    /// The ring slot a new picture is coded into: the one whose analysis is closest to the picture's.
    int chooseSlot(const VicPicture& picture) const;
    /// Converts the picture with ring slot k (held by the working slot) as reference.
    QuantStats convertWithReference(VicPicture& picture, int k);
    /// Pictures come with every pixel's role and every card's colours already chosen (a colour choice per
    /// card): the working slot takes them as they are instead of converting them against a reference.
    void takePicturesAsChosen(bool chosen) { picturesChosen_ = chosen; }

    /// Whether init has given the encoder its ring (a colour choice per card asks before the first frame).
    bool initialised() const { return store_ != nullptr; }
    FrameStore& store() { return *store_; }
    const FrameStore& store() const { return *store_; }
    TargetMemory& image(int i) { return images_[i]; }
    const std::uint8_t* codedBytes() const { return coder_.bytes(); }
    int codedLength() const { return codedLength_; }

private:
    std::int64_t slotCost(const VicPicture& picture, const FrameSlot& slot) const;
    const std::uint8_t* newRegionBytes() const;
    void acceptInto(FrameSlot& slot, VicPicture& picture);
    QuantStats takeChosenPicture(const VicPicture& picture);

    std::unique_ptr<FrameStore> store_;
    std::unique_ptr<TargetMemory[]> images_;
    int imageCount_ = 0;
    int layoutFlags_ = 0;
    int colourFlags_ = 0;
    bool picturesChosen_ = false;
    std::uint8_t regionBackup_[kRegionBackupSize] = {};
    SegmentCoder coder_;
    int codedLength_ = 0;
    DrainCursor cursor_;
    CodeStats totals_;
};

}  // namespace zov
