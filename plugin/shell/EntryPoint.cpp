// The library's one exported function. Only the plug-in library compiles this file; everything
// behind it lives in glfx_core so that tests can drive the same dispatch in-process.
#include "AE_Effect.h"
#include "entry.h"
#include "shell/Dispatch.h"

extern "C" DllExport PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                           PF_ParamDef* params[], PF_LayerDef* output,
                                           void* extra) {
    return glfx::dispatchCommand(cmd, in_data, out_data, params, output, extra);
}
