#include "params/ParamValues.h"

#include "AE_EffectCB.h"
#include "host/HostSuites.h"
#include "shaders/DefineMap.h"
#include "records/HostApp.h"
#include "records/SequenceRecord.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace glfx {
namespace {

constexpr float k8 = 0.003921569f; // 1/255 as the host has always scaled colours

// The integer part of a 16.16 value, rounded toward minus infinity.
float wholeUnits(PF_Fixed value) {
    return static_cast<float>(std::floor(static_cast<double>(value) / 65536.0));
}

int32_t paramCount(const EffectDescription& description) {
    return std::clamp<int32_t>(description.settings.paramCount, 0, kMaxParams);
}

// Gives back what one project hiding step obtained, on every way out.
class EffectRef {
public:
    EffectRef(HostSuites& suites) : suites_(suites) {}
    ~EffectRef() {
        if (effect_ != nullptr) suites_.effect().AEGP_DisposeEffect(effect_);
    }
    EffectRef(const EffectRef&) = delete;
    EffectRef& operator=(const EffectRef&) = delete;
    AEGP_EffectRefH* out() { return &effect_; }
    AEGP_EffectRefH get() const { return effect_; }

private:
    HostSuites& suites_;
    AEGP_EffectRefH effect_ = nullptr;
};

class StreamRef {
public:
    StreamRef(HostSuites& suites) : suites_(suites) {}
    ~StreamRef() {
        if (stream_ != nullptr) suites_.stream().AEGP_DisposeStream(stream_);
    }
    StreamRef(const StreamRef&) = delete;
    StreamRef& operator=(const StreamRef&) = delete;
    AEGP_StreamRefH* out() { return &stream_; }
    AEGP_StreamRefH get() const { return stream_; }

private:
    HostSuites& suites_;
    AEGP_StreamRefH stream_ = nullptr;
};

// Sets or clears the project's hidden flag of parameter `index`. Every suite is acquired before
// anything is obtained, so a refusal (thrown) leaves nothing to give back.
A_Err setHiddenInProject(HostSuites& suites, AEGP_PluginID pluginId, PF_ProgPtr effectRef,
                         PF_ParamIndex index, bool hidden) {
    const AEGP_PFInterfaceSuite1& pfInterface = suites.pfInterface();
    const AEGP_StreamSuite2& stream = suites.stream();
    const AEGP_DynamicStreamSuite2& dynamic = suites.dynamicStream();
    suites.effect();

    EffectRef effect(suites);
    A_Err err = pfInterface.AEGP_GetNewEffectForEffect(pluginId, effectRef, effect.out());
    if (err != A_Err_NONE) return err;
    StreamRef streamRef(suites);
    err = stream.AEGP_GetNewEffectStreamByIndex(pluginId, effect.get(), index, streamRef.out());
    if (err != A_Err_NONE) return err;
    return dynamic.AEGP_SetDynamicStreamFlag(streamRef.get(), AEGP_DynStreamFlag_HIDDEN, false,
                                             hidden ? 1 : 0);
}

// The suite cache is made on first use: a frame without hidden parameters needs no suite.
HostSuites& suitesOf(std::unique_ptr<HostSuites>& suites, const PF_InData* in_data) {
    if (!suites) suites = std::make_unique<HostSuites>(in_data);
    return *suites;
}

} // namespace

void convertParamValue(const ParamSpec& spec, const PF_ParamDef& def, float row[4]) {
    switch (spec.type) {
    case ParamType::Int:
    case ParamType::Float:
    case ParamType::Float2:
        row[0] = static_cast<float>(def.u.fs_d.value);
        break;
    case ParamType::Check:
        row[0] = static_cast<float>(def.u.bd.value);
        break;
    case ParamType::Popup:
        row[0] = static_cast<float>(def.u.pd.value - 1);
        break;
    case ParamType::Color:
        row[0] = static_cast<float>(def.u.cd.value.red) * k8;
        row[1] = static_cast<float>(def.u.cd.value.green) * k8;
        row[2] = static_cast<float>(def.u.cd.value.blue) * k8;
        break;
    case ParamType::Angle:
        row[0] = wholeUnits(def.u.ad.value);
        break;
    case ParamType::Point:
        row[0] = wholeUnits(def.u.td.x_value);
        row[1] = wholeUnits(def.u.td.y_value);
        break;
    default:
        break;
    }
}

void convertFrameValues(const EffectDescription& description, PF_ParamDef* const* params,
                        float (*values)[4], const PF_EffectWorld* worlds[kMaxLayers]) {
    const int32_t count = paramCount(description);
    if (params == nullptr) return;
    int32_t nextLayerSlot = 1;
    for (int32_t i = 1; i < count; ++i) {
        const ParamSpec& spec = description.params[size_t(i)];
        const PF_ParamDef* def = params[i];
        if (def == nullptr) continue;
        if (spec.type != ParamType::Layer) {
            convertParamValue(spec, *def, values[i]);
        } else if (nextLayerSlot < kMaxLayers) {
            // Slots past the last one are dropped rather than written beyond the table; a layer
            // without pixels stays null, which the orchestration stages as transparent.
            worlds[nextLayerSlot] = def->u.ld.data != nullptr ? &def->u.ld : nullptr;
            ++nextLayerSlot;
        }
    }
}

PF_Err readParamValues(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* const* params,
                       SequenceState* state, const GlobalState& global,
                       const EffectDescription& description) {
    if (state == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    const int32_t count = paramCount(description);
    if (count < 2 || params == nullptr) return PF_Err_NONE;

    const PF_EffectWorld* worlds[kMaxLayers] = {};
    convertFrameValues(description, params, state->paramValues, worlds);
    for (int32_t k = 1; k < kMaxLayers; ++k)
        state->layerWorlds[k] = const_cast<PF_EffectWorld*>(worlds[k]);

    std::unique_ptr<HostSuites> suites;
    const bool premiere = isPremiere(in_data);
    A_Err firstError = A_Err_NONE;
    for (int32_t i = 1; i < count; ++i) {
        const ParamSpec& spec = description.params[size_t(i)];
        PF_ParamDef* def = params[i];
        if (def == nullptr || !spec.hidden) continue;

        HostSuites& hostSuites = suitesOf(suites, in_data);
        if (!premiere && firstError == A_Err_NONE)
            firstError =
                setHiddenInProject(hostSuites, global.pluginId, in_data->effect_ref, i, true);
        PF_ParamDef copy = *def;
        copy.ui_flags |= PF_PUI_INVISIBLE;
        hostSuites.paramUtils().PF_UpdateParamUI(in_data->effect_ref, i, &copy);
        out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    }
    return firstError;
}

PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* const* params,
                        const PF_UserChangedParamExtra* extra,
                        const EffectDescription& description) {
    SequenceState* state = ownedSequenceRecord(in_data);
    if (state == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    if (extra == nullptr) return PF_Err_NONE;

    out_data->out_flags = PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;

    const int32_t count = paramCount(description);
    const PF_ParamIndex changed = extra->param_index;
    if (changed < 1 || changed >= count || params == nullptr || params[changed] == nullptr)
        return PF_Err_NONE;
    const ParamSpec& spec = description.params[size_t(changed)];
    const PF_ParamDef& changedDef = *params[changed];
    const bool isPopup = spec.type == ParamType::Popup && changedDef.param_type == PF_Param_POPUP;

    PF_Err result = PF_Err_NONE;
    if (spec.group < 0 && isPopup && count >= 2) {
        const int64_t first = -static_cast<int64_t>(spec.group);
        const int64_t groups = static_cast<int64_t>(spec.items.size());
        const int64_t shownGroup = first + changedDef.u.pd.value - 1;
        const bool premiere = isPremiere(in_data);
        HostSuites suites(in_data);
        for (int32_t j = 1; j < count; ++j) {
            const int64_t group = description.params[size_t(j)].group;
            if (group < first || group >= first + groups || params[j] == nullptr) continue;
            const bool hidden = group != shownGroup;
            PF_ParamDef copy = *params[j];
            copy.uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
            if (premiere) {
                if (hidden)
                    copy.ui_flags |= PF_PUI_INVISIBLE;
                else
                    copy.ui_flags &= ~PF_PUI_INVISIBLE;
            } else if (result == PF_Err_NONE) {
                setHiddenInProject(suites, 0, in_data->effect_ref, j, hidden);
            }
            const PF_Err err = suites.paramUtils().PF_UpdateParamUI(in_data->effect_ref, j, &copy);
            // A later success must not hide an earlier failure.
            if (result == PF_Err_NONE) result = err;
        }
    }

    if (isPopup && (spec.flags == 1 || spec.flags == 2)) {
        const int64_t choice = static_cast<int64_t>(changedDef.u.pd.value) - 1;
        const bool inItems = choice >= 0 && choice < static_cast<int64_t>(spec.items.size());
        if (spec.flags == 1 || inItems) {
            // Before the first render there is no table; that render reads every value anyway.
            if (state->defines != nullptr)
                setDefine(*state->defines, spec, static_cast<int32_t>(choice));
            state->needsRebuild = 1;
        }
    }
    return result;
}

} // namespace glfx
