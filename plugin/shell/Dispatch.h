// Command dispatch behind the exported entry point.
//
// Error policy at the host boundary: handlers report failure by returning a non-zero PF_Err or by
// throwing one (a bare 32-bit integer). dispatchCommand returns a thrown PF_Err unchanged and turns
// every other exception into PF_Err_INTERNAL_STRUCT_DAMAGED (512); nothing escapes it. Texts for
// the user go into out_data->return_msg, never into a log.
#pragma once

#include "AE_Effect.h"

#include <cstddef>

namespace glfx {

struct CommandArgs {
    PF_InData* in_data;
    PF_OutData* out_data;
    PF_ParamDef** params;
    PF_LayerDef* output;
    void* extra;
};

using CommandHandler = PF_Err (*)(const CommandArgs&);

// Selectors 0 ... 24; a null entry answers 0 like a selector above 24.
constexpr size_t kSelectorCount = 25;
CommandHandler commandHandler(PF_Cmd cmd);

PF_Err dispatchCommand(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                       PF_LayerDef* output, void* extra) noexcept;

} // namespace glfx
