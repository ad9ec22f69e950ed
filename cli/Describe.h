// The effect description as a person reads it, and as JSON for tools.
#pragma once

#include "effect/EffectDescription.h"

#include <ostream>
#include <string>

namespace glfx::cli {

// Where a description came from.
struct EffectOrigin {
    std::string path;
    // "effect file", "library (enciphered code)", "library (plain code)" or
    // "template library (code from <file>)".
    std::string form;
    bool library = false;
    // A library's property resource, as the host reads it before loading it.
    std::string libraryName;
    std::string libraryCategory;
    std::string libraryMatchName;
};

// Settings, a parameter table and the pass graph with its routing.
void describe(std::ostream& out, const EffectDescription& d, const EffectOrigin& origin);

// One JSON object; numbers that JSON cannot hold (infinities, NaN) are written as null.
void describeJson(std::ostream& out, const EffectDescription& d, const EffectOrigin& origin);

// The routing source as effect texts write it: "layer0", "ps1".
std::string sourceName(int32_t source);

} // namespace glfx::cli
