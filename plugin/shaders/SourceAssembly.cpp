#include "shaders/SourceAssembly.h"

namespace glfx {

bool startsWithVersionLine(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    return start != std::string::npos && text.compare(start, 8, "#version") == 0;
}

std::string assembleFragmentSource(const std::string& preamble,
                                   const EffectDescription& description, int32_t pass) {
    if (pass < 0 || static_cast<size_t>(pass) >= description.pixelShaders.size()) return {};
    const std::string& text = description.pixelShaders[static_cast<size_t>(pass)];
    if (text.empty()) return {};
    // GLSL wants the version directive before anything else, the defines included.
    if (startsWithVersionLine(text)) {
        const size_t end = text.find('\n');
        if (end == std::string::npos) return text + "\n" + preamble;
        return text.substr(0, end + 1) + preamble + text.substr(end + 1);
    }
    return preamble + text;
}

std::string assembleVertexSource(const EffectDescription& description) {
    return description.vertexShader;
}

} // namespace glfx
