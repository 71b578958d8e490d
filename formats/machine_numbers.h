// The numbers that the programs for the machine (vicpack/machine) and the desktop side both know, written
// once. Configuring the build writes them for the assembler as machine_numbers.inc (kAudioRingBytes becomes
// AUDIO_RING_BYTES; cmake/machine_numbers.cmake), which the programs include; where their code must keep to
// a number (a loop's cycles, an interrupt's longest path), they check it with .assert, so that a number that
// changes here without them breaks the build. Only lines of the form `inline constexpr int kName = literal;`
// go to the assembler, and the script refuses any other constant here.
#pragma once

namespace zov::machine {

// ---- the stream player's memory while it plays ----------------------------------------------------------
inline constexpr int kFrameMemoryBase = 0x0200;  // the lowest address a segment command writes or reads
inline constexpr int kFrameMemoryEnd = 0xC000;   // the first address none does
inline constexpr int kAudioRing = 0xC000;        // the ring the sample interrupt reads, right above the frames
inline constexpr int kAudioRingBytes = 4096;     // a stream's audio packets never fill it over

// ---- what the stream player saves of bank 0 in the unit while it plays (formats/reu_stream.h) ------------
inline constexpr int kSavedLowBytes = 0xD000;   // 0x0000-0xCFFF
inline constexpr int kSavedHighBytes = 0x1F00;  // 0xE000-0xFEFF
inline constexpr int kSavedTopBytes = 0xFB;     // 0xFF05-0xFFFF, after the MMU's registers
inline constexpr int kColourRamBytes = 0x400;

// ---- the C64's stream player (vicpack/machine/stream64.s): where its VIC-II sees character ROM it keeps
// its audio ring; what it saves in the unit besides 0x0000-0xCFFF and Colour RAM (formats/reu_stream64.h)
inline constexpr int kC64AudioRing = 0x1000;
inline constexpr int kC64AudioRingBytes = 0x800;
inline constexpr int kC64SavedHighBytes = 0x2000;  // 0xE000-0xFFFF
inline constexpr int kC64UnderIoBytes = 0x1000;    // the RAM under the I/O area, 0xD000-0xDFFF
inline constexpr int kOperationPageBytes = 256;    // a page of operations (formats/stream_operations.h)

// ---- the record of the frames shown that the stream player writes into the unit (formats/reu_stream.h) ---
inline constexpr int kRecordHeadBytes = 16;
inline constexpr int kRecordEntryBytes = 6;
inline constexpr int kIdleStepCycles = 341;  // an idle step while the player waits for a frame's time

// ---- the marks by which the players know a unit's contents as their own -----------------------------------
inline constexpr int kReuStreamMarkBytes = 8;  // "ZOVR" and the stream's identity (formats/reu_stream.h)
inline constexpr int kReuSoundMarkBytes = 16;  // formats/reu_sound.h

// ---- the shortest timer periods, in cycles between two samples: the sample interrupt's usual longest path,
// the instruction it may wait for and a few cycles to spare
inline constexpr int kShortestPeriod8 = 80;        // the sound player, 8-bit samples
inline constexpr int kShortestPeriodPacked = 100;  // the sound player, 4- and 2-bit samples
inline constexpr int kShortestStreamPeriod = 110;  // the stream player

// ---- register values: the two fixed bytes of a Frame command, and a picture's mode --------------------------
inline constexpr int kBitmapScreenControl = 0x3B;  // VIC_CONTROL_1: bitmap mode, screen on, 25 rows
inline constexpr int kMulticolourControl = 0x18;   // VIC_CONTROL_2: multicolour, 40 columns
inline constexpr int kHiResControl = 0x08;         // VIC_CONTROL_2: hi-res, 40 columns

// ---- the players' ramp page: kRampSteps volume values each, rising from silence to the middle level on the
// 6581, then on the 8580, then falling back on each
inline constexpr int kRampSteps = 64;
inline constexpr int kRampFalling = 0x80;  // where the falling ramps begin on the page

}  // namespace zov::machine
