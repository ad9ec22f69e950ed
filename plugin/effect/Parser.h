// The effect description parser: one forward pass over the effect code, line by line.
#pragma once

#include "effect/EffectDescription.h"

#include <string>

namespace glfx {

// Fills `description` from `code` on top of what it holds (only the effect-wide values and entry 0
// are reset). Whatever does not fit the format is skipped without a report, except a routing key
// with fewer than two characters after its "_": that throws std::out_of_range naming the line, and
// the rest of the text is not read. Any byte string is accepted; nothing outside the fixed tables
// is written.
void parseDescription(EffectDescription& description, const std::string& code);

// The vertex text a description gets when its code has no [vs] section.
const char* defaultVertexShader();

} // namespace glfx
