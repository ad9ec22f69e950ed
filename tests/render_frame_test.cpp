// The orchestration's CPU half: frame facts, staging buffer sizes, what an undrawn frame leaves in
// the output, and the message about it. The GPU half runs in frames_gpu_test.cpp.
#include "gl/GlRenderer.h"
#include "params/ParamValues.h"
#include "render/FrameRender.h"
#include "render/ParamCheckouts.h"
#include "render/RenderHandlers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

using namespace glfx;
using ::testing::HasSubstr;

namespace {

// A record that frees its staging buffers the way set-down does.
struct Record {
    Record() { std::memset(&state, 0, sizeof state); }
    ~Record() {
        for (float* b : state.layerBuffers)
            delete[] b;
        delete[] state.resultBuffer;
    }
    SequenceState state;
};

struct World {
    World(int32_t w, int32_t h, int pixelBytes, uint8_t fill, int pad = 8)
        : bytes(size_t(h) * size_t(w * pixelBytes + pad), fill) {
        std::memset(&world, 0, sizeof world);
        world.width = w;
        world.height = h;
        world.rowbytes = w * pixelBytes + pad;
        world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
    }
    std::vector<uint8_t> bytes;
    PF_EffectWorld world;
};

EffectDescription layers(int32_t layerCount, int32_t passCount = 1, int32_t noinput = 0) {
    EffectDescription d;
    d.settings.layerCount = layerCount;
    d.settings.passCount = passCount;
    d.settings.noinput = noinput;
    return d;
}

} // namespace

TEST(FrameFacts, RatiosAndZeroDenominators) {
    const struct {
        PF_RationalScale aspect, dx, dy;
        float pixelAspect, downsampleX, downsampleY;
    } cases[] = {
        {{1, 1}, {1, 1}, {1, 1}, 1.0f, 1.0f, 1.0f},
        {{10, 11}, {1, 2}, {1, 4}, 10.0f / 11.0f, 0.5f, 0.25f},
        {{3, 0}, {1, 0}, {0, 0}, 1.0f, 1.0f, 1.0f},
    };
    for (const auto& c : cases) {
        PF_InData in;
        std::memset(&in, 0, sizeof in);
        in.pixel_aspect_ratio = c.aspect;
        in.downsample_x = c.dx;
        in.downsample_y = c.dy;
        in.current_time = 77;
        Record r;
        recordFrameFacts(&in, r.state);
        EXPECT_EQ(std::make_tuple(r.state.pixelAspect, r.state.downsampleX, r.state.downsampleY,
                                  r.state.currentTime),
                  std::make_tuple(c.pixelAspect, c.downsampleX, c.downsampleY, 77));
    }
}

TEST(StagingBuffers, LayersAreSizedByThemselvesAndBuffersMadeOnlyWhenAsked) {
    Record r;
    World input(8, 4, 4, 0), noPixels(8, 4, 4, 0), tall(1, 16384, 4, 0);
    noPixels.world.data = nullptr;
    const void* worlds[kMaxLayers] = {&input.world, &noPixels.world, nullptr, &tall.world};
    sizeLayers(r.state, layers(4, 1, 1), worlds);
    EXPECT_EQ(r.state.layerWidth[0], 0) << "noinput leaves the input slot alone";
    for (int k : {1, 2}) // an empty layer stages as 100 x 100
        EXPECT_EQ(std::make_pair(r.state.layerWidth[k], r.state.layerHeight[k]),
                  std::make_pair(100, 100));
    for (float* buffer : r.state.layerBuffers)
        EXPECT_EQ(buffer, nullptr) << "sizing allocates nothing";

    // A tall thin layer gets a buffer of its own size, whatever the frame's.
    ASSERT_NE(stagingBuffer(r.state, 3), nullptr);
    EXPECT_EQ(int64_t(r.state.layerAllocWidth[3]) * r.state.layerAllocHeight[3], 16384);
    float* const grown = stagingBuffer(r.state, 3);
    EXPECT_EQ(stagingBuffer(r.state, 3), grown) << "the same size allocates nothing";
    r.state.layerWidth[3] = r.state.layerHeight[3] = 2;
    EXPECT_EQ(stagingBuffer(r.state, 3), grown) << "a smaller one keeps the buffer";
    r.state.layerWidth[3] = r.state.layerHeight[3] = 200;
    EXPECT_NE(stagingBuffer(r.state, 3), grown);
    EXPECT_EQ(r.state.layerAllocWidth[3], 200);
}

TEST(UndrawnFrame, InputWhenSizesMatchTransparentOtherwisePaddingUntouched) {
    for (int pixelBytes : {4, 8, 16}) {
        World input(5, 3, pixelBytes, 0x3C, 4);
        for (int i = 0; i < 5 * pixelBytes; ++i)
            input.bytes[size_t(i)] = uint8_t(i); // a row with distinct bytes
        World same(5, 3, pixelBytes, 0xCD, 12);
        EXPECT_TRUE(writeUndrawnFrame(&input.world, &same.world, pixelBytes));
        for (int32_t y = 0; y < 3; ++y) {
            EXPECT_EQ(0, std::memcmp(same.bytes.data() + y * same.world.rowbytes,
                                     input.bytes.data() + y * input.world.rowbytes,
                                     size_t(5 * pixelBytes)))
                << "row " << y << " at " << pixelBytes << " bytes per pixel";
            for (int b = 5 * pixelBytes; b < same.world.rowbytes; ++b)
                EXPECT_EQ(same.bytes[size_t(y * same.world.rowbytes + b)], 0xCD);
        }

        World taller(5, 4, pixelBytes, 0xCD, 12);
        EXPECT_FALSE(writeUndrawnFrame(&input.world, &taller.world, pixelBytes));
        World other(6, 3, pixelBytes, 0xCD, 12);
        EXPECT_FALSE(writeUndrawnFrame(&input.world, &other.world, pixelBytes));
        EXPECT_FALSE(writeUndrawnFrame(nullptr, &other.world, pixelBytes));
        for (int32_t y = 0; y < 3; ++y)
            for (int b = 0; b < other.world.rowbytes; ++b)
                EXPECT_EQ(other.bytes[size_t(y * other.world.rowbytes + b)],
                          b < 6 * pixelBytes ? 0x00 : 0xCD);
    }
}

TEST(UndrawnFrame, MessageSaysWhyAndWhatTheOutputGotWithinTheHostsField) {
    GlRenderer renderer; // no context
    const std::string text = undrawnFrameMessage(&renderer, 100000, 100000, true);
    EXPECT_THAT(text, ::testing::AllOf(HasSubstr("no OpenGL context could be made"),
                                       HasSubstr("The input is shown unchanged.")));
    EXPECT_LT(text.size(), size_t(PF_MAX_EFFECT_MSG_LEN));
    EXPECT_THAT(undrawnFrameMessage(nullptr, 10, 10, false),
                HasSubstr("The output is left transparent."));
}

TEST(ResultRect, MergeOfACheckout) {
    const struct {
        PF_LRect result, checkout, expected;
    } cases[] = {
        {{0, 0, 0, 0}, {2, 3, 50, 60}, {2, 3, 50, 60}},       // empty output takes the layer's
        {{10, 10, 20, 20}, {0, 15, 15, 40}, {0, 10, 20, 40}}, // union
        {{10, 10, 20, 20}, {5, 5, 5, 9}, {10, 10, 20, 20}},   // empty checkout changes nothing
        {{4, 4, 4, 4}, {0, 0, 0, 0}, {0, 0, 0, 0}},           // empty and empty
    };
    for (const auto& c : cases) {
        PF_LRect r = c.result;
        mergeResultRect(r, c.checkout);
        const auto sides = [](const PF_LRect& x) {
            return std::vector<A_long>{x.left, x.top, x.right, x.bottom};
        };
        EXPECT_EQ(sides(r), sides(c.expected));
    }
}

class ParamRead : public ::testing::Test {
protected:
    ParamRead() {
        std::memset(&in, 0, sizeof in);
        std::memset(&out, 0, sizeof out);
    }
    PF_Err read(PF_ParamDef** list, SequenceState* state) {
        return readParamValues(&in, &out, list, state, global, d);
    }
    PF_InData in;
    PF_OutData out;
    GlobalState global{};
    EffectDescription d;
    Record r;
};

TEST_F(ParamRead, LayerParametersBeyondTheLastSlotAreIgnored) {
    // 40 layer parameters: slots 1 ... 31 get the first 31, the rest are dropped.
    d.settings.paramCount = 41;
    d.settings.layerCount = kMaxLayers;
    std::vector<PF_ParamDef> defs(41);
    std::vector<PF_ParamDef*> list(41, nullptr);
    std::vector<uint8_t> pixels(4, 0);
    for (size_t i = 1; i < 41; ++i) {
        d.params[i].type = ParamType::Layer;
        std::memset(&defs[i], 0, sizeof defs[0]);
        defs[i].u.ld.data = reinterpret_cast<PF_PixelPtr>(pixels.data());
        defs[i].u.ld.width = A_long(i);
        list[i] = &defs[i];
    }
    r.state.layerWidth[0] = 1234; // the field right after the slots
    EXPECT_EQ(read(list.data(), &r.state), PF_Err_NONE);
    for (int k = 1; k < kMaxLayers; ++k)
        EXPECT_EQ(r.state.layerWorlds[k], &defs[size_t(k)].u.ld) << k;
    EXPECT_EQ(r.state.layerWidth[0], 1234);
}

TEST_F(ParamRead, WithoutARecordOrParameters) {
    d.settings.paramCount = 3;
    EXPECT_EQ(read(nullptr, nullptr), PF_Err_INTERNAL_STRUCT_DAMAGED);
    d.settings.paramCount = 1;
    EXPECT_EQ(read(nullptr, &r.state), PF_Err_NONE);
}
