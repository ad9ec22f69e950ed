// What the parts of the emulated host share and no user of it needs.
#pragma once

#include "AE_EffectCB.h"
#include "AE_EffectSuites.h"
#include "SPBasic.h"

namespace glfx::hostsim {

class Host;

namespace detail {

// The Host running the current command on this thread; aborts when there is none.
Host& activeHost();

// The basic suite's functions, the handle callbacks and the C library.
void fillCallbacks(SPBasicSuite& basic, PF_UtilCallbacks& utils);
PF_PreRenderCallbacks preRenderCallbacks();
PF_SmartRenderCallbacks smartRenderCallbacks();

} // namespace detail
} // namespace glfx::hostsim
