// What the renderer needs to draw one frame, gathered by the render path from the host's records:
// the renderer never reads the stored SequenceState.
#pragma once

#include "effect/EffectDescription.h"

#include <GL/glew.h>

#include <array>
#include <cstdint>
#include <vector>

namespace glfx {

// One layer's pixels: `height` rows of `width` pixels, `rowPixels` pixels apart (0: packed), in
// the frame's upload format. Null pixels leave the layer's texture as it was.
struct FrameLayer {
    const void* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowPixels = 0;
};

struct FrameInput {
    // The output's size: every pass without a size of its own, and always the last one.
    int32_t width = 0;
    int32_t height = 0;

    // The built-in uniforms' sources. `hostTime` is the host's time value ("time" is it
    // times 0.0001); the others are in seconds and frames since the layer's start.
    int32_t hostTime = 0;
    double seconds = 0.0;
    double frameSeconds = 0.0;
    int32_t frameIndex = 0;
    double framesPerSecond = 0.0;
    std::array<float, 4> date{}; // year, month 1-12, day 1-31, seconds since midnight
    float downsampleX = 1.0f;
    float downsampleY = 1.0f;
    float pixelAspect = 1.0f;
    const float (*paramValues)[4] = nullptr; // kMaxParams rows

    std::array<FrameLayer, kMaxLayers> layers{};
    GLenum uploadFormat = GL_RGBA; // or GL_BGRA
    GLenum uploadType = GL_FLOAT;  // or one of the 8-bit types GlRenderer::renderFrame lists
    // The input textures show red, green, blue, alpha from their stored green, blue, alpha, red:
    // alpha, red, green, blue floats uploaded as they lie are sampled as RGBA. Needs canSwizzle.
    bool argbSwizzle = false;
    // The layers and the result have 8 bits a channel: layers and pass results (but those of
    // psN_float passes) may be kept at 8 bits.
    bool eightBit = false;

    // The result comes back a strip of rows at a time: rows firstRow ... firstRow + rows - 1,
    // packed, as GL_RGBA of readType, handed to `take` while still in the cache. Without `take`
    // nothing is read back: a frame drawn only for what its persistent passes keep.
    GLenum readType = GL_FLOAT; // or GL_UNSIGNED_INT_8_8_8_8_REV
    void (*take)(void* context, int32_t firstRow, int32_t rows, const void* pixels) = nullptr;
    void* takeContext = nullptr;

    // Which of the renderer's two sets of kept results holds what persistent passes read as
    // their previous frame; the frame writes the other set.
    int32_t keptRead = 0;
};

// One persistent pass's kept result, as a checkpoint holds it: rows packed, bottom row first,
// four bytes (8-bit storage) or four floats a pixel.
struct KeptImage {
    int32_t pass = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool isFloat = false;
    std::vector<uint8_t> pixels;
};

} // namespace glfx
