// The parameters of one frame checked out from the host at that frame's time, and checked back
// in, in index order, by checkIn or, on any other way out, by the destructor.
#pragma once

#include "AE_Effect.h"
#include "effect/EffectDescription.h"

#include <vector>

namespace glfx {

// The time a "layer" parameter is taken at, for a frame at `time`: its offset (the first default
// component, whole frames toward zero) in time steps later, in 32-bit arithmetic that wraps.
A_long layerTime(const ParamSpec& spec, A_long time, A_long timeStep);

class ParamCheckouts {
public:
    explicit ParamCheckouts(PF_InData* in_data) : in_(in_data) {}
    ~ParamCheckouts() { checkIn(); }
    ParamCheckouts(const ParamCheckouts&) = delete;
    ParamCheckouts& operator=(const ParamCheckouts&) = delete;

    // Parameters first ... N-1 at `time` (layers at their offsets from it); `first` 0 takes the
    // input layer too. A failed checkout checks in the earlier ones and returns its error.
    PF_Err checkOut(const EffectDescription& description, A_long time, int32_t first = 1);

    // Indexed by parameter; entries not checked out are null.
    PF_ParamDef* const* list() const { return list_.data(); }

    // The first check-in error, or 0.
    PF_Err checkIn();

private:
    PF_InData* in_;
    std::vector<PF_ParamDef> defs_;
    std::vector<PF_ParamDef*> list_;
};

} // namespace glfx
