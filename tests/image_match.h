// Image comparison with stated tolerances, for the GPU tests and the Windows runner's frames.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glfx::test {

struct Tolerance {
    float perPixel;         // a component further off than this counts as a miss
    double allowedFraction; // of all pixels that may miss
    float hardMax;          // no component may be further off than this
};

// Compares two RGBA float images. On failure names the worst pixel with both values and writes
// the actual, expected and difference images as PFM files under the test's temporary folder.
::testing::AssertionResult imagesMatch(const float* actual, const std::vector<float>& expected,
                                       int width, int height, Tolerance tolerance,
                                       const std::string& name);

} // namespace glfx::test
