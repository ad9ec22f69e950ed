// An effect description printed as effect text, so that parseDescription reads it back as the
// same description: the inverse of the parser for every description the parser can produce.
#pragma once

#include "effect/EffectDescription.h"

#include <string>
#include <vector>

namespace glfx {

struct WriteOptions {
    // Comment lines written first, each as "; " and the line.
    std::vector<std::string> headerComments;
};

// The [settings] section (only the keys whose values differ from a fresh parse's, except the
// name, which is always written), one [parN] section per entry from 1 to paramCount - 1, the
// routing slots that are not empty, the vertex text when it is not the parser's default, and
// every pass text below passCount.
//
// What the format cannot carry is changed in the least visible way: a shader line that would
// open a section ("[" first) or, in the vertex text, be read as a comment (";" or "/" first) gets
// one blank in front; empty lines and carriage returns disappear, as they do in the parser; a
// line feed in a settings value is written as the two characters "\n" (the about box turns them
// back). Numbers are written with the fewest digits that read back as the same float.
std::string writeEffect(const EffectDescription& description, const WriteOptions& options = {});

// A float in the fewest significant digits (at most 9) that strtod reads back as `value`.
std::string shortestFloat(float value);

} // namespace glfx
