#include "cli/ImageIO.h"
#include "cli_test_support.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <Imath/half.h>
#include <png.h>

#include <gtest/gtest.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace glfx::cli;
using glfx::test::readFile;
using glfx::test::TempFolder;
using glfx::test::writeFile;
namespace fs = std::filesystem;

namespace {

// PNG files made and decoded with libpng directly, so the reader and writer under test are
// checked against the library rather than against each other.
struct RawPng {
    uint32_t width = 1;
    uint32_t height = 1;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    bool interlaced = false;
    std::vector<uint8_t> rows; // packed as the file stores them
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;
};

size_t rawRowBytes(const RawPng& p) {
    const size_t channels[] = {1, 0, 3, 1, 2, 0, 4}; // by PNG colour type
    return (size_t(p.width) * channels[p.colorType] * size_t(p.bitDepth) + 7) / 8;
}

bool writeRawPngBody(png_structp png, png_infop info, FILE* f, const RawPng& p,
                     std::vector<png_bytep>& rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_set_IHDR(png, info, p.width, p.height, p.bitDepth, p.colorType,
                 p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty()) png_set_PLTE(png, info, p.palette.data(), int(p.palette.size()));
    if (!p.paletteAlpha.empty())
        png_set_tRNS(png, info, p.paletteAlpha.data(), int(p.paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

void writeRawPng(const std::string& path, RawPng p) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(p.height);
    for (uint32_t y = 0; y < p.height; ++y)
        rows[y] = p.rows.data() + y * rawRowBytes(p);
    const bool ok = writeRawPngBody(png, info, f, p, rows);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    ASSERT_TRUE(ok);
}

bool readRawPngBody(png_structp png, png_infop info, FILE* f, RawPng& p,
                    std::vector<png_bytep>& rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_read_info(png, info);
    p.width = png_get_image_width(png, info);
    p.height = png_get_image_height(png, info);
    p.bitDepth = png_get_bit_depth(png, info);
    p.colorType = png_get_color_type(png, info);
    p.rows.resize(rawRowBytes(p) * p.height);
    rows.resize(p.height);
    for (uint32_t y = 0; y < p.height; ++y)
        rows[y] = p.rows.data() + y * rawRowBytes(p);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return true;
}

RawPng readRawPng(const std::string& path) {
    RawPng p;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("cannot open " + path);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    const bool ok = readRawPngBody(png, info, f, p, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    if (!ok) throw std::runtime_error("libpng cannot read " + path);
    return p;
}

// Every 8-bit value in every channel, each channel in a different order.
RawPng allEightBitValues() {
    RawPng p;
    p.width = 256;
    p.height = 2;
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) {
            p.rows.push_back(uint8_t(x));
            p.rows.push_back(uint8_t(255 - x));
            p.rows.push_back(uint8_t(x * 7 + y));
            p.rows.push_back(uint8_t(x * 13 + 5));
        }
    return p;
}

// Every 16-bit value in every channel (big-endian, as PNG stores them).
RawPng allSixteenBitValues() {
    RawPng p;
    p.width = 256;
    p.height = 256;
    p.bitDepth = 16;
    for (uint32_t i = 0; i < 65536; ++i) {
        const uint16_t v[4] = {uint16_t(i), uint16_t(65535 - i), uint16_t(i * 7919),
                               uint16_t(i ^ 0xa5a5)};
        for (uint16_t s : v) {
            p.rows.push_back(uint8_t(s >> 8));
            p.rows.push_back(uint8_t(s & 0xff));
        }
    }
    return p;
}

template <typename T>
void writeExrChannels(const std::string& path, int width, int height, Imath::Box2i window,
                      const std::vector<std::string>& names, Imf::PixelType type,
                      std::vector<T>& data) {
    Imf::Header header(Imath::Box2i({0, 0}, {width - 1, height - 1}), window);
    Imf::FrameBuffer frame;
    const size_t xStride = names.size() * sizeof(T);
    const int64_t w = int64_t(window.max.x) - window.min.x + 1;
    for (size_t c = 0; c < names.size(); ++c) {
        header.channels().insert(names[c], Imf::Channel(type));
        frame.insert(names[c],
                     Imf::Slice::Make(type, data.data() + c, window, xStride, xStride * size_t(w)));
    }
    Imf::OutputFile out(path.c_str(), header);
    out.setFrameBuffer(frame);
    out.writePixels(int(window.max.y - window.min.y + 1));
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ImageError& e) {
        return e.what();
    }
    return "(no ImageError)";
}

} // namespace

// ---- PNG round trips ------------------------------------------------------------------------

// Every sample value at both depths, plainly and interlaced: read as k / (2^depth - 1) in
// channel order, and written back at the file's own depth unchanged.
TEST(CliImageIo, PngRoundTripIsSampleIdentical) {
    TempFolder dir;
    RawPng interlaced = allEightBitValues();
    interlaced.interlaced = true;
    for (const RawPng& source : {allEightBitValues(), allSixteenBitValues(), interlaced}) {
        SCOPED_TRACE(std::to_string(source.bitDepth) + (source.interlaced ? " interlaced" : ""));
        writeRawPng(dir / "in.png", source);
        const Image image = readImage(dir / "in.png");
        ASSERT_EQ(image.width, int32_t(source.width));
        ASSERT_EQ(image.height, int32_t(source.height));
        EXPECT_EQ(image.depth, source.bitDepth);
        std::vector<float> samples;
        for (size_t i = 0; i < source.rows.size(); i += size_t(source.bitDepth / 8))
            samples.push_back(source.bitDepth == 8
                                  ? source.rows[i] / 255.0f
                                  : float(source.rows[i] << 8 | source.rows[i + 1]) / 65535.0f);
        EXPECT_EQ(image.rgba, samples);

        writeImage(dir / "out.png", image);
        const RawPng written = readRawPng(dir / "out.png");
        EXPECT_EQ(written.bitDepth, source.bitDepth);
        EXPECT_EQ(written.colorType, PNG_COLOR_TYPE_RGB_ALPHA);
        EXPECT_EQ(written.rows, source.rows);
    }
}

// Grey, grey + alpha, RGB, palette and low bit depths all arrive as RGBA.
TEST(CliImageIo, PngLayoutsExpandToRgba) {
    struct Case {
        const char* name;
        RawPng png;
        int depth;
        std::array<float, 4> first; // pixel (0, 0)
    };
    const std::vector<png_color> palette = {{10, 20, 30}, {200, 100, 50}};
    const std::vector<Case> cases = {
        // clang-format off
        {"grey8", {1, 1, 8, PNG_COLOR_TYPE_GRAY, false, {51}, {}, {}}, 8, {0.2f, 0.2f, 0.2f, 1}},
        {"grey-alpha8", {1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, {51, 102}, {}, {}}, 8,
         {0.2f, 0.2f, 0.2f, 0.4f}},
        {"rgb8", {1, 1, 8, PNG_COLOR_TYPE_RGB, false, {255, 0, 51}, {}, {}}, 8, {1, 0, 0.2f, 1}},
        {"grey1", {2, 1, 1, PNG_COLOR_TYPE_GRAY, false, {0x80}, {}, {}}, 8, {1, 1, 1, 1}},
        {"grey4", {2, 1, 4, PNG_COLOR_TYPE_GRAY, false, {0x30}, {}, {}}, 8, {0.2f, 0.2f, 0.2f, 1}},
        {"grey16", {1, 1, 16, PNG_COLOR_TYPE_GRAY, false, {0x33, 0x33}, {}, {}}, 16,
         {0.2f, 0.2f, 0.2f, 1}},
        {"rgb16", {1, 1, 16, PNG_COLOR_TYPE_RGB, false, {255, 255, 0, 0, 51, 51}, {}, {}}, 16,
         {1, 0, 0.2f, 1}},
        {"palette", {1, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {1}, palette, {}}, 8,
         {200 / 255.0f, 100 / 255.0f, 50 / 255.0f, 1}},
        {"palette-trns", {1, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {1}, palette, {255, 64}}, 8,
         {200 / 255.0f, 100 / 255.0f, 50 / 255.0f, 64 / 255.0f}},
        // clang-format on
    };
    TempFolder dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / (std::string(c.name) + ".png");
        writeRawPng(path, c.png);
        const Image image = readImage(path);
        EXPECT_EQ(image.depth, c.depth);
        ASSERT_EQ(image.rgba.size(), size_t(image.width) * image.height * 4);
        for (int k = 0; k < 4; ++k)
            EXPECT_FLOAT_EQ(image.rgba[size_t(k)], c.first[size_t(k)]);
    }
}

TEST(CliImageIo, PngWriteDepthsAndQuantisation) {
    TempFolder dir;
    Image image = makeImage(5, 1, 32);
    const float values[5] = {0.5f, -0.5f, 1.5f, std::numeric_limits<float>::quiet_NaN(), 1.0f};
    for (int x = 0; x < 5; ++x) {
        float* p = image.pixel(x, 0);
        p[0] = p[1] = p[2] = values[x];
        p[3] = 1.0f;
    }
    writeImage(dir / "default.png", image); // a float image becomes 16-bit
    RawPng raw = readRawPng(dir / "default.png");
    EXPECT_EQ(raw.bitDepth, 16);
    EXPECT_EQ(raw.colorType, PNG_COLOR_TYPE_RGB) << "opaque images are written without alpha";
    // The nearest level (32767.5 rounds up), clamped, NaN as 0.
    std::vector<int> red16;
    for (size_t x = 0; x < 5; ++x)
        red16.push_back(raw.rows[x * 6] << 8 | raw.rows[x * 6 + 1]);
    EXPECT_EQ(red16, (std::vector<int>{32768, 0, 65535, 0, 65535}));

    writeImage(dir / "eight.png", image, 8);
    raw = readRawPng(dir / "eight.png");
    EXPECT_EQ(raw.bitDepth, 8);
    EXPECT_EQ(
        (std::vector<uint8_t>{raw.rows[0], raw.rows[3], raw.rows[6], raw.rows[9], raw.rows[12]}),
        (std::vector<uint8_t>{128, 0, 255, 0, 255}));

    // 8-bit levels widen to 16 bits exactly (k * 257).
    Image eight = makeImage(256, 1, 8);
    for (int x = 0; x < 256; ++x)
        eight.pixel(x, 0)[0] = fromHost8(uint8_t(x));
    writeImage(dir / "widened.png", eight, 16);
    raw = readRawPng(dir / "widened.png");
    EXPECT_EQ(raw.colorType, PNG_COLOR_TYPE_RGB_ALPHA) << "transparent pixels keep alpha";
    for (int x = 0; x < 256; ++x)
        ASSERT_EQ(raw.rows[size_t(x) * 8] << 8 | raw.rows[size_t(x) * 8 + 1], x * 257) << x;
}

// ---- OpenEXR --------------------------------------------------------------------------------

TEST(CliImageIo, FloatExrRoundTripIsBitIdentical) {
    TempFolder dir;
    const float special[] = {
        0.0f,  -0.0f,    1.0f,   -3.5f, 1e-30f,
        1e30f, 65504.0f, 1e-40f, 0.1f,  std::numeric_limits<float>::infinity()};
    Image image = makeImage(7, 3, 32);
    for (size_t i = 0; i < image.rgba.size(); ++i)
        image.rgba[i] = special[i % (sizeof special / sizeof *special)] * float(1 + i % 3);
    writeImage(dir / "a.exr", image);
    const Image back = readImage(dir / "a.exr");
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.depth, 32);
    ASSERT_EQ(back.rgba.size(), image.rgba.size());
    EXPECT_EQ(std::memcmp(back.rgba.data(), image.rgba.data(), image.rgba.size() * 4), 0);
}

TEST(CliImageIo, ExrChannelLayouts) {
    TempFolder dir;
    const Imath::Box2i full({0, 0}, {1, 0});

    // Half samples widen exactly.
    std::vector<half> halves = {half(0.333f), half(-2.0f), half(65504.0f), half(0.5f),
                                half(1e-5f),  half(7.0f),  half(0.25f),    half(0.0f)};
    writeExrChannels(dir / "half.exr", 2, 1, full, {"R", "G", "B", "A"}, Imf::HALF, halves);
    Image image = readImage(dir / "half.exr");
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(image.rgba[i], float(halves[i])) << i;

    // No alpha: opaque. Grey (Y): copied into R, G, B.
    std::vector<float> rgb = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
    writeExrChannels(dir / "rgb.exr", 2, 1, full, {"R", "G", "B"}, Imf::FLOAT, rgb);
    image = readImage(dir / "rgb.exr");
    EXPECT_EQ(image.rgba, (std::vector<float>{0.1f, 0.2f, 0.3f, 1.0f, 0.4f, 0.5f, 0.6f, 1.0f}));

    std::vector<float> grey = {0.25f, 2.0f, 0.75f, 0.5f};
    writeExrChannels(dir / "grey.exr", 2, 1, full, {"Y", "A"}, Imf::FLOAT, grey);
    image = readImage(dir / "grey.exr");
    EXPECT_EQ(image.rgba,
              (std::vector<float>{0.25f, 0.25f, 0.25f, 2.0f, 0.75f, 0.75f, 0.75f, 0.5f}));

    // The data window is the image, wherever it lies.
    std::vector<float> window(3 * 2 * 4);
    for (size_t i = 0; i < window.size(); ++i)
        window[i] = float(i);
    writeExrChannels(dir / "window.exr", 100, 100, Imath::Box2i({10, 20}, {12, 21}),
                     {"R", "G", "B", "A"}, Imf::FLOAT, window);
    image = readImage(dir / "window.exr");
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pixel(2, 1)[0], 20.0f); // channels in R, G, B, A order after the reorder
    EXPECT_EQ(image.pixel(2, 1)[3], 23.0f);

    std::vector<float> depthOnly = {1.0f, 2.0f};
    writeExrChannels(dir / "z.exr", 2, 1, full, {"Z"}, Imf::FLOAT, depthOnly);
    EXPECT_EQ(messageOf([&] { readImage(dir / "z.exr"); }),
              dir / "z.exr" + ": OpenEXR image has no R, G, B or Y channel");
}

// ---- Formats, host levels, sequences ---------------------------------------------------------

TEST(CliImageIo, HostLevelsRoundTrip) {
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(toHost8(fromHost8(uint8_t(k))), k);
    for (int h = 0; h <= 32768; ++h) {
        ASSERT_EQ(toHost16(fromHost16(uint16_t(h))), h);
        ASSERT_EQ(png16ToHost16(host16ToPng16(uint16_t(h))), h);
    }
    EXPECT_EQ(fromHost16(32768), 1.0f);
    EXPECT_EQ(fromHost16(16384), 0.5f);
    EXPECT_EQ(host16ToPng16(32768), 65535);
    EXPECT_EQ(host16ToPng16(1), 2);
    // Every PNG level lands on the nearest host level.
    for (int p = 0; p <= 65535; ++p)
        ASSERT_LE(std::abs(png16ToHost16(uint16_t(p)) - p * 32768.0 / 65535.0), 0.5 + 1e-3) << p;
    EXPECT_EQ(toHost8(-1.0f), 0);
    EXPECT_EQ(toHost8(2.0f), 255);
    EXPECT_EQ(toHost16(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(toHost16(1.5f), 32768);
}

TEST(CliImageIo, ToDepthSnapsToTheHostGrid) {
    Image image = makeImage(1, 1, 32);
    image.rgba = {0.5f, 0.3f, 1.7f, -0.2f};
    const Image eight = toDepth(image, 8);
    EXPECT_EQ(eight.depth, 8);
    EXPECT_EQ(eight.rgba, (std::vector<float>{128 / 255.0f, 77 / 255.0f, 1.0f, 0.0f}));
    const Image sixteen = toDepth(image, 16);
    EXPECT_EQ(sixteen.rgba, (std::vector<float>{0.5f, 9830 / 32768.0f, 1.0f, 0.0f}));
    EXPECT_EQ(toDepth(image, 32).rgba, image.rgba);
    EXPECT_EQ(messageOf([&] { toDepth(image, 12); }), "host depth 12 does not exist (8, 16 or 32)");
}

TEST(CliImageIo, FramePaths) {
    struct Case {
        const char* pattern;
        int64_t frame;
        const char* path;
    };
    for (const Case& c :
         {Case{"frame.####.png", 7, "frame.0007.png"},
          Case{"frame.####.png", 123456, "frame.123456.png"}, Case{"f#.exr", 0, "f0.exr"},
          Case{"shot#1/f.##.png", 5, "shot#1/f.05.png"}, Case{"f.###.png", -3, "f.-03.png"},
          Case{"###", 12, "012"}}) {
        EXPECT_TRUE(isFramePattern(c.pattern)) << c.pattern;
        EXPECT_EQ(framePath(c.pattern, c.frame), c.path) << c.pattern;
    }
    const std::string wide(30, '#');
    EXPECT_EQ(framePath(wide, 42), std::string(28, '0') + "42");
    EXPECT_EQ(framePath(wide, -42), "-" + std::string(27, '0') + "42");

    EXPECT_FALSE(isFramePattern("shot#1/frame.png"));
    EXPECT_EQ(messageOf([] { framePath("shot#1/frame.png", 1); }),
              "shot#1/frame.png: image sequence pattern has no # for the frame number "
              "(frame.####.png)");
    EXPECT_EQ(messageOf([] { framePath("f.##.v##.png", 1); }),
              "f.##.v##.png: image sequence pattern has more than one run of # in its file name");
}

// ---- Errors ---------------------------------------------------------------------------------

TEST(CliImageIo, ReadErrorsNameTheFileAndTheProblem) {
    TempFolder dir;
    RawPng big;
    big.width = kMaxImageSide + 1;
    big.colorType = PNG_COLOR_TYPE_GRAY;
    big.bitDepth = 1;
    big.rows.assign(rawRowBytes(big), 0);
    writeRawPng(dir / "huge.png", big);

    writeRawPng(dir / "good.png", allEightBitValues());
    const std::string png = readFile(dir / "good.png");
    writeFile(dir / "truncated.png", png.substr(0, png.size() / 2));
    writeFile(dir / "no-end.png", png.substr(0, png.size() - 12)); // IEND cut off
    std::string flipped = png;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x55);
    writeFile(dir / "flipped.png", flipped);
    writeFile(dir / "text.png", "this is not an image\n");
    writeFile(dir / "empty.png", "");
    fs::create_directory(dir / "folder.png");

    Image image = makeImage(16, 16, 32);
    writeImage(dir / "good.exr", image);
    const std::string exr = readFile(dir / "good.exr");
    writeFile(dir / "truncated.exr", exr.substr(0, exr.size() - 40));
    writeFile(dir / "header-only.exr", exr.substr(0, 40));
    writeFile(dir / "text.exr", "not an exr");

    // The message after "PATH: "; one ending in '(' goes on with the library's own words.
    const std::pair<const char*, const char*> cases[] = {
        {"missing.png", "no such file"},
        {"missing.exr", "no such file"},
        {"nofolder/x.png", "no such file"},
        {"folder.png", "is a folder, not an image file"},
        {"text.png", "not a PNG file"},
        {"empty.png", "not a PNG file"},
        {"truncated.png", "corrupt or truncated PNG file ("},
        {"no-end.png", "corrupt or truncated PNG file ("},
        {"flipped.png", "corrupt or truncated PNG file ("},
        {"huge.png", "image size 30001 x 1 is larger than the host's largest layer (30000 pixels "
                     "a side)"},
        {"text.exr", "not an OpenEXR file"},
        {"truncated.exr", "corrupt or truncated OpenEXR file ("},
        {"header-only.exr", "corrupt or truncated OpenEXR file ("},
        {"image.tiff", "unsupported image format \".tiff\" (use .png or .exr)"},
    };
    // The header is read apart from the pixels: a file cut short opens with its size.
    ImageFile cut(dir / "truncated.png");
    EXPECT_EQ(cut.header().width, 256);
    glfx::hostsim::Image pixels;
    EXPECT_THROW(cut.read(pixels, 8), ImageError);

    for (const auto& [file, problem] : cases) {
        const std::string message = messageOf([&, file = file] { readImage(dir / file); });
        const std::string expected = dir / file + ": " + problem;
        if (expected.back() == '(')
            EXPECT_EQ(message.substr(0, expected.size()), expected) << message;
        else
            EXPECT_EQ(message, expected);
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(CliImageIo, PermissionErrorsNameWhatCouldNotBeDone) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads and writes whatever the mode";
    TempFolder dir;
    writeRawPng(dir / "locked.png", allEightBitValues());
    ::chmod((dir / "locked.png").c_str(), 0);
    EXPECT_EQ(messageOf([&] { readImage(dir / "locked.png"); }),
              dir / "locked.png" + ": cannot read: Permission denied");
    fs::create_directory(dir / "locked");
    ::chmod((dir / "locked").c_str(), 0555);
    EXPECT_EQ(messageOf([&] { writeImage(dir / "locked/a.png", makeImage(1, 1, 8)); }),
              dir / "locked/a.png" + ": cannot write in folder " + dir / "locked" +
                  ": Permission denied");
}

TEST(CliImageIo, WriteErrorsLeaveNoFileBehind) {
    TempFolder dir;
    const Image good = makeImage(2, 2, 8);
    Image mismatched = good;
    mismatched.rgba.pop_back();
    fs::create_directory(dir / "taken.png");
    writeFile(dir / "plain-file", "x");

    struct Case {
        std::string path;
        const Image* image;
        int depth;
        std::string problem;
    };
    const Image empty = makeImage(0, 3, 8);
    const std::vector<Case> cases = {
        {dir / "a.png", &good, 32, "PNG is written at 8 or 16 bits, not 32"},
        {dir / "a.exr", &good, 16, "OpenEXR is written as 32-bit float, not at 16 bits"},
        {dir / "a.jpg", &good, 0, "unsupported image format \".jpg\" (use .png or .exr)"},
        {dir / "a.png", &mismatched, 0, "image buffer holds 15 floats, not 16 for 2 x 2"},
        {dir / "a.exr", &empty, 0, "image size 0 x 3 is empty"},
        {dir / "missing/a.png", &good, 0, "output folder " + dir / "missing" + " does not exist"},
        {dir / "plain-file/a.png", &good, 0,
         "output folder " + dir / "plain-file" + " is not a folder"},
        {dir / "taken.png", &good, 0, "cannot replace the file: Is a directory"},
        {dir.path() + "/", &good, 0, "no file extension (use .png or .exr)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(messageOf([&] { writeImage(c.path, *c.image, c.depth); }),
                  c.path + ": " + c.problem);
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"plain-file", "taken.png"}))
            << "after writing " << c.path;
    }
}

TEST(CliImageIo, WriteReplacesAnExistingFileWhole) {
    TempFolder dir;
    writeFile(dir / "out.png", std::string(100000, 'x'));
    Image image = makeImage(3, 2, 8);
    image.pixel(2, 1)[0] = 1.0f;
    writeImage(dir / "out.png", image);
    const Image back = readImage(dir / "out.png");
    EXPECT_EQ(back.rgba, image.rgba);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.png"});

    // A failing write leaves the old file as it was.
    const std::string before = readFile(dir / "out.png");
    Image broken = image;
    broken.width = 4;
    EXPECT_THROW(writeImage(dir / "out.png", broken), ImageError);
    EXPECT_EQ(readFile(dir / "out.png"), before);
}

TEST(CliImageIo, MessagesStayOnOneLine) {
    TempFolder dir;
    const std::string path = dir / "line\nbreak.png";
    EXPECT_EQ(messageOf([&] { readImage(path); }), dir / "line?break.png: no such file");
}

// ---- The host's layout ----------------------------------------------------------------------

// Every file kind into every host layout gives what the float image snapped to the host's levels
// gives, at each channel's offset, and a host image written back gives the float writer's file.
TEST(CliImageIo, HostLayoutsMatchTheFloatImage) {
    using glfx::hostsim::ChannelOrder;
    TempFolder dir;
    writeRawPng(dir / "8.png", allEightBitValues());
    writeRawPng(dir / "16.png", allSixteenBitValues());
    RawPng interlaced = allSixteenBitValues();
    interlaced.interlaced = true;
    writeRawPng(dir / "16i.png", interlaced);
    Image floats = makeImage(37, 41, 32); // over one strip of rows, below and above 0...1
    for (size_t i = 0; i < floats.rgba.size(); ++i)
        floats.rgba[i] = float(int(i * 7919 % 1201) - 100) / 1000.0f;
    writeImage(dir / "f.exr", floats);

    struct Layout {
        int depth;
        ChannelOrder order;
    };
    const Layout layouts[] = {{8, ChannelOrder::Argb},
                              {8, ChannelOrder::Bgra},
                              {16, ChannelOrder::Argb},
                              {32, ChannelOrder::Argb}};
    for (const char* name : {"8.png", "16.png", "16i.png", "f.exr"})
        for (const Layout& layout : layouts) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(layout.depth) +
                         (layout.order == ChannelOrder::Bgra ? " BGRA" : ""));
            const Image expected = toDepth(readImage(dir / name), layout.depth);
            ImageFile file(dir / name);
            EXPECT_EQ(file.header().width, expected.width);
            glfx::hostsim::Image host = glfx::hostsim::Image::make(3, 3, 16); // reused buffer
            file.read(host, layout.depth, layout.order);
            ASSERT_EQ(host.width, expected.width);
            ASSERT_EQ(host.height, expected.height);
            ASSERT_EQ(host.depth, layout.depth);
            for (int32_t y = 0; y < host.height; ++y)
                for (int32_t x = 0; x < host.width; ++x)
                    for (int c = 0; c < 4; ++c)
                        ASSERT_EQ(host.channel(x, y, c), expected.pixel(x, y)[c])
                            << x << "," << y << " channel " << c;
            EXPECT_THROW(file.read(host, 8), ImageError) << "the pixels are read once";

            const std::string ext = std::string(name).substr(std::string(name).find('.'));
            writeImage(dir / ("host" + ext), host);
            writeImage(dir / ("float" + ext), expected);
            EXPECT_EQ(readImage(dir / ("host" + ext)).rgba, readImage(dir / ("float" + ext)).rgba);
        }
}

// Every compression setting decodes to the same samples; the fast one trades size for time and
// the small one is the smallest.
TEST(CliImageIo, PngCompressionKeepsTheSamples) {
    TempFolder dir;
    glfx::hostsim::Image image = glfx::hostsim::Image::make(300, 200, 8);
    for (size_t i = 0; i < image.bytes.size(); ++i)
        image.bytes[i] = uint8_t((i % 1200) / 5 + (i * 2654435761u >> 29));
    const std::pair<const char*, PngCompression> settings[] = {{"fast", PngCompression::Fast},
                                                               {"medium", PngCompression::Medium},
                                                               {"small", PngCompression::Small}};
    std::vector<size_t> sizes;
    for (const auto& [name, compression] : settings) {
        const std::string path = dir / (std::string(name) + ".png");
        writeImage(path, image, {0, compression});
        sizes.push_back(readFile(path).size());
        glfx::hostsim::Image back;
        ImageFile(path).read(back, 8);
        EXPECT_EQ(back.bytes, image.bytes) << name;
    }
    EXPECT_GT(sizes[0], sizes[1]);
    EXPECT_LE(sizes[2], sizes[1]);
}
