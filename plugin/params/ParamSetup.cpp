#include "params/ParamSetup.h"

#include "AE_Macros.h"
#include "Param_Utils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace glfx {
namespace {

// Toward zero, keeping the low 32 bits of the integer part, no clamping; NaN and infinities
// give 0.
int32_t truncLow32(double value) {
    if (!std::isfinite(value)) return 0;
    double wrapped = std::fmod(std::trunc(value), 4294967296.0);
    if (wrapped < 0) wrapped += 4294967296.0;
    return static_cast<int32_t>(static_cast<uint32_t>(wrapped));
}

A_u_char low8(int32_t value) {
    return static_cast<A_u_char>(static_cast<uint32_t>(value) & 0xFF);
}

void fillFloatSlider(const ParamSpec& entry, PF_FloatSliderDef& fs) {
    const float d0 = entry.defaultValue[0];
    fs.value = d0;
    fs.dephault = d0;
    fs.phase = 0;
    fs.slider_min = entry.min;
    fs.slider_max = entry.max;
    if (entry.items.size() >= 2) {
        fs.valid_min = static_cast<PF_FpShort>(std::atof(entry.items[0].c_str()));
        fs.valid_max = static_cast<PF_FpShort>(std::atof(entry.items[1].c_str()));
    } else {
        fs.valid_min = entry.min;
        fs.valid_max = entry.max;
    }
    fs.precision = entry.type == ParamType::Int ? PF_Precision_INTEGER : PF_Precision_HUNDREDTHS;
    fs.display_flags = entry.flags > 0 ? PF_ValueDisplayFlag_PERCENT : PF_ValueDisplayFlag_NONE;
    fs.fs_flags = PF_FSliderFlag_NONE;
    fs.curve_tolerance = AEFX_AUDIO_DEFAULT_CURVE_TOLERANCE;
}

// Percent of the layer in 16.16, capped above at 10000 percent.
PF_Fixed pointPercent(float fraction) {
    return INT2FIX(std::min(truncLow32(double(fraction) * 100.0), 10000));
}

} // namespace

PF_ParamDef paramDefinition(const ParamSpec& entry, int32_t index, HostStrcpy strcpy) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.uu.id = index + 1;
    const std::string name = entry.name.substr(0, PF_MAX_EFFECT_PARAM_NAME_LEN);
    const float d0 = entry.defaultValue[0];
    switch (entry.type) {
    case ParamType::Int:
    case ParamType::Float:
    case ParamType::Float2:
        def.param_type = PF_Param_FLOAT_SLIDER;
        fillFloatSlider(entry, def.u.fs_d);
        break;
    case ParamType::Check: {
        def.param_type = PF_Param_CHECKBOX;
        const int32_t t = truncLow32(d0);
        def.u.bd.value = static_cast<int8_t>(low8(t));
        def.u.bd.dephault = static_cast<PF_Boolean>(low8(t));
        def.u.bd.u.nameptr = entry.text.c_str();
        break;
    }
    case ParamType::Popup: {
        def.param_type = PF_Param_POPUP;
        def.flags = PF_ParamFlag_SUPERVISE;
        def.u.pd.num_choices = static_cast<A_short>(
            std::min<int64_t>(int64_t(truncLow32(entry.max)) + 1, kMaxPopupChoices));
        const float choice = entry.max >= d0 ? d0 : entry.max;
        const int32_t oneBased =
            int32_t(std::min<int64_t>(int64_t(truncLow32(choice)) + 1, kMaxPopupChoices));
        def.u.pd.dephault = static_cast<A_short>(oneBased);
        def.u.pd.value = oneBased;
        def.u.pd.u.namesptr = entry.text.c_str();
        break;
    }
    case ParamType::Layer:
        def.param_type = PF_Param_LAYER;
        def.u.ld.dephault = PF_LayerDefault_MYSELF;
        break;
    case ParamType::Color:
        def.param_type = PF_Param_COLOR;
        def.u.cd.value.alpha = 255;
        def.u.cd.value.red = low8(truncLow32(entry.defaultValue[0] * 255.0f));
        def.u.cd.value.green = low8(truncLow32(entry.defaultValue[1] * 255.0f));
        def.u.cd.value.blue = low8(truncLow32(entry.defaultValue[2] * 255.0f));
        def.u.cd.dephault = def.u.cd.value;
        break;
    case ParamType::Angle:
        def.param_type = PF_Param_ANGLE;
        def.u.ad.value = truncLow32(double(truncLow32(d0)) * 65536.0);
        def.u.ad.dephault = def.u.ad.value;
        break;
    case ParamType::Point:
        def.param_type = PF_Param_POINT;
        def.u.td.x_value = def.u.td.x_dephault = pointPercent(entry.defaultValue[0]);
        def.u.td.y_value = def.u.td.y_dephault = pointPercent(entry.defaultValue[1]);
        def.u.td.restrict_bounds = false;
        break;
    case ParamType::TopicStart:
        def.param_type = PF_Param_GROUP_START;
        break;
    case ParamType::TopicEnd:
        def.param_type = PF_Param_GROUP_END;
        return def; // a group end has no name
    case ParamType::None:
    default:
        // Declaring nothing would shift every later entry's host index; a hidden, fixed
        // placeholder keeps the two lists in line.
        def.param_type = PF_Param_CHECKBOX;
        def.ui_flags = PF_PUI_INVISIBLE | PF_PUI_NO_ECW_UI;
        def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
        def.u.bd.u.nameptr = "";
        break;
    }
    strcpy(def.name, name.c_str());
    return def;
}

PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data, const EffectDescription& description) {
    const int32_t count = std::clamp<int32_t>(description.settings.paramCount, 0, kMaxParams);
    for (int32_t i = 1; i < count; ++i) {
        PF_ParamDef def =
            paramDefinition(description.params[size_t(i)], i, in_data->utils->ansi.strcpy);
        const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        if (err != PF_Err_NONE) return err;
    }
    out_data->num_params = std::max<int32_t>(count, 1);
    return PF_Err_NONE;
}

} // namespace glfx
