// Draws the demo's sample inputs: a colourful still scene (BMP), a short sequence of frames with motion
// (BMP and PPM), the clip's sound as a WAVE file (soundtrack makes the video's track from it), and a WAVE
// chirp for soundconv.
//
//   make_samples DIR
#include "formats/little_endian.h"
#include "formats/wave_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using zov::appendLe16;
using zov::appendLe32;
using zov::pcmFormat;
using zov::pcmWaveHead;

struct Rgb {
    std::uint8_t r, g, b;
};

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(width * height) {}
    int width() const { return width_; }
    int height() const { return height_; }
    Rgb& at(int x, int y) { return pixels_[y * width_ + x]; }
    const Rgb& at(int x, int y) const { return pixels_[y * width_ + x]; }

    void disc(double cx, double cy, double radius, Rgb colour) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) at(x, y) = colour;
    }
    void box(int x0, int y0, int x1, int y1, Rgb colour) {
        for (int y = std::max(0, y0); y < std::min(height_, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(width_, x1); ++x) at(x, y) = colour;
    }

private:
    int width_, height_;
    std::vector<Rgb> pixels_;
};

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// A landscape: sky gradient, sun, hills, a lake and a red-roofed house.
Canvas drawScene(int width, int height, double sunX) {
    Canvas c(width, height);
    for (int y = 0; y < height; ++y) {
        double t = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) c.at(x, y) = {clampByte(40 + 120 * t), clampByte(90 + 110 * t), 230};
    }
    c.disc(sunX, height * 0.18, height * 0.09, {255, 220, 40});
    for (int x = 0; x < width; ++x) {
        double hill = height * (0.55 + 0.08 * std::sin(x * 0.05) + 0.04 * std::sin(x * 0.13 + 1));
        for (int y = static_cast<int>(hill); y < height; ++y) {
            double shade = 0.6 + 0.4 * std::sin(x * 0.3 + y * 0.2);
            c.at(x, y) = {clampByte(40 * shade), clampByte(150 * shade + 40), clampByte(30 * shade)};
        }
    }
    c.box(0, static_cast<int>(height * 0.82), width, height, {30, 80, 170});
    int hx = width * 3 / 5, hy = static_cast<int>(height * 0.55), hw = width / 6, hh = height / 8;
    c.box(hx, hy, hx + hw, hy + hh, {235, 225, 200});
    int roof = height / 10, apex = hx + hw / 2;
    for (int row = 0; row < roof; ++row) {
        int half = (hw / 2 + 4) * (row + 1) / roof;
        c.box(apex - half, hy - roof + row, apex + half, hy - roof + row + 1, {200, 30, 30});
    }
    c.box(apex - hw / 8, hy + hh / 3, apex + hw / 8, hy + hh, {120, 60, 20});
    return c;
}

bool save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// 24-bit BMP, rows bottom-up, each padded to four bytes.
std::vector<std::uint8_t> bmp(const Canvas& c) {
    int rowBytes = (c.width() * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> b{'B', 'M'};
    appendLe32(b, 54 + rowBytes * c.height());
    appendLe32(b, 0);
    appendLe32(b, 54);
    appendLe32(b, 40);
    appendLe32(b, c.width());
    appendLe32(b, c.height());
    appendLe16(b, 1);
    appendLe16(b, 24);
    for (int i = 0; i < 6; ++i) appendLe32(b, 0);
    for (int y = c.height() - 1; y >= 0; --y) {
        for (int x = 0; x < c.width(); ++x) {
            b.push_back(c.at(x, y).b);
            b.push_back(c.at(x, y).g);
            b.push_back(c.at(x, y).r);
        }
        for (int p = c.width() * 3; p < rowBytes; ++p) b.push_back(0);
    }
    return b;
}

std::vector<std::uint8_t> ppm(const Canvas& c) {
    std::string head = "P6 " + std::to_string(c.width()) + " " + std::to_string(c.height()) + " 255\n";
    std::vector<std::uint8_t> b(head.begin(), head.end());
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            b.push_back(c.at(x, y).r);
            b.push_back(c.at(x, y).g);
            b.push_back(c.at(x, y).b);
        }
    return b;
}

// A frame of the sequence: the scene with the sun moving and a ball bouncing across it.
Canvas sequenceFrame(int index) {
    Canvas c = drawScene(160, 200, 20 + index * 6);
    double x = 10 + index * 9;
    double y = 150 - std::fabs(std::sin(index * 0.45)) * 90;
    c.disc(x, y, 9, {250, 250, 250});
    c.disc(x - 2, y - 2, 4, {255, 120, 160});
    return c;
}

// 16-bit PCM WAVE head for the given number of frames and channels.
std::vector<std::uint8_t> waveHead(unsigned frames, unsigned channels, unsigned rate) {
    return pcmWaveHead(pcmFormat(static_cast<std::uint16_t>(channels), rate, 16), frames * 2 * channels);
}

// The clip's sound: a slow warble, quiet as a real recording often is (soundtrack sets its level).
std::vector<std::uint8_t> warble(double seconds, unsigned rate) {
    unsigned samples = static_cast<unsigned>(seconds * rate);
    std::vector<std::uint8_t> b = waveHead(samples, 1, rate);
    for (unsigned i = 0; i < samples; ++i) {
        double t = static_cast<double>(i) / rate;
        double v = 0.2 * std::sin(2 * M_PI * (300 + 200 * std::sin(t * 3)) * t);
        appendLe16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(v * 32767)));
    }
    return b;
}

// 16-bit stereo PCM WAVE: a chirp from 200 Hz to 2 kHz, the right channel a little quieter.
std::vector<std::uint8_t> chirp(double seconds, unsigned rate) {
    unsigned frames = static_cast<unsigned>(seconds * rate);
    std::vector<std::uint8_t> b = waveHead(frames, 2, rate);
    double phase = 0;
    for (unsigned i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / rate;
        phase += 2 * M_PI * (200 + 1800 * t / seconds) / rate;
        double v = std::sin(phase) * 0.8 * (1 - 0.5 * t / seconds);
        appendLe16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(v * 32767)));
        appendLe16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(v * 26000)));
    }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples DIR\n");
        return 1;
    }
    std::string dir = argv[1];
    ::mkdir(dir.c_str(), 0777);
    ::mkdir((dir + "/clip").c_str(), 0777);
    bool ok = save(dir + "/scene.bmp", bmp(drawScene(160, 200, 40)));
    ok = save(dir + "/scene_hires.ppm", ppm(drawScene(320, 200, 80))) && ok;
    for (int i = 0; i < 16; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/clip/frame%02d.bmp", i + 1);
        ok = save(dir + name, bmp(sequenceFrame(i))) && ok;
    }
    ok = save(dir + "/clip.wav", warble(4.5, 22050)) && ok;
    ok = save(dir + "/chirp.wav", chirp(2.0, 22050)) && ok;
    if (!ok) {
        std::fprintf(stderr, "make_samples: could not write the samples into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
