// The commands of an effect's life through the real entry point, in After Effects and in Premiere
// Pro: compiled into the Linux shell tests and into the Windows runner, which loads the Windows
// build of the same libraries.
#include "shell_test_support.h"

#include "AE_Macros.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <tuple>
#include <vector>

using namespace glfx;
using namespace glfx::testing;
using hostsim::HostApp;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char* appName(HostApp app) {
    return app == HostApp::PremierePro ? "PremierePro" : "AfterEffects";
}

} // namespace

namespace glfx::hostsim {
void PrintTo(HostApp app, std::ostream* os) {
    *os << appName(app);
}
} // namespace glfx::hostsim

class BothHosts : public ::testing::TestWithParam<HostApp> {
protected:
    bool premiere() const { return GetParam() == HostApp::PremierePro; }
};

INSTANTIATE_TEST_SUITE_P(Shell, BothHosts,
                         ::testing::Values(HostApp::AfterEffects, HostApp::PremierePro),
                         [](const auto& info) { return appName(info.param); });

TEST_P(BothHosts, GlobalSetupDeclaresVersionFlagsAndGlobalState) {
    CheckedHost host(shellTestLibrary(), GetParam());
    ASSERT_EQ(host.globalSetup(), PF_Err_NONE);
    const PF_OutData& out = host.lastOutData();
    EXPECT_EQ(out.my_version, 0x00100001u);
    EXPECT_EQ(A_u_long(out.out_flags), premiere() ? 0x04000006u : 0x06000006u);
    EXPECT_EQ(A_u_long(out.out_flags2), premiere() ? 0x00008408u : 0x00009408u);
    ASSERT_NE(host.globalData(), nullptr);
    const std::vector<uint8_t> global = host.globalDataBytes();
    ASSERT_GE(global.size(), 8u);
    EXPECT_EQ(global[0], 1) << "initialized";
    if (premiere()) {
        EXPECT_THAT(host.supportedPixelFormats(), ElementsAre(PrPixelFormat_BGRA_4444_8u));
        EXPECT_EQ(host.registeredName(), "") << "Premiere Pro has no AEGP registration";
    } else {
        EXPECT_THAT(host.supportedPixelFormats(), IsEmpty());
        EXPECT_EQ(host.registeredName(), "Shell_test_fx");
        AEGP_PluginID stored;
        std::memcpy(&stored, global.data() + 4, sizeof stored);
        EXPECT_EQ(stored, host.pluginId());
    }
    EXPECT_EQ(host.globalSetdown(), PF_Err_NONE);
    EXPECT_EQ(host.globalData(), nullptr);
    EXPECT_THAT(host.liveHandles(), IsEmpty());
}

TEST_P(BothHosts, SequenceLifecycle) {
    CheckedHost host(shellTestLibrary(), GetParam());
    ASSERT_EQ(host.start(), PF_Err_NONE);
    hostsim::Instance& instance = host.addInstance();
    EXPECT_EQ(host.updateParamsUi(instance), PF_Err_INTERNAL_STRUCT_DAMAGED) << "no record yet";

    ASSERT_EQ(host.sequenceSetup(instance), PF_Err_NONE);
    EXPECT_EQ(host.lastOutData().flat_sdata_size, 3136);
    ASSERT_NE(instance.record(), nullptr);
    EXPECT_EQ(host.handles().size(instance.sequenceData()), 3136u);
    std::vector<uint8_t> expected(3136, 0);
    expected[offsetof(SequenceState, needsRebuild)] = 1;
    expected[offsetof(SequenceState, hostIsPremiere)] = premiere() ? 1 : 0;
    EXPECT_EQ(host.handles().bytes(instance.sequenceData()), expected);
    EXPECT_EQ(host.updateParamsUi(instance), PF_Err_NONE);

    EXPECT_EQ(host.sequenceFlatten(instance), PF_Err_NONE);
    EXPECT_EQ(host.handles().bytes(instance.sequenceData()), expected) << "nothing to drop";
    EXPECT_EQ(host.sequenceFlatten(instance), PF_Err_NONE);
    EXPECT_EQ(host.sequenceResetup(instance), PF_Err_NONE);
    EXPECT_EQ(host.handles().bytes(instance.sequenceData()), expected);

    EXPECT_EQ(host.sequenceSetdown(instance), PF_Err_NONE);
    EXPECT_EQ(instance.sequenceData(), nullptr);
    EXPECT_EQ(host.updateParamsUi(instance), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.globalSetdown(), PF_Err_NONE);
    EXPECT_THAT(host.liveHandles(), IsEmpty());
}

TEST_P(BothHosts, ProjectRoundTripKeepsValuesAndNoPointer) {
    CheckedHost host(shellTestLibrary(), GetParam());
    ASSERT_EQ(host.start(), PF_Err_NONE);
    hostsim::Instance& first = host.addInstance();
    ASSERT_EQ(host.sequenceSetup(first), PF_Err_NONE);
    SequenceState* live = first.mutableRecord();
    for (int i = 0; i < kMaxParams; ++i)
        for (int c = 0; c < 4; ++c)
            live->paramValues[i][c] = float(i) + 0.25f * float(c);
    live->currentTime = 1234;
    live->layerWidth[3] = 640;

    PF_Err result = PF_Err_NONE;
    hostsim::Instance& reopened = host.projectRoundTrip(first, &result);
    EXPECT_EQ(result, PF_Err_NONE);
    EXPECT_EQ(first.sequenceData(), nullptr);
    const SequenceState* back = reopened.record();
    ASSERT_NE(back, nullptr);
    for (int i = 0; i < kMaxParams; ++i)
        for (int c = 0; c < 4; ++c)
            ASSERT_EQ(back->paramValues[i][c], float(i) + 0.25f * float(c)) << i << "," << c;
    EXPECT_EQ(back->currentTime, 1234);
    EXPECT_EQ(back->layerWidth[3], 640);
    EXPECT_EQ(back->renderer, nullptr);
    EXPECT_EQ(back->defines, nullptr);
    EXPECT_EQ(back->needsRebuild, 1);
}

TEST_P(BothHosts, SelectorsWithoutHandlerAnswerZeroAndTouchNothing) {
    CheckedHost host(shellTestLibrary(), GetParam());
    ASSERT_EQ(host.start(), PF_Err_NONE);
    hostsim::Instance& instance = host.addInstance();
    ASSERT_EQ(host.sequenceSetup(instance), PF_Err_NONE);
    const std::vector<uint8_t> before = host.handles().bytes(instance.sequenceData());
    const size_t handles = host.handles().allocations();
    for (PF_Cmd cmd :
         {2, 9, 10, 12, 15, 16, 17, 18, 19, 20, 21, 22, 25, 33, 1000, -1, int32_t(0x80000000)}) {
        EXPECT_EQ(host.command(cmd, &instance), PF_Err_NONE) << cmd;
        EXPECT_EQ(host.lastOutData().out_flags, 0) << cmd;
        EXPECT_EQ(host.returnMessage(), "") << cmd;
        EXPECT_THAT(host.suites().acquisitions(), IsEmpty()) << cmd;
    }
    EXPECT_EQ(host.handles().bytes(instance.sequenceData()), before);
    EXPECT_EQ(host.handles().allocations(), handles);
}

// ---- Parameter set-up --------------------------------------------------------------------------

// Both hosts get the same definitions; what differs between them is tested above.
TEST(ParamsSetup, DeclaresEveryEntryAtItsIndexWithItsIdAndDefinition) {
    CheckedHost host(shellTestLibrary(), HostApp::AfterEffects);
    ASSERT_EQ(host.start(), PF_Err_NONE);
    EXPECT_EQ(host.lastOutData().num_params, 19);
    const std::vector<hostsim::DeclaredParam>& params = host.declaredParams();
    ASSERT_EQ(params.size(), 18u);

    struct Expected {
        PF_ParamType type;
        const char* name;
        PF_ParamFlags flags;
    };
    const Expected expected[] = {
        {PF_Param_FLOAT_SLIDER, "Amount", 0},
        {PF_Param_FLOAT_SLIDER, "Steps", 0},
        {PF_Param_FLOAT_SLIDER, "Range", 0},
        {PF_Param_CHECKBOX, "Enabled", 0},
        {PF_Param_POPUP, "Mode", PF_ParamFlag_SUPERVISE},
        {PF_Param_COLOR, "Tint", 0},
        {PF_Param_ANGLE, "Rotation", 0},
        {PF_Param_POINT, "Centre", 0},
        {PF_Param_LAYER, "Matte", 0},
        {PF_Param_GROUP_START, "Details", 0},
        {PF_Param_POPUP, "Variant", PF_ParamFlag_SUPERVISE},
        {PF_Param_FLOAT_SLIDER, "First amount", 0},
        {PF_Param_CHECKBOX, "Placeholder", PF_ParamFlag_CANNOT_TIME_VARY}, // "none"
        {PF_Param_FLOAT_SLIDER, "A parameter name longer than th", 0},
        {PF_Param_FLOAT_SLIDER, "Offset", 0},
        {PF_Param_FLOAT_SLIDER, "Offset y", 0},
        {PF_Param_GROUP_END, "", 0},
        {PF_Param_POPUP, "Clamped", PF_ParamFlag_SUPERVISE},
    };
    for (size_t i = 0; i < params.size(); ++i) {
        const PF_ParamDef& def = params[i].def;
        const size_t index = i + 1; // host index; 0 is the input layer
        EXPECT_EQ(def.uu.id, A_long(index + 1)) << "entry " << index;
        EXPECT_EQ(def.param_type, expected[i].type) << "entry " << index;
        EXPECT_STREQ(def.name, expected[i].name) << "entry " << index;
        EXPECT_EQ(def.flags, expected[i].flags) << "entry " << index;
        EXPECT_EQ(def.ui_flags, index == 13 ? PF_PUI_INVISIBLE | PF_PUI_NO_ECW_UI : 0)
            << "entry " << index;
    }

    auto at = [&](int index) -> const PF_ParamDefUnion& { return params[size_t(index) - 1].def.u; };
    // Without items a slider's valid range is min ... max; with them, the items'. An int is a
    // slider without decimals whose default is not rounded.
    const PF_FloatSliderDef &amount = at(1).fs_d, &steps = at(2).fs_d, &range = at(3).fs_d;
    EXPECT_EQ(std::make_tuple(amount.value, amount.slider_max, amount.valid_max, amount.precision),
              std::make_tuple(0.5, 1.0f, 1.0f, 2));
    EXPECT_EQ(std::make_tuple(steps.precision, steps.value, steps.slider_min),
              std::make_tuple(0, 8.75, 1.0f));
    EXPECT_EQ(std::make_tuple(range.valid_max, range.slider_max, range.display_flags),
              std::make_tuple(1000.0f, 10.0f, PF_ValueDisplayFlag_PERCENT));
    EXPECT_EQ(at(15).fs_d.value, double(0.1f));
    EXPECT_EQ(std::make_tuple(at(4).bd.value, params[3].label),
              std::make_tuple(1, "Use the matte"));
    EXPECT_EQ(std::make_tuple(at(5).pd.num_choices, at(5).pd.value, params[4].choices),
              std::make_tuple(3, 2, "Low|Mid|High"));
    const PF_Pixel tint = at(6).cd.value;
    EXPECT_EQ(std::vector<int>({tint.alpha, tint.red, tint.green, tint.blue}),
              std::vector<int>({255, 255, 127, 0}));
    // Whole degrees and percentages in 16.16.
    EXPECT_EQ(std::make_tuple(at(7).ad.value, at(8).td.x_value, at(8).td.y_value),
              std::make_tuple(45 << 16, 50 << 16, 25 << 16));
    EXPECT_EQ(at(9).ld.dephault, PF_LayerDefault_MYSELF);
    EXPECT_EQ(at(11).pd.num_choices, 2);
    // A default above the last choice becomes the last.
    EXPECT_EQ(std::make_tuple(at(18).pd.num_choices, at(18).pd.value), std::make_tuple(3, 3));
}
