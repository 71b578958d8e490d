#include "disk_reader.h"
#include "pack_test_support.h"
#include "picture_settings.h"
#include "sound4_settings.h"
#include "sound8_settings.h"

#include "vicpack/sid_levels.h"
#include "vicpack/sound_program.h"
#include "vicview/bitmap_file.h"

#include <cstdlib>

namespace zov {
namespace {


int word(const Bytes& file, std::size_t at) { return file[at] | file[at + 1] << 8; }
/// The file offset of a machine address in a program file.
std::size_t offsetOf(int address) { return static_cast<std::size_t>(address - 0x0801 + 2); }

TEST_F(PackRun, CommandLinesThatMakeNoProgramAreRefused) {
    put("/a.bin", fullBitmapFile());
    put("/b.bin", fullBitmapFile());
    EXPECT_EQ(run("/a.bin"), kPackBadCommandLine);
    EXPECT_EQ(run("/a.bin /a.png"), kPackBadCommandLine);
    EXPECT_NE(output().find(".prg"), std::string::npos);
    EXPECT_EQ(run("/a.bin /b.bin /both.prg"), kPackBadCommandLine);
    EXPECT_NE(output().find(".d64"), std::string::npos);
    EXPECT_EQ(run("/a.bin /a.prg --hires --multicolour"), kPackBadCommandLine);
    EXPECT_EQ(run("/a.bin /a.prg --border 16"), kPackBadCommandLine);
    EXPECT_EQ(fs.kind("/a.prg"), PathKind::Missing);
    EXPECT_EQ(fs.kind("/both.prg"), PathKind::Missing);
}

TEST_F(PackRun, InputsOfNoKnownKindAreNamedAndNothingIsWritten) {
    put("/a.bin", fullBitmapFile());
    put("/noise.raw", Bytes(333, 0x1B));
    Bytes stream = zovSound(8, 7812, Bytes(10, 128));
    stream[9] = 0xD6;  // a video chunk: a stream, not a sound
    put("/clip.zov", stream);
    Bytes broken = zovSound(8, 7812, Bytes(10, 128));
    broken[4] = 99;  // a length field that does not match the file
    put("/broken.zov", broken);
    put("/empty.zov", zovSound(4, 7812, {}));

    EXPECT_EQ(run("/a.bin /noise.raw /out.d64"), kPackUnusableInput);
    EXPECT_NE(output().find("/noise.raw: not a bitmap file"), std::string::npos);
    EXPECT_NE(output().find("--rate"), std::string::npos);
    EXPECT_EQ(run("/clip.zov /out.prg"), kPackUnusableInput);
    EXPECT_NE(output().find("a damaged stream, the header"), std::string::npos) << output();
    EXPECT_EQ(run("/broken.zov /out.prg"), kPackUnusableInput);
    EXPECT_NE(output().find("malformed sound file"), std::string::npos);
    EXPECT_EQ(run("/empty.zov /out.prg"), kPackUnusableInput);
    EXPECT_EQ(run("/missing.bin /out.prg"), kPackUnusableInput);
    EXPECT_EQ(fs.kind("/out.d64"), PathKind::Missing);
    EXPECT_EQ(fs.kind("/out.prg"), PathKind::Missing);
    std::vector<std::string> names;
    ASSERT_TRUE(fs.list("/", names));
    EXPECT_EQ(names.size(), 5u) << "no passing file left behind";

    EXPECT_EQ(run("/noise.raw /out.prg --rate 7843"), kPackDone) << output();
    EXPECT_NE(output().find("1332 samples of 2 bits at 7843 Hz"), std::string::npos) << output();
}

TEST_F(PackRun, AnExistingOutputIsKeptUnlessForcedAndIsNeverAnInput) {
    put("/a.bin", fullBitmapFile());
    put("/old.prg", Bytes{1, 2, 3});
    EXPECT_EQ(run("/a.bin /old.prg"), kPackOutputRefused);
    EXPECT_EQ(file("/old.prg"), (Bytes{1, 2, 3}));
    EXPECT_EQ(run("/a.bin /old.prg --force"), kPackDone);
    EXPECT_GT(file("/old.prg").size(), 10000u);

    fs.addHardLink("/a.prg", "/a.bin");
    EXPECT_EQ(run("/a.bin /a.prg --force"), kPackOutputRefused);
    EXPECT_EQ(file("/a.bin"), fullBitmapFile());
    fs.addDirectory("/dir.d64");
    EXPECT_EQ(run("/a.bin /dir.d64 --force"), kPackOutputRefused);
}

TEST_F(PackRun, ThePictureProgramCarriesTheScreenAndItsColours) {
    const Bytes picture = fullBitmapFile(6);
    put("/a.bin", picture);
    ASSERT_EQ(run("/a.bin /a.prg"), kPackDone) << output();
    Bytes program = file("/a.prg");
    ASSERT_GT(program.size(), PictureSettings::source.offset + 2);
    EXPECT_EQ(word(program, 0), 0x0801);
    EXPECT_EQ(std::string(program.begin() + 7, program.begin() + 11), "2061");  // 10 SYS2061
    EXPECT_EQ(program[PictureSettings::border.offset], 6) << "border: the background colour";
    EXPECT_EQ(program[PictureSettings::background.offset], 6);
    // The screen follows the code: matrix, bitmap, Colour RAM, as the file has them.
    std::size_t at = offsetOf(word(program, PictureSettings::source.offset));
    ASSERT_EQ(program.size(), at + 10000);
    EXPECT_TRUE(std::equal(picture.begin() + 8002, picture.begin() + 9002, program.begin() + static_cast<long>(at)));
    EXPECT_TRUE(std::equal(picture.begin() + 2, picture.begin() + 8002, program.begin() + static_cast<long>(at) + 1000));
    EXPECT_TRUE(std::equal(picture.begin() + 9002, picture.begin() + 10002, program.begin() + static_cast<long>(at) + 9000));

    // Hi-res takes no colour from the Colour RAM; --border sets the border.
    ASSERT_EQ(run("/a.bin /h.prg --hires --border 2"), kPackDone);
    Bytes hires = file("/h.prg");
    EXPECT_EQ(hires[PictureSettings::border.offset], 2);
    EXPECT_EQ(hires.size(), offsetOf(word(hires, PictureSettings::source.offset)) + 9000);
}

TEST(SoundTables, LevelsRiseWithTheSampleAndSpanTheModelsRange) {
    for (SidModel model : kSidModels) {
        const SidSetup& setup = sidSetup(model);
        int lowest = *std::min_element(setup.levels.begin(), setup.levels.end());
        int highest = *std::max_element(setup.levels.begin(), setup.levels.end());
        for (int bits : {2, 4, 8}) {
            std::vector<std::uint8_t> table = volumeTable(setup, bits);
            ASSERT_EQ(table.size(), 1u << bits);
            double step = static_cast<double>(highest - lowest) / (table.size() - 1);
            for (std::size_t sample = 0; sample < table.size(); ++sample) {
                double wanted = lowest + step * static_cast<double>(sample);
                // Each level lies within the largest gap between the model's levels of the line.
                EXPECT_LT(std::abs(setup.levels[table[sample]] - wanted), highest * 0.04)
                    << "model " << static_cast<int>(model) << ", " << bits << " bits, sample " << sample;
                if (sample > 0) {
                    EXPECT_GE(setup.levels[table[sample]], setup.levels[table[sample - 1]]);
                }
            }
        }
    }
}

TEST_F(PackRun, TheSoundProgramsSamplesEndOnAPageAndItsTablesFollowTheModels) {
    Bytes samples;
    for (int i = 0; i < 1000; ++i) samples.push_back(static_cast<std::uint8_t>(i * 13));
    for (int bits : {8, 4}) {
        put("/s.zov", zovSound(bits, 7812, samples));
        ASSERT_EQ(run("/s.zov /s.prg --force"), kPackDone) << output();
        Bytes program = file("/s.prg");
        const int end = 0x0801 + static_cast<int>(program.size()) - 2;
        EXPECT_EQ(end % 256, 0) << "the player stops at a page boundary";
        EXPECT_LE(end, 0xD000);
        // The three players share their settings' places.
        EXPECT_EQ(word(program, Sound8Settings::period.offset), samplePeriod(7812) - 1);
        EXPECT_EQ(offsetOf(word(program, Sound8Settings::firstByte.offset)), program.size() - samples.size());
        EXPECT_EQ(program[Sound8Settings::endPage.offset] * 256, end);
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), program.end() - static_cast<long>(samples.size())));
        // Each model's table page for the first sample of a byte gives that sample's register value.
        for (int model = 0; model < 2; ++model) {
            std::vector<std::uint8_t> table = volumeTable(sidSetup(kSidModels[model]), bits);
            std::size_t page = offsetOf(program[Sound4Settings::tablePages.offset + static_cast<std::size_t>(model)] * 256);
            for (int byte = 0; byte < 256; ++byte)
                ASSERT_EQ(program[page + static_cast<std::size_t>(byte)], table[bits == 8 ? byte : byte & 15]);
        }
    }
}

TEST_F(PackRun, ASoundLongerThanTheMemoryIsRefusedWithTheSecondsThatFit) {
    put("/long.zov", zovSound(8, 7812, Bytes(60000, 128)));
    EXPECT_EQ(run("/long.zov /long.prg"), kPackTooLarge);
    std::size_t fit = output().find(" s fit");
    ASSERT_NE(fit, std::string::npos) << output();
    std::string seconds = output().substr(output().rfind(' ', fit - 1) + 1, fit - output().rfind(' ', fit - 1) - 1);
    EXPECT_EQ(std::count(output().begin(), output().end(), '\n'), 1);
    EXPECT_EQ(run("/long.zov /long.prg --length " + seconds), kPackDone) << output();
    EXPECT_LE(file("/long.prg").size() + 0x0801 - 2, 0xD000u);
    EXPECT_EQ(run("/long.zov /longer.prg --length " + std::to_string(std::atof(seconds.c_str()) + 0.05)), kPackTooLarge);
    EXPECT_EQ(run("/long.zov /short.prg --length 0.00001"), kPackUnusableInput);

    put("/fast.zov", zovSound(4, 11025, Bytes(100, 0x88)));
    EXPECT_EQ(run("/fast.zov /fast.prg"), kPackTooLarge);
    EXPECT_NE(output().find("not 11025 Hz"), std::string::npos);
    put("/fast8.zov", zovSound(8, 11025, Bytes(100, 0x80)));
    EXPECT_EQ(run("/fast8.zov /fast8.prg"), kPackDone) << output();
}

TEST_F(PackRun, ADiskHoldsOneProgramPerInputInOrderNamedAfterIt) {
    put("/a/scene.bin", fullBitmapFile(1));
    put("/b/scene.BIN", fullBitmapFile(2));
    put("/speech.zov", zovSound(4, 7812, Bytes(3000, 0x77)));
    put("/a_very_long_picture_name.bin", fullBitmapFile(3));
    ASSERT_EQ(run("/a/scene.bin /speech.zov /b/scene.BIN /a_very_long_picture_name.bin /disk.d64"), kPackDone)
        << output();
    std::vector<testing::DiskFile> disk = testing::readDisk(file("/disk.d64"));
    ASSERT_EQ(disk.size(), 4u);
    const std::vector<std::string> names{"SCENE", "SPEECH", "SCENE-2", "A-VERY-LONG-PICT"};
    const std::vector<std::string> inputs{"/a/scene.bin", "/speech.zov", "/b/scene.BIN", "/a_very_long_picture_name.bin"};
    for (std::size_t i = 0; i < disk.size(); ++i) {
        EXPECT_EQ(disk[i].name, names[i]);
        EXPECT_EQ(disk[i].type, 0x82);
        ASSERT_EQ(run(inputs[i] + " /one.prg --force"), kPackDone);
        EXPECT_EQ(disk[i].bytes, file("/one.prg")) << names[i];
    }
}

}  // namespace
}  // namespace zov
