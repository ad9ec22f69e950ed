// An instance's render state: its GlRenderer (with the private GL context) and its DefineMap,
// created by the first render command and dropped by flatten and set-down.
#pragma once

#include "effect/EffectDescription.h"
#include "records/SequenceState.h"

#include <string>

namespace glfx {

// Creates the renderer, points it at `description` (the process-wide description), creates its
// context (success is read later with renderer->context.isValid()), resets the recorded staging
// sizes and fills a new DefineMap from the current parameter values. Does nothing when the record
// already holds a renderer. Throws std::bad_alloc only.
void createRenderState(SequenceState& state, const EffectDescription& description);

// Brings every define up to date with the current parameter values and returns the preamble for
// GlRenderer::buildPrograms. Creates the DefineMap if the record has none.
std::string refreshDefines(SequenceState& state, const EffectDescription& description);

} // namespace glfx
