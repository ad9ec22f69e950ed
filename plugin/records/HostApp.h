// Which application delivers the commands.
#pragma once

#include "AE_Effect.h"

namespace glfx {

// 'PrMr': Premiere Pro. Anything else is treated as After Effects.
constexpr A_long kPremiereApplId = 0x50724D72;

inline bool isPremiere(const PF_InData* in_data) {
    return in_data != nullptr && in_data->appl_id == kPremiereApplId;
}

} // namespace glfx
