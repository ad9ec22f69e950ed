// The effect description parser on any bytes: it may throw std::out_of_range for a routing key
// without a slot (its documented refusal) and nothing else, and whatever it fills in stays inside
// the fixed tables. The text is parsed twice into the same description, as a second global set-up
// parses over the first.
#include "FuzzCheck.h"
#include "effect/Parser.h"

#include <cstdint>
#include <stdexcept>
#include <string>

using glfx::fuzz::require;

namespace {

// `complete`: the parse ran to the end (a refused routing key stops it before the defaults).
void checkTables(const glfx::EffectDescription& d, size_t codeSize, bool complete) {
    const glfx::EffectSettings& s = d.settings;
    require(s.paramCount >= 0 && s.paramCount <= glfx::kMaxParams, "paramCount in 0 ... 128");
    require(s.layerCount >= 1 && s.layerCount <= glfx::kMaxLayers, "layerCount in 1 ... 32");
    require(s.passCount >= 0 && s.passCount <= glfx::kMaxPasses, "passCount in 0 ... 32");
    require(s.name.size() <= glfx::kMaxEffectNameBytes, "name of at most 31 bytes");
    for (const auto& pass : s.routing)
        for (int32_t src : pass)
            require(src == glfx::kEmptySlot ||
                        (src >= glfx::layerSource(glfx::kMaxLayers - 1) && src < glfx::kMaxPasses) ||
                        glfx::isPreviousSource(src),
                    "routing names an existing layer, pass or previous pass result, or nothing");
    if (codeSize >= 3) {
        require(d.pixelShaders.size() == size_t(glfx::kMaxPasses), "32 pass sources");
        require(!complete || (!d.pixelShaders[0].empty() && !d.vertexShader.empty()),
                "default shaders");
    }
    for (const glfx::ParamSpec& p : d.params)
        require(p.components >= 0 && p.components <= 3, "0 ... 3 uniform components");
}

void parse(glfx::EffectDescription& d, const std::string& code) {
    bool complete = true;
    try {
        glfx::parseDescription(d, code);
    } catch (const std::out_of_range&) {
        // A routing key without a slot: the effect is refused, the tables keep what was read.
        complete = false;
    }
    checkTables(d, code.size(), complete);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string code(reinterpret_cast<const char*>(data), size);
    glfx::EffectDescription d;
    parse(d, code);
    parse(d, code);
    return 0;
}
