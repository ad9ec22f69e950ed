// The per-instance record that lives in the host's sequence-data handle. The host saves its bytes
// with the project and may copy them, so the layout is a storage format: every offset is pinned
// below. Pointers are meaningful only in the process that wrote them; re-set-up discards them.
#pragma once

#include "effect/EffectDescription.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace glfx {

class GlRenderer;
class DefineMap;

struct SequenceState {
    float paramValues[kMaxParams][4]; // index 0 (the input layer) holds none
    GlRenderer* renderer;             // owned; null until the first render
    float* layerBuffers[kMaxLayers];  // owned staging buffers, 16 bytes per pixel
    float* resultBuffer;              // owned, 16 bytes per pixel
    void* layerWorlds[kMaxLayers];    // host images of this frame; never freed here
    int32_t layerWidth[kMaxLayers];
    int32_t layerHeight[kMaxLayers];
    int32_t layerAllocWidth[kMaxLayers];
    int32_t layerAllocHeight[kMaxLayers];
    int32_t resultAllocWidth;
    int32_t resultAllocHeight;
    int32_t currentTime;
    float downsampleX;
    float downsampleY;
    float pixelAspect;
    int32_t outputWidth;
    int32_t outputHeight;
    uint8_t needsRebuild;
    uint8_t hostIsPremiere;
    uint8_t padding[2];
    uint32_t reserved;
    DefineMap* defines; // owned; null until the first render
};

static_assert(std::is_standard_layout<SequenceState>::value, "stored as raw bytes");
static_assert(std::is_trivially_copyable<SequenceState>::value, "stored as raw bytes");
static_assert(sizeof(void*) == 8, "the stored layout is the 64-bit one");
static_assert(sizeof(SequenceState) == 3136, "stored size");
static_assert(offsetof(SequenceState, paramValues) == 0);
static_assert(offsetof(SequenceState, renderer) == 2048);
static_assert(offsetof(SequenceState, layerBuffers) == 2056);
static_assert(offsetof(SequenceState, resultBuffer) == 2312);
static_assert(offsetof(SequenceState, layerWorlds) == 2320);
static_assert(offsetof(SequenceState, layerWidth) == 2576);
static_assert(offsetof(SequenceState, layerHeight) == 2704);
static_assert(offsetof(SequenceState, layerAllocWidth) == 2832);
static_assert(offsetof(SequenceState, layerAllocHeight) == 2960);
static_assert(offsetof(SequenceState, resultAllocWidth) == 3088);
static_assert(offsetof(SequenceState, resultAllocHeight) == 3092);
static_assert(offsetof(SequenceState, currentTime) == 3096);
static_assert(offsetof(SequenceState, downsampleX) == 3100);
static_assert(offsetof(SequenceState, downsampleY) == 3104);
static_assert(offsetof(SequenceState, pixelAspect) == 3108);
static_assert(offsetof(SequenceState, outputWidth) == 3112);
static_assert(offsetof(SequenceState, outputHeight) == 3116);
static_assert(offsetof(SequenceState, needsRebuild) == 3120);
static_assert(offsetof(SequenceState, hostIsPremiere) == 3121);
static_assert(offsetof(SequenceState, reserved) == 3124);
static_assert(offsetof(SequenceState, defines) == 3128);

} // namespace glfx
