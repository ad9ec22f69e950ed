// An instance's render state as creation leaves it: staging sizes reset, the renderer on a context
// of its own, the defines filled from the current values.
#include "gl/GlRenderer.h"
#include "gl_test_host.h"
#include "shaders/DefineMap.h"
#include "shaders/RenderState.h"

namespace glfx {
namespace {

using test::Frame;
using test::GpuTest;

// What set-down does with the record's render state.
void dropRenderState(SequenceState& state) {
    if (state.renderer != nullptr) {
        state.renderer->releaseResources();
        state.renderer->context.close();
        delete state.renderer;
        state.renderer = nullptr;
    }
    delete state.defines;
    state.defines = nullptr;
}

std::unique_ptr<EffectDescription> modeEffect() {
    auto effect =
        test::makeEffect({"void main(void) { gl_FragColor = vec4(float(MODE) / 4.0, COLOUR); }"});
    effect->settings.paramCount = 3;
    ParamSpec& mode = effect->params[1];
    mode.type = ParamType::Popup;
    mode.flags = 1;
    mode.components = 0;
    mode.uniform = "MODE";
    mode.items = {"off", "low", "high"};
    ParamSpec& colour = effect->params[2];
    colour.type = ParamType::Popup;
    colour.flags = 2;
    colour.components = 0;
    colour.uniform = "COLOUR";
    colour.items = {"0.0, 0.0, 1.0", "vec2(0.5, 0.25), 1.0"};
    return effect;
}

// A record of `frame` with the effect's render state, dropped at the end as set-down does.
class RenderStateTest : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        frame.input.paramValues = state.paramValues;
    }
    void TearDown() override { dropRenderState(state); }
    std::unique_ptr<EffectDescription> effect = modeEffect();
    SequenceState state{};
    Frame frame;
};

TEST_F(RenderStateTest, CreationResetsTheStagingSizesAndFillsTheDefines) {
    for (int k = 0; k < kMaxLayers; ++k) {
        state.layerWidth[k] = state.layerHeight[k] = 7;
        state.layerAllocWidth[k] = state.layerAllocHeight[k] = 9;
    }
    state.resultAllocWidth = state.resultAllocHeight = 11;
    int world = 0;
    state.layerWorlds[0] = &world;
    state.paramValues[1][0] = 2.0f;

    createRenderState(state, *effect);
    ASSERT_NE(state.renderer, nullptr);
    ASSERT_NE(state.defines, nullptr);
    EXPECT_TRUE(state.renderer->context.isValid());
    EXPECT_EQ(state.renderer->effectDescription, effect.get());
    EXPECT_TRUE(host.isCurrentAndIntact());
    for (int k = 0; k < kMaxLayers; ++k) {
        EXPECT_EQ(state.layerWidth[k], 0);
        EXPECT_EQ(state.layerAllocHeight[k], 0);
    }
    EXPECT_EQ(state.resultAllocWidth, 0);
    EXPECT_EQ(state.layerWorlds[0], nullptr);
    EXPECT_EQ(state.defines->preamble(), "#define COLOUR 0.0, 0.0, 1.0\r\n#define MODE 2\r\n");

    GlRenderer* renderer = state.renderer;
    createRenderState(state, *effect);
    EXPECT_EQ(state.renderer, renderer) << "a second call replaces nothing";
}

} // namespace
} // namespace glfx
