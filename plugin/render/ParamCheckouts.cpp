#include "render/ParamCheckouts.h"

#include "shaders/DefineMap.h"

#include <algorithm>
#include <cstring>

namespace glfx {

A_long layerTime(const ParamSpec& spec, A_long time, A_long timeStep) {
    const uint32_t offset = static_cast<uint32_t>(truncateToInt32(spec.defaultValue[0]));
    const uint32_t at = static_cast<uint32_t>(time) + offset * static_cast<uint32_t>(timeStep);
    return static_cast<A_long>(at);
}

PF_Err ParamCheckouts::checkOut(const EffectDescription& description, A_long time, int32_t first) {
    const int32_t count = std::clamp<int32_t>(description.settings.paramCount, 0, kMaxParams);
    // Reserved once, so the host may keep the addresses it was given.
    defs_.assign(static_cast<size_t>(std::max(count, 1)), PF_ParamDef{});
    list_.assign(defs_.size(), nullptr);
    for (int32_t i = std::max(first, 0); i < std::max(count, first == 0 ? 1 : 0); ++i) {
        const ParamSpec& spec = description.params[size_t(i)];
        PF_ParamDef* def = &defs_[size_t(i)];
        std::memset(def, 0, sizeof *def);
        const A_long at =
            i > 0 && spec.type == ParamType::Layer ? layerTime(spec, time, in_->time_step) : time;
        const PF_Err err =
            in_->inter.checkout_param(in_->effect_ref, i, at, in_->time_step, in_->time_scale, def);
        if (err != PF_Err_NONE) {
            checkIn();
            return err;
        }
        list_[size_t(i)] = def;
    }
    return PF_Err_NONE;
}

PF_Err ParamCheckouts::checkIn() {
    PF_Err first = PF_Err_NONE;
    for (PF_ParamDef*& def : list_) {
        if (def == nullptr) continue;
        const PF_Err err = in_->inter.checkin_param(in_->effect_ref, def);
        if (first == PF_Err_NONE) first = err;
        def = nullptr;
    }
    return first;
}

} // namespace glfx
