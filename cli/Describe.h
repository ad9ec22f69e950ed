// The effect description as a person reads it.
#pragma once

#include "effect/EffectDescription.h"

#include <ostream>

namespace glfx::cli {

void describe(std::ostream& out, const EffectDescription& d);

} // namespace glfx::cli
