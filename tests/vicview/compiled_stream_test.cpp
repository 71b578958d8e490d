// A stream that frameconv compiles is previewed, and every frame shown must be the picture of that
// frame's own bitmap file. The same stream becomes a GIF and an MP4 film, and its timeline accounts for
// every byte.
#include "frameconv/app/frameconv_app.h"
#include "support/picture_files.h"
#include "support/temp_tree.h"
#include "vicview/stream_preview.h"
#include "view_test_support.h"

#include <algorithm>
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace zov {
namespace {

using picture_files::Rgb;
using picture_files::RgbGrid;

RgbGrid movingFrame(int width, int height, int i) {
    return RgbGrid::generate(width, height, [=](int x, int y) {
        int dx = x - (12 + i * 11), dy = y - height / 2;
        if (dx * dx * 4 + dy * dy < 140) return Rgb{250, 250, 250};
        if (y < height / 3) return Rgb{60, 90, static_cast<std::uint8_t>(200 + i)};
        return Rgb{static_cast<std::uint8_t>((x * 3 + y * 2) % 256), 140, 60};
    });
}

class CompiledStream : public ViewRun {
protected:
    // Files in the working directory that an output was written under before it was complete.
    int partialFiles() {
        std::vector<std::string> names;
        fs.list(".", names);
        return static_cast<int>(std::count_if(names.begin(), names.end(),
                                              [](const std::string& name) { return name.find(".part") != std::string::npos; }));
    }

    /// Compiles the frames with frameconv's options; with cards, every card's colours are chosen for it.
    void compile(const std::string& options, int width, int height, int frames, const CardColourSettings* cards = nullptr) {
        fs.addFile("clip.raw", MemoryFileSystem::Bytes(kAudioBytes, 0x1B));
        for (int i = 0; i < frames; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "clip/f%02d.bmp", i + 1);
            fs.addFile(name, picture_files::bmp(movingFrame(width, height, i)));
        }
        std::vector<std::string> args{"frameconv", "clip", "v.zov", "/c", "/i", "/v0"};
        std::istringstream extra(options);
        for (std::string word; extra >> word;) args.push_back(word);
        FrameconvApp app;
        if (cards) app.chooseColoursPerCard(*cards);
        ASSERT_EQ(app.run(args), 0) << console.output();
    }

    // Every frame picture of the preview equals the rendering of the frame's bitmap file.
    void expectFramesMatchBitmaps(const std::string& viewOptions, int frames) {
        ASSERT_EQ(run("v.zov preview"), 0) << console.output();
        int shown = 0;
        for (int number = 1; number <= frames; ++number) {
            Bytes framePng = file("preview/" + frameFileName(static_cast<std::uint32_t>(number)));
            if (framePng.empty()) continue;  // a dropped picture
            ++shown;
            char bin[32];
            std::snprintf(bin, sizeof bin, "clip/f%02d.BIN", number);
            ASSERT_EQ(run(std::string(bin) + " expected.png " + viewOptions), 0) << console.output();
            RgbImage played = decodePng(framePng), expected = decodePng(file("expected.png"));
            ASSERT_EQ(played.width(), expected.width());
            ASSERT_EQ(played.height(), expected.height());
            int different = 0;
            for (int y = 0; y < played.height(); ++y)
                for (int x = 0; x < played.width(); ++x) different += !(played.at(x, y) == expected.at(x, y));
            EXPECT_EQ(different, 0) << "frame " << number;
        }
        EXPECT_GE(shown, 2);
        EXPECT_FALSE(file("preview/contact.png").empty());
    }

    // Eight pictures at 4 a second with two seconds of sound at 8000 Hz: 4000 bytes of four 2-bit samples.
    static constexpr std::size_t kAudioBytes = 4000;
    static constexpr int kPictures = 8;
    void compileFilmClip() { compile("/ir4 /r3 /af clip.raw /ar8000 /bw8000", 160, 200, kPictures); }

    /// The numbers of the frames the preview wrote, in order.
    std::vector<std::uint32_t> previewFrameNumbers() {
        EXPECT_EQ(run("v.zov preview"), 0) << console.output();
        std::vector<std::uint32_t> numbers;
        for (std::uint32_t number = 1; number <= kPictures; ++number)
            if (!file("preview/" + frameFileName(number)).empty()) numbers.push_back(number);
        return numbers;
    }
};

int readGifBytes(GifFileType* gif, GifByteType* into, int length) {
    auto* source = static_cast<std::pair<const Bytes*, std::size_t>*>(gif->UserData);
    int count = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(length), source->first->size() - source->second));
    std::memcpy(into, source->first->data() + source->second, static_cast<std::size_t>(count));
    source->second += static_cast<std::size_t>(count);
    return count;
}

struct GifFrame {
    RgbImage picture;
    int delay = 0;  // hundredths of a second
};

/// Every frame of a GIF file as giflib reads it back.
std::vector<GifFrame> decodeGif(const Bytes& file) {
    std::pair<const Bytes*, std::size_t> source{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, readGifBytes, &error);
    std::vector<GifFrame> frames;
    if (!gif) return frames;
    if (DGifSlurp(gif) == GIF_OK) {
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& image = gif->SavedImages[i];
            const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
            GifFrame frame{RgbImage(image.ImageDesc.Width, image.ImageDesc.Height)};
            for (int y = 0; y < image.ImageDesc.Height; ++y)
                for (int x = 0; x < image.ImageDesc.Width; ++x) {
                    GifColorType colour = map->Colors[image.RasterBits[y * image.ImageDesc.Width + x]];
                    frame.picture.set(x, y, {colour.Red, colour.Green, colour.Blue});
                }
            GraphicsControlBlock control{};
            if (DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK) frame.delay = control.DelayTime;
            frames.push_back(frame);
        }
    }
    DGifCloseFile(gif, &error);
    return frames;
}

int differentPixels(const RgbImage& a, const RgbImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return -1;
    int different = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) different += !(a.at(x, y) == b.at(x, y));
    return different;
}

TEST_F(CompiledStream, GifFramesAreThePreviewFramesHeldUntilTheNextOne) {
    compileFilmClip();
    std::vector<std::uint32_t> shown = previewFrameNumbers();
    ASSERT_GE(shown.size(), 3u);
    ASSERT_LT(shown.size(), static_cast<std::size_t>(kPictures)) << "the output rate drops some pictures";

    ASSERT_EQ(run("v.zov film.gif"), 0) << console.output();
    std::vector<GifFrame> frames = decodeGif(file("film.gif"));
    ASSERT_EQ(frames.size(), shown.size());
    int total = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(differentPixels(frames[i].picture, png("preview/" + frameFileName(shown[i]))), 0) << "frame " << shown[i];
        // At 4 pictures a second a picture lasts 25 hundredths; a frame stays until the next shown one.
        std::uint32_t next = i + 1 < shown.size() ? shown[i + 1] : kPictures + 1;
        EXPECT_EQ(frames[i].delay, static_cast<int>(next - shown[i]) * 25) << "frame " << shown[i];
        total += frames[i].delay;
    }
    EXPECT_EQ(total, 200) << "the two seconds of the stream";
    EXPECT_EQ(partialFiles(), 0);
}

TEST_F(CompiledStream, AFilmNeverReplacesItsStreamAndAFailedOneLeavesNoFile) {
    compileFilmClip();
    put("clip.gif", file("v.zov"));
    fs.addLink("again.gif", "clip.gif");
    EXPECT_EQ(run("clip.gif again.gif"), kViewBadCommandLine);
    EXPECT_EQ(run("v.zov preview --wav ./v.zov"), kViewBadCommandLine);
    EXPECT_EQ(file("clip.gif"), file("v.zov"));

    fs.failAt(FileOp::Write, 0, true);
    EXPECT_EQ(run("v.zov film.gif"), 4);
    EXPECT_NE(console.output().find("Couldn't write film.gif"), std::string::npos) << console.output();
    EXPECT_FALSE(fs.exists("film.gif"));
    EXPECT_EQ(partialFiles(), 0);
}

/// What ffprobe says of one entry of a stream of a film, or "" when it cannot tell.
std::string probe(const std::string& path, const char* stream, const char* entry, bool count = false) {
    std::string command = std::string("ffprobe -v error ") + (count ? "-count_frames " : "") + "-select_streams " +
                          stream + " -show_entries stream=" + entry + " -of csv=p=0 '" + path + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
    pclose(pipe);
    while (!text.empty() && (text.back() == '\n' || text.back() == ',')) text.pop_back();
    return text;
}

TEST_F(CompiledStream, Mp4HasAFrameForEveryPictureAndTheStreamsSound) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg and ffprobe are not installed (apt-get install ffmpeg): the MP4 film is not checked";
    compileFilmClip();
    testing::TempTree tree("vicview-film");
    tree.save("v.zov", file("v.zov"));
    {
        // ffmpeg writes the film on the real disk.
        PlatformOverride real(&realFileSystem(), nullptr);
        ASSERT_EQ(runVicview({"vicview", tree.path("v.zov"), tree.path("film.mp4"), "--scale", "2"}), 0) << console.output();
    }
    std::string film = tree.path("film.mp4");
    EXPECT_EQ(probe(film, "v:0", "codec_name,width,height,pix_fmt"), "h264,640,400,yuv420p");
    // One film frame per picture period: a frame held over dropped pictures repeats.
    EXPECT_EQ(probe(film, "v:0", "nb_read_frames", true), std::to_string(kPictures));
    EXPECT_EQ(probe(film, "a:0", "codec_name"), "aac");
    double soundSeconds = std::atof(probe(film, "a:0", "duration").c_str());
    EXPECT_NEAR(soundSeconds, kAudioBytes * 4 / 8000.0, 0.05);
    EXPECT_EQ(tree.below(""), (std::vector<std::string>{"film.mp4", "v.zov"})) << "no passing files are left";
}

TEST_F(CompiledStream, AnMp4FilmWithFfmpegMissingFailingOrMeetingAFullDiskLeavesNothingBehind) {
    compileFilmClip();
    MemoryPrograms programs(fs);
    PlatformOverride withPrograms(nullptr, nullptr, &programs);
    using Run = MemoryPrograms::Run;
    std::vector<std::string> before;
    fs.list("", before);
    auto leftBehind = [&] {
        std::vector<std::string> now, temporary;
        fs.list("", now);
        fs.list("/tmp", temporary);
        now.erase(std::remove(now.begin(), now.end(), "tmp"), now.end());
        now.insert(now.end(), temporary.begin(), temporary.end());
        std::sort(now.begin(), now.end());
        std::sort(before.begin(), before.end());
        return now == before && programs.running() == 0;
    };

    EXPECT_EQ(run("v.zov film.mp4"), kViewWriteFailed);
    EXPECT_EQ(console.output(), "Couldn't write film.mp4: the ffmpeg program is not on the PATH: install the package ffmpeg\n");
    EXPECT_TRUE(leftBehind());

    const std::size_t frameBytes = 320 * 200 * 3;
    programs.add(
        "ffmpeg", [](Run& ffmpeg, MemoryFileSystem&) {
            ffmpeg.said = "[libx264 @ 0x1] broken\nConversion failed!\n";
            return 1;
        },
        2 * frameBytes);
    EXPECT_EQ(run("v.zov film.mp4"), kViewWriteFailed);
    EXPECT_EQ(console.output(), "Couldn't write film.mp4: the ffmpeg program failed (exit status 1): Conversion failed!\n");
    EXPECT_TRUE(leftBehind());

    // ffmpeg writes the film, and then the disk is full.
    std::vector<unsigned char> fed;
    std::vector<std::string> arguments;
    bool diskFull = true;
    programs.add("ffmpeg", [&](Run& ffmpeg, MemoryFileSystem& files) {
        fed = ffmpeg.input;
        arguments = ffmpeg.args;
        files.addFile(ffmpeg.args.back(), std::string("the film"));
        if (diskFull) files.failFromNow(FileOp::Write);
        return 0;
    });
    EXPECT_EQ(run("v.zov film.mp4"), kViewWriteFailed);
    EXPECT_EQ(console.output(), "Couldn't write film.mp4: No space left on device\n");
    EXPECT_TRUE(leftBehind());

    fs.failAt(FileOp::Write, -1);
    diskFull = false;
    ASSERT_EQ(run("v.zov film.mp4"), kViewDone) << console.output();
    EXPECT_EQ(file("film.mp4"), (Bytes{'t', 'h', 'e', ' ', 'f', 'i', 'l', 'm'}));
    // One screen of frame bytes per picture period, the size ffmpeg is told.
    EXPECT_EQ(fed.size(), kPictures * frameBytes);
    auto size = std::find(arguments.begin(), arguments.end(), "-video_size");
    ASSERT_NE(size, arguments.end());
    EXPECT_EQ(size[1], "320x200");
    fs.remove("film.mp4");
    EXPECT_TRUE(leftBehind());
}

/// The timeline's rows as maps from column name to text.
std::vector<std::map<std::string, std::string>> csvRows(const Bytes& file) {
    std::vector<std::vector<std::string>> table;
    std::istringstream lines(std::string(file.begin(), file.end()));
    for (std::string line; std::getline(lines, line);) {
        table.emplace_back();
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) table.back().push_back(cell);
        if (!line.empty() && line.back() == ',') table.back().push_back("");
    }
    std::vector<std::map<std::string, std::string>> rows;
    for (std::size_t r = 1; r < table.size(); ++r) {
        rows.emplace_back();
        for (std::size_t c = 0; c < table[0].size() && c < table[r].size(); ++c) rows.back()[table[0][c]] = table[r][c];
    }
    return rows;
}

TEST_F(CompiledStream, TimelineRowsAccountForEveryByteAfterTheHeader) {
    compileFilmClip();
    std::vector<std::uint32_t> shown = previewFrameNumbers();
    ASSERT_EQ(run("v.zov preview --timeline"), 0) << console.output();
    auto rows = csvRows(file("preview/timeline.csv"));
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(shown.back()));
    std::size_t total = 0, frames = 0;
    for (auto& row : rows) {
        total += std::stoul(row["video_bytes"]) + std::stoul(row["audio_bytes"]) + std::stoul(row["head_bytes"]);
        frames += row["shown"] == "shown";
        EXPECT_EQ(row["shown"] == "shown", !file("preview/" + frameFileName(std::stoul(row["picture"]))).empty())
            << "picture " << row["picture"];
    }
    EXPECT_EQ(frames, shown.size());
    // The header: the 8-byte file head, the audio chunk (4 + 12) and the video chunk (4 + 18).
    EXPECT_EQ(total, file("v.zov").size() - 46);
    Bytes chart = file("preview/timeline.svg");
    std::string svg(chart.begin(), chart.end());
    EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
}

TEST_F(CompiledStream, MulticolourFramesEqualTheirBitmapFiles) {
    compile("/bw8000", 160, 200, 8);
    expectFramesMatchBitmaps("", 8);
}

TEST_F(CompiledStream, FramesWithColoursChosenPerCardEqualTheirBitmapFiles) {
    CardColourSettings cards;
    cards.colourRamPerCard = false;
    cards.background = 6;
    cards.dither = CardDither::Ordered;
    compile("/bw8000", 160, 200, 8, &cards);
    expectFramesMatchBitmaps("", 8);
}

TEST_F(CompiledStream, HiresFramesOfACentredPictureEqualTheirBitmapFiles) {
    compile("/m1 /bw8000", 320, 96, 6);
    expectFramesMatchBitmaps("--hires", 6);
}

}  // namespace
}  // namespace zov
