// The frames the Windows plug-in must render as the Linux one does: the built-in effect at 8, 16
// and 32 bits and under Premiere Pro, a two-pass effect before and after a define popup rebuilds
// it, and two instances of one effect rendering in turn. The Linux build renders them and writes
// them as reference files; the Windows runner renders the same under Wine and compares.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glfx::testing {

struct ReferenceFrame {
    std::string name; // file name stem
    int width = 0;
    int height = 0;
    int depth = 8;           // of the host's worlds; the tolerance depends on it
    std::vector<float> rgba; // red, green, blue, alpha per pixel, rows packed, top first
};

// Renders every frame through the built libraries with the emulated host (which checks every
// command). A failing command is reported through GoogleTest and its frame left out.
std::vector<ReferenceFrame> renderReferenceFrames();

// "<folder>/<name>.rgba": a text line "glfx-rgba <width> <height> <depth>", then the floats.
bool writeFrame(const std::string& folder, const ReferenceFrame& frame);
// False, with the reason in `error`, when the file is missing or damaged.
bool readFrame(const std::string& folder, const std::string& name, ReferenceFrame* frame,
               std::string* error);

// The golden tests' tolerance for the built-in effect at the frame's depth: two levels plus 0.004
// per component, 3 % of pixels may miss (pixel centres on an edge fall either way), none by more
// than 1. On failure names the worst pixel with both values.
::testing::AssertionResult framesMatch(const ReferenceFrame& actual,
                                       const ReferenceFrame& expected);

} // namespace glfx::testing
