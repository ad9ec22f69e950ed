#include "image_match.h"

#include <cmath>
#include <fstream>

namespace glfx::test {

namespace {

void writePfm(const std::string& path, const float* pixels, int width, int height) {
    // PFM keeps three channels; alpha is left out.
    std::ofstream file(path, std::ios::binary);
    file << "PF\n" << width << ' ' << height << "\n-1.0\n";
    for (int i = 0; i < width * height; ++i)
        file.write(reinterpret_cast<const char*>(pixels + i * 4), 3 * sizeof(float));
}

} // namespace

::testing::AssertionResult imagesMatch(const float* actual, const std::vector<float>& expected,
                                       int width, int height, Tolerance tolerance,
                                       const std::string& name) {
    const size_t count = static_cast<size_t>(width) * height;
    if (expected.size() != count * 4)
        return ::testing::AssertionFailure() << "expected image has the wrong size";
    size_t misses = 0, worst = 0;
    float worstError = -1.0f;
    std::vector<float> difference(count * 4);
    for (size_t p = 0; p < count; ++p) {
        bool miss = false;
        for (size_t i = p * 4; i < p * 4 + 4; ++i) {
            difference[i] = std::fabs(actual[i] - expected[i]);
            miss = miss || !(difference[i] <= tolerance.perPixel); // NaN misses
            const float error = std::isnan(difference[i]) ? INFINITY : difference[i];
            if (error > worstError) {
                worstError = error;
                worst = i;
            }
        }
        misses += miss ? 1 : 0;
    }
    const double fraction = static_cast<double>(misses) / static_cast<double>(count);
    if (fraction <= tolerance.allowedFraction && worstError <= tolerance.hardMax)
        return ::testing::AssertionSuccess();

    const std::string base = ::testing::TempDir() + name;
    writePfm(base + "_actual.pfm", actual, width, height);
    writePfm(base + "_expected.pfm", expected.data(), width, height);
    writePfm(base + "_difference.pfm", difference.data(), width, height);
    const size_t pixel = worst / 4;
    return ::testing::AssertionFailure()
           << name << ": " << misses << " of " << count << " pixels off by more than "
           << tolerance.perPixel << " (allowed fraction " << tolerance.allowedFraction
           << "); worst at (" << pixel % width << ", " << pixel / width << ") channel " << worst % 4
           << ": expected " << expected[worst] << ", got " << actual[worst] << " (hard maximum "
           << tolerance.hardMax << "). Images: " << base << "_*.pfm";
}

} // namespace glfx::test
