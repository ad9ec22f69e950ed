// What the fuzz targets share: a property that must hold for every input, checked in every build
// type (assert would vanish from a release build, and a silent pass is no finding).
#pragma once

#include <cstdio>
#include <cstdlib>

namespace glfx::fuzz {

// Stops the process with the property's text: libFuzzer then saves the input as a finding.
inline void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "fuzz property violated: %s\n", property);
    std::abort();
}

} // namespace glfx::fuzz
