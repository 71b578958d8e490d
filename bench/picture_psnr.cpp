// How closely pictures follow a reference: the PSNR over the three RGB channels together, and over the
// luminance Y = 0.299 R + 0.587 G + 0.114 B, of each SHOWN picture against REFERENCE, all binary PPM (P6,
// maximum 255) of the same size; then the same with both pictures blurred by a Gaussian of 1 pixel's
// standard deviation (a picture seen from a distance, where a dither's pattern merges into its mean).
// bench/card_colours.sh makes the pictures; see bench/README.md.
//
//   picture_psnr REFERENCE.ppm SHOWN.ppm...
//
// Prints one line per SHOWN picture: "colour C dB, luminance L dB, blurred B dB / BL dB  NAME".

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

constexpr double kBlurSigma = 1.0;
constexpr int kBlurRadius = 3;

/// The picture's components blurred by a Gaussian of kBlurSigma, across then down, the edge pixels
/// repeated beyond the picture.
std::vector<double> blurred(const Picture& picture) {
    double weights[2 * kBlurRadius + 1], total = 0;
    for (int k = -kBlurRadius; k <= kBlurRadius; ++k) total += weights[k + kBlurRadius] = std::exp(-k * k / (2 * kBlurSigma * kBlurSigma));
    for (double& weight : weights) weight /= total;
    const int w = picture.width, h = picture.height;
    auto at = [](int v, int limit) { return v < 0 ? 0 : v >= limit ? limit - 1 : v; };
    std::vector<double> across(picture.rgb.size()), both(picture.rgb.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int k = -kBlurRadius; k <= kBlurRadius; ++k)
                    sum += weights[k + kBlurRadius] * picture.rgb[(static_cast<std::size_t>(y) * w + at(x + k, w)) * 3 + c];
                across[(static_cast<std::size_t>(y) * w + x) * 3 + c] = sum;
            }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int k = -kBlurRadius; k <= kBlurRadius; ++k)
                    sum += weights[k + kBlurRadius] * across[(static_cast<std::size_t>(at(y + k, h)) * w + x) * 3 + c];
                both[(static_cast<std::size_t>(y) * w + x) * 3 + c] = sum;
            }
    return both;
}

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

template <typename Component>
double luminance(const Component* p) {
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}

/// The colour and luminance PSNR of shown against reference, components side by side as R, G, B.
template <typename Component>
void compare(const std::vector<Component>& reference, const std::vector<Component>& shown, double& colourPsnr, double& lumaPsnr) {
    double colour = 0, luma = 0;
    for (std::size_t i = 0; i < shown.size(); i += 3) {
        for (std::size_t c = 0; c < 3; ++c) {
            const double d = static_cast<double>(shown[i + c]) - reference[i + c];
            colour += d * d;
        }
        const double d = luminance(&shown[i]) - luminance(&reference[i]);
        luma += d * d;
    }
    const double pixels = static_cast<double>(shown.size() / 3);
    colourPsnr = psnr(colour, 3 * pixels);
    lumaPsnr = psnr(luma, pixels);
}

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
    const std::vector<double> referenceBlurred = blurred(reference);
    int exit = 0;
    for (int k = 2; k < argc; ++k) {
        Picture shown;
        if (!readPpm(argv[k], shown) || shown.width != reference.width || shown.height != reference.height) {
            std::fprintf(stderr, "%s: not a binary PPM picture of the reference's size\n", argv[k]);
            exit = 2;
            continue;
        }
        double colour = 0, luma = 0, blurredColour = 0, blurredLuma = 0;
        compare(reference.rgb, shown.rgb, colour, luma);
        compare(referenceBlurred, blurred(shown), blurredColour, blurredLuma);
        std::printf("colour %.2f dB, luminance %.2f dB, blurred %.2f dB / %.2f dB  %s\n", colour, luma, blurredColour, blurredLuma, argv[k]);
    }
    return exit;
}
