// Global set-up turns the library into its effect: version and flags for the host, registration,
// the GlobalState, the per-user folder, and the effect code parsed into loadedEffect().
#pragma once

#include "AE_Effect.h"


namespace glfx {

// PF_Cmd_GLOBAL_SETUP. The result is that of creating the GlobalState (0, 512 when the host
// refuses or cannot lock its handle, or the registration's error); the effect is loaded whatever
// that result. Throws 516 without the basic suite or the handle suite; an exception from loading
// the code reaches the entry as 512.
PF_Err globalSetup(PF_InData* in_data, PF_OutData* out_data);

// PF_Cmd_GLOBAL_SETDOWN: gives the GlobalState back. Throws 516 without the handle suite when
// there is global data to dispose of.
PF_Err globalSetdown(PF_InData* in_data);



} // namespace glfx
