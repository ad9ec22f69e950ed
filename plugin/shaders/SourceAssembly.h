// The final source texts of a pass, as the program build compiles them.
#pragma once

#include "effect/EffectDescription.h"

#include <string>

namespace glfx {

// True when the text's first line is a "#version" directive (blanks before it allowed).
bool startsWithVersionLine(const std::string& text);

// The preamble followed directly by the pass's own text; a first line with a "#version" directive
// stays first, ahead of the preamble, so every later line keeps its place. A pass without text
// (none in `pixelShaders`, or an empty one) gets an empty source, so no fragment stage is built
// from defines alone.
std::string assembleFragmentSource(const std::string& preamble,
                                   const EffectDescription& description, int32_t pass);

// The description's vertex text unchanged, the same for every pass, without preamble.
std::string assembleVertexSource(const EffectDescription& description);

} // namespace glfx
