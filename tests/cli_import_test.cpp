// The importer without a GPU: the effect writer against the parser, what each sample's header
// becomes, the GLSL rewrites, and bad sources refused with one line and no file.
#include "cli_test_support.h"

#include "effect/CodeContainer.h"
#include "effect/EffectWriter.h"
#include "effect/Parser.h"
#include "import/GlslText.h"
#include "import/Import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

using namespace glfx;
using namespace glfx::test;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(GLFX_TEST_DATA_DIR) + "/import/";

import::ImportedEffect importSample(const std::string& name){
    return import::importSource(kSamples + name, readFile(kSamples + name));
} // namespace

// The first field in which two descriptions differ, or empty.
std::string difference(const EffectDescription& a, const EffectDescription& b) {
    const auto settings = [](const EffectSettings& s) {
        return std::tie(s.name, s.description, s.category, s.version, s.uniqueid, s.paramCount,
                        s.passCount, s.layerCount, s.noinput, s.edgeRepeat, s.cellsx, s.cellsy,
                        s.fast);
    };
    if (settings(a.settings) != settings(b.settings)) return "[settings]";
    for (size_t p = 0; p < kMaxPasses; ++p) {
        const auto options = [&](const EffectSettings& s) {
            const PassOptions& o = s.passOptions[p];
            return std::tie(o.width, o.height, o.persistent, o.floatStorage);
        };
        if (options(a.settings) != options(b.settings))
            return "options of pass " + std::to_string(p);
        if (!std::equal(a.settings.routing[p], a.settings.routing[p] + kMaxSlots,
                        b.settings.routing[p]))
            return "routing of pass " + std::to_string(p);
    }
    for (int i = 1; i < a.settings.paramCount; ++i) {
        const auto param = [&](const EffectDescription& d) {
            const ParamSpec& p = d.params[size_t(i)];
            return std::tie(p.type, p.name, p.uniform, p.components, p.defaultValue, p.min, p.max,
                            p.text, p.items, p.group, p.flags, p.hidden);
        };
        if (param(a) != param(b)) return "parameter " + std::to_string(i);
    }
    if (a.vertexShader != b.vertexShader) return "vertex shader";
    if (a.pixelShaders != b.pixelShaders) return "pixel shaders";
    return {};
}

TEST(EffectWriter, WrittenTextParsesBackToTheSameDescription) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(sourcePath("effects")))
        files.push_back(e.path());
    for (const char* f : {"shell_test_effect.glfx", "fault_test_effect.glfx"})
        files.push_back(std::string(GLFX_TEST_DATA_DIR) + "/" + f);
    for (const auto& e : fs::directory_iterator(kSamples))
        if (e.path().extension() != ".vs") files.push_back(e.path());
    ASSERT_GE(files.size(), 20u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string bytes = readFile(file);
        std::string code;
        if (import::sourceFormatOf(file, bytes) == import::SourceFormat::EffectText)
            code = bytes;
        else
            code = import::importedEffectText(import::importSource(file, bytes), file);
        EffectDescription first;
        parseDescription(first, code);
        const std::string written = writeEffect(first);
        EffectDescription second;
        parseDescription(second, written);
        EXPECT_EQ(difference(first, second), "") << written;
    }
}

TEST(EffectWriter, KeepsShaderLinesThatTheFormatWouldTakeForSomethingElse) {
    EffectDescription d;
    parseDescription(d, "[settings]\nname=x\n[ps0]\nvoid main() {}\n");
    d.vertexShader = "/* a comment */\n; odd\nvoid main() {}\n";
    d.pixelShaders[0] = "float a[2] = float[2](1.0,\n[0.0]);\nvoid main() {}\n";
    EffectDescription back;
    parseDescription(back, writeEffect(d));
    EXPECT_EQ(back.vertexShader, " /* a comment */\n ; odd\nvoid main() {}\n");
    EXPECT_EQ(back.pixelShaders[0], "float a[2] = float[2](1.0,\n [0.0]);\nvoid main() {}\n");
}

TEST(EffectWriter, ShortestFloatReadsBackExactly) {
    for (float v : {0.0f, 1.0f, -2.5f, 0.1f, 1.0f / 3.0f, 1e-7f, 123456.789f, 3.4e38f})
        EXPECT_EQ(std::strtof(shortestFloat(v).c_str(), nullptr), v) << shortestFloat(v);
    EXPECT_EQ(shortestFloat(0.1f), "0.1");
}

TEST(IsfImport, InputsBecomeParameters) {
    const import::ImportedEffect e = importSample("input_types.fs");
    const EffectDescription& d = e.description;
    struct Row {
        const char* name;
        ParamType type;
        const char* uniform;
        std::array<float, 3> defaults;
        float min, max;
        const char* text;
    };
    const Row rows[] = {
        {"Level", ParamType::Float, "level", {0.25f, 0.25f, 0.25f}, -1.0f, 2.0f, ""},
        {"Flag", ParamType::Check, "flag", {1, 1, 1}, 0, 1, ""},
        {"pulse", ParamType::Check, "pulse", {0, 0, 0}, 0, 1, ""},
        {"Show", ParamType::Popup, "show", {0, 0, 0}, 0, 4, "Level|Flag|Tint|Spot|Pixel spot"},
        {"Tint", ParamType::Color, "tint", {0.2f, 0.4f, 0.6f}, 0, 1, ""},
        // Alpha 0.5: a slider beside the colour; alpha 1: none.
        {"Tint opacity", ParamType::Float, "tint_alpha", {0.5f, 0.5f, 0.5f}, 0, 1, ""},
        {"Solid", ParamType::Color, "solid", {1, 0, 0}, 0, 1, ""},
        // Normalised (MAX 1,1): the fraction with y turned to count from the top.
        {"Spot", ParamType::Point, "spot", {0.25f, 0.25f, 0.25f}, 0, 1, ""},
        // Pixels: placed for a 1920x1080 layer.
        {"Pixel spot", ParamType::Point, "pixelSpot", {0.25f, 0.75f, 0.75f}, 0, 1, ""},
        // "time" is the renderer's own uniform: the input's is renamed.
        {"Own time", ParamType::Float, "time_", {0.5f, 0.5f, 0.5f}, 0, 1, ""},
    };
    ASSERT_EQ(d.settings.paramCount, int(std::size(rows)) + 1);
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        const ParamSpec& p = d.params[i + 1];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(std::make_tuple(p.name, p.type, p.uniform, p.min, p.max, p.text),
                  std::make_tuple(r.name, r.type, r.uniform, r.min, r.max, r.text));
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(p.defaultValue[size_t(k)], r.defaults[size_t(k)], 1e-6);
    }
    EXPECT_EQ(d.settings.noinput, 1) << "a generator leaves its layer alone";
    // The event and the pixel default are worth a word.
    ASSERT_EQ(e.warnings.size(), 2u);
    EXPECT_THAT(e.warnings[0], HasSubstr("pulse"));
    EXPECT_THAT(e.warnings[1], HasSubstr("1920x1080"));
    // The popup's choice reaching the shader as the chosen VALUE, and the colour with its alpha,
    // are ImportGpuTest's pixels; the renamed input is used under its new name.
    EXPECT_THAT(d.pixelShaders[0], HasSubstr("c.g += time_ * 0.0;"));
}

TEST(IsfImport, VertexShaderAndLines) {
    const import::ImportedEffect e = importSample("warp.fs");
    EXPECT_THAT(e.description.vertexShader, HasSubstr("void isf_vertShaderInit()"));
    EXPECT_THAT(e.description.vertexShader, HasSubstr("scaled = isf_FragNormCoord * scale;"));
    EXPECT_THAT(e.vertexFile, HasSubstr("warp.vs"));
    // "varying vec2 scaled;" is line 10 of warp.fs and line 1 of warp.vs.
    const std::string& fs = e.description.pixelShaders[0];
    const size_t line =
        size_t(std::count(fs.begin(), fs.begin() + long(fs.find("varying vec2 scaled")), '\n'));
    EXPECT_EQ(e.passLines[0].at(line), 10);
    const std::string& vs = e.description.vertexShader;
    const size_t vline =
        size_t(std::count(vs.begin(), vs.begin() + long(vs.find("varying vec2 scaled")), '\n'));
    EXPECT_EQ(e.vertexLines.at(vline), 1);
}

TEST(ShadertoyImport, ChannelKindsOfAnExport) {
    // Channel 0 a texture (the effect's layer), 1 the keyboard, 2 another texture, 3 nothing.
    // Channel 2 repeats and reads nearest, the others clamp: its direct call does it itself;
    // through g it cannot.
    const std::string code = "vec4 g(sampler2D s, vec2 f) { return texture(s, f); } void "
                             "mainImage(out vec4 c, in vec2 f) { c = texture(iChannel0, f) "
                             "+ texture(iChannel1, f) + texture(iChannel2, f) + "
                             "texture(iChannel3, f) + g(iChannel2, f); }";
    const std::string json =
        "{\"renderpass\": [{\"type\": \"image\", \"name\": \"Image\", \"code\": \"" + code +
        "\", \"inputs\": [{\"channel\": 0, \"ctype\": \"texture\", \"src\": \"a.png\"}, "
        "{\"channel\": 1, \"type\": \"keyboard\"}, {\"channel\": 2, \"ctype\": \"video\", "
        "\"src\": \"b.webm\", \"sampler\": {\"wrap\": \"repeat\", \"filter\": \"nearest\"}}]}]}";
    const import::ImportedEffect e = import::importSource("channels.json", json);
    const EffectSettings& s = e.description.settings;
    ASSERT_EQ(s.passCount, 2);
    EXPECT_EQ(s.passOptions[0].width, "256");
    EXPECT_EQ(s.passOptions[0].height, "3");
    const int32_t slots[] = {layerSource(0), 0, layerSource(1), 0};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(s.routing[1][k], slots[k]) << "slot " << k;
    EXPECT_EQ(e.description.params[1].type, ParamType::Layer);
    EXPECT_EQ(e.description.params[1].name, "Image iChannel2");
    EXPECT_EQ(s.edgeRepeat, 0);
    EXPECT_THAT(e.description.pixelShaders[1], HasSubstr("glfx_sampleRepeatNearest(in2, f)"));
    EXPECT_THAT(e.description.pixelShaders[1], HasSubstr("g(in2, f)"));
    const std::string said = ::testing::PrintToString(e.warnings);
    for (const char* word : {"keyboard", "b.webm", "iChannel3 has nothing",
                             "iChannel2 is repeated and read nearest only where texture() reads"})
        EXPECT_THAT(said, HasSubstr(word));
}

TEST(IsfImport, CodeThatOutgrowsTheSlotLosesItsCommentsFirst) {
    // Four passes of 20 kB each, nearly all comments.
    std::string source = "/*{\"PASSES\": [{\"TARGET\": \"a\"}, {\"TARGET\": \"b\"}, "
                         "{\"TARGET\": \"c\"}, {}]}*/\n";
    for (int i = 0; i < 400; ++i)
        source += "    // " + std::string(50, 'x') + "\n";
    source += "void main() { /* the colour */ gl_FragColor = vec4(1.0); }\n";
    const import::ImportedEffect e = import::importSource("big.fs", source);
    const std::string text = import::importedEffectText(e, "big.fs");
    EXPECT_LT(text.size(), kCodeSlotSize - 6);
    ASSERT_EQ(e.warnings.size(), 1u);
    EXPECT_THAT(e.warnings[0], HasSubstr("comments"));
    const std::string& fs = e.description.pixelShaders[3];
    EXPECT_EQ(fs.find("//"), std::string::npos);
    // The line that is left still names its line in the file: the header is line 1.
    const size_t main = fs.find("gl_FragColor = vec4(1.0); }");
    ASSERT_NE(main, std::string::npos) << fs;
    EXPECT_EQ(e.passLines[3].at(size_t(std::count(fs.begin(), fs.begin() + long(main), '\n'))),
              402);
}

TEST(GlslText, RewritesNamesNotMembersOrComments) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"float a = TIME + v.TIME; // TIME", "float a = glfx_Time + v.TIME; // TIME"},
        {"IMG_SIZE( img )\n.x + IMG_SIZE(other)", "glfx_InSize[0]\n.x + IMG_SIZE(other)"},
        {"x = 1.5e-3+TIME;/* TIME */", "x = 1.5e-3+glfx_Time;/* TIME */"},
        {"#define T TIME\nvec2 p = img;", "#define T glfx_Time\nvec2 p = in0;"},
    };
    for (const auto& r : rows) {
        import::GlslText text(r.in);
        text.rewriteCalls("IMG_SIZE", true,
                          [](const std::string& n) { return n == "img" ? "glfx_InSize[0]" : ""; });
        text.rename({{"TIME", "glfx_Time"}, {"img", "in0"}});
        EXPECT_EQ(text.str(), r.out);
    }
}

TEST(Import, RefusesWhatItCannotRepresent) {
    const std::string header = "/*{\"ISFVSN\": \"2\", \"INPUTS\": [";
    const struct {
        const char* file;
        std::string text;
        const char* needle;
    } rows[] = {
        {"bad.fs", "/*{\n  \"INPUTS\": [,]\n}*/\nvoid main(){}", "bad.fs:2:14: malformed JSON"},
        {"bad.fs", header + "{\"NAME\": \"x\", \"TYPE\": \"vec3\"}]}*/\nvoid main(){}",
         "unknown TYPE \"vec3\""},
        {"bad.fs", header + "{\"NAME\": \"s\", \"TYPE\": \"audioFFT\"}]}*/\nvoid main(){}",
         "audioFFT"},
        {"bad.fs", header + "]}*/\nvoid mane(){}", "no main()"},
        {"bad.fs", "void main() {}", "does not begin with the JSON header"},
        {"bad.fs",
         header + "{\"NAME\": \"n\", \"TYPE\": \"float\"}], \"PASSES\": [{\"WIDTH\": "
                  "\"$WIDTH * $n + (\"}]}*/\nvoid main(){}",
         "pass 0: WIDTH"},
        {"bad.fs", header + "]}*/\nfloat glfx_x;\nvoid main(){}", "glfx_x"},
        {"bad.glsl", "void main() {}", "no mainImage"},
        {"bad.json",
         "{\"renderpass\": [{\"type\": \"image\", \"code\": \"void mainImage(out "
         "vec4 c, vec2 f){c = texture(iChannel0, f);}\", \"inputs\": [{\"channel\": "
         "0, \"ctype\": \"music\"}]}]}",
         "audio"},
        {"bad.json", "{\"renderpass\": [{\"type\": \"cubemap\", \"name\": \"Cube A\"}]}",
         "cube map"},
        {"bad.json", "{\"info\": {}}", "no \"renderpass\""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        try {
            import::importSource(r.file, r.text);
            ADD_FAILURE() << "imported";
        } catch (const import::ImportError& e) {
            EXPECT_THAT(e.what(), HasSubstr(r.needle));
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
        }
    }
}

TEST(ImportCommand, WritesTheEffectOrNothing) {
    TempFolder dir;
    RunResult r = runGlfx({"import", kSamples + "invert.fs", "-o", dir / "Invert.glfx"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EffectDescription d;
    parseDescription(d, readFile(dir / "Invert.glfx"));
    EXPECT_EQ(d.settings.name, "invert");
    EXPECT_EQ(d.settings.category, "Color Effect");
    EXPECT_EQ(d.settings.description,
              "Turns every colour into its opposite; alpha stays. Credit: glfx tests");

    writeFile(dir / "broken.fs", "/*{ \"INPUTS\": [ }*/\nvoid main() {}\n");
    const auto before = dir.entries();
    r = runGlfx({"import", dir / "broken.fs", "-o", dir / "broken.glfx"});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("broken.fs:1:"));
    EXPECT_EQ(dir.entries(), before);

    // info, check and pack take the source itself.
    r = runGlfx({"info", "--json", kSamples + "passes.fs"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("\"form\": \"ISF file (imported)\""));
    r = runGlfx({"check", "--no-compile", "--werror", kSamples + "passes.fs"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    r = runGlfx({"pack", kSamples + "crossfade.fs", "-o", dir / "Crossfade.so"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = runGlfx({"info", dir / "Crossfade.so"});
    EXPECT_THAT(r.out, HasSubstr("registers as crossfade in Transition"));
}

} // namespace
