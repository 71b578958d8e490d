// The sound of media files that FFmpeg's libraries read, as the ffmpeg program makes them: video files,
// compressed sound, a sound that begins after the pictures, and broken copies of them.
#include "common/console/console.h"
#include "common/platform/memory_platform.h"
#include "soundtrack/soundtrack_app.h"
#include "support/media_clips.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace zov {
namespace {

std::vector<unsigned> levelsOf(const std::vector<unsigned char>& track) {
    std::vector<unsigned> levels;
    for (unsigned char byte : track)
        for (int shift = 6; shift >= 0; shift -= 2) levels.push_back((byte >> shift) & 3u);
    return levels;
}

class MediaSound : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg)";
    }
    /// Makes a file with ffmpeg in the tree; the test stops when it cannot.
    void make(const std::string& name, const std::string& inputs, const std::string& codecs) {
        ASSERT_TRUE(testing::runFfmpeg(inputs + " " + codecs + " '" + tree.path(name) + "'")) << name;
    }
    int run(std::vector<std::string> args) {
        console.clear();
        args.insert(args.begin(), "soundtrack");
        return runSoundtrack(args);
    }
    std::size_t lines() const {
        return static_cast<std::size_t>(std::count(console.output().begin(), console.output().end(), '\n'));
    }

    testing::TempTree tree{"soundtrack-media"};
    StringConsole console;
    PlatformOverride use{nullptr, &console};
};

// Three seconds of tone in a video file with H.264 and AAC, one with MPEG-4 and AC3, Ogg Vorbis and Opus:
// each gives three seconds of track (the decoders' padding aside), and the tone fills all four levels.
TEST_F(MediaSound, TheSoundOfVideoFilesAndCompressedSound) {
    const std::string pictures = testing::testPictures("160x120", 10, 3), tone = testing::testTone(440, 22050, 3);
    make("clip.mp4", pictures + " " + tone, "-c:v libx264 -pix_fmt yuv420p -c:a aac");
    make("clip.avi", pictures + " " + tone, "-c:v mpeg4 -c:a ac3");
    make("tone.ogg", tone, "-c:a libvorbis");
    make("tone.opus", tone, "-c:a libopus");
    for (const char* name : {"clip.mp4", "clip.avi", "tone.ogg", "tone.opus"}) {
        ASSERT_EQ(run({tree.path(name), tree.path("out.raw"), "--force"}), kTrackDone) << name << ": " << console.output();
        std::vector<unsigned> levels = levelsOf(testing::fileBytes(tree.path("out.raw")));
        EXPECT_NEAR(static_cast<double>(levels.size()), 3 * 7843, 250) << name;
        for (unsigned level = 0; level < 4; ++level)
            EXPECT_GT(std::count(levels.begin(), levels.end(), level), 2000) << name << " level " << level;
    }
}

// The pictures start at 0, the sound one second later: the track starts with the pictures, so a second of
// silence comes first; --stream names the sound by the file's stream number.
TEST_F(MediaSound, ASoundThatBeginsAfterThePicturesIsPrecededBySilence) {
    make("late.mkv", testing::testPictures("160x120", 10, 3) + " -itsoffset 1 " + testing::testTone(440, 22050, 2),
         "-c:v libx264 -c:a libopus");
    ASSERT_EQ(run({tree.path("late.mkv"), tree.path("out.raw"), "--stream", "1"}), kTrackDone) << console.output();
    std::vector<unsigned> levels = levelsOf(testing::fileBytes(tree.path("out.raw")));
    auto loud = std::find_if(levels.begin(), levels.end(), [](unsigned level) { return level == 0 || level == 3; });
    EXPECT_NEAR(static_cast<double>(loud - levels.begin()), 7843, 40);

    EXPECT_EQ(run({tree.path("late.mkv"), tree.path("other.raw"), "--stream", "0"}), kTrackUnusableInput);
    EXPECT_EQ(console.output(), tree.path("late.mkv") + ": stream 0 is not an audio stream (audio: 1)\n");
}

// Broken files: cut short or with a damaged middle. Each run ends at once with its exit code and one line: 0
// with the track of what could be decoded (damaged parts passed over), or 2 with no track when nothing could
// or the sound ends well before the length the file states. (The bound on the time is generous: a reader
// that hangs runs for ever.)
TEST_F(MediaSound, CutAndCorruptedFilesEndAtOnceWithTheirExitCode) {
    const std::string pictures = testing::testPictures("160x120", 10, 3), tone = testing::testTone(440, 22050, 3);
    make("clip.mp4", pictures + " " + tone, "-c:v libx264 -pix_fmt yuv420p -c:a aac");
    make("clip.avi", pictures + " " + tone, "-c:v mpeg4 -c:a ac3");
    make("tone.ogg", tone, "-c:a libvorbis");
    struct Case {
        std::string name;
        int exit;
    };
    std::vector<Case> cases;
    for (const char* name : {"clip.mp4", "clip.avi", "tone.ogg"}) {
        testing::saveCut(tree.path(name), tree.path(std::string("cut-") + name), 0.5);
        testing::saveCut(tree.path(name), tree.path(std::string("most-") + name), 0.9);
        testing::saveCorrupted(tree.path(name), tree.path(std::string("bad-") + name));
    }
    // An MP4 keeps its index at the end, an Ogg file its codebooks at the start: cut or damaged there, nothing
    // can be decoded. A cut AVI file states no more than it holds; the damaged one stops being read well
    // before the length it states.
    cases = {{"cut-clip.mp4", kTrackUnusableInput}, {"most-clip.mp4", kTrackUnusableInput},
             {"bad-clip.mp4", kTrackDone},          {"cut-clip.avi", kTrackDone},
             {"most-clip.avi", kTrackDone},         {"bad-clip.avi", kTrackUnusableInput},
             {"cut-tone.ogg", kTrackUnusableInput}, {"most-tone.ogg", kTrackDone},
             {"bad-tone.ogg", kTrackUnusableInput}};
    for (const Case& c : cases) {
        std::remove(tree.path("out.raw").c_str());
        const auto begun = std::chrono::steady_clock::now();
        EXPECT_EQ(run({tree.path(c.name), tree.path("out.raw")}), c.exit) << c.name << ": " << console.output();
        EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(20)) << c.name;
        EXPECT_EQ(lines(), 1u) << c.name << ": " << console.output();
        EXPECT_EQ(tree.below("").size(), 3 * 4 + (c.exit == kTrackDone ? 1u : 0u)) << c.name << ": no passing file is left";
    }
}

}  // namespace
}  // namespace zov
