// The renderer on Mesa's software rasteriser: program builds and their logs, frames through
// routing, uniforms and pass textures, failure paths, and the host's context after every call.
#include "effect/Parser.h"
#include "gl/GlRenderer.h"
#include "gl_test_host.h"

#include <GL/glew.h>

#include <EGL/egl.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace glfx {
namespace {

using test::Frame;
using test::GpuTest;
using test::imagesMatch;
using test::makeEffect;
using test::samplerDeclarations;
using test::solidImage;
using test::Tolerance;

const std::string kCopy = samplerDeclarations(1) +
                          "void main(void) { gl_FragColor = texture2D(in0, gl_TexCoord[0].st); }";

// A renderer on `effect` with its context created, closed again at the end of the test the way
// set-down does it.
struct Closer {
    void operator()(GlRenderer* renderer) const {
        renderer->releaseResources();
        renderer->context.close();
        delete renderer;
    }
};
using RendererPtr = std::unique_ptr<GlRenderer, Closer>;

RendererPtr makeRenderer(const EffectDescription& effect) {
    RendererPtr renderer(new GlRenderer());
    renderer->effectDescription = &effect;
    renderer->context.create();
    return renderer;
}

// Each pixel distinct, in 0 ... 1, with alpha 1.
std::vector<float> gradientImage(int width, int height) {
    std::vector<float> pixels(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = (static_cast<float>(x) + 0.5f) / static_cast<float>(width);
            p[1] = (static_cast<float>(y) + 0.5f) / static_cast<float>(height);
            p[2] = static_cast<float>((x * 7 + y * 3) % 11) / 10.0f;
            p[3] = 1.0f;
        }
    return pixels;
}

GLint attachedShaders(GlRenderer& renderer, int pass) {
    GLint count = -1;
    if (!renderer.context.activate()) return count;
    glGetProgramiv(renderer.program(pass), GL_ATTACHED_SHADERS, &count);
    renderer.context.deactivate();
    return count;
}

// --- Programs and logs -------------------------------------------------------------------------

class GlRendererBuildTest : public GpuTest {};

TEST_F(GlRendererBuildTest, OneGoodPassBuildsOneProgramWithBothStages) {
    auto effect = makeEffect({kCopy});
    auto renderer = makeRenderer(*effect);
    ASSERT_TRUE(renderer->context.isValid()) << renderer->context.creationError();
    EXPECT_EQ(renderer->buildPrograms(""), 0);
    EXPECT_TRUE(renderer->programsOk);
    EXPECT_TRUE(renderer->resourcesAllocated);
    EXPECT_EQ(renderer->errorText, "");
    EXPECT_NE(renderer->program(0), 0u);
    EXPECT_EQ(renderer->program(1), 0u);
    EXPECT_EQ(attachedShaders(*renderer, 0), 2);
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(GlRendererBuildTest, ASyntaxErrorKeepsTheLogAndAVertexOnlyProgram) {
    auto effect = makeEffect({"void main(void) { gl_FragColor = vec4(1.0) }"});
    auto renderer = makeRenderer(*effect);
    renderer->buildPrograms("");
    EXPECT_FALSE(renderer->programsOk);
    ASSERT_EQ(renderer->buildMessages.size(), 1u);
    EXPECT_EQ(renderer->buildMessages[0].pass, 0);
    EXPECT_EQ(renderer->buildMessages[0].stage, static_cast<GLenum>(GL_FRAGMENT_SHADER));
    EXPECT_FALSE(renderer->errorText.empty());
    EXPECT_EQ(renderer->errorText, renderer->buildMessages[0].log);
    ASSERT_NE(renderer->program(0), 0u) << "a program without a fragment stage still links";
    EXPECT_EQ(attachedShaders(*renderer, 0), 1);
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(GlRendererBuildTest, TwoFailingPassesGiveBothLogsInPassOrder) {
    auto effect = makeEffect({"void main(void) { gl_FragColor = alphaUndeclared; }", kCopy,
                              "void main(void) { gl_FragColor = betaUndeclared; }"});
    auto renderer = makeRenderer(*effect);
    renderer->buildPrograms("");
    EXPECT_FALSE(renderer->programsOk);
    ASSERT_EQ(renderer->buildMessages.size(), 2u);
    EXPECT_EQ(renderer->buildMessages[0].pass, 0);
    EXPECT_EQ(renderer->buildMessages[1].pass, 2);
    EXPECT_EQ(renderer->errorText, renderer->buildMessages[0].log + renderer->buildMessages[1].log);
    const size_t alpha = renderer->errorText.find("alphaUndeclared");
    const size_t beta = renderer->errorText.find("betaUndeclared");
    ASSERT_NE(alpha, std::string::npos) << renderer->errorText;
    ASSERT_NE(beta, std::string::npos) << renderer->errorText;
    EXPECT_LT(alpha, beta);
    EXPECT_NE(renderer->program(1), 0u) << "a good pass between failing ones is still built";
}

TEST_F(GlRendererBuildTest, AnEmptyPassTextAttachesNoFragmentStage) {
    auto effect = makeEffect({""});
    auto renderer = makeRenderer(*effect);
    renderer->buildPrograms("#define UNUSED 1\r\n");
    EXPECT_TRUE(renderer->programsOk) << renderer->errorText;
    EXPECT_EQ(renderer->errorText, "");
    EXPECT_EQ(attachedShaders(*renderer, 0), 1);
}

TEST_F(GlRendererBuildTest, ARebuildKeepsOnlyItsOwnLogsAndUsesItsPreamble) {
    auto effect = makeEffect({"void main(void) { gl_FragColor = vec4(LEVEL); }"});
    auto renderer = makeRenderer(*effect);
    renderer->buildPrograms("");
    EXPECT_FALSE(renderer->programsOk);
    EXPECT_NE(renderer->errorText.find("LEVEL"), std::string::npos) << renderer->errorText;

    renderer->buildPrograms("#define LEVEL 0.5\r\n");
    EXPECT_TRUE(renderer->programsOk) << renderer->errorText;
    EXPECT_EQ(renderer->errorText, "");
    EXPECT_TRUE(renderer->buildMessages.empty());

    Frame frame;
    frame.setOutput(2, 2);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT));
    EXPECT_FLOAT_EQ(frame.result(1, 1, 0), 0.5f);

    renderer->buildPrograms("#define WRONG 1\r\n");
    EXPECT_FALSE(renderer->programsOk);
    EXPECT_EQ(renderer->errorText.find("#define"), std::string::npos);
    EXPECT_FALSE(renderer->renderFrame(frame.state, GL_FLOAT));
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(GlRendererBuildTest, NothingIsBuiltOrDrawnWithoutAValidContext) {
    auto effect = makeEffect({kCopy});
    RendererPtr renderer(new GlRenderer());
    renderer->effectDescription = effect.get();
    renderer->context.setRequiredExtensions({"GL_GLFX_not_offered"});
    renderer->context.create();
    ASSERT_FALSE(renderer->context.isValid());

    EXPECT_EQ(renderer->buildPrograms(""), -1);
    EXPECT_FALSE(renderer->programsOk);
    EXPECT_FALSE(renderer->resourcesAllocated);
    EXPECT_NE(renderer->errorText.find("GL_GLFX_not_offered"), std::string::npos)
        << renderer->errorText;
    EXPECT_TRUE(host.isCurrentAndIntact());

    Frame frame;
    frame.setLayer(0, 2, 2, solidImage(2, 2, {1, 1, 1, 1}));
    frame.setOutput(2, 2);
    EXPECT_FALSE(renderer->renderFrame(frame.state, GL_FLOAT));
    EXPECT_EQ(frame.state.resultBuffer, nullptr);
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(GlRendererBuildTest, DestroyingAfterTheContextClosedTouchesNoOtherContext) {
    auto effect = makeEffect({kCopy, kCopy});
    auto renderer = std::make_unique<GlRenderer>();
    renderer->effectDescription = effect.get();
    renderer->context.create();
    Frame frame;
    frame.setLayer(0, 4, 4, solidImage(4, 4, {0.5f, 0.5f, 0.5f, 1}));
    frame.setOutput(4, 4);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;

    // Flatten's order: the context goes first, the renderer after it.
    renderer->context.close();
    EXPECT_TRUE(host.isCurrentAndIntact());
    renderer->releaseResources();
    EXPECT_FALSE(renderer->resourcesAllocated);
    renderer.reset();
    EXPECT_TRUE(host.isCurrentAndIntact()) << "texture names of the closed context were deleted "
                                              "in the host's";
}

// --- Frames ------------------------------------------------------------------------------------

class GlRendererFrameTest : public GpuTest {};

TEST_F(GlRendererFrameTest, PassThroughKeepsFullFloatPrecision) {
    // Values 1/32768 apart, as a 16-bit frame brings them: an 8-bit pass texture bands them.
    const int width = 64, height = 32;
    std::vector<float> input(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<float>((i * 37) % 32769) / 32768.0f;
    auto effect = makeEffect({kCopy});
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.setLayer(0, width, height, input);
    frame.setOutput(width, height);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    EXPECT_TRUE(imagesMatch(frame.state.resultBuffer, input, width, height,
                            Tolerance{2e-6f, 0.0, 2e-6f}, "pass_through"));
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(GlRendererFrameTest, TheParsersDefaultShadersCompileAndPassTheInputThrough) {
    EffectDescription effect;
    parseDescription(effect, "[settings]\nname=defaults\n");
    auto renderer = makeRenderer(effect);
    ASSERT_EQ(renderer->buildPrograms(""), 0);
    ASSERT_TRUE(renderer->programsOk) << renderer->errorText;
    const int width = 8, height = 4;
    std::vector<float> input(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<float>(i % 17) / 16.0f;
    Frame frame;
    frame.setLayer(0, width, height, input);
    frame.setOutput(width, height);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    EXPECT_TRUE(imagesMatch(frame.state.resultBuffer, input, width, height,
                            Tolerance{1e-6f, 0.0, 1e-6f}, "default_shaders"));
}

TEST_F(GlRendererFrameTest, EightBitPackedPixelsRoundTripExactly) {
    const int width = 256;
    std::vector<uint32_t> packed(width);
    for (uint32_t i = 0; i < 256; ++i)
        packed[i] = i | (255 - i) << 8 | ((i * 7) & 255) << 16 | ((i * 13 + 5) & 255) << 24;
    std::vector<float> staging(static_cast<size_t>(width) * 4);
    std::memcpy(staging.data(), packed.data(), packed.size() * sizeof(uint32_t));

    auto effect = makeEffect({kCopy});
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.setLayer(0, width, 1, staging);
    frame.setOutput(width, 1);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_UNSIGNED_INT_8_8_8_8_REV));
    std::vector<uint32_t> result(width);
    std::memcpy(result.data(), frame.state.resultBuffer, result.size() * sizeof(uint32_t));
    for (int i = 0; i < width; ++i)
        EXPECT_EQ(result[i], packed[i]) << "pixel " << i;
}

TEST_F(GlRendererFrameTest, RoutingFeedsPassResultsAndLayersOfTheSameFrame) {
    const std::string half = samplerDeclarations(1) + "void main(void) { gl_FragColor = 0.5 * "
                                                      "texture2D(in0, gl_TexCoord[0].st); }";
    const std::string add = samplerDeclarations(2) +
                            "void main(void) { vec2 uv = gl_TexCoord[0].st; gl_FragColor = "
                            "texture2D(in0, uv) + texture2D(in1, uv); }";
    auto effect = makeEffect({half, add});
    effect->settings.layerCount = 2;
    effect->settings.routing[1][0] = 0;              // pass 1, in0: the result of pass 0
    effect->settings.routing[1][1] = layerSource(1); // pass 1, in1: layer 1
    auto renderer = makeRenderer(*effect);

    const int width = 16, height = 8;
    for (float offset : {0.25f, 0.125f}) {
        Frame frame;
        const std::vector<float> layer0 = gradientImage(width, height);
        frame.setLayer(0, width, height, layer0);
        frame.setLayer(1, width, height, solidImage(width, height, {offset, offset, offset, 0}));
        frame.setOutput(width, height);
        ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
        std::vector<float> expected(layer0.size());
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i] = 0.5f * layer0[i] + (i % 4 == 3 ? 0.0f : offset);
        EXPECT_TRUE(imagesMatch(frame.state.resultBuffer, expected, width, height,
                                Tolerance{1e-5f, 0.0, 1e-5f}, "routing"));
    }
}

TEST_F(GlRendererFrameTest, AllThirtyTwoSlotsAreBoundToTheirOwnUnits) {
    std::string shader = samplerDeclarations(32) +
                         "void main(void) { vec2 uv = gl_TexCoord[0].st; float miss = 0.0; "
                         "float sum = 0.0; float v;\n";
    for (int k = 0; k < 32; ++k)
        shader += "v = texture2D(in" + std::to_string(k) + ", uv).r; miss += abs(v - " +
                  std::to_string(k + 1) + ".0 / 64.0); sum += v;\n";
    shader += "gl_FragColor = vec4(miss, sum / 32.0, 0.0, 1.0); }";
    auto effect = makeEffect({shader});
    effect->settings.layerCount = 32;
    for (int k = 0; k < 32; ++k)
        effect->settings.routing[0][k] = layerSource(k);
    auto renderer = makeRenderer(*effect);
    Frame frame;
    for (int k = 0; k < 32; ++k)
        frame.setLayer(k, 2, 2, solidImage(2, 2, {static_cast<float>(k + 1) / 64.0f, 0, 0, 1}));
    frame.setOutput(2, 2);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    EXPECT_NEAR(frame.result(0, 0, 0), 0.0f, 1e-5f);
    EXPECT_NEAR(frame.result(0, 0, 1), 33.0f / 128.0f, 1e-5f);
}

struct UniformCase {
    const char* name;
    ParamType type;
    int32_t components;
    int32_t flags;
    std::array<float, 4> value;
    const char* declaration; // of uniform "u"
    const char* colour;      // a vec4 expression of u
    std::array<float, 4> expected;
};

class GlRendererUniformTest : public GpuTest, public ::testing::WithParamInterface<UniformCase> {};

TEST_P(GlRendererUniformTest, EachKindReachesItsUniform) {
    const UniformCase& c = GetParam();
    auto effect = makeEffect({std::string("uniform ") + c.declaration +
                              " u;\nvoid main(void) { gl_FragColor = " + c.colour + "; }"});
    effect->settings.paramCount = 2;
    ParamSpec& spec = effect->params[1];
    spec.type = c.type;
    spec.components = c.components;
    spec.flags = c.flags;
    spec.uniform = "u";
    auto renderer = makeRenderer(*effect);
    Frame frame;
    std::copy(c.value.begin(), c.value.end(), frame.state.paramValues[1]);
    frame.setOutput(2, 2);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(frame.result(1, 1, i), c.expected[i], 1e-6f) << i;
}

INSTANTIATE_TEST_SUITE_P(Kinds, GlRendererUniformTest,
                         ::testing::Values(UniformCase{"IntTruncatesTowardZero",
                                                       ParamType::Int,
                                                       1,
                                                       0,
                                                       {-2.7f},
                                                       "int",
                                                       "vec4(float(u) / -4.0, 0.0, 0.0, 1.0)",
                                                       {0.5f, 0, 0, 1}},
                                           UniformCase{"IntKeepsTheLowBits",
                                                       ParamType::Int,
                                                       1,
                                                       0,
                                                       {4294967808.0f},
                                                       "int",
                                                       "vec4(float(u) / 1024.0, 0.0, 0.0, 1.0)",
                                                       {0.5f, 0, 0, 1}},
                                           UniformCase{"CheckIsAnInteger",
                                                       ParamType::Check,
                                                       1,
                                                       0,
                                                       {1.0f},
                                                       "int",
                                                       "vec4(float(u), 0.0, 0.0, 1.0)",
                                                       {1, 0, 0, 1}},
                                           UniformCase{"PopupIndexIsAnInteger",
                                                       ParamType::Popup,
                                                       1,
                                                       0,
                                                       {2.0f},
                                                       "int",
                                                       "vec4(float(u) / 4.0, 0.0, 0.0, 1.0)",
                                                       {0.5f, 0, 0, 1}},
                                           UniformCase{"NoneIsAnInteger",
                                                       ParamType::None,
                                                       1,
                                                       0,
                                                       {3.9f},
                                                       "int",
                                                       "vec4(float(u) / 4.0, 0.0, 0.0, 1.0)",
                                                       {0.75f, 0, 0, 1}},
                                           UniformCase{"FloatIsAFloat",
                                                       ParamType::Float,
                                                       1,
                                                       0,
                                                       {0.3f},
                                                       "float",
                                                       "vec4(u, 0.0, 0.0, 1.0)",
                                                       {0.3f, 0, 0, 1}},
                                           UniformCase{"AngleIsAFloat",
                                                       ParamType::Angle,
                                                       1,
                                                       0,
                                                       {0.75f},
                                                       "float",
                                                       "vec4(u, 0.0, 0.0, 1.0)",
                                                       {0.75f, 0, 0, 1}},
                                           UniformCase{"PointIsAVec2",
                                                       ParamType::Point,
                                                       2,
                                                       0,
                                                       {0.4f, 0.6f, 0.9f},
                                                       "vec2",
                                                       "vec4(u, 0.0, 1.0)",
                                                       {0.4f, 0.6f, 0, 1}},
                                           UniformCase{"ColorIsAVec3",
                                                       ParamType::Color,
                                                       3,
                                                       0,
                                                       {0.1f, 0.2f, 0.3f, 0.9f},
                                                       "vec3",
                                                       "vec4(u, 1.0)",
                                                       {0.1f, 0.2f, 0.3f, 1}},
                                           UniformCase{"DefiningPopupSetsNoUniform",
                                                       ParamType::Popup,
                                                       0,
                                                       1,
                                                       {2.0f},
                                                       "int",
                                                       "vec4(float(u) + 0.25, 0.0, 0.0, 1.0)",
                                                       {0.25f, 0, 0, 1}},
                                           UniformCase{"LayerSetsNoUniform",
                                                       ParamType::Layer,
                                                       0,
                                                       0,
                                                       {0.5f},
                                                       "float",
                                                       "vec4(u + 0.25, 0.0, 0.0, 1.0)",
                                                       {0.25f, 0, 0, 1}},
                                           UniformCase{"OtherComponentCountsSetNothing",
                                                       ParamType::Float,
                                                       4,
                                                       0,
                                                       {0.5f},
                                                       "float",
                                                       "vec4(u + 0.25, 0.0, 0.0, 1.0)",
                                                       {0.25f, 0, 0, 1}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlRendererFrameTest, AFloat2PairsWithTheNextSpecWhichGetsNoUniform) {
    auto effect = makeEffect({"uniform float first; uniform float second; uniform vec2 pair; "
                              "uniform float partner;\nvoid main(void) { gl_FragColor = "
                              "vec4(pair, partner, first + second); }"});
    effect->settings.paramCount = 5;
    const char* names[] = {"par0", "first", "second", "pair", "partner"};
    for (int i = 1; i < 5; ++i)
        effect->params[i].uniform = names[i];
    effect->params[3].type = ParamType::Float2;
    auto renderer = makeRenderer(*effect);
    Frame frame;
    const float values[] = {0, 0.125f, 0.25f, 0.2f, 0.7f};
    for (int i = 1; i < 5; ++i)
        frame.state.paramValues[i][0] = values[i];
    frame.setOutput(1, 1);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    EXPECT_NEAR(frame.result(0, 0, 0), 0.2f, 1e-6f);
    EXPECT_NEAR(frame.result(0, 0, 1), 0.7f, 1e-6f);
    EXPECT_NEAR(frame.result(0, 0, 2), 0.0f, 1e-6f) << "the partner got a uniform of its own";
    EXPECT_NEAR(frame.result(0, 0, 3), 0.375f, 1e-6f);
}

TEST_F(GlRendererFrameTest, BuiltInUniformsCarryTheFrameFacts) {
    auto effect = makeEffect({"uniform float time; uniform float pixelratio; uniform vec2 "
                              "downsample;\nvoid main(void) { gl_FragColor = vec4(time, "
                              "pixelratio, downsample); }",
                              "uniform vec2 resolution; uniform vec2 cells;\nvoid main(void) { "
                              "gl_FragColor = vec4(resolution / 16.0, cells / 8.0); }"});
    effect->settings.cellsx = 3;
    effect->settings.cellsy = 4;
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.state.currentTime = 2500;
    frame.state.pixelAspect = 0.9f;
    frame.state.downsampleX = 0.5f;
    frame.state.downsampleY = 0.25f;
    frame.setOutput(8, 4);
    // The last pass is read back, so pass 0's facts are checked through a one-pass effect.
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    EXPECT_NEAR(frame.result(3, 2, 0), 0.5f, 1e-6f);
    EXPECT_NEAR(frame.result(3, 2, 1), 0.25f, 1e-6f);
    EXPECT_NEAR(frame.result(3, 2, 2), 3.0f / 8.0f, 1e-6f);
    EXPECT_NEAR(frame.result(3, 2, 3), 0.5f, 1e-6f);

    effect->settings.passCount = 1;
    auto single = makeRenderer(*effect);
    ASSERT_TRUE(single->renderFrame(frame.state, GL_FLOAT)) << single->errorText;
    EXPECT_NEAR(frame.result(3, 2, 0), 0.25f, 1e-6f);
    EXPECT_NEAR(frame.result(3, 2, 1), 0.9f, 1e-6f);
    EXPECT_NEAR(frame.result(3, 2, 2), 0.5f, 1e-6f);
    EXPECT_NEAR(frame.result(3, 2, 3), 0.25f, 1e-6f);
}

TEST_F(GlRendererFrameTest, ColourIsClampedToTheUnitRange) {
    auto effect =
        makeEffect({"void main(void) { gl_FragColor = vec4(1.5, -0.5, 0.25, 2.0); }", kCopy});
    effect->settings.routing[1][0] = 0;
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.setOutput(2, 2);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    const float expected[] = {1.0f, 0.0f, 0.25f, 1.0f};
    for (int c = 0; c < 4; ++c)
        EXPECT_FLOAT_EQ(frame.result(0, 0, c), expected[c]) << c;
}

struct EdgeCase {
    const char* name;
    int32_t edgeRepeat;
    float u;
    std::array<float, 4> expected;
};

class GlRendererEdgeTest : public GpuTest, public ::testing::WithParamInterface<EdgeCase> {};

// A 2 x 1 layer, black on the left and white on the right, sampled at one coordinate.
TEST_P(GlRendererEdgeTest, WrapModeFollowsEdgeRepeat) {
    const EdgeCase& c = GetParam();
    auto effect = makeEffect({samplerDeclarations(1) +
                              "void main(void) { gl_FragColor = "
                              "texture2D(in0, vec2(" +
                              std::to_string(c.u) + ", 0.5)); }"});
    effect->settings.edgeRepeat = c.edgeRepeat;
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.setLayer(0, 2, 1, {0, 0, 0, 1, 1, 1, 1, 1});
    frame.setOutput(1, 1);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(frame.result(0, 0, i), c.expected[i], 1e-3f) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, GlRendererEdgeTest,
    ::testing::Values(EdgeCase{"ClampRight", 0, 1.25f, {1, 1, 1, 1}},
                      EdgeCase{"ClampLeft", 0, -0.25f, {0, 0, 0, 1}},
                      EdgeCase{"RepeatWrapsToTheLeft", 1, 1.25f, {0, 0, 0, 1}},
                      EdgeCase{"RepeatBlendsAcrossTheSeam", 1, 1.0f, {0.5f, 0.5f, 0.5f, 1}},
                      EdgeCase{"OtherValuesClamp", 2, 1.25f, {1, 1, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlRendererFrameTest, SourcesOutsideTheTablesBindNothing) {
    auto effect = makeEffect({samplerDeclarations(2) +
                              "void main(void) { vec2 uv = gl_TexCoord[0].st; vec4 a = "
                              "texture2D(in0, uv); vec4 b = texture2D(in1, uv); gl_FragColor = "
                              "vec4(a.rgb + b.rgb, 0.5 * (a.a + b.a)); }"});
    effect->settings.routing[0][0] = 40;
    effect->settings.routing[0][1] = layerSource(40);
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.setLayer(0, 2, 2, solidImage(2, 2, {1, 1, 1, 1}));
    frame.setOutput(2, 2);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;
    const float expected[] = {0, 0, 0, 1}; // what an image-less texture samples as
    for (int c = 0; c < 4; ++c)
        EXPECT_FLOAT_EQ(frame.result(1, 1, c), expected[c]) << c;
}

TEST_F(GlRendererFrameTest, FramesBeyondTheTextureLimitFailWithoutReadingBack) {
    GLint limit = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit); // the host runs on the same driver
    ASSERT_GT(limit, 0);
    auto effect = makeEffect({kCopy});
    auto renderer = makeRenderer(*effect);

    Frame wide;
    wide.setLayer(0, 1, 1, solidImage(1, 1, {1, 1, 1, 1}));
    wide.setOutput(limit + 1, 1);
    EXPECT_FALSE(renderer->renderFrame(wide.state, GL_FLOAT));
    EXPECT_EQ(wide.state.resultBuffer, nullptr);
    EXPECT_TRUE(host.isCurrentAndIntact());

    Frame tall;
    tall.setOutput(1, limit + 1);
    EXPECT_FALSE(renderer->renderFrame(tall.state, GL_FLOAT));

    Frame wideLayer;
    wideLayer.setLayer(0, limit + 1, 1, solidImage(limit + 1, 1, {1, 1, 1, 1}));
    wideLayer.setOutput(4, 4);
    EXPECT_FALSE(renderer->renderFrame(wideLayer.state, GL_FLOAT));
    EXPECT_EQ(wideLayer.state.resultBuffer, nullptr);

    Frame fits;
    fits.setLayer(0, 4, 4, solidImage(4, 4, {0.5f, 0.5f, 0.5f, 1}));
    fits.setOutput(4, 4);
    EXPECT_TRUE(renderer->renderFrame(fits.state, GL_FLOAT));
    EXPECT_TRUE(host.isCurrentAndIntact());
}

struct CountCase {
    const char* name;
    int32_t passCount;
    bool drawn;
};

class GlRendererPassCountTest : public GpuTest, public ::testing::WithParamInterface<CountCase> {};

// Every pass copies the one before it, so whatever number runs, the input comes out.
TEST_P(GlRendererPassCountTest, PassCountsAreKeptWithinTheTables) {
    std::vector<std::string> passes(kMaxPasses, kCopy);
    auto effect = makeEffect(passes);
    effect->settings.passCount = GetParam().passCount;
    for (int p = 1; p < kMaxPasses; ++p)
        effect->settings.routing[p][0] = p - 1;
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.setLayer(0, 4, 2, gradientImage(4, 2));
    frame.setOutput(4, 2);
    ASSERT_EQ(renderer->renderFrame(frame.state, GL_FLOAT), GetParam().drawn)
        << renderer->errorText;
    if (GetParam().drawn) {
        EXPECT_TRUE(imagesMatch(frame.state.resultBuffer, frame.layers[0], 4, 2,
                                Tolerance{1e-5f, 0.0, 1e-5f}, GetParam().name));
    }
    EXPECT_TRUE(host.isCurrentAndIntact());
}

INSTANTIATE_TEST_SUITE_P(Counts, GlRendererPassCountTest,
                         ::testing::Values(CountCase{"None", 0, false},
                                           CountCase{"Negative", -3, false},
                                           CountCase{"Full", 32, true},
                                           CountCase{"BeyondTheTables", 40, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlRendererFrameTest, TheResultBufferOnlyGrows) {
    auto effect = makeEffect({"void main(void) { gl_FragColor = vec4(0.5); }"});
    auto renderer = makeRenderer(*effect);
    Frame frame;
    frame.setOutput(8, 8);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT));
    const float* first = frame.state.resultBuffer;
    EXPECT_EQ(frame.state.resultAllocWidth, 8);
    EXPECT_EQ(frame.state.resultAllocHeight, 8);

    frame.setOutput(4, 4);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT));
    frame.setOutput(16, 4);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT));
    EXPECT_EQ(frame.state.resultBuffer, first);
    EXPECT_EQ(frame.state.resultAllocWidth, 8);
    EXPECT_FLOAT_EQ(frame.result(15, 3, 0), 0.5f);

    frame.setOutput(16, 8);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT));
    EXPECT_EQ(frame.state.resultAllocWidth, 16);
    EXPECT_EQ(frame.state.resultAllocHeight, 8);
    EXPECT_FLOAT_EQ(frame.result(15, 7, 3), 0.5f);
}

TEST_F(GlRendererFrameTest, TheHostContextIsCurrentAfterEveryCall) {
    auto effect = makeEffect({kCopy});
    RendererPtr renderer(new GlRenderer());
    renderer->effectDescription = effect.get();
    renderer->context.create();
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after create";
    renderer->buildPrograms("");
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after buildPrograms";
    Frame frame;
    frame.setLayer(0, 4, 4, solidImage(4, 4, {0.25f, 0.5f, 0.75f, 1}));
    frame.setOutput(4, 4);
    EXPECT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT));
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after renderFrame";
    frame.setOutput(0, 4);
    EXPECT_FALSE(renderer->renderFrame(frame.state, GL_FLOAT));
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after a failed renderFrame";
    renderer->releaseResources();
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after releaseResources";
    frame.setOutput(4, 4);
    EXPECT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << "rebuilds on its own";
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after a renderFrame that built";
    renderer->buildPrograms("not a define\r\n");
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after a failing build";
    renderer->context.close();
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after close";
    renderer.reset();
    EXPECT_TRUE(host.isCurrentAndIntact()) << "after destruction";
}

TEST_F(GlRendererFrameTest, TwoInstancesEachRenderOnTheirOwnContext) {
    auto quarter = makeEffect({"void main(void) { gl_FragColor = vec4(0.25); }"});
    auto scaled = makeEffect({samplerDeclarations(1) +
                              "uniform float gain;\nvoid main(void) { gl_FragColor = gain * "
                              "texture2D(in0, gl_TexCoord[0].st); }"});
    scaled->settings.paramCount = 2;
    scaled->params[1].uniform = "gain";
    auto a = makeRenderer(*quarter);
    auto b = makeRenderer(*scaled);
    ASSERT_TRUE(a->context.activate());
    const EGLContext contextA = eglGetCurrentContext();
    a->context.deactivate();
    ASSERT_TRUE(b->context.activate());
    EXPECT_NE(eglGetCurrentContext(), contextA);
    b->context.deactivate();

    Frame frameA, frameB;
    frameA.setOutput(4, 4);
    frameB.setLayer(0, 4, 4, solidImage(4, 4, {1, 1, 1, 1}));
    frameB.setOutput(4, 4);
    for (float gain : {0.5f, 0.75f}) {
        frameB.state.paramValues[1][0] = gain;
        ASSERT_TRUE(a->renderFrame(frameA.state, GL_FLOAT));
        ASSERT_TRUE(b->renderFrame(frameB.state, GL_FLOAT));
        EXPECT_FLOAT_EQ(frameA.result(2, 2, 0), 0.25f);
        EXPECT_FLOAT_EQ(frameB.result(2, 2, 0), gain);
    }

    a.reset(); // closes A's context: B's must live on
    frameB.state.paramValues[1][0] = 0.125f;
    ASSERT_TRUE(b->renderFrame(frameB.state, GL_FLOAT));
    EXPECT_FLOAT_EQ(frameB.result(2, 2, 0), 0.125f);
    EXPECT_TRUE(host.isCurrentAndIntact());
}

// --- Golden images, computed on the CPU --------------------------------------------------------

class GlRendererGoldenTest : public GpuTest {};

TEST_F(GlRendererGoldenTest, AGradientWithAColourParameterMatchesItsReference) {
    const int width = 64, height = 48;
    auto effect = makeEffect({"uniform vec3 tint;\nvoid main(void) { vec2 uv = "
                              "gl_TexCoord[0].st; gl_FragColor = vec4(tint * vec3(uv, uv.x * "
                              "uv.y), 1.0); }"});
    effect->settings.paramCount = 2;
    effect->params[1].type = ParamType::Color;
    effect->params[1].components = 3;
    effect->params[1].uniform = "tint";
    auto renderer = makeRenderer(*effect);
    Frame frame;
    const float tint[] = {1.0f, 0.5f, 0.75f};
    std::copy(tint, tint + 3, frame.state.paramValues[1]);
    frame.setOutput(width, height);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;

    std::vector<float> expected(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / width;
            const float v = (static_cast<float>(y) + 0.5f) / height;
            float* p = &expected[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = tint[0] * u;
            p[1] = tint[1] * v;
            p[2] = tint[2] * u * v;
            p[3] = 1.0f;
        }
    EXPECT_TRUE(imagesMatch(frame.state.resultBuffer, expected, width, height,
                            Tolerance{1e-5f, 0.0, 1e-4f}, "gradient"));
}

TEST_F(GlRendererGoldenTest, ATwoPassBoxBlurMatchesItsReference) {
    const int width = 32, height = 24;
    const char* blur = "uniform sampler2D in0; uniform vec2 resolution;\nvoid main(void) { "
                       "vec2 uv = gl_TexCoord[0].st; vec2 d = STEP / resolution; gl_FragColor = "
                       "(texture2D(in0, uv - d) + texture2D(in0, uv) + texture2D(in0, uv + d)) "
                       "/ 3.0; }";
    auto effect = makeEffect({std::string("#define STEP vec2(1.0, 0.0)\n") + blur,
                              std::string("#define STEP vec2(0.0, 1.0)\n") + blur});
    effect->settings.routing[1][0] = 0;
    auto renderer = makeRenderer(*effect);

    std::vector<float> input(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                input[(static_cast<size_t>(y) * width + x) * 4 + c] =
                    c == 3 ? 1.0f : (((x / 4 + y / 4 + c) % 2) != 0 ? 0.9f : 0.1f);
    Frame frame;
    frame.setLayer(0, width, height, input);
    frame.setOutput(width, height);
    ASSERT_TRUE(renderer->renderFrame(frame.state, GL_FLOAT)) << renderer->errorText;

    auto at = [&](const std::vector<float>& image, int x, int y, int c) {
        x = std::max(0, std::min(width - 1, x));
        y = std::max(0, std::min(height - 1, y));
        return image[(static_cast<size_t>(y) * width + x) * 4 + c];
    };
    std::vector<float> horizontal(input.size()), expected(input.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                horizontal[(static_cast<size_t>(y) * width + x) * 4 + c] =
                    (at(input, x - 1, y, c) + at(input, x, y, c) + at(input, x + 1, y, c)) / 3.0f;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                expected[(static_cast<size_t>(y) * width + x) * 4 + c] =
                    (at(horizontal, x, y - 1, c) + at(horizontal, x, y, c) +
                     at(horizontal, x, y + 1, c)) /
                    3.0f;
    EXPECT_TRUE(imagesMatch(frame.state.resultBuffer, expected, width, height,
                            Tolerance{1e-4f, 0.0, 1e-3f}, "box_blur"));
}

} // namespace
} // namespace glfx
