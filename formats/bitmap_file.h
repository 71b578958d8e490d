// Individual VIC-II bitmap files (".BIN"): the layout is recognised from the load address and the length,
// and the file becomes the screen the chip would show after loading it.
#pragma once

#include "formats/screen_bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

/// A bitmap file as loaded. Whatever the file does not carry is filled in so that every role still shows
/// a distinct colour, keeping the Black that the converter pins to one role: missing bitmap rows are zero
/// (role 0); in multicolour mode a missing screen matrix gives Dark grey / Mid grey for the two matrix
/// roles, a missing Color RAM Black (the pinned FG) and a missing background Light grey; in hi-res mode a
/// missing matrix gives the background byte (or Black, the pinned role 0) and White (Black on White).
struct BitmapFile {
    int colour = 0;             // the COLOR layout: bit 0 Color RAM, bit 1 screen matrix
    int loadAddress = 0;
    int bitmapLength = 0;       // bitmap bytes the file holds (up to 8000)
    bool hasMatrix = false;
    bool hasColourRam = false;  // Color RAM block or (COLOR 2, multicolour) the FG colour byte
    bool hasBackground = false;
    VicScreen screen;
};

/// Reads the bytes of a bitmap file in the given mode. False, with a reason in problem, when the load
/// address and the length fit no layout.
bool readBitmapFile(const std::vector<std::uint8_t>& bytes, VicMode mode, BitmapFile& file, std::string& problem);

}  // namespace zov
