// Imported ISF and Shadertoy samples rendered through the real plug-in (glfx render packs each
// on the fly) in both hosts and at 8, 16 and 32 bits: pixels whose values follow from the
// sample's code, the inputs and the time.
#include "cli_test_support.h"

#include "cli/ImageIO.h"
#include "effect/CodeContainer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <stdexcept>

using namespace glfx::test;
using glfx::cli::Image;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(GLFX_TEST_DATA_DIR) + "/import/";

struct HostSetup {
    const char* host;
    int bpc;
    const char* extension;
};

class ImportGpuTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        if (!glAvailable(reason)) GTEST_SKIP() << "no GL context here: " << reason;
        // A flat input and a smaller red mask, in 8-bit levels that every depth holds exactly.
        writeFlat(dir / "input.png", 64, 32, {51, 102, 153, 255});
        writeFlat(dir / "mask.png", 40, 20, {204, 0, 0, 255});
        fs::create_directories(dir / "config");
    }

    static void writeFlat(const std::string& path, int w, int h, std::array<int, 4> level) {
        Image image = glfx::cli::makeImage(w, h, 8);
        for (size_t i = 0; i < image.rgba.size(); ++i)
            image.rgba[i] = float(level[i % 4]) / 255.0f;
        glfx::cli::writeImage(path, image, 8);
    }

    TempFolder dir;
};

// Each row: a sample rendered with these arguments (split at spaces; the input and output and the
// host set-up added), and one pixel of the result, row 0 at the top.
const struct PixelCase {
    const char* name;
    const char* sample;
    const char* args;
    int x, y;
    std::array<float, 4> expected;
} kPixelCases[] = {
    // clang-format off
    {"inversion", "invert.fs", "-i input.png", 3, 3, {0.8f, 0.6f, 0.4f, 1}},
    {"float input", "invert.fs", "-i input.png -p Amount=0", 3, 3, {0.2f, 0.4f, 0.6f, 1}},
    {"float default", "input_types.fs", "--size 64x32", 5, 5, {0.25f, 0, 0, 1}},
    {"bool", "input_types.fs", "--size 64x32 -p Show=Flag", 5, 5, {1, 0, 0, 1}},
    {"event", "input_types.fs", "--size 64x32 -p pulse=on", 5, 5, {0.25f, 0, 1, 1}},
    {"long VALUE", "passes.fs", "-i input.png -p divisor=Half", 9, 9,
     {0.032f, 0.016f, 16.0f / 255.0f, 1}},
    {"colour with opacity", "input_types.fs", "--size 64x32 -p Show=Tint", 5, 5,
     {0.2f, 0.4f, 0.6f, 0.5f}},
    {"normalised point", "input_types.fs", "--size 64x32 -p Show=Spot", 5, 5, {0.25f, 0.75f, 0, 1}},
    {"normalised point moved", "input_types.fs", "--size 64x32 -p Show=Spot -p Spot=32,8", 5, 5,
     {0.5f, 0.75f, 0, 1}},
    {"pixel point", "input_types.fs", "--size 64x32 -p Show=5", 5, 5, {0.25f, 0.25f, 0, 1}},
    // Frame 12 at 24 frames a second: 0.5 s, frame index 12, 1/24 s a frame.
    {"TIME, FRAMEINDEX, TIMEDELTA", "clock.fs", "--size 64x32 --time 12", 1, 1,
     {0.05f, 0.12f, 10.0f / 24.0f, 1}},
    {"bottom-left origin", "orientation.fs", "--size 64x32", 2, 30, {1, 1, 0.064f, 1}},
    {"top-right", "orientation.fs", "--size 64x32", 61, 1, {0, 0, 0.064f, 1}},
    {"IMG_SIZE of a smaller layer", "layer_size.fs", "-i input.png -l Mask=mask.png", 20, 10,
     {0.04f, 0.02f, 0.8f, 1}},
    {"transition", "crossfade.fs", "-i input.png -l endImage=mask.png", 7, 7,
     {0.35f, 0.3f, 0.45f, 1}},
    {"vertex varying", "warp.fs", "--size 64x32", 32, 16,
     {32.5f / 64.0f * 0.5f, (1.0f - 16.5f / 32.0f) * 0.5f, 0, 1}},
    // A quarter-size target, and a persistent one that gains 16/255 a frame from frame 0.
    {"sized and persistent passes", "passes.fs", "-i input.png --time 3", 9, 9,
     {0.016f, 0.008f, 64.0f / 255.0f, 1}},
    {"mainImage, iTime, iResolution, iChannel0", "channels.glsl", "-i input.png --time 12", 5, 31,
     {0.8f, 0.05f, 0.5f / 32.0f, 1}},
    {"image through a macro, GLSL 1.30", "macros.fs", "-i input.png --time 8", 3, 3,
     {0.2f, 0.064f, 1, 1}},
    {"every lookup and playground uniform", "lookups.glsl", "-i input.png --time 12", 3, 3,
     {0.2f, 0.064f, 1, 1}},
    // Buffer A adds 0.125 to its last frame; B halves it; the image shows B.
    {"buffer feedback", "feedback.json", "--size 64x32 --time 3", 4, 4, {0.25f, 0, 0, 1}},
    {"float buffer past 1", "feedback.json", "--size 64x32 --time 11", 4, 4, {0.75f, 0, 0, 1}},
    {"iMouse", "feedback.json", "--size 64x32 -p Mouse=32,8", 4, 4, {0.0625f, 0.5f, 0.75f, 1}},
    // clang-format on
};

TEST_F(ImportGpuTest, PixelsFollowFromTheCode) {
    const HostSetup setups[] = {
        {"ae", 8, ".png"}, {"ae", 16, ".png"}, {"ae", 32, ".exr"}, {"premiere", 8, ".png"}};
    int n = 0;
    for (const PixelCase& c : kPixelCases)
        for (const HostSetup& s : setups) {
            SCOPED_TRACE(std::string(c.name) + " in " + s.host + " at " + std::to_string(s.bpc) +
                         " bits");
            const std::string output = "out" + std::to_string(n++) + s.extension;
            std::vector<std::string> args = {
                "render", kSamples + c.sample, "-o", output, "-q", "--host", s.host};
            if (std::string(s.host) == "ae")
                args.insert(args.end(), {"--bpc", std::to_string(s.bpc)});
            std::istringstream words(c.args);
            for (std::string word; words >> word;)
                args.push_back(word);
            const RunResult r = runGlfx(args, dir.path(), dir / "config");
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const Image image = glfx::cli::readImage(dir / output);
            ASSERT_GT(image.width, c.x);
            ASSERT_GT(image.height, c.y);
            // The inputs are 8-bit levels; an 8-bit result is off by at most one level.
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(image.pixel(c.x, c.y)[k], c.expected[size_t(k)], 1.5f / 255.0f)
                    << "channel " << k;
        }
}

TEST_F(ImportGpuTest, EverySampleAndGalleryEffectChecksClean) {
    std::vector<std::string> args = {"check", "--werror"};
    for (const auto& e : fs::directory_iterator(kSamples))
        if (e.path().extension() != ".vs") args.push_back(e.path());
    // The gallery and the README's samples too.
    for (const auto& e : fs::directory_iterator(std::string(GLFX_SOURCE_DIR) + "/effects"))
        args.push_back(e.path());
    const RunResult r = runGlfx(args, dir.path(), dir / "config");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

// About one text in 150 enciphers into the bytes that end the code slot: render falls back to
// the plain form in its private plug-in, pack refuses and names --plain.
TEST_F(ImportGpuTest, TextsThatCannotBeEncipheredStillRender) {
    // A comment whose bytes encipher into the marker: each text byte is the marker byte XOR
    // the keystream there, (key byte + offset) mod 255, at an offset where all three print.
    const std::string key = "Cipher";
    const std::string head = "[settings]\nname=Cipher\n[ps0]\n// ";
    std::string code;
    for (size_t pad = 0; code.empty() && pad < 4000; ++pad) {
        const std::string prefix = head + std::string(pad, 'x');
        std::string bytes;
        for (size_t j = 0; j < 3; ++j) {
            const size_t at = prefix.size() + j;
            const unsigned char stream = static_cast<unsigned char>(
                (static_cast<unsigned char>(key[at % key.size()]) + at) % 255);
            bytes += char(glfx::kCipherEndMarker[j] ^ stream);
        }
        if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 32 && c < 127; }))
            code = prefix + bytes + "\nvoid main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }\n";
    }
    ASSERT_THROW(glfx::encipherCode(code, key), std::invalid_argument);
    ASSERT_FALSE(code.empty());
    writeFile(dir / "cipher.glfx", code);
    RunResult r = runGlfx({"render", "cipher.glfx", "--size", "8x8", "-o", "green.png", "-q"},
                          dir.path(), dir / "config");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NEAR(glfx::cli::readImage(dir / "green.png").pixel(3, 3)[1], 1.0f, 1e-6);
    r = runGlfx({"pack", "cipher.glfx", "-o", "Cipher.so"}, dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("--plain"));
    EXPECT_FALSE(fs::exists(dir / "Cipher.so"));
    r = runGlfx({"pack", "cipher.glfx", "-o", "Cipher.so", "--plain"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

} // namespace
