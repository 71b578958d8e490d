#include "disk_reader.h"
#include "pack_test_support.h"
#include "picture_settings.h"
#include "sound4_settings.h"
#include "sound8_settings.h"
#include "support/temp_tree.h"

#include "vicpack/sid_levels.h"
#include "vicpack/sound_program.h"
#include "formats/bitmap_file.h"

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

/// The seconds that a refusal's line says fit: the word before " s fit".
std::string secondsThatFit(const std::string& line) {
    std::size_t fit = line.find(" s fit");
    if (fit == std::string::npos) return "";
    std::size_t from = line.rfind(' ', fit - 1) + 1;
    return line.substr(from, fit - from);
}

/// vicpack's disk images with a stand-in for cc1541 on the in-memory disk.
class DiskRun : public PackRun {
protected:
    MemoryPrograms programs{fs};
    PlatformOverride withPrograms{nullptr, nullptr, &programs};

    /// What is on the disk besides the inputs: no output, no passing file, no temporary directory.
    std::vector<std::string> leftBehind() {
        std::vector<std::string> names, left;
        fs.list("/", names);
        for (const std::string& name : names)
            if (name != "a.bin" && name != "tone.zov" && name != "tmp") left.push_back(name);
        fs.list("/tmp", names);
        for (const std::string& name : names) left.push_back("tmp/" + name);
        return left;
    }
};

TEST_F(DiskRun, ASoundLongerThanTheMemoryPlaysFromAnReuImageButIsRefusedOnADisk) {
    programs.add("cc1541", [](MemoryPrograms::Run& cc1541, MemoryFileSystem& files) {
        files.addFile(cc1541.args.back(), MemoryFileSystem::Bytes(174848, 0));
        return 0;
    });
    put("/long.zov", zovSound(8, 7812, Bytes(60000, 128)));
    EXPECT_EQ(run("/long.zov /long.d64"), kPackTooLarge);
    EXPECT_EQ(std::count(output().begin(), output().end(), '\n'), 1);
    EXPECT_NE(output().find("a .prg OUTPUT plays it all from an REU image"), std::string::npos) << output();
    const std::string seconds = secondsThatFit(output());
    ASSERT_FALSE(seconds.empty()) << output();
    EXPECT_EQ(run("/long.zov /long.d64 --length " + seconds), kPackDone) << output();
    EXPECT_EQ(run("/long.zov /longer.d64 --length " + std::to_string(std::atof(seconds.c_str()) + 0.05)), kPackTooLarge);
    EXPECT_EQ(run("/long.zov /short.prg --length 0.00001"), kPackUnusableInput);

    // An REU image that is there already is kept without --force, and so is the program then.
    put("/long.reu", Bytes{1, 2, 3});
    EXPECT_EQ(run("/long.zov /long.prg"), kPackOutputRefused);
    EXPECT_NE(output().find("\n/long.reu: exists; --force overwrites it\n"), std::string::npos) << output();
    EXPECT_EQ(fs.kind("/long.prg"), PathKind::Missing);
    // When the image cannot be written, neither file is left.
    fs.failAt(FileOp::Write, fs.calls(FileOp::Write) + 1);
    EXPECT_EQ(run("/long.zov /long.prg --force"), kPackWriteFailed);
    EXPECT_EQ(fs.kind("/long.prg"), PathKind::Missing);
    EXPECT_EQ(file("/long.reu"), (Bytes{1, 2, 3}));
    fs.failAt(FileOp::Write, -1);
    ASSERT_EQ(run("/long.zov /long.prg --force"), kPackDone) << output();
    EXPECT_EQ(file("/long.reu").size(), 128u * 1024);
    EXPECT_NE(output().find("/long.reu: the REU image it plays from; before RUN set the REU's size to 128 KiB"),
              std::string::npos) << output();

    // --reu puts a sound that fits into an image too; a disk image carries none.
    put("/short.zov", zovSound(4, 7812, Bytes(3000, 0x77)));
    ASSERT_EQ(run("/short.zov /SHORT.PRG --reu"), kPackDone) << output();
    EXPECT_EQ(file("/SHORT.REU").size(), 128u * 1024);
    EXPECT_EQ(run("/short.zov /short.d64 --reu"), kPackBadCommandLine);
}

TEST_F(PackRun, ASoundLongerThanTheLargestReuHoldsIsRefusedWithTheSecondsThatFit) {
    put("/huge.zov", zovSound(8, 12000, Bytes(16 * 1024 * 1024, 0x80)));
    EXPECT_EQ(run("/huge.zov /huge.prg"), kPackTooLarge);
    EXPECT_EQ(std::count(output().begin(), output().end(), '\n'), 1);
    const std::string seconds = secondsThatFit(output());
    ASSERT_FALSE(seconds.empty()) << output();
    EXPECT_EQ(run("/huge.zov /huge.prg --length " + std::to_string(std::atof(seconds.c_str()) + 0.01)), kPackTooLarge);
    ASSERT_EQ(run("/huge.zov /huge.prg --length " + seconds), kPackDone) << output();
    EXPECT_EQ(file("/huge.reu").size(), 16u * 1024 * 1024);
}

TEST_F(PackRun, ADiskHoldsOneProgramPerInputInOrderNamedAfterIt) {
    if (std::system("command -v cc1541 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cc1541 is not installed (apt-get install cc1541): no disk image is made";
    const std::vector<std::string> inputs{"a/scene.bin", "speech.zov", "b/scene.BIN", "a_very_long_picture_name.bin"};
    const std::vector<Bytes> contents{fullBitmapFile(1), zovSound(4, 7812, Bytes(3000, 0x77)), fullBitmapFile(2),
                                      fullBitmapFile(3)};
    // cc1541 works on the real disk.
    testing::TempTree tree("vicpack-disk");
    std::string line;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        put("/" + inputs[i], contents[i]);
        tree.save(inputs[i], testing::TempTree::Bytes(contents[i].begin(), contents[i].end()));
        line += tree.path(inputs[i]) + " ";
    }
    {
        PlatformOverride real(&realFileSystem(), nullptr);
        ASSERT_EQ(run(line + tree.path("disk.d64")), kPackDone) << output();
    }
    testing::TempTree::Bytes image = tree.load("disk.d64");
    std::vector<testing::DiskFile> disk = testing::readDisk(Bytes(image.begin(), image.end()));
    ASSERT_EQ(disk.size(), 4u);
    const std::vector<std::string> names{"SCENE", "SPEECH", "SCENE-2", "A-VERY-LONG-PICT"};
    for (std::size_t i = 0; i < disk.size(); ++i) {
        EXPECT_EQ(disk[i].name, names[i]);
        EXPECT_EQ(disk[i].type, 0x82);
        ASSERT_EQ(run("/" + inputs[i] + " /one.prg --force"), kPackDone);
        EXPECT_EQ(disk[i].bytes, file("/one.prg")) << names[i];
    }
}

TEST_F(DiskRun, Cc1541MissingFailingOrMeetingAFullDiskLeavesNothingBehind) {
    put("/a.bin", fullBitmapFile());
    put("/tone.zov", zovSound(4, 7812, Bytes(400, 0x9A)));
    const std::string line = "/a.bin /tone.zov /out.d64";
    using Run = MemoryPrograms::Run;

    EXPECT_EQ(run(line), kPackWriteFailed);
    EXPECT_NE(output().find("/out.d64: the cc1541 program is not on the PATH: install the package cc1541\n"),
              std::string::npos)
        << output();
    EXPECT_EQ(leftBehind(), std::vector<std::string>{});

    programs.add("cc1541", [](Run& cc1541, MemoryFileSystem&) {
        cc1541.said = "cc1541: writing the directory\nERROR: disk full\n\n";
        return 2;
    });
    EXPECT_EQ(run(line), kPackWriteFailed);
    EXPECT_NE(output().find("/out.d64: the cc1541 program failed (exit status 2): ERROR: disk full\n"), std::string::npos)
        << output();
    EXPECT_EQ(leftBehind(), std::vector<std::string>{});

    // cc1541 writes the image from the programs it is given, and then the disk is full.
    const Bytes image(174848, 0x4B);
    std::vector<Bytes> given;
    bool diskFull = true;
    programs.add("cc1541", [&](Run& cc1541, MemoryFileSystem& files) {
        given.clear();
        for (std::size_t i = 0; i + 1 < cc1541.args.size(); ++i)
            if (cc1541.args[i] == "-w") given.push_back(files.contents(cc1541.args[i + 1]));
        files.addFile(cc1541.args.back(), image);
        if (diskFull) files.failFromNow(FileOp::Write);
        return 0;
    });
    EXPECT_EQ(run(line), kPackWriteFailed);
    EXPECT_NE(output().find("Couldn't write /out.d64: No space left on device\n"), std::string::npos) << output();
    EXPECT_EQ(leftBehind(), std::vector<std::string>{});

    fs.failAt(FileOp::Write, -1);
    diskFull = false;
    ASSERT_EQ(run(line), kPackDone) << output();
    EXPECT_EQ(file("/out.d64"), image);
    ASSERT_EQ(given.size(), 2u);
    ASSERT_EQ(run("/tone.zov /tone.prg"), kPackDone);
    EXPECT_EQ(given[1], file("/tone.prg")) << "cc1541 is given the programs in the order of the inputs";
    fs.remove("/out.d64");
    fs.remove("/tone.prg");
    EXPECT_EQ(leftBehind(), std::vector<std::string>{});
    EXPECT_EQ(programs.running(), 0);
}

}  // namespace
}  // namespace zov
