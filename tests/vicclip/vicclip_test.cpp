// vicclip on clips that the ffmpeg program makes from its own sources: the stream equals the long route's
// (ffmpeg's pictures, soundtrack's track, frameconv's compile) byte for byte; bad inputs are refused with one
// line and leave no stream; the closing lines count what was kept and name a bandwidth that keeps enough.
#include "common/console/console.h"
#include "common/platform/memory_platform.h"
#include "frameconv/app/frameconv_app.h"
#include "soundtrack/soundtrack_app.h"
#include "support/media_clips.h"
#include "support/temp_tree.h"
#include "vicclip/clip_pictures.h"
#include "vicclip/progress_bar.h"
#include "vicclip/vicclip_app.h"
#include "vicpack/vicpack_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace zov {
namespace {

class Vicclip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg)";
    }
    void make(const std::string& name, const std::string& inputs, const std::string& codecs) {
        ASSERT_TRUE(testing::runFfmpeg(inputs + " " + codecs + " '" + tree.path(name) + "'")) << name;
    }
    int vicclip(std::vector<std::string> args) {
        console.clear();
        args.insert(args.begin(), "vicclip");
        return runVicclip(args);
    }
    std::size_t lines() const {
        return static_cast<std::size_t>(std::count(console.output().begin(), console.output().end(), '\n'));
    }

    /// The long route: the README's ffmpeg command into a directory of pictures, soundtrack on the clip
    /// when it has sound, and frameconv with the given extra options; the stream's bytes.
    std::vector<unsigned char> longRoute(const std::string& clip, bool sound, bool hires,
                                         const std::vector<std::string>& soundOptions = {},
                                         const std::vector<std::string>& frameconvOptions = {}) {
        const std::string frames = tree.path(std::string(hires ? "hires-" : "frames-") + clip);
        tree.makeDirectory(std::string(hires ? "hires-" : "frames-") + clip);
        PictureSettings settings;
        settings.hires = hires;
        const std::string pictures = hires ? "-pix_fmt rgb24 '" + frames + "/frame%05d.ppm'"
                                           : "-pix_fmt bgr24 '" + frames + "/frame%05d.bmp'";
        EXPECT_TRUE(testing::runFfmpeg("-i '" + tree.path(clip) + "' -vf \"" + pictureFilters(settings) + "\" " + pictures));
        std::vector<std::string> args{"frameconv", frames, tree.path("long.zov"), "/c", "/ir4", "/v0", "/y"};
        if (sound) {
            std::vector<std::string> track{"soundtrack", tree.path(clip), tree.path("long.raw"), "--force"};
            track.insert(track.end(), soundOptions.begin(), soundOptions.end());
            EXPECT_EQ(runSoundtrack(track), kTrackDone) << console.output();
            args.insert(args.end(), {"/af", tree.path("long.raw"), "/ar7843"});
        }
        if (hires) args.push_back("/m1");
        args.insert(args.end(), frameconvOptions.begin(), frameconvOptions.end());
        EXPECT_EQ(runFrameconv(args), 0) << console.output();
        return testing::fileBytes(tree.path("long.zov"));
    }

    testing::TempTree tree{"vicclip"};
    StringConsole console;
    PlatformOverride use{nullptr, &console};
};

// H.264 with AAC in MP4 and MPEG-4 with AC3 in AVI, each with and without sound, in multicolour; the MP4
// with sound also in hi-res, and a part of it with picture settings. Every stream equals the long route's.
TEST_F(Vicclip, TheStreamIsTheLongRoutesByteForByte) {
    const std::string pictures = testing::testPictures("320x240", 25, 3.5), tone = testing::testTone(440, 44100, 3.5);
    make("sound.mp4", pictures + " " + tone, "-c:v libx264 -pix_fmt yuv420p -c:a aac");
    make("sound.avi", testing::testPictures("256x256", 10, 3) + " " + tone, "-c:v mpeg4 -c:a ac3");
    make("silent.mp4", testing::testPictures("200x320", 24, 2.5), "-c:v libx264 -pix_fmt yuv420p");
    make("silent.avi", testing::testPictures("320x180", 30, 2.5), "-c:v mpeg4");
    for (const char* clip : {"sound.mp4", "sound.avi", "silent.mp4", "silent.avi"}) {
        const bool sound = std::string(clip).rfind("sound", 0) == 0;
        ASSERT_EQ(vicclip({tree.path(clip), tree.path("clip.zov"), "--force"}), kClipDone) << clip << ": " << console.output();
        EXPECT_EQ(testing::fileBytes(tree.path("clip.zov")), longRoute(clip, sound, false)) << clip;
    }
    ASSERT_EQ(vicclip({tree.path("sound.mp4"), tree.path("clip.zov"), "--force", "--hires"}), kClipDone) << console.output();
    EXPECT_EQ(testing::fileBytes(tree.path("clip.zov")), longRoute("sound.mp4", true, true)) << "hi-res";

    ASSERT_EQ(vicclip({tree.path("sound.mp4"), tree.path("clip.zov"), "--force", "--start", "1.5", "--length", "2",
                       "--bw", "6000", "--contrast", "120", "--hue", "-20", "--dither", "shaped"}),
              kClipDone)
        << console.output();
    EXPECT_EQ(testing::fileBytes(tree.path("clip.zov")),
              longRoute("sound.mp4", true, false, {"--start", "1.5", "--length", "2", "--dither", "shaped"},
                        {"/j6", "/f8", "/bw6000", "/s120", "/h-20"}))
        << "a part with settings";
}

// Bad inputs and outputs: one line each, their exit code, and no stream left behind (an existing one kept).
TEST_F(Vicclip, BadInputsAreRefusedWithOneLineAndLeaveNoStream) {
    make("clip.mp4", testing::testPictures("160x120", 10, 2) + " " + testing::testTone(440, 22050, 2),
         "-c:v libx264 -pix_fmt yuv420p -c:a aac -movflags +faststart");
    make("tone.wav", testing::testTone(440, 22050, 1), "");
    testing::saveCut(tree.path("clip.mp4"), tree.path("cut.mp4"), 0.5);
    // Matroska states a track's length in a tag of its own, not as the stream's duration.
    make("clip.mkv", testing::testPictures("160x120", 10, 2), "-c:v libx264 -pix_fmt yuv420p");
    testing::saveCut(tree.path("clip.mkv"), tree.path("cut.mkv"), 0.5);
    testing::saveBytes(tree.path("old.zov"), {'o', 'l', 'd'});
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string says;
    } const cases[] = {
        {{"missing.mp4", "out.zov"}, kClipUnusableInput, "missing.mp4: cannot be opened"},
        {{"tone.wav", "out.zov"}, kClipUnusableInput, "tone.wav: has no video stream"},
        {{"cut.mp4", "out.zov"}, kClipUnusableInput, "cut.mp4: is cut off"},
        {{"cut.mkv", "out.zov"}, kClipUnusableInput, "cut.mkv: is cut off"},
        {{"clip.mp4", "out.zov", "--start", "5"}, kClipUnusableInput, "clip.mp4: --start 5 s is past its end (2.000 s)"},
        {{"clip.mp4", "old.zov"}, kClipOutputRefused, "old.zov: exists; --force overwrites it"},
        {{"clip.mp4", "clip.mp4", "--force"}, kClipOutputRefused, "clip.mp4: is "},
        {{"clip.mp4", "out.zov", "--no-sound", "--gain", "3"}, kClipBadCommandLine, "vicclip: --no-sound"},
        {{"clip.mp4", "out.zov", "--film", "film.avi"}, kClipBadCommandLine, "vicclip: --film"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args;
        for (const std::string& arg : c.args) args.push_back(arg.find('.') != std::string::npos ? tree.path(arg) : arg);
        EXPECT_EQ(vicclip(args), c.exit) << c.says << ": " << console.output();
        EXPECT_EQ(console.output().rfind(tree.path(c.says), 0) == 0 || console.output().rfind(c.says, 0) == 0, true)
            << c.says << ": " << console.output();
        EXPECT_EQ(lines(), c.exit == kClipBadCommandLine ? 2u : 1u) << console.output();
        EXPECT_EQ(tree.below(""), (std::vector<std::string>{"clip.mkv", "clip.mp4", "cut.mkv", "cut.mp4", "old.zov", "tone.wav"})) << c.says;
    }
    EXPECT_EQ(testing::fileBytes(tree.path("old.zov")), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_TRUE(console.errors().empty()) << "no progress bar off a terminal: " << console.errors();
}

// NAME.prg: the program and its REU image are what vicpack makes of the stream that --keep-stream keeps, for
// the C64 and with --c128 for the C128, and nothing else is left; an existing image is kept without --force;
// a stream takes neither option.
TEST_F(Vicclip, AProgramIsWhatVicpackMakesOfTheStream) {
    make("clip.mp4", testing::testPictures("160x120", 10, 2) + " " + testing::testTone(440, 22050, 2),
         "-c:v libx264 -pix_fmt yuv420p -c:a aac");
    for (const bool c128 : {false, true}) {
        std::vector<std::string> args{tree.path("clip.mp4"), tree.path("clip.prg"), "--keep-stream", tree.path("kept.zov"), "--force", "--bw", "20000"};
        std::vector<std::string> pack{"vicpack", tree.path("kept.zov"), tree.path("packed.prg"), "--force"};
        if (c128) args.push_back("--c128"), pack.push_back("--c128");
        ASSERT_EQ(vicclip(args), kClipDone) << console.output();
        EXPECT_EQ(lines(), 3u) << console.output();
        EXPECT_NE(console.output().find(c128 ? " on a C128 (x128 " : " on a C64 (x64sc "), std::string::npos) << console.output();
        EXPECT_NE(console.output().find(c128 ? "on a PAL C128, by the player's timing model: every frame on time"
                                             : "on a PAL C64, by the player's timing model: every frame on time"),
                  std::string::npos)
            << console.output();
        ASSERT_EQ(runVicpack(pack), 0);
        EXPECT_EQ(testing::fileBytes(tree.path("clip.prg")), testing::fileBytes(tree.path("packed.prg"))) << c128;
        EXPECT_EQ(testing::fileBytes(tree.path("clip.reu")), testing::fileBytes(tree.path("packed.reu"))) << c128;
    }
    EXPECT_EQ(tree.below(""), (std::vector<std::string>{"clip.mp4", "clip.prg", "clip.reu", "kept.zov", "packed.prg", "packed.reu"}));
    testing::saveBytes(tree.path("old.reu"), {'o', 'l', 'd'});
    EXPECT_EQ(vicclip({tree.path("clip.mp4"), tree.path("old.prg")}), kClipOutputRefused) << console.output();
    EXPECT_EQ(console.output(), tree.path("old.reu") + ": exists; --force overwrites it\n");
    EXPECT_EQ(tree.below(""), (std::vector<std::string>{"clip.mp4", "clip.prg", "clip.reu", "kept.zov", "old.reu", "packed.prg", "packed.reu"}));
    EXPECT_EQ(vicclip({tree.path("clip.mp4"), tree.path("clip.zov"), "--c128"}), kClipBadCommandLine);
    EXPECT_EQ(vicclip({tree.path("clip.mp4"), tree.path("clip.zov"), "--keep-stream", tree.path("kept.zov")}), kClipBadCommandLine);
}

// A clip cut short (its index at the front, so that what is left can be read) is refused by vicclip as
// soundtrack refuses it: the same words, exit code 2, no output left. A --length that ends before the
// break keeps what comes before.
TEST_F(Vicclip, ACutClipIsRefusedAsSoundtrackRefusesItUnlessTheLengthEndsBeforeTheBreak) {
    make("clip.mp4", testing::testPictures("160x120", 10, 6) + " " + testing::testTone(440, 22050, 6),
         "-c:v libx264 -pix_fmt yuv420p -c:a aac -movflags +faststart");
    testing::saveCut(tree.path("clip.mp4"), tree.path("cut.mp4"), 0.6);
    const std::string cut = tree.path("cut.mp4");
    EXPECT_EQ(vicclip({cut, tree.path("out.zov")}), kClipUnusableInput);
    const std::string byVicclip = console.output();
    console.clear();
    EXPECT_EQ(runSoundtrack({"soundtrack", cut, tree.path("out.raw")}), kTrackUnusableInput);
    for (const std::string& said : {byVicclip, console.output()}) {
        EXPECT_EQ(said.rfind(cut + ": is cut off: it ends at ", 0), 0u) << said;
        EXPECT_NE(said.find(" of the 6.0 s it states\n"), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    EXPECT_EQ(tree.below(""), (std::vector<std::string>{"clip.mp4", "cut.mp4"}));

    EXPECT_EQ(vicclip({cut, tree.path("out.zov"), "--length", "1.5"}), kClipDone) << console.output();
    EXPECT_EQ(console.output().rfind(tree.path("out.zov") + ": 6 pictures offered", 0), 0u) << console.output();
    console.clear();
    EXPECT_EQ(runSoundtrack({"soundtrack", cut, tree.path("out.raw"), "--length", "1.5"}), kTrackDone) << console.output();
}

// The pictures and the track wait in unnamed temporary files. When one cannot be made, or the disk fills
// while the pictures are written, the run ends with one line and its exit code and leaves nothing behind.
TEST_F(Vicclip, AFailingTemporaryFileEndsTheRunWithOneLineAndLeavesNothing) {
    make("clip.mp4", testing::testPictures("160x120", 10, 1) + " " + testing::testTone(440, 22050, 1),
         "-c:v libx264 -pix_fmt yuv420p -c:a aac");
    const std::vector<unsigned char> clip = testing::fileBytes(tree.path("clip.mp4"));
    MemoryFileSystem disk;
    disk.addFile("clip.mp4", MemoryFileSystem::Bytes(clip.begin(), clip.end()));
    PlatformOverride onDisk(&disk, nullptr);
    const std::string full = "No space left on device\n";
    const struct {
        FileOp failing;
        int from;
        std::string says;
    } cases[] = {
        {FileOp::CreateUnnamed, 0, "vicclip: no temporary file for the pictures in /tmp: " + full},
        {FileOp::CreateUnnamed, 1, "vicclip: no temporary file for the sound track in /tmp: " + full},
        {FileOp::Write, 0, "vicclip: the temporary file of the pictures cannot be written: " + full},
    };
    for (const auto& c : cases) {
        disk.failAt(c.failing, disk.calls(c.failing) + c.from, true);
        EXPECT_EQ(vicclip({"clip.mp4", "out.zov"}), kClipWriteFailed) << c.says;
        EXPECT_EQ(console.output(), c.says);
        std::vector<std::string> names, temporary;
        ASSERT_TRUE(disk.list("", names));
        EXPECT_EQ(names, (std::vector<std::string>{"clip.mp4"})) << c.says;
        EXPECT_TRUE(!disk.list("/tmp", temporary) || temporary.empty()) << c.says;
        EXPECT_EQ(disk.unnamedFilesOpen(), 0) << c.says;
        disk.failAt(c.failing, -1);
    }
    EXPECT_EQ(vicclip({"clip.mp4", "out.zov"}), kClipDone) << console.output();
    EXPECT_TRUE(disk.exists("out.zov"));
    EXPECT_EQ(disk.unnamedFilesOpen(), 0);
}

// At a low bandwidth most pictures are dropped: the summary counts them, and the bandwidth named keeps at
// least nine of ten pictures where 500 less keeps fewer.
TEST_F(Vicclip, TheSummaryCountsThePicturesAndNamesABandwidthThatKeepsEnough) {
    make("clip.mp4", testing::testPictures("320x240", 25, 6) + " " + testing::testTone(440, 44100, 6),
         "-c:v libx264 -pix_fmt yuv420p -c:a aac");
    ASSERT_EQ(vicclip({tree.path("clip.mp4"), tree.path("low.zov"), "--bw", "3000"}), kClipDone) << console.output();
    const std::string said = console.output();
    EXPECT_EQ(said.rfind(tree.path("low.zov") + ": 24 pictures offered, ", 0), 0u) << said;
    const std::string hint = "More than a third of the pictures were dropped: --bw ";
    const std::size_t at = said.find(hint);
    ASSERT_NE(at, std::string::npos) << said;
    const int named = std::atoi(said.c_str() + at + hint.size());
    EXPECT_EQ(named % 500, 0);
    auto kept = [&](int bandwidth) {
        EXPECT_EQ(vicclip({tree.path("clip.mp4"), tree.path("try.zov"), "--force", "--bw", std::to_string(bandwidth)}), kClipDone);
        const std::string line = console.output();
        return std::atoi(line.c_str() + line.find("offered, ") + 9);
    };
    EXPECT_GE(kept(named) * 10, 24 * 9) << named;
    if (named > 3500) {
        EXPECT_LT(kept(named - 500) * 10, 24 * 9) << named;
    }
}

// A .BIN output makes a bitmap file of the clip's first picture: by default frameconv's conversion of that
// picture as the long route extracts it, byte for byte; with --colours card one whose cards carry their own
// colours (the Color RAM's FG per card included), in multicolour and in hi-res.
TEST_F(Vicclip, AStillBecomesABitmapFileWithEitherColourChoice) {
    make("still.png", testing::testPictures("320x240", 25, 1), "-frames:v 1");
    const std::string still = tree.path("still.png");
    ASSERT_EQ(vicclip({still, tree.path("exact.BIN")}), kClipDone) << console.output();
    EXPECT_EQ(console.output(), tree.path("exact.BIN") + ": a multicolour bitmap file, one set of colours for the picture\n");
    PictureSettings settings;
    settings.fps.clear();
    EXPECT_TRUE(testing::runFfmpeg("-i '" + still + "' -vf \"" + pictureFilters(settings) + "\" -pix_fmt bgr24 '" +
                                   tree.path("frame.bmp") + "'"));
    EXPECT_EQ(runFrameconv({"frameconv", tree.path("frame.bmp"), tree.path("long.BIN"), "/v0"}), 0);
    EXPECT_EQ(testing::fileBytes(tree.path("exact.BIN")), testing::fileBytes(tree.path("long.BIN")));

    ASSERT_EQ(vicclip({still, tree.path("card.BIN"), "--colours", "card"}), kClipDone) << console.output();
    const std::vector<unsigned char> card = testing::fileBytes(tree.path("card.BIN"));
    ASSERT_EQ(card.size(), 10003u);
    EXPECT_NE(card, testing::fileBytes(tree.path("exact.BIN")));
    const std::vector<unsigned char> colourRam(card.begin() + 9002, card.begin() + 10002);
    EXPECT_GT(std::count_if(colourRam.begin(), colourRam.end(), [](unsigned char c) { return (c & 15) != 0; }), 100)
        << "the FG of many cards is not the pinned Black";
    ASSERT_EQ(vicclip({still, tree.path("hires.BIN"), "--colours", "card", "--hires"}), kClipDone) << console.output();
    EXPECT_EQ(testing::fileBytes(tree.path("hires.BIN")).size(), 2u + 1024 + 8000);

    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{still, tree.path("x.BIN"), "--colours", "card", "--contrast", "120"},
          {still, tree.path("x.BIN"), "--colours", "card", "--colour-arrays", "1"},
          {still, tree.path("x.BIN"), "--film", tree.path("x.mp4")},
          {still, tree.path("x.BIN"), "--colours", "cards"}}) {
        EXPECT_EQ(vicclip(refused), kClipBadCommandLine) << refused.back();
    }
    EXPECT_EQ(tree.below(""), (std::vector<std::string>{"card.BIN", "exact.BIN", "frame.bmp", "hires.BIN", "long.BIN", "still.png"}));
}

TEST(VicclipBandwidth, TheSmallestStepThatKeepsEnoughIsFound) {
    // Pictures kept: 50 below 9200 bytes a second, 95 of 100 from there on.
    std::vector<int> tried;
    auto kept = [&](int bandwidth) -> std::optional<std::size_t> {
        tried.push_back(bandwidth);
        return bandwidth >= 9200 ? 95 : 50;
    };
    // Whatever the guess, below, at or far above the answer, the same step is found.
    for (int guess : {0, 4000, 7300, 9500, 9600, 30000, 64000}) {
        tried.clear();
        EXPECT_EQ(sufficientBandwidth(4000, guess, 100, kept).enough, 9500) << guess;
        EXPECT_LE(tried.size(), guess <= 2 * 9500 ? 9u : 16u) << guess;
    }
    tried.clear();
    sufficientBandwidth(4000, 9300, 100, kept);
    EXPECT_EQ(tried, (std::vector<int>{9500, 9000})) << "a good guess takes two compiles";
    EXPECT_EQ(sufficientBandwidth(4200, 0, 100, [](int bandwidth) -> std::optional<std::size_t> { return bandwidth >= 4500 ? 90 : 0; })
                  .enough,
              4500);
    const BandwidthSearch none = sufficientBandwidth(4000, 6000, 100, [](int) -> std::optional<std::size_t> { return 80; });
    EXPECT_FALSE(none.enough || none.failed);
    // A count that fails ends the search there, whichever way it was going: no bandwidth is named.
    struct Failing {
        int guess, failing;
        std::size_t counts;
    };
    for (const Failing& f : {Failing{9300, 9500, 1}, Failing{9300, 9000, 2}, Failing{8000, 8500, 2}}) {
        tried.clear();
        const BandwidthSearch search =
            sufficientBandwidth(4000, f.guess, 100, [&](int bandwidth) -> std::optional<std::size_t> {
                if (bandwidth != f.failing) return kept(bandwidth);
                tried.push_back(bandwidth);
                return std::nullopt;
            });
        EXPECT_TRUE(search.failed && !search.enough) << f.failing;
        EXPECT_EQ(tried.size(), f.counts) << f.failing;
        EXPECT_EQ(tried.back(), f.failing);
    }
    // Half the pictures kept at 4000 with 2000 of it sound: the video's 2000 grows to 3600 for 90 of 100.
    EXPECT_EQ(bandwidthGuess(4000, 2000, 100, 50), 5600);
}

TEST(VicclipProgress, TheBarShowsPicturesElapsedAndRemaining) {
    EXPECT_EQ(progressLine("compiling", 30, 120, 65, 10), "compiling [######                  ] 30/120 pictures, 1:05 elapsed, 0:30 left");
    EXPECT_EQ(progressLine("reading  ", 0, 0, 0, 0), "reading   [                        ] 0 pictures, 0:00 elapsed");
}

}  // namespace
}  // namespace zov
