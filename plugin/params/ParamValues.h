// Parameter values and UI updates: the read that turns the host's values into what the shaders
// receive before every frame, and the handler of PF_Cmd_USER_CHANGED_PARAM that shows and hides
// the members of a group switch and turns a defining popup into a "#define" value.
//
// Error policy: host errors come back as PF_Err; a missing basic suite or a refused suite is
// thrown as 516 by HostSuites, and the suites acquired are released on every way out.
#pragma once

#include "AE_Effect.h"
#include "effect/EffectDescription.h"
#include "records/GlobalState.h"
#include "records/SequenceState.h"

namespace glfx {

// Entry `index` converted into row `index` of `paramValues`: colours to 0...1 (alpha left
// alone), popups to 0-based choices, angles and points to whole units rounded toward minus
// infinity. Layers, topics and "none" write nothing.
void convertParamValue(const ParamSpec& spec, const PF_ParamDef& def, float row[4]);

// The values of one frame's checked-out parameters into values[1 ... N-1], and the worlds of its
// layer parameters into worlds[1 ...] in table order (null for one without pixels): what
// readParamValues writes into the record, without a word to the host. Worlds stay the host's.
void convertFrameValues(const EffectDescription& description, PF_ParamDef* const* params,
                        float (*values)[4], const PF_EffectWorld* worlds[kMaxLayers]);

// Before every frame. `params[i]` is the checked-out definition of parameter i (index 0 unused).
// Writes paramValues[1 ... N-1], records the worlds of the layer parameters in layerWorlds[1...]
// (table order; slots beyond the 31 there are, and layer parameters without pixels, stay null),
// and hides hidden parameters again: through the project in After Effects, then with
// PF_UpdateParamUI (setting PF_OutFlag_REFRESH_UI). Returns the first error of a project hiding
// call (later parameters are then hidden with PF_UpdateParamUI only), or 0; 512 without a record.
PF_Err readParamValues(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* const* params,
                       SequenceState* state, const GlobalState& global,
                       const EffectDescription& description);

// PF_Cmd_USER_CHANGED_PARAM: 512 without a record, 0 without `extra`. Sets FORCE_RERENDER |
// REFRESH_UI. A group switch shows the members of its chosen group and hides those of its other
// groups; the first PF_UpdateParamUI error is the result. A popup with `flags` 1 or 2 writes its
// define (when the record has a define table yet) and marks the programs for rebuilding; a
// `flags` 2 choice outside the items writes nothing.
PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* const* params,
                        const PF_UserChangedParamExtra* extra,
                        const EffectDescription& description);

} // namespace glfx
