// Pieces of the frame tests that the Linux GPU tests and the Windows frame scenarios share: the
// built-in effect's parameters, a test picture, parameter values, a set-up host, and a two-pass
// effect with routing, an earlier layer frame, a group switch and a define popup.
#pragma once

#include "shell_test_support.h"

#include <string>
#include <vector>

namespace glfx::testing {

// The built-in effect's parameter indices.
constexpr PF_ParamIndex kTopLeft = 1, kTopRight = 2, kBottomRight = 3, kBottomLeft = 4,
                        kOutside = 5, kFeather = 6;

// Red and green ramps (red shifted by `shift`, wrapping), a blue checkerboard of 8-pixel cells
// and a varying alpha: a sample taken anywhere else shows.
std::vector<float> testPicture(int width, int height, float shift = 0.0f);

PF_ParamDefUnion point(double x, double y);
PF_ParamDefUnion slider(double value);
PF_ParamDefUnion choice(A_long oneBased);

// One host and one instance of `library`, set up; a failed command is reported through
// GoogleTest.
struct Session {
    Session(const std::string& library, hostsim::HostApp app);
    PF_Err render(const hostsim::Clip& input, hostsim::Image& out, hostsim::RenderPath path,
                  A_long time = 0, int32_t padding = 12);
    CheckedHost host;
    hostsim::Instance* instance = nullptr;
};

// An effect text: [settings] from sections[0], [parN] from sections[N], then `rest` as written.
// The lines of a section are separated by ';'.
std::string effectText(const std::vector<std::string>& sections, const std::string& rest = {});

// "Frames_fx": 1 an earlier layer (time -1), 2 a group switch Mix|Difference, 3 Amount (group 1,
// 0.5), 4 Invert (group 2), 5 a define popup All|Red only. Pass 0 drops green and blue for "Red
// only"; pass 1 mixes it with the layer, sampled at a scaled position so that interpolation shows
// in a picture, or takes their difference.
extern const std::string kFramesEffect;

} // namespace glfx::testing
