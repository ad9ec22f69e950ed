// The 8-bit layers' two roads to the GPU give the same frame, bit for bit: converted to floats on
// the CPU and uploaded as floats (the old road), or uploaded as the host's bytes for GL to
// normalise (the road the render path takes where the driver converts exactly). Every effect of
// the gallery, every 8-bit converting transfer, two frames each (the first specifies the textures,
// the second only replaces their pixels).
#include "effect/Parser.h"
#include "gl/GlRenderer.h"
#include "gl_test_host.h"
#include "render/FrameRender.h"
#include "render/PixelTransfer.h"
#include "shaders/DefineMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace glfx;

namespace {

constexpr int32_t kWidth = 97, kHeight = 61;

std::vector<std::string> galleryEffects() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(GLFX_SOURCE_DIR "/effects"))
        if (entry.path().extension() == ".glfx") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Road {
    GlRenderer::PixelTypes types;
    Transfer staging;
};

class PackedUpload : public test::GpuTest {};

TEST_F(PackedUpload, GivesTheSameFrameAsTheCpuConversionForEveryGalleryEffect) {
    std::mt19937 rng(7);
    std::vector<uint8_t> bytes(size_t(kWidth) * kHeight * 4);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(rng());
    PF_EffectWorld world;
    std::memset(&world, 0, sizeof world);
    world.width = kWidth;
    world.height = kHeight;
    world.rowbytes = kWidth * 4;
    world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());

    const std::vector<std::string> effects = galleryEffects();
    ASSERT_GE(effects.size(), 8u);
    for (const std::string& path : effects) {
        EffectDescription effect;
        parseDescription(effect, readText(path));
        for (Transfer transfer : {Transfer::Converting8, Transfer::Converting8Premiere,
                                  Transfer::Converting8PremiereFast}) {
            SCOPED_TRACE(path + ", transfer " + std::to_string(static_cast<int>(transfer)));
            GlRenderer renderer;
            renderer.effectDescription = &effect;
            renderer.context.create();
            ASSERT_TRUE(renderer.context.isValid()) << renderer.context.creationError();
            if (!packedUploadIsExact(renderer, transfer)) {
                // Mesa's software rasteriser converts exactly: there a refusal is a wrong format.
                ASSERT_TRUE(renderer.context.activate());
                const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
                const std::string driver = name != nullptr ? name : "";
                renderer.context.deactivate();
                ASSERT_EQ(driver.find("llvmpipe"), std::string::npos)
                    << "llvmpipe turns host bytes into other floats than the CPU does";
                GTEST_SKIP() << driver << " normalises bytes differently from the CPU in the "
                             << "last bit; the render path keeps the CPU conversion there";
            }
            uint32_t format = 0, type = 0;
            ASSERT_TRUE(packedUpload(transfer, &format, &type));

            const Road roads[2] = {{{GL_RGBA, GL_FLOAT, GL_FLOAT}, transfer},
                                   {{format, type, GL_FLOAT}, Transfer::Raw8}};
            std::vector<float> frames[2][2];
            for (int r = 0; r < 2; ++r) {
                test::Frame frame;
                for (int32_t k = 0; k < effect.settings.layerCount; ++k)
                    frame.state.layerWorlds[k] = &world;
                for (int32_t i = 1; i < effect.settings.paramCount; ++i)
                    for (int c = 0; c < 3; ++c)
                        frame.state.paramValues[i][c] = effect.params[size_t(i)].defaultValue[c];
                // A fresh build, with the popups' defines: no pass texture keeps what the other
                // road drew.
                DefineMap defines;
                fillDefines(defines, effect, frame.state.paramValues);
                renderer.buildPrograms(defines.preamble());
                ASSERT_TRUE(renderer.programsOk) << renderer.errorText;
                sizeStagingBuffers(frame.state, effect, kWidth, kHeight);
                frame.state.outputWidth = kWidth;
                frame.state.outputHeight = kHeight;
                frame.state.pixelAspect = frame.state.downsampleX = frame.state.downsampleY = 1;
                for (int f = 0; f < 2; ++f) {
                    frame.state.currentTime = 100 * f;
                    uploadLayers(roads[r].staging, frame.state, effect.settings.noinput,
                                 effect.settings.layerCount);
                    ASSERT_TRUE(renderer.renderFrame(frame.state, roads[r].types))
                        << renderer.errorText;
                    frames[r][f].assign(frame.state.resultBuffer,
                                        frame.state.resultBuffer + size_t(kWidth) * kHeight * 4);
                }
                // The frame owns the staging buffers it was given; these came from new[].
                for (float*& buffer : frame.state.layerBuffers) {
                    delete[] buffer;
                    buffer = nullptr;
                }
            }
            for (int f = 0; f < 2; ++f)
                EXPECT_EQ(std::memcmp(frames[0][f].data(), frames[1][f].data(),
                                      frames[0][f].size() * sizeof(float)),
                          0)
                    << "frame " << f + 1 << " differs";
            renderer.releaseResources();
            renderer.context.close();
        }
    }
}

} // namespace
