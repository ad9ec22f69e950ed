// The final source texts of a pass, as the program build compiles them.
#pragma once

#include "effect/EffectDescription.h"

#include <string>

namespace glfx {

// The preamble followed directly by the pass's own text (a version directive in the pass text
// therefore comes after the defines). A pass without text (none in `pixelShaders`, or an empty
// one) gets an empty source, so no fragment stage is built from defines alone.
std::string assembleFragmentSource(const std::string& preamble,
                                   const EffectDescription& description, int32_t pass);

// The description's vertex text unchanged, the same for every pass, without preamble.
std::string assembleVertexSource(const EffectDescription& description);

} // namespace glfx
