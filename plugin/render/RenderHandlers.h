// The host's frame commands: the classic render, and the smart pre-render and render pair. They
// obtain the input, every parameter and every extra layer at its time, let the parameter read turn
// the values into shader inputs, render the frame, and give everything back.
//
// Every checkout is answered: a failed one checks back in what this command had checked out and
// returns the host's error. Check-ins also happen when an exception leaves the command. Errors of
// the frame render take precedence over check-in errors.
#pragma once

#include "AE_Effect.h"
#include "effect/EffectDescription.h"

namespace glfx {

// The result rectangle after merging a checkout's: an empty one (left >= right or top >= bottom)
// becomes `checkout`; otherwise the union with a non-empty `checkout`.
void mergeResultRect(PF_LRect& result, const PF_LRect& checkout);

// PF_Cmd_RENDER: 512 without a record.
PF_Err renderCommand(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                     PF_LayerDef* output, const EffectDescription& description);

// PF_Cmd_SMART_PRE_RENDER: requests the input and every layer parameter over the output's
// rectangle; the result rectangles are those of the input merged into the host's.
PF_Err smartPreRenderCommand(PF_InData* in_data, PF_PreRenderExtra* extra,
                             const EffectDescription& description);

// PF_Cmd_SMART_RENDER: 512 without a record.
PF_Err smartRenderCommand(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                          const EffectDescription& description);

} // namespace glfx
