#include "frame_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace glfx::testing {

std::vector<float> testPicture(int width, int height, float shift) {
    std::vector<float> rgba(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
            p[0] = std::fmod((float(x) + 0.5f) / float(width) + shift, 1.0f);
            p[1] = (float(y) + 0.5f) / float(height);
            p[2] = ((x / 8 + y / 8) % 2) != 0 ? 0.9f : 0.1f;
            p[3] = 0.6f + 0.4f * float(x % 5) / 4.0f;
        }
    return rgba;
}

PF_ParamDefUnion point(double x, double y) {
    PF_ParamDefUnion u;
    std::memset(&u, 0, sizeof u);
    u.td.x_value = PF_Fixed(std::lround(x * 65536.0));
    u.td.y_value = PF_Fixed(std::lround(y * 65536.0));
    return u;
}

PF_ParamDefUnion slider(double value) {
    PF_ParamDefUnion u;
    std::memset(&u, 0, sizeof u);
    u.fs_d.value = value;
    return u;
}

PF_ParamDefUnion choice(A_long oneBased) {
    PF_ParamDefUnion u;
    std::memset(&u, 0, sizeof u);
    u.pd.value = oneBased;
    return u;
}

Session::Session(const std::string& library, hostsim::HostApp app) : host(library, app) {
    EXPECT_EQ(host.start(), PF_Err_NONE) << host.returnMessage();
    instance = &host.addInstance();
    EXPECT_EQ(host.sequenceSetup(*instance), PF_Err_NONE);
}

PF_Err Session::render(const hostsim::Clip& input, hostsim::Image& out, hostsim::RenderPath path,
                       A_long time, int32_t padding) {
    return host.render(*instance, input, time, out, {path, padding});
}

std::string effectText(const std::vector<std::string>& sections, const std::string& rest) {
    std::string text;
    for (size_t i = 0; i < sections.size(); ++i)
        text += (i == 0 ? "[settings]\n" : "[par" + std::to_string(i) + "]\n") + sections[i] + "\n";
    std::replace(text.begin(), text.end(), ';', '\n');
    return text + rest;
}

const std::string kFramesEffect = effectText(
    {
        "name=Frames_fx;shaders=2",
        "type=layer;name=Earlier;time=-1",
        "type=popup;name=Show;param=show;popup=Mix|Difference;groupswitch=1",
        "type=float;name=Amount;param=amount;group=1;default=0.5",
        "type=check;name=Invert;param=invert;group=2",
        "type=popup;name=Channels;param=CHANNELS;popup=All|Red only;flags=1",
    },
    R"([routing]
ps1_in0=ps0
ps1_in1=layer1
[ps0]
uniform sampler2D in0;
uniform vec2 resolution;
void main(void)
{
    vec4 c = texture2D(in0, gl_FragCoord.xy / resolution);
#if CHANNELS == 1
    c.gb = vec2(0.0);
#endif
    gl_FragColor = c;
}
[ps1]
uniform sampler2D in0;
uniform sampler2D in1;
uniform vec2 resolution;
uniform int show;
uniform float amount;
void main(void)
{
    vec2 uv = gl_FragCoord.xy / resolution;
    vec4 now = texture2D(in0, uv);
    vec4 earlier = texture2D(in1, uv * 0.75 + vec2(0.1, 0.05));
    gl_FragColor = show == 0 ? mix(now, earlier, amount) : vec4(abs(now.rgb - earlier.rgb), 1.0);
}
)");

} // namespace glfx::testing
