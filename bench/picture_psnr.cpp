// How closely pictures follow a reference: the PSNR over the three RGB channels together, and over the
// luminance Y = 0.299 R + 0.587 G + 0.114 B, of each SHOWN picture against REFERENCE, all binary PPM (P6,
// maximum 255) of the same size. bench/card_colours.sh makes the pictures; see bench/README.md.
//
//   picture_psnr REFERENCE.ppm SHOWN.ppm...
//
// Prints one line per SHOWN picture: "colour C dB, luminance L dB  NAME".

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

bool readPpm(const std::string& path, Picture& picture) {
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    if (!(file >> magic >> picture.width >> picture.height >> maximum) || magic != "P6" || maximum != 255) return false;
    file.get();
    picture.rgb.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return picture.rgb.size() == static_cast<std::size_t>(picture.width) * picture.height * 3;
}

double psnr(double squaredErrorSum, double count) {
    return squaredErrorSum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * count / squaredErrorSum);
}

double luminance(const unsigned char* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: picture_psnr REFERENCE.ppm SHOWN.ppm...\n");
        return 1;
    }
    Picture reference;
    if (!readPpm(argv[1], reference)) {
        std::fprintf(stderr, "%s: not a binary PPM picture\n", argv[1]);
        return 2;
    }
    int exit = 0;
    for (int k = 2; k < argc; ++k) {
        Picture shown;
        if (!readPpm(argv[k], shown) || shown.width != reference.width || shown.height != reference.height) {
            std::fprintf(stderr, "%s: not a binary PPM picture of the reference's size\n", argv[k]);
            exit = 2;
            continue;
        }
        double colour = 0, luma = 0;
        for (std::size_t i = 0; i < shown.rgb.size(); i += 3) {
            for (std::size_t c = 0; c < 3; ++c) {
                const double d = static_cast<double>(shown.rgb[i + c]) - reference.rgb[i + c];
                colour += d * d;
            }
            const double d = luminance(&shown.rgb[i]) - luminance(&reference.rgb[i]);
            luma += d * d;
        }
        const double pixels = static_cast<double>(shown.rgb.size() / 3);
        std::printf("colour %.2f dB, luminance %.2f dB  %s\n", psnr(colour, 3 * pixels), psnr(luma, pixels), argv[k]);
    }
    return exit;
}
