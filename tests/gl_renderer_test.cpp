// The renderer on Mesa's software rasteriser: program builds and their logs, frames through
// routing, uniforms and pass textures, failure paths, and the host's context after every call.
#include "effect/Parser.h"
#include "gl/GlRenderer.h"
#include "gl_test_host.h"

#include <GL/glew.h>

#include <EGL/egl.h>

#include <functional>
#include <memory>
#include <tuple>

namespace glfx {
namespace {

using test::Frame;
using test::imagesMatch;
using test::makeEffect;
using test::samplerDeclarations;
using test::solidImage;
using test::Tolerance;

const std::string kCopy = samplerDeclarations(1) +
                          "void main(void) { gl_FragColor = texture2D(in0, gl_TexCoord[0].st); }";

std::string fill(const std::string& colour) {
    return "void main(void) { gl_FragColor = " + colour + "; }";
}

// Closes the renderer the way set-down does.
struct Closer {
    void operator()(GlRenderer* renderer) const {
        renderer->releaseResources();
        renderer->context.close();
        delete renderer;
    }
};
using RendererPtr = std::unique_ptr<GlRenderer, Closer>;

RendererPtr makeRenderer(const EffectDescription& effect,
                         const std::vector<std::string>& requiredExtensions = {}) {
    RendererPtr renderer(new GlRenderer());
    renderer->effectDescription = &effect;
    if (!requiredExtensions.empty()) renderer->context.setRequiredExtensions(requiredExtensions);
    renderer->context.create();
    return renderer;
}

// width x height RGBA pixels, channel c of (x, y) given by `value`.
std::vector<float> makeImage(int width, int height,
                             const std::function<float(int, int, int)>& value) {
    std::vector<float> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = value(static_cast<int>(i / 4 % width), static_cast<int>(i / 4 / width),
                          static_cast<int>(i % 4));
    return pixels;
}

// Each pixel distinct, in 0 ... 1, with alpha 1.
std::vector<float> gradientImage(int width, int height) {
    return makeImage(width, height, [&](int x, int y, int c) {
        const float v[] = {(x + 0.5f) / width, (y + 0.5f) / height, ((x * 7 + y * 3) % 11) / 10.0f,
                           1.0f};
        return v[c];
    });
}

GLint attachedShaders(GlRenderer& renderer, int pass) {
    GLint count = -1;
    if (!renderer.context.activate()) return count;
    glGetProgramiv(renderer.program(pass), GL_ATTACHED_SHADERS, &count);
    renderer.context.deactivate();
    return count;
}

// One renderer on one effect, and a frame for it. The effect may still be changed until the first
// draw: the renderer builds its programs then.
class GlRendererTest : public test::GpuTest {
protected:
    EffectDescription& use(const std::vector<std::string>& passes) {
        effect = makeEffect(passes);
        renderer = makeRenderer(*effect);
        return *effect;
    }
    ::testing::AssertionResult draw(int width, int height, GLenum type = GL_FLOAT) {
        frame.setOutput(width, height);
        if (frame.render(*renderer, type)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "not drawn: " << renderer->errorText;
    }
    void expectPixel(int x, int y, std::array<float, 4> expected, float tolerance = 1e-6f) {
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(frame.result(x, y, c), expected[c], tolerance) << "channel " << c;
    }
    ::testing::AssertionResult resultMatches(const std::vector<float>& expected, int width,
                                             int height, Tolerance tolerance,
                                             const std::string& name) {
        return imagesMatch(frame.resultPixels(), expected, width, height, tolerance, name);
    }

    std::unique_ptr<EffectDescription> effect;
    RendererPtr renderer;
    Frame frame;
};
using GlRendererBuildTest = GlRendererTest;
using GlRendererFrameTest = GlRendererTest;
using GlRendererGoldenTest = GlRendererTest;

// --- Programs and logs -------------------------------------------------------------------------

TEST_F(GlRendererBuildTest, FailingPassesKeepTheirLogsInPassOrderAndAVertexOnlyProgram) {
    use({"void main(void) { gl_FragColor = vec4(1.0) }", kCopy, fill("betaUndeclared")});
    renderer->buildPrograms("");
    EXPECT_FALSE(renderer->programsOk);
    const auto& messages = renderer->buildMessages;
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(std::make_tuple(messages[0].pass, messages[0].stage, messages[1].pass),
              std::make_tuple(0, GLenum(GL_FRAGMENT_SHADER), 2));
    EXPECT_FALSE(messages[0].log.empty());
    EXPECT_EQ(renderer->errorText, messages[0].log + messages[1].log);
    EXPECT_NE(messages[1].log.find("betaUndeclared"), std::string::npos) << messages[1].log;
    ASSERT_NE(renderer->program(0), 0u) << "a program without a fragment stage still links";
    EXPECT_EQ(attachedShaders(*renderer, 0), 1);
    EXPECT_NE(renderer->program(1), 0u) << "a good pass between failing ones is still built";
}

TEST_F(GlRendererBuildTest, NothingIsBuiltOrDrawnWithoutAValidContext) {
    effect = makeEffect({kCopy});
    renderer = makeRenderer(*effect, {"GL_GLFX_not_offered"});
    ASSERT_FALSE(renderer->context.isValid());

    EXPECT_EQ(renderer->buildPrograms(""), -1);
    EXPECT_FALSE(renderer->programsOk || renderer->resourcesAllocated);
    EXPECT_NE(renderer->errorText.find("GL_GLFX_not_offered"), std::string::npos)
        << renderer->errorText;
    EXPECT_TRUE(host.isCurrentAndIntact());

    frame.setLayer(0, 2, 2, solidImage(2, 2, {1, 1, 1, 1}));
    EXPECT_FALSE(draw(2, 2));
    EXPECT_TRUE(frame.bytes.empty()) << "nothing read back";
    EXPECT_TRUE(host.isCurrentAndIntact());
}

// Flatten's order: the context goes first, the renderer after it. The renderer's first texture
// names are the host's too, so a deletion in the wrong context shows.
TEST_F(GlRendererBuildTest, DestroyingAfterTheContextClosedTouchesNoOtherContext) {
    use({kCopy, kCopy});
    frame.setLayer(0, 4, 4, solidImage(4, 4, {0.5f, 0.5f, 0.5f, 1}));
    ASSERT_TRUE(draw(4, 4));
    renderer->context.close();
    EXPECT_TRUE(host.isCurrentAndIntact());
    renderer->releaseResources();
    EXPECT_FALSE(renderer->resourcesAllocated);
    renderer.reset();
    EXPECT_TRUE(host.isCurrentAndIntact());
}

// --- Frames ------------------------------------------------------------------------------------

TEST_F(GlRendererFrameTest, TheParsersDefaultShadersCompileAndPassTheInputThrough) {
    effect = std::make_unique<EffectDescription>();
    parseDescription(*effect, "[settings]\nname=defaults\n");
    renderer = makeRenderer(*effect);
    const auto input = makeImage(8, 4, [](int x, int y, int c) {
        return static_cast<float>(((y * 8 + x) * 4 + c) % 17) / 16.0f;
    });
    frame.setLayer(0, 8, 4, input);
    ASSERT_TRUE(draw(8, 4));
    EXPECT_TRUE(resultMatches(input, 8, 4, Tolerance{1e-6f, 0.0, 1e-6f}, "default_shaders"));
}

// Red, green, blue, alpha; green and blue 0 and alpha 1 unless given.
std::array<float, 4> rgba(float r, float g = 0.0f, float b = 0.0f, float a = 1.0f) {
    return {r, g, b, a};
}

TEST_F(GlRendererFrameTest, EachKindReachesItsUniform) {
    const char* const intRed = "vec4(float(u) / 4.0, 0.0, 0.0, 1.0)";
    const char* const floatRed = "vec4(u, 0.0, 0.0, 1.0)";
    const char* const unset = "vec4(float(u) + 0.25, 0.0, 0.0, 1.0)"; // an unset uniform reads 0
    const struct {
        const char* name;
        ParamType type;
        int32_t components;
        int32_t flags;
        std::array<float, 4> value;
        const char* declaration; // of uniform "u"
        const char* colour;      // a vec4 expression of u
        std::array<float, 4> expected;
    } cases[] = {
        {"int truncates toward zero", ParamType::Int, 1, 0, rgba(-2.7f), "int",
         "vec4(float(u) / -4.0, 0.0, 0.0, 1.0)", rgba(0.5f)},
        {"check is an integer", ParamType::Check, 1, 0, rgba(1.0f), "int", intRed, rgba(0.25f)},
        {"popup index is an integer", ParamType::Popup, 1, 0, rgba(2.0f), "int", intRed,
         rgba(0.5f)},
        {"float is a float", ParamType::Float, 1, 0, rgba(0.3f), "float", floatRed, rgba(0.3f)},
        {"point is a vec2", ParamType::Point, 2, 0, rgba(0.4f, 0.6f, 0.9f), "vec2",
         "vec4(u, 0.0, 1.0)", rgba(0.4f, 0.6f)},
        {"color is a vec3", ParamType::Color, 3, 0, rgba(0.1f, 0.2f, 0.3f, 0.9f), "vec3",
         "vec4(u, 1.0)", rgba(0.1f, 0.2f, 0.3f)},
        {"defining popup sets no uniform", ParamType::Popup, 0, 1, rgba(2.0f), "int", unset,
         rgba(0.25f)},
        {"layer sets no uniform", ParamType::Layer, 0, 0, rgba(0.5f), "float",
         "vec4(u + 0.25, 0.0, 0.0, 1.0)", rgba(0.25f)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EffectDescription& e =
            use({std::string("uniform ") + c.declaration + " u;\n" + fill(c.colour)});
        e.settings.paramCount = 2;
        e.params[1].type = c.type;
        e.params[1].components = c.components;
        e.params[1].flags = c.flags;
        e.params[1].uniform = "u";
        std::copy(c.value.begin(), c.value.end(), frame.values[1]);
        ASSERT_TRUE(draw(2, 2));
        expectPixel(1, 1, c.expected);
    }
}

TEST_F(GlRendererFrameTest, AFloat2PairsWithTheNextSpecWhichGetsNoUniform) {
    EffectDescription& e = use({"uniform float first; uniform float second; uniform vec2 pair; "
                                "uniform float partner;\n" +
                                fill("vec4(pair, partner, first + second)")});
    e.settings.paramCount = 5;
    const char* names[] = {"par0", "first", "second", "pair", "partner"};
    const float values[] = {0, 0.125f, 0.25f, 0.2f, 0.7f};
    for (int i = 1; i < 5; ++i) {
        e.params[i].uniform = names[i];
        frame.values[i][0] = values[i];
    }
    e.params[3].type = ParamType::Float2;
    ASSERT_TRUE(draw(1, 1));
    // Blue: had the partner a uniform of its own, it would read 0.7.
    expectPixel(0, 0, {0.2f, 0.7f, 0.0f, 0.375f});
}

TEST_F(GlRendererFrameTest, BuiltInUniformsCarryTheFrameFacts) {
    EffectDescription& e = use({"uniform float time; uniform float pixelratio; uniform vec2 "
                                "downsample;\n" +
                                    fill("vec4(time, pixelratio, downsample)"),
                                "uniform vec2 resolution; uniform vec2 cells;\n" +
                                    fill("vec4(resolution / 16.0, cells / 8.0)")});
    e.settings.cellsx = 3;
    e.settings.cellsy = 4;
    frame.input.hostTime = 2500;
    frame.input.pixelAspect = 0.9f;
    frame.input.downsampleX = 0.5f;
    frame.input.downsampleY = 0.25f;
    // The last pass is read back, so pass 0's facts are checked through a one-pass effect.
    ASSERT_TRUE(draw(8, 4));
    expectPixel(3, 2, {0.5f, 0.25f, 3.0f / 8.0f, 0.5f});
    e.settings.passCount = 1;
    renderer = makeRenderer(e);
    ASSERT_TRUE(draw(8, 4));
    expectPixel(3, 2, {0.25f, 0.9f, 0.5f, 0.25f});
}

// A 2 x 1 layer, black on the left and white on the right, sampled at one coordinate.
TEST_F(GlRendererFrameTest, WrapModeFollowsEdgeRepeat) {
    const struct {
        int32_t edgeRepeat;
        float u;
        float grey; // of the sample
    } cases[] = {{0, 1.25f, 1}, {0, -0.25f, 0}, {1, 1.25f, 0}, {1, 1.0f, 0.5f}, {2, 1.25f, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE("edge_repeat " + std::to_string(c.edgeRepeat) + " at " + std::to_string(c.u));
        use({samplerDeclarations(1) +
             fill("texture2D(in0, vec2(" + std::to_string(c.u) + ", 0.5))")})
            .settings.edgeRepeat = c.edgeRepeat;
        frame.setLayer(0, 2, 1, {0, 0, 0, 1, 1, 1, 1, 1});
        ASSERT_TRUE(draw(1, 1));
        expectPixel(0, 0, {c.grey, c.grey, c.grey, 1}, 1e-3f);
    }
}

TEST_F(GlRendererFrameTest, SourcesOutsideTheTablesBindNothing) {
    EffectDescription& e = use({samplerDeclarations(2) +
                                "void main(void) { vec2 uv = gl_TexCoord[0].st; vec4 a = "
                                "texture2D(in0, uv); vec4 b = texture2D(in1, uv); gl_FragColor = "
                                "vec4(a.rgb + b.rgb, 0.5 * (a.a + b.a)); }"});
    e.settings.routing[0][0] = 40;
    e.settings.routing[0][1] = layerSource(40);
    frame.setLayer(0, 2, 2, solidImage(2, 2, {1, 1, 1, 1}));
    ASSERT_TRUE(draw(2, 2));
    expectPixel(1, 1, {0, 0, 0, 1}, 0.0f); // what an image-less texture samples as
}

TEST_F(GlRendererFrameTest, FramesBeyondTheTextureLimitFailWithoutReadingBack) {
    GLint limit = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit); // the host runs on the same driver
    ASSERT_GT(limit, 0);
    use({kCopy});
    frame.setLayer(0, 1, 1, solidImage(1, 1, {1, 1, 1, 1}));
    for (const auto& [w, h] : {std::pair{0, 4}, {4, 0}, {limit + 1, 1}, {1, limit + 1}})
        EXPECT_FALSE(draw(w, h)) << w << " x " << h;
    EXPECT_TRUE(frame.bytes.empty()) << "nothing read back";
    EXPECT_TRUE(host.isCurrentAndIntact());

    frame.setLayer(0, limit + 1, 1, solidImage(limit + 1, 1, {1, 1, 1, 1}));
    EXPECT_FALSE(draw(4, 4)) << "a layer beyond the limit";
    EXPECT_TRUE(frame.bytes.empty()) << "nothing read back";

    frame.setLayer(0, 4, 4, solidImage(4, 4, {0.5f, 0.5f, 0.5f, 1}));
    EXPECT_TRUE(draw(4, 4));
}

// Every pass copies the one before it, so whatever number runs, the input comes out.
TEST_F(GlRendererFrameTest, PassCountsAreKeptWithinTheTables) {
    for (const auto& [passCount, drawn] :
         {std::pair{0, false}, {-3, false}, {32, true}, {40, true}}) {
        SCOPED_TRACE(passCount);
        EffectDescription& e = use(std::vector<std::string>(kMaxPasses, kCopy));
        e.settings.passCount = passCount;
        for (int p = 1; p < kMaxPasses; ++p)
            e.settings.routing[p][0] = p - 1;
        frame.setLayer(0, 4, 2, gradientImage(4, 2));
        ASSERT_EQ(draw(4, 2), drawn) << renderer->errorText;
        if (drawn) {
            EXPECT_TRUE(
                resultMatches(frame.layers[0], 4, 2, Tolerance{1e-5f, 0.0, 1e-5f}, "passes"));
        }
        EXPECT_TRUE(host.isCurrentAndIntact());
    }
}

TEST_F(GlRendererFrameTest, FramesOfChangingSizesComeBackWhole) {
    use({fill("vec4(0.5)")});
    for (const auto& [w, h] : {std::pair{8, 8}, {4, 4}, {16, 4}, {16, 8}}) {
        ASSERT_TRUE(draw(w, h));
        EXPECT_FLOAT_EQ(frame.result(w - 1, h - 1, 3), 0.5f) << w << "x" << h;
    }
}

// --- Golden images, computed on the CPU --------------------------------------------------------

TEST_F(GlRendererGoldenTest, ATwoPassBoxBlurMatchesItsReference) {
    const int width = 32, height = 24;
    const std::string blur = "uniform sampler2D in0; uniform vec2 resolution;\nvoid main(void) { "
                             "vec2 uv = gl_TexCoord[0].st; vec2 d = STEP / resolution; "
                             "gl_FragColor = (texture2D(in0, uv - d) + texture2D(in0, uv) + "
                             "texture2D(in0, uv + d)) / 3.0; }";
    use({"#define STEP vec2(1.0, 0.0)\n" + blur, "#define STEP vec2(0.0, 1.0)\n" + blur})
        .settings.routing[1][0] = 0;
    const auto input = makeImage(width, height, [](int x, int y, int c) {
        return c == 3 ? 1.0f : ((x / 4 + y / 4 + c) % 2 != 0 ? 0.9f : 0.1f);
    });
    frame.setLayer(0, width, height, input);
    ASSERT_TRUE(draw(width, height));

    // Three taps along (dx, dy), clamped at the edges.
    const auto blurred = [&](const std::vector<float>& image, int dx, int dy) {
        const auto at = [&](int x, int y, int c) {
            x = std::max(0, std::min(width - 1, x));
            y = std::max(0, std::min(height - 1, y));
            return image[(static_cast<size_t>(y) * width + x) * 4 + c];
        };
        return makeImage(width, height, [&](int x, int y, int c) {
            return (at(x - dx, y - dy, c) + at(x, y, c) + at(x + dx, y + dy, c)) / 3.0f;
        });
    };
    EXPECT_TRUE(resultMatches(blurred(blurred(input, 1, 0), 0, 1), width, height,
                              Tolerance{1e-4f, 0.0, 1e-3f}, "box_blur"));
}

} // namespace
} // namespace glfx
