// What the emulated host must notice an effect doing wrong while it renders, or the end-to-end
// tests prove nothing: padding written between the output's rows, the smart-render protocol's
// rules broken, and its injected failures reaching the effect. A small fake effect copies its
// input and breaks a rule when told to. (What the host hands an effect is checked through the
// real plug-in in the frame tests.)
#include "hostsim/Host.h"
#include "resources/PropertyResource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace glfx;
using namespace glfx::hostsim;
using ::testing::Contains;
using ::testing::HasSubstr;

namespace {

// What the fake effect saw and what it is told to do.
struct Seen {
    PF_PixelFormat outputFormat = 0;
    bool writePadding = false;
    bool wrongPixelsId = false;
    bool strangeWorld = false;
};
Seen seen;

std::string resource() {
    const auto bytes = buildPropertyResource("Probe_fx", "Tests");
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

PF_PixelFormat formatOf(PF_InData* in, const PF_EffectWorld* world) {
    const void* table = nullptr;
    in->pica_basicP->AcquireSuite(kPFWorldSuite, kPFWorldSuiteVersion2, &table);
    PF_PixelFormat format = 0;
    static_cast<const PF_WorldSuite2*>(table)->PF_GetPixelFormat(world, &format);
    in->pica_basicP->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
    return format;
}

// The 8-bit input copied into the output, one byte of padding after each row when told to.
void copyRows(const PF_EffectWorld* from, PF_EffectWorld* to) {
    for (A_long y = 0; y < to->height && y < from->height; ++y) {
        char* d = reinterpret_cast<char*>(to->data) + y * to->rowbytes;
        std::memcpy(d, reinterpret_cast<const char*>(from->data) + y * from->rowbytes,
                    size_t(to->width * 4));
        if (seen.writePadding && to->rowbytes > to->width * 4) d[to->width * 4] = 1;
    }
}

// One layer parameter, checked out in the pre-render as its index and id.
PF_Err probeEntry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamList params,
                  PF_LayerDef* output, void* extra) {
    switch (cmd) {
    case PF_Cmd_PARAMS_SETUP: {
        PF_ParamDef def;
        std::memset(&def, 0, sizeof def);
        def.param_type = PF_Param_LAYER;
        std::strcpy(def.name, "p");
        out->num_params = 2;
        return in->inter.add_param(in->effect_ref, -1, &def);
    }
    case PF_Cmd_SMART_PRE_RENDER: {
        auto* pre = static_cast<PF_PreRenderExtra*>(extra);
        PF_CheckoutResult result;
        PF_Err err = PF_Err_NONE;
        for (A_long i = 0; i < 2 && err == PF_Err_NONE; ++i)
            err = pre->cb->checkout_layer(in->effect_ref, i, i, &pre->input->output_request,
                                          in->current_time, in->time_step, in->time_scale, &result);
        pre->output->result_rect = pre->output->max_result_rect = result.result_rect;
        return err;
    }
    case PF_Cmd_SMART_RENDER: {
        auto* smart = static_cast<PF_SmartRenderExtra*>(extra);
        PF_EffectWorld* input = nullptr;
        PF_EffectWorld* world = nullptr;
        PF_Err err =
            smart->cb->checkout_layer_pixels(in->effect_ref, seen.wrongPixelsId ? 9 : 0, &input);
        if (err != PF_Err_NONE) return err;
        err = smart->cb->checkout_output(in->effect_ref, &world);
        if (err != PF_Err_NONE) return err;
        seen.outputFormat = formatOf(in, world);
        if (seen.strangeWorld) {
            PF_EffectWorld own;
            std::memset(&own, 0, sizeof own);
            formatOf(in, &own);
        }
        copyRows(input, world);
        return smart->cb->checkin_layer_pixels(in->effect_ref, 0);
    }
    case PF_Cmd_RENDER:
        seen.outputFormat = formatOf(in, output);
        copyRows(&params[0]->u.ld, output);
        return PF_Err_NONE;
    default:
        return PF_Err_NONE;
    }
}

class HostsimRender : public ::testing::Test {
protected:
    void SetUp() override { seen = Seen(); }
    // A started host of `app` with one instance of the probe.
    Instance& start(HostApp app = HostApp::AfterEffects) {
        host = std::make_unique<Host>(PluginLibrary::inProcess(probeEntry, resource()), app);
        EXPECT_EQ(host->start(), PF_Err_NONE);
        return host->addInstance();
    }
    std::unique_ptr<Host> host;
    Image out;
};

Image gradient(int w, int h, int depth) {
    std::vector<float> rgba(size_t(w) * h * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = float(i % 7) / 7.0f;
    return Image::fromRgba(rgba.data(), w, h, depth);
}

} // namespace

TEST_F(HostsimRender, PaddingWrittenByTheEffectIsReported) {
    for (RenderPath path : {RenderPath::Smart, RenderPath::Classic}) {
        Instance& fx = start();
        seen.writePadding = true;
        host->render(fx, Clip(gradient(4, 2, 8)), 0, out, {path, 4});
        EXPECT_THAT(host->problems(), Contains(HasSubstr("padding bytes")));
    }
}

TEST_F(HostsimRender, SmartRenderProtocolFaultsAreReported) {
    Instance& fx = start();
    seen.wrongPixelsId = true;
    EXPECT_NE(host->render(fx, Clip(gradient(4, 4, 8)), 0, out), PF_Err_NONE);
    EXPECT_THAT(host->problems(), Contains(HasSubstr("which the pre-render did not check out")));

    seen.wrongPixelsId = false;
    seen.strangeWorld = true;
    host->render(fx, Clip(gradient(4, 4, 8)), 0, out);
    EXPECT_THAT(host->problems(), Contains(HasSubstr("a world the host did not lend")));
}

TEST_F(HostsimRender, InjectedFailuresReachTheEffect) {
    Instance& fx = start();
    host->inject.layerCheckoutError = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(host->render(fx, Clip(gradient(4, 4, 8)), 0, out), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(out.width, 0) << "no render after a failed pre-render";
    host->inject = Host::Injection{};
    host->inject.inputPixelsError = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(host->render(fx, Clip(gradient(4, 4, 8)), 0, out), PF_Err_OUT_OF_MEMORY);
    host->inject = Host::Injection{};
    host->inject.outputError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    EXPECT_EQ(host->render(fx, Clip(gradient(4, 4, 8)), 0, out), PF_Err_INTERNAL_STRUCT_DAMAGED);
    host->inject = Host::Injection{};
    host->inject.reportedFormat = PF_PixelFormat_BGRA32;
    EXPECT_EQ(host->render(fx, Clip(gradient(4, 4, 8)), 0, out), PF_Err_NONE);
    EXPECT_EQ(seen.outputFormat, PF_PixelFormat_BGRA32);
}

TEST(HostsimImage, ConversionsAndClips) {
    // 8 -> 16 -> 8 and 8 -> 32 -> 8 give the same bytes; padding stays as made.
    Image img = Image::make(3, 2, 8, ChannelOrder::Argb, 4, 0, 0xEE);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 12; ++i)
            img.row(y)[i] = uint8_t(y * 100 + i * 13);
    for (int depth : {16, 32})
        EXPECT_EQ(
            img.converted(depth, ChannelOrder::Argb).converted(8, ChannelOrder::Argb).toRgba(),
            img.toRgba())
            << depth;
    const Image bgra = img.converted(8, ChannelOrder::Bgra);
    EXPECT_EQ(bgra.row(0)[0], img.row(0)[3]); // blue
    EXPECT_EQ(bgra.row(0)[3], img.row(0)[0]); // alpha
    EXPECT_TRUE(img.paddingIs(0xEE));
    EXPECT_THROW(Image::make(1, 1, 12), std::invalid_argument);
    EXPECT_THROW(Image::make(1, 1, 16, ChannelOrder::Bgra), std::invalid_argument);

    Clip clip;
    EXPECT_EQ(clip.at(0), nullptr);
    clip.add(10, Image::make(1, 1, 8));
    clip.add(20, Image::make(2, 1, 8));
    EXPECT_EQ(clip.at(0)->width, 1) << "the first image shows before its time";
    EXPECT_EQ(clip.at(19)->width, 1);
    EXPECT_EQ(clip.at(20)->width, 2);
    EXPECT_EQ(clip.at(1000)->width, 2);
}
