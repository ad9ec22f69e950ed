// The define table and the source texts, as text: no GPU needed.
#include "shaders/DefineMap.h"
#include "shaders/RenderState.h"
#include "shaders/SourceAssembly.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace glfx {
namespace {

TEST(TruncateToInt32, TruncatesTowardZeroAndKeepsTheLowBits) {
    const std::pair<float, int32_t> cases[] = {
        {-2.7f, -2},
        {2.9f, 2},
        {-0.5f, 0},
        {4294967808.0f, 512}, // 2^32 + 512
        {-4294967808.0f, -512},
        {2147483648.0f, -2147483647 - 1},
        {1e30f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 0},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(truncateToInt32(value), expected) << value;
}

TEST(DefineMap, ThePreambleListsEntriesByUnsignedBytes) {
    DefineMap defines;
    EXPECT_EQ(defines.preamble(), "");
    defines.set("#define \xC3\xA9t\xC3\xA9", "3");
    defines.set("#define alpha", "2");
    defines.set("#define Zeta", "1");
    defines.set("#define alpha", "x y");
    EXPECT_EQ(defines.size(), 3u);
    EXPECT_EQ(defines.preamble(),
              "#define Zeta 1\r\n#define alpha x y\r\n#define \xC3\xA9t\xC3\xA9 3\r\n");
}

std::unique_ptr<EffectDescription> popupEffect() {
    auto description = std::make_unique<EffectDescription>();
    description->settings.paramCount = 7;
    auto popup = [&](int index, const char* uniform, int32_t flags,
                     std::vector<std::string> items) {
        ParamSpec& spec = description->params[index];
        spec.type = ParamType::Popup;
        spec.uniform = uniform;
        spec.flags = flags;
        spec.components = flags >= 1 ? 0 : 1;
        spec.items = std::move(items);
    };
    description->params[0].type = ParamType::Popup; // never a define, whatever its type
    description->params[0].flags = 1;
    description->params[0].uniform = "entryZero";
    popup(1, "zeta", 1, {"a", "b", "c"});
    popup(2, "alpha", 2, {"0.5", "vec3(1.0, 0.0, 0.5)", "x"});
    popup(3, "plain", 0, {"a", "b"});
    popup(4, "other", 3, {"a", "b"});
    description->params[5].type = ParamType::Float;
    description->params[5].flags = 1;
    description->params[5].uniform = "slider";
    popup(6, "beyond", 1, {"a"});
    description->settings.paramCount = 6; // entry 6 is not in use
    return description;
}

TEST(DefineValueText, AChoiceOutsideTheItemsFallsBackToTheFirst) {
    ParamSpec spec;
    spec.type = ParamType::Popup;
    spec.flags = 2;
    spec.items = {"first (a b)", "second"};
    EXPECT_EQ(defineValueText(spec, 0), "first (a b)");
    EXPECT_EQ(defineValueText(spec, 1), "second");
    EXPECT_EQ(defineValueText(spec, 2), "first (a b)");
    EXPECT_EQ(defineValueText(spec, -1), "first (a b)");
    spec.items.clear();
    EXPECT_EQ(defineValueText(spec, 0), "");
    spec.flags = 1;
    EXPECT_EQ(defineValueText(spec, -3), "-3");
}

TEST(SourceAssembly, TheFragmentTextIsThePreambleThenThePassText) {
    EffectDescription description;
    description.vertexShader = "void main(void) { gl_Position = ftransform(); }";
    EXPECT_EQ(assembleFragmentSource("#define A 1\r\n", description, 0), "")
        << "a description without pass texts";
    description.pixelShaders.assign(kMaxPasses, std::string());
    description.pixelShaders[0] = "#version 110\nvoid main(void) {}\n";
    description.pixelShaders[1] = "void main(void) { gl_FragColor = vec4(A); }\n";

    EXPECT_EQ(assembleFragmentSource("", description, 0), description.pixelShaders[0]);
    EXPECT_EQ(assembleFragmentSource("#define A 1\r\n", description, 1),
              "#define A 1\r\nvoid main(void) { gl_FragColor = vec4(A); }\n");
    EXPECT_EQ(assembleFragmentSource("#define A 1\r\n", description, 3), "")
        << "no fragment stage is made of defines alone";
    EXPECT_EQ(assembleFragmentSource("#define A 1\r\n", description, 0),
              "#version 110\n#define A 1\r\nvoid main(void) {}\n")
        << "a version line stays first";
    description.pixelShaders[2] = "  #version 130";
    EXPECT_EQ(assembleFragmentSource("#define A 1\r\n", description, 2),
              "  #version 130\n#define A 1\r\n");
    EXPECT_EQ(assembleFragmentSource("#define A 1\r\n", description, kMaxPasses), "");
    EXPECT_EQ(assembleFragmentSource("#define A 1\r\n", description, -1), "");
    EXPECT_EQ(assembleVertexSource(description), description.vertexShader);
}

TEST(RefreshDefines, FollowsTheCurrentValuesAndMakesAMapWhenNoneExists) {
    auto description = popupEffect();
    SequenceState state{};
    state.paramValues[1][0] = 1.0f;
    state.paramValues[2][0] = 0.0f;
    EXPECT_EQ(refreshDefines(state, *description), "#define alpha 0.5\r\n#define zeta 1\r\n");
    ASSERT_NE(state.defines, nullptr);
    state.paramValues[1][0] = 2.9f;
    EXPECT_EQ(refreshDefines(state, *description), "#define alpha 0.5\r\n#define zeta 2\r\n");
    delete state.defines;
}

} // namespace
} // namespace glfx
