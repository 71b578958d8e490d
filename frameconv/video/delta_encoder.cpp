#include "frameconv/video/delta_encoder.h"

#include "frameconv/video/reference_conversion.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace zov {
namespace {

constexpr int kScreenMatrixFlag = 2;
constexpr int kColourRamFlag = 1;

}  // namespace

int DeltaEncoder::init(int ringSize, int imageCount, const VicPicture& picture, int layoutFlags) {
    if (store_ || images_ || imageCount < 1 || imageCount > 2 || layoutFlags < 0 || layoutFlags > 4) return 1;
    imageCount_ = imageCount;
    layoutFlags_ = layoutFlags;
    colourFlags_ = picture.geometry.colourArrays;
    totals_.reset();

    images_.reset(new (std::nothrow) TargetMemory[imageCount]);
    if (!images_) return 2;
    for (int i = imageCount - 1; i >= 0; --i) {
        if (!images_[i].allocate()) {
            images_.reset();
            return 2;
        }
    }
    store_.reset(new (std::nothrow) FrameStore);
    if (!store_) return 1;
    if (int result = store_->allocate(ringSize)) return result;
    if (int result = store_->setUpWorkingSlot(picture)) return result;
    return store_->place(picture, layoutFlags, colourFlags_, imageCount);
}

// Squared differences of the grey shares and, for colour pictures, of the hue counts, with a bonus for the
// same opposite pair or triad: the slot whose content is most alike needs the fewest changes.
std::int64_t DeltaEncoder::slotCost(const VicPicture& picture, const FrameSlot& slot) const {
    if (!slot.valid()) return 256;
    const ColourAnalysis& wanted = picture.analysis;
    const ColourAnalysis& held = slot.analysis;
    std::int64_t cost = 0;
    for (int i = 0; i < 5; ++i) {
        std::int64_t d = std::int64_t{wanted.greyShares[i]} - held.greyShares[i];
        cost += d * d;
    }
    if (picture.monochrome == 0) {
        for (int i = 0; i < 6; ++i) {
            std::int64_t d = std::int64_t{wanted.hueCounts[i]} - held.hueCounts[i];
            cost += d * d;
        }
        if (wanted.pairSelection >= 0 && wanted.pairSelection == held.pairSelection) cost -= 512;
        if (wanted.triadSelection >= 0 && wanted.triadSelection == held.triadSelection) cost -= 768;
    }
    return cost;
}

int DeltaEncoder::chooseSlot(const VicPicture& picture) const {
    const int n = store_->ringSize();
    const int current = store_->currentSlot();
    int choice = (current + 1) % n;
    std::int64_t best = 2147483647;
    for (int i = 0; i < n; ++i) {
        int s = (current + 1 + i) % n;
        if (s == current) continue;
        std::int64_t cost = slotCost(picture, store_->slot(s));
        if (cost < best) {
            best = cost;
            choice = s;
        }
    }
    return choice;
}

QuantStats DeltaEncoder::convertWithReference(VicPicture& picture, int k) {
    return zov::convertWithReference(*store_, picture, k);
}

// The working slot takes the picture's pixels, roles and colours as they are; the coder then finds what
// earlier frames already hold.
QuantStats DeltaEncoder::takeChosenPicture(const VicPicture& picture) {
    FrameSlot& working = store_->workingSlot();
    const PictureGeometry& g = picture.geometry;
    const std::size_t size = static_cast<std::size_t>(g.paddedSize);
    std::copy_n(picture.planes.luminancePlane.get(), size, working.planes.luminancePlane.get());
    std::copy_n(picture.planes.lumaDither.get(), size, working.planes.lumaDither.get());
    const std::size_t cards = static_cast<std::size_t>(g.widthInCards) * static_cast<std::size_t>(g.heightInCards);
    if ((colourFlags_ & kScreenMatrixFlag) && working.cardColours.colourMatrix)
        std::copy_n(picture.cardColours.colourMatrix.get(), cards, working.cardColours.colourMatrix.get());
    if ((colourFlags_ & kColourRamFlag) && working.cardColours.colourRam)
        std::copy_n(picture.cardColours.colourRam.get(), cards, working.cardColours.colourRam.get());
    std::copy(std::begin(picture.colours.roleColours), std::end(picture.colours.roleColours), working.colours.roleColours);
    working.firstFrameLoaded = 1;
    working.drained = 0;
    QuantStats stats;
    stats.pixelCount = static_cast<std::int32_t>(g.pixelCount);
    stats.monochrome = picture.monochrome;
    stats.edgeCount = g.width + 2 * g.height - 2;
    stats.copiedPixels = 1;
    return stats;
}

// The working buffer's bytes that correspond to the region: from the picture's first bitmap row, or from
// its first screen matrix row when the matrix lies at or below the bitmap.
const std::uint8_t* DeltaEncoder::newRegionBytes() const {
    const FrameSlot& working = store_->workingSlot();
    const int top = working.geometry.topCardRow;
    const std::uint8_t* buffer = working.image.block();
    if ((colourFlags_ & kScreenMatrixFlag) && working.screenAddress <= working.bitmapAddress)
        return buffer + working.screenPosition + top * 40;
    return buffer + working.bitmapPosition + top * 320;
}

EncodeResult DeltaEncoder::encodeFrame(VicPicture& picture, std::uint32_t budget) {
    EncodeResult result;
    codedLength_ = 0;
    if (!store_) return result;

    const int k = chooseSlot(picture);
    FrameSlot& slot = store_->slot(k);
    FrameSlot& working = store_->workingSlot();
    working.takePlacement(slot);
    if (slot.regionLength > kRegionBackupSize || slot.imageIndex < 0 || slot.imageIndex >= imageCount_) return result;
    TargetMemory& memory = images_[slot.imageIndex];
    std::memcpy(regionBackup_, memory.address(slot.regionStart), slot.regionLength);

    result.stats = picturesChosen_ ? takeChosenPicture(picture) : convertWithReference(picture, k);
    result.exportResult = working.exportVicImage(false);
    if (result.exportResult == 0) return result;

    FrameMarks marks = frameMarks(slot.bitmapAddress, slot.screenAddress, slot.regionStart,
                                  static_cast<std::uint8_t>(picture.colours.roleColours[0]));
    int length = coder_.code(memory, slot.regionStart, slot.regionLength, newRegionBytes(), marks);
    if (length == 0 || static_cast<std::uint32_t>(length) > budget || (acceptance_ && !acceptance_(coder_.bytes(), length))) {
        std::memcpy(memory.address(slot.regionStart), regionBackup_, slot.regionLength);
        return result;
    }

    const int bytesPerCard = 8 + ((colourFlags_ & kScreenMatrixFlag) ? 1 : 0) + ((colourFlags_ & kColourRamFlag) ? 1 : 0);
    result.rawSize = picture.geometry.heightInCards * picture.geometry.widthInCards * bytesPerCard;
    result.updateSize = static_cast<int>(slot.regionLengthWithColour) + 3;
    result.bufferNumber = k;
    result.codedSize = length;
    codedLength_ = length;
    acceptInto(slot, picture);
    store_->setCurrentSlot(k);
    return result;
}

// The accepted frame becomes what ring slot k holds: its pixels, roles and colours, its exported rows in the
// picture's own VIC-II image, and the analysis the next slot choice compares against.
void DeltaEncoder::acceptInto(FrameSlot& slot, VicPicture& picture) {
    const FrameSlot& working = store_->workingSlot();
    const bool matrix = colourFlags_ & kScreenMatrixFlag;
    const bool colourRam = colourFlags_ & kColourRamFlag;
    const PictureGeometry& g = picture.geometry;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const int i = y * g.paddedWidth + x;
            slot.planes.luminancePlane[i] = working.planes.luminancePlane[i];
            slot.planes.lumaDither[i] = working.planes.lumaDither[i];
            if (y % 8 == 0 && x % g.cardWidth == 0) {
                const int card = (y / 8) * g.paddedWidth / g.cardWidth + x / g.cardWidth;
                if (matrix) slot.cardColours.colourMatrix[card] = working.cardColours.colourMatrix[card];
                if (colourRam) slot.cardColours.colourRam[card] = working.cardColours.colourRam[card];
            }
        }
    }
    std::memcpy(slot.colours.roleColours, working.colours.roleColours, sizeof slot.colours.roleColours);

    if (picture.image.empty()) picture.image.create();
    if (!picture.image.empty()) {
        const int top = picture.geometry.topCardRow;
        const int rows = picture.geometry.heightInCards;
        if (matrix) std::memcpy(picture.image.matrix + top * 40, working.image.matrix + top * 40, rows * 40);
        if (colourRam) std::memcpy(picture.image.colourRam + top * 40, working.image.colourRam + top * 40, rows * 40);
        std::memcpy(picture.image.bitmap + top * 320, working.image.bitmap + top * 320, rows * 320);
    }

    if (slot.monochrome == 0) {
        std::memcpy(slot.analysis.hueCounts, picture.analysis.hueCounts, 6 * sizeof slot.analysis.hueCounts[0]);
        slot.analysis.pairSelection = picture.analysis.pairSelection;
        slot.analysis.triadSelection = picture.analysis.triadSelection;
    }
    std::memcpy(slot.analysis.greyShares, picture.analysis.greyShares, sizeof slot.analysis.greyShares);
    slot.analysis.blackWanted = picture.analysis.blackWanted;
    slot.analysis.whiteWanted = picture.analysis.whiteWanted;
    slot.analysis.lightGreyWanted = picture.analysis.lightGreyWanted;
    slot.firstFrameLoaded = 1;
    slot.drained = 0;
}

CodeStats DeltaEncoder::drain(std::uint8_t* packet, int space, bool restart) {
    CodeStats stats;
    if (!store_) {
        stats.markNothingToSend();
        return stats;
    }
    FrameSlot& current = store_->slot(store_->currentSlot());
    if (!current.valid() || codedLength_ == 0) {
        stats.markNothingToSend();
        return stats;
    }
    if (current.drained) return stats;
    if (restart) cursor_ = DrainCursor{};
    stats = drainCommands(coder_.bytes(), codedLength_, current.regionStart, cursor_, packet, space);
    if (cursor_.position >= codedLength_) current.drained = 1;
    return stats;
}

}  // namespace zov
