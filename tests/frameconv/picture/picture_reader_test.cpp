#include "picture_load_fixture.h"

#include <climits>
#include <functional>
#include <new>

// Lets a test make the n-th nothrow array allocation fail (counted from 0; -1 never).
namespace {
int allocationsUntilFailure = -1;
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (allocationsUntilFailure >= 0 && allocationsUntilFailure-- == 0) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace zov {
namespace {

using namespace picture_files;

const std::string kNoBitmap = "\r\nNo bitmap found in file ...skipping.\n";
const std::string kNotRecognised = " not recognized...skipping.\n";
const std::string kInconsistent = "Error: source file data size inconsistant... skipping.\n";
const std::string kReadError = "Error reading file data.\n";

Bytes reddish(int width, int height, BmpOptions options = {}) {
    return bmp(RgbGrid(width, height, Rgb{200, 40, 40}), options);
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes withHeader(const std::string& header, std::size_t pixelBytes) {
    Bytes file = text(header);
    file.resize(file.size() + pixelBytes, 0x55);
    return file;
}

struct HeaderCase {
    const char* name;
    std::function<Bytes()> file;
    int verbosity;
    int cardWidth;
    std::string expected;
    int result;
};

// Every check in its order, on well-formed, lying and hostile headers alike.
TEST_F(PictureLoad, HeaderChecksPrintTheirLineAndSkip) {
    const HeaderCase cases[] = {
        {"empty file", [] { return Bytes{}; }, 1, 4, kNotRecognised, 1},
        {"other format", [] { return text("GIF89a\x08\x00\x08\x00"); }, 1, 4, kNotRecognised, 1},
        {"BM and 17 more bytes", [] { return cut(reddish(8, 8), 18); }, 1, 4, kNoBitmap, 1},
        {"header ends where the bytes read end", [] { return cut(reddish(8, 8), 54); }, 1, 4, kNoBitmap, 1},
        {"header size wrapping 32 bits",
         [] {
             Bytes b = reddish(8, 8);
             put32(b, 14, 0xFFFFFFF2);
             return b;
         },
         1, 4, kNoBitmap, 1},
        {"BM then 0xFF to the end of the buffer", [] { Bytes b(2048, 0xFF); b[0] = 'B', b[1] = 'M'; return b; }, 1, 4,
         kNoBitmap, 1},
        {"108-byte header, verbose", [] { return reddish(8, 8, BmpOptions().withHeaderSize(108)); }, 1, 4,
         "Unexpected BMP header size (108)  ...skipping.\n", 1},
        {"124-byte header, quiet", [] { return reddish(8, 8, BmpOptions().withHeaderSize(124)); }, 0, 4,
         "Unexpected BMP header size  ...skipping.\n", 1},
        {"161 wide in multicolour", [] { return reddish(161, 8); }, 1, 4,
         "Warning: bitmap width not multiple of 4\nBitmap > 40 cards (160 pixels) wide ...skipping.\n", 1},
        {"321 wide in hi-res, quiet", [] { return reddish(321, 8); }, 0, 8,
         "Bitmap > 40 cards (320 pixels) wide ...skipping.\n", 1},
        {"201 lines", [] { return reddish(8, 201); }, 1, 4,
         "Warning: bitmap height not multiple of 8.\nBitmap > 25 cards (200 pixels) high ...skipping.\n", 1},
        {"height -2^31", [] { return reddish(8, 8, BmpOptions().withHeight(INT_MIN)); }, 1, 4,
         "Bitmap > 25 cards (200 pixels) high ...skipping.\n", 1},
        {"two planes", [] { return reddish(8, 8, BmpOptions().withPlanes(2)); }, 1, 4, "Bitmap has multiple planes ...skipping.\n", 1},
        {"16 bits per pixel", [] { return reddish(8, 8, BmpOptions().withBitsPerPixel(16)); }, 1, 4,
         "Bitmap does not have 8 (monochrome) nor 24 (color) bits per pixel ...skipping.\n", 1},
        {"zero width", [] { return reddish(8, 8, BmpOptions().withWidth(0)); }, 1, 4, kNotRecognised, 1},
        {"negative width", [] { return reddish(8, 8, BmpOptions().withWidth(-8)); }, 1, 4, kNotRecognised, 1},
        {"zero height", [] { return reddish(8, 8, BmpOptions().withHeight(0)); }, 1, 4, kNotRecognised, 1},
        {"data offset past the end", [] { return reddish(8, 8, BmpOptions().withDataOffset(0xFFFFFFFF)); }, 1, 4, kInconsistent, 1},
        {"header claims a full screen", [] { return reddish(8, 8, BmpOptions().withWidth(160).withHeight(200)); }, 1, 4,
         kInconsistent, 1},
        {"pixel data one byte short", [] { return cut(reddish(8, 8), 54 + 8 * 8 * 3 - 1); }, 1, 4, kInconsistent, 1},
        {"rows stored without their padding", [] { return reddish(3, 8, BmpOptions().withoutRowPadding()); }, 0, 4, kReadError, 1},
        {"PPM maximum 65535", [] { return withHeader(ppmHeader(8, 8, 65535), 384); }, 1, 4, kNotRecognised, 1},
        {"PPM cut before the maximum", [] { return text("P6\n8 8\n"); }, 1, 4, kNotRecognised, 1},
        {"PPM without a line end after the maximum", [] { return text("P6\n8 8\n255"); }, 1, 4, kNotRecognised, 1},
        {"PPM of digits only", [] { Bytes b(2048, '7'); b[0] = 'P', b[1] = '6'; return b; }, 1, 4, kNotRecognised, 1},
        {"PPM negative width", [] { return withHeader("P6\n-8 8\n255\n", 192); }, 1, 4, kNotRecognised, 1},
        {"PPM zero height", [] { return withHeader("P6\n8 0\n255\n", 192); }, 1, 4, kNotRecognised, 1},
        {"PPM of absurd width", [] { return withHeader("P6\n99999999999999999999 8\n255\n", 192); }, 1, 4,
         "Bitmap > 40 cards (160 pixels) wide ...skipping.\n", 1},
        {"PPM pixel data one byte short", [] { return withHeader(ppmHeader(8, 8), 191); }, 1, 4, kReadError, 1},
        {"6 x 3, verbose", [] { return reddish(6, 3); }, 1, 4,
         "Warning: bitmap width not multiple of 4\nWarning: bitmap height not multiple of 8.\n", 0},
        {"6 x 3 PPM, quiet", [] { return ppm(RgbGrid(6, 3)); }, 0, 4, "", 0},
        {"160 wide in multicolour", [] { return reddish(160, 8); }, 1, 4, "", 0},
        {"100 wide in hi-res", [] { return reddish(100, 8); }, 1, 8, "Warning: bitmap width not multiple of 8\n", 0},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        picture.reset();
        picture.setMode(c.cardWidth, 2);
        EXPECT_EQ(load(c.file(), c.verbosity), c.result);
        EXPECT_EQ(printed(), c.expected);
        EXPECT_EQ(picture.firstFrameLoaded, c.result == 0);
    }
}

TEST_F(PictureLoad, CentringAndPaddingFollowTheHeight) {
    struct Case {
        int width, height, cardWidth;
        bool centre;
        int topRow, paddedWidth, paddedHeight;
    };
    const Case cases[] = {
        {160, 200, 4, true, 0, 160, 200}, {8, 184, 4, true, 1, 8, 184},  {8, 168, 4, true, 2, 8, 168},
        {8, 96, 4, true, 7, 8, 96},       {8, 193, 4, true, 0, 8, 200},  {8, 8, 4, true, 12, 8, 8},
        {8, 96, 4, false, 0, 8, 96},      {100, 8, 8, true, 12, 104, 8}, {6, 3, 4, true, 13, 8, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " card " << c.cardWidth);
        picture.reset();
        picture.setMode(c.cardWidth, 2);
        ASSERT_EQ(load(bmp(GreyGrid(c.width, c.height)), 0, c.centre), 0);
        EXPECT_EQ(picture.geometry.topCardRow, c.topRow);
        EXPECT_EQ(picture.geometry.paddedWidth, c.paddedWidth);
        EXPECT_EQ(picture.geometry.paddedHeight, c.paddedHeight);
        EXPECT_EQ(picture.geometry.paddedSize, c.paddedWidth * c.paddedHeight);
        EXPECT_EQ(picture.geometry.pixelCount, static_cast<std::uint32_t>(c.width * c.height));
    }
}

// Pixel (x, y) carries the number 1 + x + 10y in a plane that shows it unchanged; everything outside the
// picture stays zero.
TEST_F(PictureLoad, RowsLandAtTheirPlaceInEveryLayout) {
    auto number = [](int x, int y) { return static_cast<std::uint8_t>(1 + x + 10 * y); };
    auto greys = [&](int w, int h) { return GreyGrid::generate(w, h, number); };
    auto reds = [&](int w, int h) { return RgbGrid::generate(w, h, [&](int x, int y) { return Rgb{number(x, y)}; }); };
    std::vector<Rgb> notGrey;
    for (int i = 0; i < 256; ++i) notGrey.push_back({std::uint8_t(255 - i), std::uint8_t(i), 0});
    struct Case {
        const char* name;
        Bytes file;
        int width, height;
        bool grey;
    };
    const Case cases[] = {
        {"24-bit, padded rows", bmp(reds(5, 3)), 5, 3, false},
        {"24-bit, top-down", bmp(reds(5, 3), BmpOptions().storedTopDown()), 5, 3, false},
        {"24-bit, no padding needed", bmp(reds(4, 9)), 4, 9, false},
        {"8-bit, padded rows", bmp(greys(7, 2)), 7, 2, true},
        {"8-bit, colour table not grey", bmp(greys(3, 5), BmpOptions().withColourTable(notGrey)), 3, 5, true},
        {"PPM", ppm(reds(5, 3)), 5, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        picture.reset();
        ASSERT_EQ(load(c.file, 0), 0);
        EXPECT_EQ(picture.monochrome, c.grey);
        EXPECT_EQ(picture.planes.huePlane == nullptr, c.grey);
        const std::uint8_t* plane = c.grey ? picture.planes.luminancePlane.get() : picture.planes.saturationPlane.get();
        for (int y = 0; y < picture.geometry.paddedHeight; ++y) {
            for (int x = 0; x < picture.geometry.paddedWidth; ++x) {
                const int expected = x < c.width && y < c.height ? number(x, y) : 0;
                ASSERT_EQ(plane[at(x, y)], expected) << "at " << x << "," << y;
            }
        }
        for (int i = 0; i < picture.geometry.paddedSize; ++i) ASSERT_EQ(picture.planes.lumaDither[i], 0);
    }
}

TEST_F(PictureLoad, ColourComponentsAreTakenInTheOrderOfTheFormat) {
    const RgbGrid primaries = RgbGrid::generate(3, 1, [](int x, int) {
        return x == 0 ? Rgb{255, 0, 0} : x == 1 ? Rgb{0, 255, 0} : Rgb{0, 0, 255};
    });
    for (const Bytes& file : {bmp(primaries), ppm(primaries)}) {
        picture.reset();
        ASSERT_EQ(load(file), 0);
        EXPECT_EQ(hue(0, 0), 0);
        EXPECT_EQ(hue(1, 0), 85);
        EXPECT_EQ(hue(2, 0), 170);
    }
}

TEST_F(PictureLoad, LaterPicturesKeepTheFirstSizeAndBuffers) {
    ASSERT_EQ(load(bmp(RgbGrid(8, 8, Rgb{255, 0, 0}))), 0);
    const std::uint8_t* plane = picture.planes.huePlane.get();

    EXPECT_EQ(load(bmp(RgbGrid(8, 16))), 1);
    EXPECT_EQ(printed(), "Bitmap size (8x16)differs from first frame (8x8) ...skipping.\n");
    EXPECT_EQ(load(ppm(RgbGrid(16, 8))), 1);
    EXPECT_EQ(printed(), "Bitmap size (16x8)differs from first frame (8x8) ...skipping.\n");

    ASSERT_EQ(load(ppm(RgbGrid(8, 8, Rgb{0, 0, 255}))), 0);
    EXPECT_EQ(picture.planes.huePlane.get(), plane);
    EXPECT_EQ(hue(7, 7), 170);

    EXPECT_EQ(load(withHeader(ppmHeader(8, 8), 100)), 1);
    EXPECT_EQ(printed(), kReadError);
    EXPECT_EQ(picture.planes.huePlane.get(), plane);
    EXPECT_EQ(picture.geometry.width, 8);
}

TEST_F(PictureLoad, ColourPlanesAppearWithTheFirstColourPicture) {
    ASSERT_EQ(load(bmp(GreyGrid(8, 8, 90))), 0);
    EXPECT_EQ(picture.planes.huePlane, nullptr);
    EXPECT_EQ(picture.planes.saturationDither, nullptr);
    ASSERT_EQ(load(bmp(RgbGrid(8, 8, Rgb{0, 255, 0}))), 0);
    EXPECT_EQ(hue(3, 3), 85);
    EXPECT_EQ(picture.planes.saturationDither[63], 0);
    EXPECT_EQ(picture.monochrome, 0);
}

// A first picture that breaks off must not leave buffers of its size for the next one.
TEST_F(PictureLoad, FailedFirstPictureGivesWayToAnotherSize) {
    EXPECT_EQ(load(withHeader(ppmHeader(8, 8), 100)), 1);
    EXPECT_EQ(picture.planes.luminancePlane, nullptr);
    EXPECT_EQ(picture.planes.huePlane, nullptr);
    ASSERT_EQ(load(bmp(RgbGrid(160, 200, Rgb{255, 255, 0}))), 0);
    EXPECT_EQ(picture.geometry.paddedSize, 160 * 200);
    EXPECT_EQ(hue(159, 199), 42);
    EXPECT_EQ(luma(159, 199), 226);
}

TEST_F(PictureLoad, FailingFileOperationsSkipTheFile) {
    for (FileOp op : {FileOp::Read, FileOp::Seek}) {
        picture.reset();
        files.addFile("/in/picture", ppm(RgbGrid(8, 8)));
        auto file = files.openRead("/in/picture");
        files.failAt(op, files.calls(op) + (op == FileOp::Read ? 3 : 0));
        console.clear();
        EXPECT_EQ(picture.load(*file, 1, true), 1);
        EXPECT_EQ(printed(), kReadError);
        files.failAt(op, -1);
    }
}

TEST_F(PictureLoad, AllocationFailureEndsTheLoadWithItsBuffer) {
    struct Case {
        int failing;
        bool colour;
        std::string expected;
    };
    const Case cases[] = {
        {0, true, "Error: couldn't allocate memory for source image luminance (64 bytes)\n"},
        {1, true, "Error: couldn't allocate memory for source image hue (64 bytes)\n"},
        {2, true, "Error: couldn't allocate memory for source image saturation (64 bytes)\n"},
        {3, true, "Error: couldn't allocate memory for bitmap luminance dither (128 bytes)\n"},
        {4, true, "Error: couldn't allocate memory for bitmap hue dither (128 bytes)\n"},
        {5, true, "Error: couldn't allocate memory for bitmap saturation dither (128 bytes)\n"},
        {1, false, "Error: couldn't allocate memory for bitmap luminance dither (128 bytes)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        picture.reset();
        const Bytes file = c.colour ? bmp(RgbGrid(8, 8)) : bmp(GreyGrid(8, 8));
        allocationsUntilFailure = c.failing;
        const int result = load(file);
        allocationsUntilFailure = -1;
        EXPECT_EQ(result, 2);
        EXPECT_EQ(printed(), c.expected);
    }
    picture.reset();
    EXPECT_EQ(load(bmp(RgbGrid(8, 8))), 0);
}

}  // namespace
}  // namespace zov
