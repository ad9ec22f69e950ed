#include "shaders/SourceAssembly.h"

namespace glfx {

std::string assembleFragmentSource(const std::string& preamble,
                                   const EffectDescription& description, int32_t pass) {
    if (pass < 0 || static_cast<size_t>(pass) >= description.pixelShaders.size()) return {};
    const std::string& text = description.pixelShaders[static_cast<size_t>(pass)];
    if (text.empty()) return {};
    return preamble + text;
}

std::string assembleVertexSource(const EffectDescription& description) {
    return description.vertexShader;
}

} // namespace glfx
