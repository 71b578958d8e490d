#include "formats/bitmap_file.h"

#include "common/console/console.h"
#include "formats/bitmap_layout.h"
#include "formats/little_endian.h"
#include "formats/palette.h"

#include <algorithm>

namespace zov {
namespace {

/// A bitmap cut after the last picture card row: 1 to 25 whole card rows.
bool isCutBitmap(long length) {
    return length >= kFileCardRowBytes && length <= kFileBitmapBytes && length % kFileCardRowBytes == 0;
}

void copyBytes(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count, std::uint8_t* to) {
    std::copy(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + count), to);
}

/// Fills in what the file leaves out, so that the picture still shows every role.
void fillMissing(BitmapFile& file, VicMode mode) {
    VicScreen& screen = file.screen;
    if (mode == VicMode::HiRes) {
        if (!file.hasMatrix) {
            int off = file.hasBackground ? screen.background & 0x0F : kBlack;
            int on = off == kWhite ? kBlack : kWhite;
            screen.matrix.fill(static_cast<std::uint8_t>(on << 4 | off));
        }
        return;
    }
    // The converter pins Black to the FG role; the other roles get greys that keep them apart.
    if (!file.hasMatrix) screen.matrix.fill(kDarkGrey << 4 | kMidGrey);
    if (!file.hasColourRam) screen.colourRam.fill(kBlack);
    if (!file.hasBackground) screen.background = kLightGrey;
}

}  // namespace

bool readBitmapFile(const std::vector<std::uint8_t>& bytes, VicMode mode, BitmapFile& file, std::string& problem) {
    file = BitmapFile{};
    long length = static_cast<long>(bytes.size());
    if (length < 2) {
        problem = "too short for a bitmap file";
        return false;
    }
    file.loadAddress = static_cast<int>(readU16(bytes, 0));
    VicScreen& screen = file.screen;

    if (file.loadAddress == kLoadMatrixFirst && isCutBitmap(length - kMatrixFirstHead)) {
        file.colour = 2;
        file.hasMatrix = true;
        copyBytes(bytes, kLoadAddressBytes, kScreenCards, screen.matrix.data());
        if (mode == VicMode::Multicolour) {
            // Background, then FG; the FG fills the whole Color RAM.
            file.hasBackground = file.hasColourRam = true;
            screen.background = bytes[kMatrixFirstBackgroundAt];
            screen.colourRam.fill(bytes[kMatrixFirstForegroundAt]);
        }
        file.bitmapLength = static_cast<int>(length - kMatrixFirstHead);
        copyBytes(bytes, kMatrixFirstHead, static_cast<std::size_t>(file.bitmapLength), screen.bitmap.data());
    } else if (file.loadAddress == kLoadBitmapFirst && (length == kFullFileLength || length == kColourRamFileLength)) {
        file.colour = length == kFullFileLength ? 3 : 1;
        file.bitmapLength = kBitmapBytes;
        copyBytes(bytes, kLoadAddressBytes, kBitmapBytes, screen.bitmap.data());
        std::size_t at = kLoadAddressBytes + kBitmapBytes;
        if (file.colour == 3) {
            file.hasMatrix = true;
            copyBytes(bytes, at, kScreenCards, screen.matrix.data());
            at += kScreenCards;
        }
        // Hi-res pictures take no colour from the Color RAM block.
        file.hasColourRam = mode == VicMode::Multicolour;
        if (file.hasColourRam) copyBytes(bytes, at, kScreenCards, screen.colourRam.data());
        at += kScreenCards;
        file.hasBackground = true;
        screen.background = bytes[at];
    } else if (file.loadAddress == kLoadBitmapFirst && isCutBitmap(length - kLoadAddressBytes)) {
        file.colour = 0;
        file.bitmapLength = static_cast<int>(length - kLoadAddressBytes);
        copyBytes(bytes, kLoadAddressBytes, static_cast<std::size_t>(file.bitmapLength), screen.bitmap.data());
    } else {
        problem = formatted("load address 0x%04X with %ld bytes fits no bitmap file layout", file.loadAddress, length);
        return false;
    }
    fillMissing(file, mode);
    return true;
}

}  // namespace zov
