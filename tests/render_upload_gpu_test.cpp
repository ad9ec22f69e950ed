// The frame's two roads through the GPU give the same result, bit for bit: the layers converted or
// copied into staging buffers on the CPU, or, as the render path does where the driver allows it,
// the layers read by GL from the host's own padded rows (8-bit bytes that GL normalises, 32-bit
// alpha, red, green, blue floats that the input textures swizzle, raw pixels as they are). Every
// effect of the gallery, every such transfer, two frames each (the first specifies the textures,
// the second only replaces their pixels).
#include "effect/Parser.h"
#include "gl/GlRenderer.h"
#include "gl_test_host.h"
#include "render/FrameRender.h"
#include "render/PixelTransfer.h"
#include "shaders/DefineMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
    GLenum uploadFormat, uploadType, readType;
    bool argbSwizzle;
    Transfer staging;
    bool inPlace; // the layers are read from the host's rows
};

// A host world over its own bytes: rows padded past the pixels, 8-bit bytes of every value or
// 32-bit floats mostly in 0 ... 1 with a few outside.
struct HostWorld {
    HostWorld(int pixelBytes, std::mt19937& rng)
        : rowbytes(kWidth * pixelBytes + 48), bytes(size_t(rowbytes) * kHeight) {
        if (pixelBytes == 4) {
            for (uint8_t& b : bytes)
                b = static_cast<uint8_t>(rng());
        } else {
            auto* f = reinterpret_cast<float*>(bytes.data());
            for (size_t i = 0; i < bytes.size() / 4; ++i)
                f[i] = float(int(rng() % 1200) - 100) / 1000.0f;
        }
        std::memset(&world, 0, sizeof world);
        world.width = kWidth;
        world.height = kHeight;
        world.rowbytes = rowbytes;
        world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
    }
    int32_t rowbytes;
    std::vector<uint8_t> bytes;
    PF_EffectWorld world;
};

class PackedUpload : public test::GpuTest {};

// The road the render path takes for `transfer` where the driver allows it, or false.
bool directRoad(GlRenderer& renderer, Transfer transfer, Road& road) {
    const GLenum type = stagingPixelType(transfer);
    road = {GL_RGBA, type, type, false, transfer, true};
    if (transfer == Transfer::Raw8 || transfer == Transfer::Raw32) return true;
    if (transfer == Transfer::Converting32) {
        road.staging = Transfer::Raw32;
        road.argbSwizzle = true;
        return renderer.canSwizzle;
    }
    uint32_t format = 0, packedType = 0;
    if (!packedUpload(transfer, &format, &packedType)) return false;
    road.staging = Transfer::Raw8;
    road.uploadFormat = format;
    road.uploadType = packedType;
    road.readType = GL_FLOAT;
    if (packedUploadIsExact(renderer, transfer)) return true;
    // Mesa's software rasteriser converts exactly: there a refusal is a wrong format.
    if (!renderer.context.activate()) return false;
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string driver = name != nullptr ? name : "";
    renderer.context.deactivate();
    EXPECT_EQ(driver.find("llvmpipe"), std::string::npos)
        << "llvmpipe turns host bytes into other floats than the CPU does";
    return false;
}

TEST_F(PackedUpload, GivesTheSameFrameAsTheCpuConversionForEveryGalleryEffect) {
    std::mt19937 rng(7);
    HostWorld bytes(4, rng), floats(16, rng);

    const std::vector<std::string> effects = galleryEffects();
    ASSERT_GE(effects.size(), 8u);
    int compared = 0;
    for (const std::string& path : effects) {
        EffectDescription effect;
        parseDescription(effect, readText(path));
        for (Transfer transfer : {Transfer::Converting8, Transfer::Converting8Premiere,
                                  Transfer::Converting8PremiereFast, Transfer::Raw8,
                                  Transfer::Converting32, Transfer::Raw32}) {
            SCOPED_TRACE(path + ", transfer " + std::to_string(static_cast<int>(transfer)));
            const bool eightBit = transfer != Transfer::Converting32 && transfer != Transfer::Raw32;
            const PF_EffectWorld& world = eightBit ? bytes.world : floats.world;
            GlRenderer renderer;
            renderer.effectDescription = &effect;
            renderer.context.create();
            ASSERT_TRUE(renderer.context.isValid()) << renderer.context.creationError();
            renderer.buildPrograms(std::string());
            Road direct;
            if (!directRoad(renderer, transfer, direct)) continue;
            const GLenum type = stagingPixelType(transfer);
            const Road roads[2] = {{GL_RGBA, type, type, false, transfer, false}, direct};

            std::vector<uint8_t> frames[2][2];
            for (int r = 0; r < 2; ++r) {
                test::Frame frame;
                for (int32_t i = 1; i < effect.settings.paramCount; ++i)
                    for (int c = 0; c < 3; ++c)
                        frame.values[i][c] = effect.params[size_t(i)].defaultValue[c];
                // A fresh build, with the popups' defines: no pass texture keeps what the other
                // road drew.
                DefineMap defines;
                fillDefines(defines, effect, frame.values);
                renderer.buildPrograms(defines.preamble());
                ASSERT_TRUE(renderer.programsOk) << renderer.errorText;
                std::array<std::vector<float>, kMaxLayers> staged;
                const int pixel = stagingPixelBytes(roads[r].staging);
                for (int32_t k = effect.settings.noinput; k < effect.settings.layerCount; ++k) {
                    if (roads[r].inPlace) {
                        frame.input.layers[size_t(k)] = {world.data, kWidth, kHeight,
                                                         world.rowbytes / pixel};
                        continue;
                    }
                    staged[size_t(k)].resize(size_t(kWidth) * kHeight * 4);
                    uploadWorld(roads[r].staging, &world, kWidth, kHeight,
                                staged[size_t(k)].data());
                    frame.input.layers[size_t(k)] = {staged[size_t(k)].data(), kWidth, kHeight, 0};
                }
                frame.input.uploadFormat = roads[r].uploadFormat;
                frame.input.uploadType = roads[r].uploadType;
                frame.input.readType = roads[r].readType;
                frame.input.argbSwizzle = roads[r].argbSwizzle;
                frame.setOutput(kWidth, kHeight);
                for (int f = 0; f < 2; ++f) {
                    frame.input.hostTime = 100 * f;
                    ASSERT_TRUE(frame.render(renderer)) << renderer.errorText;
                    frames[r][f] = frame.bytes;
                }
            }
            for (int f = 0; f < 2; ++f)
                EXPECT_TRUE(frames[0][f] == frames[1][f]) << "frame " << f + 1 << " differs";
            ++compared;
            renderer.releaseResources();
            renderer.context.close();
        }
    }
    if (compared == 0) GTEST_SKIP() << "this driver takes every layer through the CPU";
}

} // namespace
