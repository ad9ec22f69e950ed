// `glfx check`: the linter's findings plus every pass compiled and linked on the offscreen GL
// context, each message mapped back to the line of the effect file it concerns.
#pragma once

#include "EffectLint.h"

#include "effect/EffectDescription.h"

#include <string>
#include <vector>

namespace glfx::cli {

class FrameWatchdog;

// A first draw slower than this gets a warning: a host waits as long before its first frame.
constexpr double kSlowFirstDrawSeconds = 5.0;

// Builds every pass with the defines at their default choices, then once more for each other
// choice of each define popup (a text define can break one choice only); a message that only a
// particular choice produces says which. Vertex messages are reported once, without a pass; a
// link message only for a pass whose stages compiled.
//
// Many drivers compile a shader only at its first draw, so each pass that built is then drawn
// once at 1 x 1 pixel: a draw that fails is an error, one slower than kSlowFirstDrawSeconds a
// warning. `watchdog` (may be null) times each such draw, its frame number being the pass.
//
// Returns false, with `contextError` saying why, when no GL context can be made: nothing is
// compiled then. Needs no current context and leaves none current.
bool compileEffect(const EffectDescription& description, const SourceMap& map,
                   std::vector<Diagnostic>& out, std::string& contextError,
                   FrameWatchdog* watchdog = nullptr);

} // namespace glfx::cli
