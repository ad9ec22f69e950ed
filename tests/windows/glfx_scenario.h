// What glfx.exe must do as the Linux glfx does: describe a gallery effect, and render it over the
// gallery's test card at 8 bits with the gallery's arguments. The Linux build's
// windows_reference_frames test runs the Linux glfx and writes its output into the reference
// folder; the Windows runner runs glfx.exe and compares. Paths are relative to the source folder,
// where both run.
#pragma once

#include <string>
#include <vector>

namespace glfx::testing::glfx_scenario {

inline const char kEffect[] = "effects/blur.glfx";
inline const char kInput[] = "tests/data/golden/test_card.png";

// In the reference folder.
inline const char kInfoFile[] = "glfx_info.txt";
inline const char kRenderFile[] = "glfx_render.png";

// After "render EFFECT" or "render --plugin LIBRARY"; the gallery line of blur.
inline std::vector<std::string> renderArguments(const std::string& output) {
    return {"-i", kInput, "-o", output, "--depth", "8", "-p", "radius=4"};
}

} // namespace glfx::testing::glfx_scenario
