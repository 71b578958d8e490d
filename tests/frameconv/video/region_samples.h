// Memory images and new region contents for exercising the segment coder: random bytes, long runs,
// repeated units, content copied from near and far, regions overlapping their sources, and bitmaps that
// look like converted pictures. Everything comes from a seeded generator, so every sample can be rebuilt.
#pragma once

#include "formats/target_memory.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace zov::samples {

struct RegionSample {
    TargetMemory memory;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> newBytes;
};

enum class Content {
    RandomBytes,
    SparseChanges,
    LongRuns,
    RepeatedUnits,
    CopiedNear,
    CopiedFar,
    ShiftedInPlace,
    SmallAlphabet,
    Bitmap,
};
inline constexpr int kContentKinds = 9;

/// A multicolour picture of 160 x 200 pixels as the VIC-II lays it out: 8000 bitmap bytes card by card
/// (8 rows of 4 two-bit pixels each) and 1000 screen matrix bytes. Dithered, slightly noisy shading: in
/// the upper part it pans by one card per frame, a band in the middle drifts with fresh noise every frame,
/// the rest stays; a flat disc and a dark box move across it.
struct BitmapFrame {
    std::vector<std::uint8_t> bitmap = std::vector<std::uint8_t>(8000);
    std::vector<std::uint8_t> screen = std::vector<std::uint8_t>(1000);
};

inline BitmapFrame makeBitmapFrame(unsigned seed, int frame) {
    static const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    BitmapFrame picture;
    const int cx = 40 + frame * 3, cy = 70 + frame, bx = 120 - frame * 2, by = 150;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 160; ++x) {
            int level;
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 400) {
                level = 3;  // a flat disc
            } else if (x >= bx && x < bx + 30 && y >= by && y < by + 40) {
                level = 0;  // a dark box
            } else if (y < 24) {
                level = 1;  // flat sky
            } else {
                bool panning = y < 90, drifting = y >= 90 && y < 170;
                int u = panning ? x + 4 * frame : x;
                int shade = (u * 3 + y * 2 + (drifting ? frame * 8 : 0)) % 256;
                unsigned hash = (static_cast<unsigned>(u) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u) ^
                                (seed + (drifting ? static_cast<unsigned>(frame) * 83492791u : 0u));
                int noise = static_cast<int>((hash * 2654435761u) >> 29) - 3;  // -3 .. 4
                int value = shade * 3 + noise * (drifting ? 24 : 12) + kBayer[y & 3][u & 3] * 3 - 24;
                level = std::clamp(value / 192, 0, 3);
            }
            int card = (y / 8) * 40 + x / 4;
            int index = card * 8 + (y & 7);
            int shift = 6 - 2 * (x & 3);
            picture.bitmap[static_cast<std::size_t>(index)] |= static_cast<std::uint8_t>(level << shift);
        }
    }
    for (int card = 0; card < 1000; ++card) {
        int row = card / 40, column = card % 40;
        int pan = row < 12 ? frame : 0;
        picture.screen[static_cast<std::size_t>(card)] =
            static_cast<std::uint8_t>(((row / 6) % 16) << 4 | (((column + pan) / 10 + 3) % 16));
    }
    return picture;
}

/// The bytes of a full-screen frame as one region with the screen matrix 1 KiB below the bitmap: screen
/// matrix, 24 unused bytes, bitmap (9024 bytes).
inline std::vector<std::uint8_t> fullScreenRegion(const BitmapFrame& picture) {
    std::vector<std::uint8_t> bytes(1024, 0);
    std::copy(picture.screen.begin(), picture.screen.end(), bytes.begin());
    bytes.insert(bytes.end(), picture.bitmap.begin(), picture.bitmap.end());
    return bytes;
}

/// Target memory of a ring of three full-screen buffers (screen 0x1C00 / bitmap 0x2000, bitmap 0x4000 /
/// screen 0x6000, bitmap 0x8000 / screen 0xA000) holding frames first, first + 1 and first + 2.
inline void fillRing(TargetMemory& memory, unsigned seed, int first) {
    struct Slot {
        std::uint32_t bitmap, screen;
    };
    const Slot slots[3] = {{0x2000, 0x1C00}, {0x4000, 0x6000}, {0x8000, 0xA000}};
    for (int i = 0; i < 3; ++i) {
        BitmapFrame picture = makeBitmapFrame(seed, first + i);
        std::copy(picture.bitmap.begin(), picture.bitmap.end(), memory.address(slots[i].bitmap));
        std::copy(picture.screen.begin(), picture.screen.end(), memory.address(slots[i].screen));
    }
}

class SampleMaker {
public:
    explicit SampleMaker(unsigned seed) : random_(seed) {}

    int below(int limit) { return static_cast<int>(random_() % static_cast<unsigned>(limit)); }
    int between(int low, int high) { return low + below(high - low + 1); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(random_()); }

    /// A sample of the given content with a region of at most maxLength bytes.
    RegionSample make(Content content, int maxLength) {
        RegionSample sample;
        sample.memory.allocate();
        fillMemory(sample.memory, content);
        int length = between(1, maxLength);
        sample.length = static_cast<std::uint32_t>(length);
        sample.start = static_cast<std::uint32_t>(regionStart(length));
        sample.newBytes.resize(static_cast<std::size_t>(length));
        fillNewBytes(sample, content);
        return sample;
    }

private:
    int regionStart(int length) {
        int highest = static_cast<int>(kTargetEnd) - length;
        switch (below(6)) {
            case 0: return std::max(0x0200, std::min(highest, between(1, 47) * 1024));  // 1 KiB aligned
            case 1: return between(0x0200, std::min(highest, 0x0400));                  // near the bottom
            case 2: return std::max(0x0200, highest - below(300));                      // near the top
            default: return between(0x0200, highest);
        }
    }

    void fillMemory(TargetMemory& memory, Content content) {
        switch (below(4)) {
            case 0: break;  // zero, as before the first frames
            case 1:
                for (std::uint32_t a = kTargetBase; a < kTargetEnd; ++a) memory.at(a) = byte();
                break;
            case 2: fillRing(memory, static_cast<unsigned>(random_()), below(5)); break;
            default:
                for (std::uint32_t a = kTargetBase; a < kTargetEnd;) {
                    std::uint8_t value = content == Content::SmallAlphabet ? smallAlphabet() : byte();
                    std::uint32_t run = static_cast<std::uint32_t>(between(1, below(4) == 0 ? 3000 : 12));
                    for (std::uint32_t i = 0; i < run && a < kTargetEnd; ++i) memory.at(a++) = value;
                }
        }
    }

    std::uint8_t smallAlphabet() {
        static const std::uint8_t kValues[4] = {0x00, 0x55, 0xAA, 0xFF};
        return kValues[below(4)];
    }

    void fillNewBytes(RegionSample& sample, Content content) {
        std::vector<std::uint8_t>& n = sample.newBytes;
        const int length = static_cast<int>(n.size());
        const std::uint8_t* old = sample.memory.address(sample.start);
        std::copy(old, old + length, n.begin());  // start from the unchanged region
        int i = 0;
        while (i < length) {
            int piece = std::min(length - i, between(1, 80));
            std::uint8_t* out = n.data() + i;
            switch (content) {
                case Content::RandomBytes:
                    for (int j = 0; j < piece; ++j) out[j] = byte();
                    break;
                case Content::SparseChanges:
                    for (int j = 0; j < piece; ++j) {
                        if (below(5) == 0) out[j] = byte();
                    }
                    break;
                case Content::LongRuns: {
                    piece = std::min(length - i, between(1, below(3) == 0 ? 5000 : 60));
                    std::uint8_t value = below(3) == 0 ? 0 : byte();
                    std::fill(out, out + piece, value);
                    break;
                }
                case Content::RepeatedUnits: {
                    int unit = between(1, below(4) == 0 ? 40 : 9);
                    for (int j = 0; j < unit && j < piece; ++j) out[j] = below(3) == 0 ? 0 : byte();
                    piece = std::min(length - i, unit * between(1, 20));
                    for (int j = unit; j < piece; ++j) out[j] = out[j - unit];
                    break;
                }
                case Content::CopiedNear:
                case Content::CopiedFar:
                case Content::SmallAlphabet:
                    copyPiece(sample, i, piece, content);
                    break;
                case Content::ShiftedInPlace: {
                    // The region's own old bytes, moved by a little: sources overlap the destination.
                    int shift = between(-300, 300);
                    for (int j = 0; j < piece; ++j) {
                        int address = static_cast<int>(sample.start) + i + j + shift;
                        if (address >= 0x0200 && address < 0xC000) out[j] = sample.memory.at(static_cast<std::uint32_t>(address));
                    }
                    break;
                }
                case Content::Bitmap: break;  // filled below
            }
            if (below(8) == 0 && content != Content::Bitmap) {
                out[below(piece)] ^= static_cast<std::uint8_t>(1 + below(255));  // a stray change
            }
            i += piece;
        }
        if (content == Content::Bitmap) {
            BitmapFrame picture = makeBitmapFrame(static_cast<unsigned>(random_()), below(8));
            std::vector<std::uint8_t> bytes = fullScreenRegion(picture);
            int from = below(static_cast<int>(bytes.size()) - std::min(length, 9024) + 1);
            for (int j = 0; j < length; ++j) n[static_cast<std::size_t>(j)] = bytes[static_cast<std::size_t>((from + j) % 9024)];
        }
    }

    // A piece taken from memory (near the region or anywhere) or from earlier new bytes, or random bytes
    // of a small alphabet, which makes many equally good sources.
    void copyPiece(RegionSample& sample, int at, int piece, Content content) {
        std::uint8_t* out = sample.newBytes.data() + at;
        if (content == Content::SmallAlphabet && below(2) == 0) {
            for (int j = 0; j < piece; ++j) out[j] = smallAlphabet();
            return;
        }
        if (at > piece && below(3) == 0) {
            int from = below(at - piece + 1);
            for (int j = 0; j < piece; ++j) out[j] = sample.newBytes[static_cast<std::size_t>(from + j)];
            return;
        }
        int centre = static_cast<int>(sample.start) + at;
        int source = content == Content::CopiedFar ? between(0x0200, 0xC000 - piece)
                                                   : centre + between(-2100, 2100);
        source = std::clamp(source, 0x0200, 0xC000 - piece);
        for (int j = 0; j < piece; ++j) out[j] = sample.memory.at(static_cast<std::uint32_t>(source + j));
    }

    std::mt19937 random_;
};

}  // namespace zov::samples
