// The record the host keeps as the effect's global data, and the process-wide data that global
// set-up builds. Both are written only during global set-up; every other command reads them.
#pragma once

#include "AE_GeneralPlug.h"
#include "effect/EffectDescription.h"

#include <cstdint>
#include <string>
#include <type_traits>

namespace glfx {

struct GlobalState {
    uint8_t initialized;    // true once the record is filled
    AEGP_PluginID pluginId; // from AEGP_RegisterWithAEGP; unset under Premiere Pro
};
static_assert(std::is_trivially_copyable<GlobalState>::value, "lives in host memory");

// One per loaded library, alive until it is unloaded. The description is parsed again over its
// previous contents by every global set-up.
struct LoadedEffect {
    EffectDescription description;
    std::string folder; // the per-user folder, ending in '/'; empty when there is none
    std::string name;   // the name slot up to its first byte below 32 as a signed byte
};

LoadedEffect& loadedEffect();

} // namespace glfx
