#include "effect/EffectDescription.h"

#include <algorithm>

namespace glfx {

const char* paramTypeKeyword(ParamType type) {
    switch (type) {
    case ParamType::None:
        return "none";
    case ParamType::Int:
        return "int";
    case ParamType::Check:
        return "check";
    case ParamType::Popup:
        return "popup";
    case ParamType::Layer:
        return "layer";
    case ParamType::Float:
        return "float";
    case ParamType::Color:
        return "color";
    case ParamType::Angle:
        return "angle";
    case ParamType::Point:
        return "point";
    case ParamType::TopicStart:
        return "topic_start";
    case ParamType::TopicEnd:
        return "topic_end";
    case ParamType::Float2:
        return "float2";
    }
    return "unknown";
}

bool usesFeedback(const EffectDescription& description) {
    const int32_t passes = std::clamp<int32_t>(description.settings.passCount, 0, kMaxPasses);
    for (int32_t p = 0; p < passes; ++p)
        if (description.settings.passOptions[size_t(p)].persistent) return true;
    return false;
}

EffectSettings::EffectSettings() {
    resetRouting();
}

void EffectSettings::resetRouting() {
    for (auto& pass : routing)
        for (auto& slot : pass)
            slot = kEmptySlot;
    routing[0][0] = layerSource(0);
}

} // namespace glfx
