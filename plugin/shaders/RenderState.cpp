#include "shaders/RenderState.h"

#include "gl/GlRenderer.h"
#include "shaders/DefineMap.h"

#include <memory>

namespace glfx {

void createRenderState(SequenceState& state, const EffectDescription& description) {
    if (state.renderer != nullptr) return;
    auto renderer = std::make_unique<GlRenderer>();
    auto defines = std::make_unique<DefineMap>();
    for (int32_t k = 0; k < kMaxLayers; ++k) {
        state.layerWidth[k] = 0;
        state.layerHeight[k] = 0;
        state.layerAllocWidth[k] = 0;
        state.layerAllocHeight[k] = 0;
    }
    state.resultAllocWidth = 0;
    state.resultAllocHeight = 0;
    renderer->effectDescription = &description;
    state.layerWorlds[0] = nullptr;
    renderer->context.create();
    fillDefines(*defines, description, state.paramValues);

    delete state.defines;
    state.defines = defines.release();
    state.renderer = renderer.release();
}

std::string refreshDefines(SequenceState& state, const EffectDescription& description) {
    if (state.defines == nullptr) state.defines = new DefineMap();
    fillDefines(*state.defines, description, state.paramValues);
    return state.defines->preamble();
}

} // namespace glfx
