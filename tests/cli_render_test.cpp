// `glfx render` end to end on Mesa's software rasteriser: the gallery against its golden images,
// layer sequences at their time offset, a frame the plug-in cannot draw, and the README's
// examples exactly as written.
#include "cli_test_support.h"
#include "gl_test_host.h"

#include "cli/ImageIO.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using namespace glfx::test;
using glfx::cli::Image;
using glfx::cli::readImage;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

class RenderGpuTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        if (!glAvailable(reason)) GTEST_SKIP() << "no GL context here: " << reason;
    }
    // glfx render ... in the temporary folder, with an empty per-user folder of its own.
    RunResult render(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"render"};
        all.insert(all.end(), args.begin(), args.end());
        return runGlfx(all, dir.path(), config());
    }
    std::string config() {
        fs::create_directories(dir / "config");
        return dir / "config";
    }
    // The picture `args` and `more` render into `output`, quietly.
    Image rendered(const std::vector<std::string>& args, const std::string& output,
                   const std::vector<std::string>& more = {}) {
        std::vector<std::string> all = args;
        all.insert(all.end(), more.begin(), more.end());
        all.insert(all.end(), {"-o", output, "-q"});
        const RunResult r = render(all);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.exitCode == 0 ? readImage(dir / output) : Image{};
    }
    static float maxDifference(const Image& a, const Image& b) {
        if (a.width != b.width || a.height != b.height || a.rgba.empty()) return INFINITY;
        float most = 0.0f;
        for (size_t i = 0; i < a.rgba.size(); ++i)
            most = std::max(most, std::fabs(a.rgba[i] - b.rgba[i]));
        return most;
    }

    TempFolder dir;
    const std::string card = std::string(GLFX_TEST_DATA_DIR) + "/golden/test_card.png";
    const std::string effects = std::string(GLFX_SOURCE_DIR) + "/effects/";
};

// ---- The gallery against its goldens ------------------------------------------------------

struct GalleryEntry {
    std::string name;
    Tolerance tolerance;
    std::vector<std::string> args;
};

// Test names and failure messages show the entry's name, not its bytes.
void PrintTo(const GalleryEntry& e, std::ostream* out) {
    *out << e.name;
}

std::vector<GalleryEntry> galleryEntries() {
    std::vector<GalleryEntry> entries;
    std::ifstream in(std::string(GLFX_TEST_DATA_DIR) + "/golden/gallery.txt");
    static const std::regex line(
        R"(^\s*(\w+)\s*\|\s*([\d.]+)\s*,\s*([\d.]+)\s*,\s*([\d.]+)\s*\|(.*)$)");
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (text.empty() || text[0] == '#' || !std::regex_match(text, m, line)) continue;
        GalleryEntry e;
        e.name = m[1].str();
        e.tolerance = {std::stof(m[2].str()) / 255.0f, std::stod(m[3].str()) / 100.0,
                       std::stof(m[4].str())};
        std::istringstream words(m[5].str());
        for (std::string w; words >> w;) {
            if (w == "INPUT") w = std::string(GLFX_TEST_DATA_DIR) + "/golden/test_card.png";
            if (w == "SIZE") w = "160x90";
            // The effects are named from the repository's root.
            if (w.rfind("effects/", 0) == 0) w = std::string(GLFX_SOURCE_DIR) + "/" + w;
            e.args.push_back(w);
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

class GalleryTest : public RenderGpuTest, public ::testing::WithParamInterface<GalleryEntry> {};

// The gallery's regeneration command is scripts/render-gallery.sh; see gallery.txt.
TEST_P(GalleryTest, MatchesItsGoldenImage) {
    const GalleryEntry& e = GetParam();
    const Image actual = rendered(e.args, e.name + ".png");
    ASSERT_FALSE(actual.rgba.empty());
    const Image golden = readImage(std::string(GLFX_TEST_DATA_DIR) + "/golden/" + e.name + ".png");
    ASSERT_EQ(actual.width, golden.width);
    ASSERT_EQ(actual.height, golden.height);
    EXPECT_TRUE(imagesMatch(actual.rgba.data(), golden.rgba, golden.width, golden.height,
                            e.tolerance, e.name));
}

TEST(Gallery, ListsEveryEffectWithAPicture) {
    const auto entries = galleryEntries();
    EXPECT_GE(entries.size(), 8u);
    for (const auto& e : fs::directory_iterator(std::string(GLFX_SOURCE_DIR) + "/effects")) {
        const std::string stem = e.path().stem();
        if (e.path().extension() != ".glfx" || stem == "quadra_remapping") continue;
        const bool listed = std::any_of(entries.begin(), entries.end(),
                                        [&](const GalleryEntry& g) { return g.name == stem; });
        EXPECT_TRUE(listed) << stem << " has no line in gallery.txt";
        EXPECT_TRUE(fs::exists(std::string(GLFX_SOURCE_DIR) + "/docs/gallery/" + stem + ".png"))
            << stem << " has no picture for the README";
    }
}

INSTANTIATE_TEST_SUITE_P(Effects, GalleryTest, ::testing::ValuesIn(galleryEntries()),
                         [](const auto& info) { return info.param.name; });

// ---- What the options change --------------------------------------------------------------

// The map layer is read 2 frames after the current one (its time offset): frame 0 of a
// sequence shows map frame 2, and a missing frame shows no map, with a warning.
TEST_F(RenderGpuTest, LayerSequencesHonourTheTimeOffset) {
    const std::string displace = effects + "displace.glfx";
    rendered({effects + "stylise.glfx", "-i", card, "-p", "Style=Emboss", "-p", "Keep colour=off"},
             "map.0002.png");
    fs::copy_file(card, dir / "map.0003.png");
    const Image still =
        rendered({displace, "-i", card, "-l", "Map=map.0002.png", "-p", "amount=30"}, "s.png");
    const RunResult r = render({displace, "-i", card, "-l", "Map=map.####.png", "-p", "amount=30",
                                "--frames", "0-2", "-o", "d.#.png", "-q"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(maxDifference(readImage(dir / "d.0.png"), still), 0.0f) << "frame 0 reads map 2";
    EXPECT_GT(maxDifference(readImage(dir / "d.1.png"), still), 0.05f) << "frame 1 reads map 3";
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("no frame 4"));
}

TEST_F(RenderGpuTest, AFrameThePlugInCannotDrawIsAnErrorWithoutAPicture) {
    writeFile(dir / "broken.glfx", "[settings]\nname=Broken\n[ps0]\nvoid main(void) { "
                                   "gl_FragColor = vec4(nothing); }\n");
    config();
    const auto before = dir.entries();
    const RunResult r = render({"broken.glfx", "-i", card, "-o", "out.png"});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("frame 0: the plug-in did not draw the frame"));
    EXPECT_EQ(dir.entries(), before);
}

// Frames decode and encode on threads of their own beside the drawing, in buffers shared
// between alternate frames: every frame of a range is what that frame alone renders.
TEST_F(RenderGpuTest, ARangeRendersWhatItsFramesRenderAlone) {
    const std::string ripple = effects + "ripple.glfx";
    rendered({effects + "blur.glfx", "-i", card, "-p", "Radius=6"}, "in.1.png");
    for (int f : {0, 2, 3})
        fs::copy_file(f == 3 ? dir / "in.1.png" : card, dir / ("in." + std::to_string(f) + ".png"));
    const RunResult r =
        render({ripple, "-i", "in.#.png", "--frames", "0-3", "-o", "r.#.png", "--timeout", "60"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (int f = 0; f < 4; ++f) {
        const std::string n = std::to_string(f);
        EXPECT_EQ(maxDifference(readImage(dir / ("r." + n + ".png")),
                                rendered({ripple, "-i", "in." + n + ".png", "-t", n}, "one.png")),
                  0.0f)
            << "frame " << f;
    }
    // A range that fails part-way keeps what it wrote and says so.
    const RunResult cut = render({ripple, "-i", "in.#.png", "--frames", "0-4", "-o", "c.#.png"});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_THAT(cut.err, HasSubstr("; frames 0 ... 3 (c.0.png ... c.3.png) are written"));
    EXPECT_TRUE(fs::exists(dir / "c.3.png"));
}

// A GL call cannot be interrupted: the watchdog ends the process, and nothing is left behind.
// The software rasteriser draws this in about a minute.
TEST_F(RenderGpuTest, AFrameOverItsTimeoutEndsTheRun) {
    writeFile(dir / "slow.glfx", "[settings]\nname=Slow\n[ps0]\nuniform float time;\n"
                                 "void main(void) { float c = gl_FragCoord.x; for (int i = 0; "
                                 "i < 60000; ++i) c = fract(c * 1.618 + time + 0.1); "
                                 "gl_FragColor = vec4(c); }\n");
    config();
    const auto before = dir.entries();
    const RunResult r = render({"slow.glfx", "--size", "1024x1024", "-o", "out.#.png", "--frames",
                                "0-1", "--timeout", "1.5"});
    if (r.exitCode == 0) GTEST_SKIP() << "this GPU draws it within the time";
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "glfx render: frame 0 did not finish within 1.5 s (--timeout); the effect is "
                     "too slow for this GPU at this size: render it smaller, simplify its "
                     "shaders, or allow more time\n");
    EXPECT_EQ(dir.entries(), before);
}

// The header says the picture cannot be a texture here; its pixels are never decoded.
TEST_F(RenderGpuTest, APictureWiderThanTheGpuTakesIsRefusedFromItsHeader) {
    glfx::cli::writeImage(dir / "wide.png", glfx::cli::makeImage(glfx::cli::kMaxImageSide, 1, 8));
    const RunResult r = render({"-i", "wide.png", "-o", "out.png"});
    if (r.exitCode == 0) GTEST_SKIP() << "this GPU takes 30000 pixels a side";
    EXPECT_THAT(r.err, HasSubstr("wide.png: image size 30000 x 1 is larger than the GPU's "
                                 "largest texture ("));
    EXPECT_THAT(render({"--size", "30000x1", "-o", "out.png"}).err,
                HasSubstr("--size: image size 30000 x 1 is larger than the GPU's largest"));
    EXPECT_FALSE(fs::exists(dir / "out.png"));
}

// ---- The README's examples as written -----------------------------------------------------

// Every line of the README's shell blocks that starts with "glfx", run in order in a folder
// that holds the repository's effects/ as the README's root does.
TEST_F(RenderGpuTest, ReadmeExamplesWorkAsWritten) {
    std::ifstream readme(std::string(GLFX_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(readme) << "no README";
    fs::create_directory_symlink(std::string(GLFX_SOURCE_DIR) + "/effects", dir / "effects");
    bool inShell = false;
    int commands = 0;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("```", 0) == 0) {
            inShell = !inShell && line == "```sh";
            continue;
        }
        if (!inShell || line.rfind("glfx ", 0) != 0) continue;
        ++commands;
        const RunResult r = runShell(line, dir.path(), config());
        EXPECT_EQ(r.exitCode, 0) << line << "\n" << r.err;
    }
    EXPECT_GE(commands, 10);
    EXPECT_TRUE(fs::is_empty(dir / "config")) << "the per-user folder was written";
    for (const char* made :
         {"card.png", "blurred.png", "graded.exr", "halftone.png", "ripple.0011.png",
          "displaced.0009.png", "corner.png", "Glow.so", "glow_premiere.png"})
        EXPECT_TRUE(fs::exists(dir / made)) << made;
}

} // namespace
