// Parameter set-up: one host parameter per described entry, in table order. Entry i of the
// description is host parameter i and has id i + 1; entry 0 is the input layer, which the host
// creates itself.
#pragma once

#include "AE_EffectCB.h"
#include "effect/EffectDescription.h"

namespace glfx {

using HostStrcpy = A_char* (*)(A_char* dst, const A_char* src);

// The host counts a popup's choices in 16 bits: a popup declares at most this many, the later
// ones are not offered.
constexpr int32_t kMaxPopupChoices = 32767;

// The definition declared for `entry` at table entry `index`, its name copied with `strcpy` and
// cut to the 31 bytes the host's field holds. A "none" entry, or one of a type outside the
// table, becomes an invisible checkbox that keeps the later entries at their indices. Popup
// choices and the checkbox label point into `entry`, which must outlive the host's use.
PF_ParamDef paramDefinition(const ParamSpec& entry, int32_t index, HostStrcpy strcpy);

// PF_Cmd_PARAMS_SETUP: appends entries 1 ... paramCount - 1 with add_param. An add_param error is
// returned at once, without num_params. num_params counts the input layer even for a description
// without entries.
PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data, const EffectDescription& description);

} // namespace glfx
