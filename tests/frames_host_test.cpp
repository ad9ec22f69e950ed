// The render and change commands through the real entry point, on what needs no GPU: parameter
// values in the record, visibility, defines, checkouts at their times and the errors of a frame.
// A frame here may be drawn or not (no context): nothing below depends on its pixels.
#include "frame_test_support.h"

#include "effect/Parser.h"
#include "shaders/DefineMap.h"
#include "records/GlobalState.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>
#include <memory>

using namespace glfx;
using namespace glfx::hostsim;
using namespace glfx::testing;

namespace {

const std::string kValuesEffect = effectText({
    "name=Values_fx",
    "type=check;name=On;param=on",
    "type=popup;name=Mode;param=mode;popup=A|B|C",
    "type=color;name=Tint;param=tint",
    "type=point;name=Centre;param=centre;default=0.5|0.25",
    "type=angle;name=Turn;param=turn",
    "type=float;name=Secret;param=secret;hidden=1",
    "type=float;name=Animated;param=animated",
    "type=layer;name=Later;time=2.9",
    "type=layer;name=Earlier;time=-1",
});

const std::string kSwitchEffect = effectText({
    "name=Switch_fx",
    "type=float;name=Always;param=always",
    "type=popup;name=Look;param=look;popup=One|Two|Three;groupswitch=2",
    "type=float;name=In two;param=inTwo;group=2",
    "type=float;name=In three;param=inThree;group=3",
    "type=float;name=In four;param=inFour;group=4",
    "type=float;name=In five;param=inFive;group=5",
});

PF_ParamDefUnion zero() {
    PF_ParamDefUnion u;
    std::memset(&u, 0, sizeof u);
    return u;
}

Image picture(int w, int h) {
    return Image::make(w, h, 8, ChannelOrder::Argb, 0, 0x80);
}

const RenderPath kPaths[] = {RenderPath::Smart, RenderPath::Classic};
const HostApp kApps[] = {HostApp::AfterEffects, HostApp::PremierePro};

} // namespace

TEST(FramesHost, ParameterValuesReachTheRecordAtTheFramesTime) {
    const std::string library = packedLibrary(kValuesEffect, "Values_fx");
    for (HostApp app : kApps)
        for (RenderPath path : kPaths) {
            SCOPED_TRACE(std::to_string(int(app)) + "/" + std::to_string(int(path)));
            Session s(library, app);
            Instance& fx = *s.instance;
            fx.values[1] = zero();
            fx.values[1].bd.value = 1;
            fx.keyframes[2][0] = choice(1);
            fx.keyframes[2][10] = choice(3);
            fx.values[3] = zero();
            fx.values[3].cd.value = {17, 255, 128, 0};
            fx.values[5] = zero();
            fx.values[5].ad.value = PF_Fixed(45.9 * 65536);
            fx.keyframes[7][0] = slider(0.0);
            fx.keyframes[7][10] = slider(2.0);
            Image out;
            ASSERT_EQ(s.host.render(fx, Clip(picture(40, 20)), 5, out, {path}), PF_Err_NONE);

            // On; Mode holding its key; Tint's red, blue and (unwritten) alpha; Centre at 50 % and
            // 25 % of 40 x 20 pixels; Turn in whole degrees. Animated halfway between its keys.
            const SequenceState& r = *fx.record();
            const auto& v = r.paramValues;
            EXPECT_EQ((std::vector<float>{v[1][0], v[2][0], v[3][0], v[3][2], v[3][3], v[4][0],
                                          v[4][1], v[5][0]}),
                      (std::vector<float>{1, 0, 1, 0, 0, 20, 5, 45}));
            EXPECT_NEAR(v[3][1], 0.50196f, 1e-5f);
            EXPECT_FLOAT_EQ(v[7][0], 1.0f);
            EXPECT_EQ(std::tie(r.currentTime, r.outputWidth, r.outputHeight),
                      std::make_tuple(5, 40, 20));

            // The hidden one is hidden again at every frame: in the project in After Effects, in
            // its UI everywhere.
            EXPECT_FALSE(fx.param(6).visible());
            EXPECT_EQ(fx.param(6).hidden, app == HostApp::AfterEffects);
            EXPECT_TRUE(fx.param(6).uiFlags & PF_PUI_INVISIBLE);
            EXPECT_TRUE(s.host.lastOutData().out_flags & PF_OutFlag_REFRESH_UI);
            for (PF_ParamIndex i : {1, 2, 3, 4, 5, 7})
                EXPECT_TRUE(fx.param(i).visible()) << i;

            // Points that the user set, in pixels, round toward minus infinity.
            fx.values[4] = point(10.75, -0.5);
            ASSERT_EQ(s.host.render(fx, Clip(picture(40, 20)), 5, out, {path}), PF_Err_NONE);
            const auto& moved = fx.record()->paramValues[4];
            EXPECT_EQ(std::make_pair(moved[0], moved[1]), std::make_pair(10.0f, -1.0f));
        }
}

TEST(FramesHost, ErrorsOfTheFrameComeBeforeCheckInErrorsAndLeaveTheOutputUntouched) {
    const std::string library = packedLibrary(kValuesEffect, "Values_fx");
    // A check-in error is the result of a frame that rendered, but not of one that failed: a
    // World suite refused or telling no format, or a format outside the three depths, gives 516,
    // nothing drawn, and every parameter still goes back.
    const std::function<void(Host&)> faults[] = {
        [](Host&) {}, [](Host& h) { h.suites().refuse(kPFWorldSuite, kPFWorldSuiteVersion2); },
        [](Host& h) { h.inject.pixelFormatError = PF_Err_INVALID_CALLBACK; },
        [](Host& h) { h.inject.reportedFormat = PF_PixelFormat_BGRA32; }};
    for (RenderPath path : kPaths) {
        Session s(library, HostApp::AfterEffects);
        for (const auto& fault : faults) {
            SCOPED_TRACE(std::to_string(int(path)) + ", fault " + std::to_string(&fault - faults));
            s.host.inject = Host::Injection{};
            s.host.inject.checkinError = PF_Err_OUT_OF_MEMORY;
            s.host.suites().allowAll();
            fault(s.host);
            Image out;
            const PF_Err err = s.host.render(*s.instance, Clip(picture(6, 3)), 0, out, {path});
            if (&fault == faults) {
                EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY);
                continue;
            }
            EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
            for (uint8_t b : out.bytes)
                ASSERT_EQ(b, Host::kOutputFill);
        }
    }
}

TEST(FramesHost, WithoutSequenceDataNothingIsCheckedOut) {
    CheckedHost host(packedLibrary(kValuesEffect, "Values_fx"), HostApp::AfterEffects);
    ASSERT_EQ(host.start(), PF_Err_NONE);
    Instance& fx = host.addInstance();
    for (RenderPath path : kPaths) {
        Image out;
        EXPECT_EQ(host.render(fx, Clip(picture(4, 4)), 0, out, {path}),
                  PF_Err_INTERNAL_STRUCT_DAMAGED);
    }
    EXPECT_TRUE(host.checkoutLog().empty());
    EXPECT_EQ(host.changeParam(fx, 2, choice(2)), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST(FramesHost, GroupSwitchShowsItsChosenGroupOnly) {
    const std::string library = packedLibrary(kSwitchEffect, "Switch_fx");
    for (HostApp app : kApps) {
        SCOPED_TRACE(int(app));
        Session s(library, app);
        Instance& fx = *s.instance;
        ASSERT_EQ(s.host.changeParam(fx, 2, choice(3)), PF_Err_NONE);
        EXPECT_EQ(s.host.lastOutData().out_flags,
                  PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI);
        // Groups 2 and 3 hide, 4 shows.
        EXPECT_EQ(
            std::make_tuple(fx.param(3).visible(), fx.param(4).visible(), fx.param(5).visible()),
            std::make_tuple(false, false, true));
        for (PF_ParamIndex untouched : {1, 6}) {
            EXPECT_EQ(fx.param(untouched).uiUpdates, 0) << untouched;
            EXPECT_TRUE(fx.param(untouched).visible()) << untouched;
        }
        // After Effects hides through the project and leaves the UI flags alone.
        if (app == HostApp::AfterEffects) {
            EXPECT_TRUE(fx.param(3).hidden);
            EXPECT_FALSE(fx.param(3).uiFlags & PF_PUI_INVISIBLE);
        } else {
            EXPECT_TRUE(fx.param(3).uiFlags & PF_PUI_INVISIBLE);
        }

        // Back to the first choice: group 2 shows again, 3 and 4 hide.
        ASSERT_EQ(s.host.changeParam(fx, 2, choice(1)), PF_Err_NONE);
        EXPECT_EQ(
            std::make_tuple(fx.param(3).visible(), fx.param(4).visible(), fx.param(5).visible()),
            std::make_tuple(true, false, false));

        // Any other parameter: the flags, nothing else.
        ASSERT_EQ(s.host.changeParam(fx, 1, zero()), PF_Err_NONE);
        EXPECT_EQ(s.host.lastOutData().out_flags,
                  PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI);
        EXPECT_EQ(fx.param(1).uiUpdates, 0);
    }
}

// In-process, so that the record's define table can be read with the plug-in's own code.
class FramesDefines : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<CheckedHost>(inProcessLibrary(), HostApp::AfterEffects);
        ASSERT_EQ(host->start(), PF_Err_NONE);
        parseDescription(
            loadedEffect().description,
            effectText({
                "name=Defines_fx",
                "type=popup;name=Quality;param=QUALITY;popup=low quality (fast)|high;flags=2",
                "type=popup;name=Mode;param=MODE;popup=A|B|C;flags=1",
                "type=popup;name=Plain;param=plain;popup=x|y",
            }));
        ASSERT_EQ(host->paramsSetup(), PF_Err_NONE);
        instance = &host->addInstance();
        ASSERT_EQ(host->sequenceSetup(*instance), PF_Err_NONE);
    }
    const std::string* define(const char* key) { return instance->record()->defines->find(key); }
    UserFolderOverride noFolder{""};
    std::unique_ptr<CheckedHost> host;
    Instance* instance = nullptr;
};

TEST_F(FramesDefines, DefiningPopupsWriteTheirValueAndAskForARebuild) {
    // Before the first render there is no table: the change only marks the rebuild.
    ASSERT_EQ(host->changeParam(*instance, 1, choice(2)), PF_Err_NONE);
    EXPECT_EQ(instance->record()->defines, nullptr);
    Image out;
    ASSERT_EQ(host->render(*instance, Clip(picture(4, 4)), 0, out), PF_Err_NONE);
    ASSERT_NE(instance->record()->defines, nullptr);
    ASSERT_NE(define("#define QUALITY"), nullptr);
    EXPECT_EQ(*define("#define QUALITY"), "high") << "the first render reads every value";
    EXPECT_EQ(instance->record()->needsRebuild, 0);

    ASSERT_EQ(host->changeParam(*instance, 1, choice(1)), PF_Err_NONE);
    EXPECT_EQ(*define("#define QUALITY"), "low quality (fast)");
    EXPECT_EQ(instance->record()->needsRebuild, 1);
    ASSERT_EQ(host->changeParam(*instance, 2, choice(3)), PF_Err_NONE);
    EXPECT_EQ(*define("#define MODE"), "2");

    // A flags-2 choice outside the items writes nothing and asks for nothing.
    ASSERT_EQ(host->render(*instance, Clip(picture(4, 4)), 0, out), PF_Err_NONE);
    ASSERT_EQ(host->changeParam(*instance, 1, choice(7)), PF_Err_NONE);
    EXPECT_EQ(*define("#define QUALITY"), "low quality (fast)");
    EXPECT_EQ(instance->record()->needsRebuild, 0);

    // Nor does a rebuild that reads such a value back from the frame's parameters.
    ASSERT_EQ(host->changeParam(*instance, 1, choice(2)), PF_Err_NONE);
    ASSERT_EQ(host->render(*instance, Clip(picture(4, 4)), 0, out), PF_Err_NONE);
    instance->values[1] = choice(9);
    ASSERT_EQ(host->render(*instance, Clip(picture(4, 4)), 0, out), PF_Err_NONE);
    ASSERT_EQ(host->changeParam(*instance, 2, choice(1)), PF_Err_NONE);
    ASSERT_EQ(host->render(*instance, Clip(picture(4, 4)), 0, out), PF_Err_NONE);
    EXPECT_EQ(*define("#define QUALITY"), "high");
    EXPECT_EQ(*define("#define MODE"), "0");

    // A popup without flags is a uniform: no define, no rebuild.
    ASSERT_EQ(host->changeParam(*instance, 3, choice(2)), PF_Err_NONE);
    EXPECT_EQ(define("#define plain"), nullptr);
    EXPECT_EQ(instance->record()->needsRebuild, 0);
}
