#include "frame_scenarios.h"

#include "frame_test_support.h"
#include "image_match.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace glfx::testing {
namespace {

using hostsim::ChannelOrder;
using hostsim::Clip;
using hostsim::HostApp;
using hostsim::Image;
using hostsim::Instance;
using hostsim::RenderPath;

constexpr int kWidth = 64, kHeight = 48;

using Quad = double[4][2];

// A convex perspective quad partly outside the frame, so filtering, clipping and the feather all
// take part.
constexpr Quad kPerspective = {{6, 4}, {60, 10}, {52, 44}, {-8, 40}};
constexpr Quad kAffine = {{20, 2}, {62, 12}, {44, 46}, {2, 36}};

void setCorners(Instance& instance, const Quad& quad, bool repeat, double feather) {
    instance.values[kTopLeft] = point(quad[0][0], quad[0][1]);
    instance.values[kTopRight] = point(quad[1][0], quad[1][1]);
    instance.values[kBottomRight] = point(quad[2][0], quad[2][1]);
    instance.values[kBottomLeft] = point(quad[3][0], quad[3][1]);
    instance.values[kOutside] = choice(repeat ? 2 : 1);
    instance.values[kFeather] = slider(feather);
}

bool render(hostsim::Host& host, Instance& instance, const Clip& input, A_long time,
            RenderPath path, int depth, const std::string& name,
            std::vector<ReferenceFrame>& frames) {
    Image out;
    const PF_Err result = host.render(instance, input, time, out, {path, 8});
    EXPECT_EQ(result, PF_Err_NONE) << name << ": " << host.returnMessage();
    EXPECT_EQ(host.returnMessage(), "") << name;
    if (result != PF_Err_NONE) return false;
    frames.push_back({name, out.width, out.height, depth, out.toRgba()});
    return true;
}

void builtInEffect(std::vector<ReferenceFrame>& frames) {
    const std::vector<float> picture = testPicture(kWidth, kHeight);
    struct Case {
        HostApp app;
        int depth;
        RenderPath path;
        const char* name;
    };
    const Case cases[] = {{HostApp::AfterEffects, 8, RenderPath::Smart, "builtin_8"},
                          {HostApp::AfterEffects, 16, RenderPath::Smart, "builtin_16"},
                          {HostApp::AfterEffects, 32, RenderPath::Classic, "builtin_32"},
                          {HostApp::PremierePro, 8, RenderPath::Classic, "builtin_premiere"}};
    for (const Case& c : cases) {
        Session s(shippedLibrary(), c.app);
        setCorners(*s.instance, kPerspective, false, 1.5);
        const ChannelOrder order =
            c.app == HostApp::PremierePro ? ChannelOrder::Bgra : ChannelOrder::Argb;
        render(s.host, *s.instance,
               Clip(Image::fromRgba(picture.data(), kWidth, kHeight, c.depth, order)), 0, c.path,
               c.depth, c.name, frames);
    }
}

void twoPassWithDefineRebuild(std::vector<ReferenceFrame>& frames) {
    Session s(packedLibrary(kFramesEffect, "Frames_fx"), HostApp::AfterEffects);
    s.host.timeStep = 10;
    Clip clip;
    for (int t = 0; t < 3; ++t) {
        const std::vector<float> picture = testPicture(kWidth, kHeight, 0.3f * float(t));
        clip.add(A_long(t * 10), Image::fromRgba(picture.data(), kWidth, kHeight, 32));
    }
    if (!render(s.host, *s.instance, clip, 20, RenderPath::Smart, 32, "two_pass", frames)) return;
    EXPECT_EQ(s.host.changeParam(*s.instance, 5, choice(2)), PF_Err_NONE); // red only
    render(s.host, *s.instance, clip, 20, RenderPath::Smart, 32, "two_pass_rebuilt", frames);
}

void twoInstances(std::vector<ReferenceFrame>& frames) {
    Session s(shippedLibrary(), HostApp::AfterEffects);
    Instance& second = s.host.addInstance();
    EXPECT_EQ(s.host.sequenceSetup(second), PF_Err_NONE);
    setCorners(*s.instance, kPerspective, true, 0.0);
    setCorners(second, kAffine, false, 3.0);
    const std::vector<float> picture = testPicture(kWidth, kHeight, 0.5f);
    const Clip input(Image::fromRgba(picture.data(), kWidth, kHeight, 16));
    // In turn, each on its own context: the second frame of the first must not see the second's.
    render(s.host, *s.instance, input, 0, RenderPath::Smart, 16, "instance_a", frames);
    render(s.host, second, input, 0, RenderPath::Smart, 16, "instance_b", frames);
    render(s.host, *s.instance, input, 1, RenderPath::Smart, 16, "instance_a_again", frames);
}

} // namespace

std::vector<ReferenceFrame> renderReferenceFrames() {
    std::vector<ReferenceFrame> frames;
    builtInEffect(frames);
    twoPassWithDefineRebuild(frames);
    twoInstances(frames);
    return frames;
}

bool writeFrame(const std::string& folder, const ReferenceFrame& frame) {
    std::ofstream out(folder + "/" + frame.name + ".rgba", std::ios::binary | std::ios::trunc);
    out << "glfx-rgba " << frame.width << ' ' << frame.height << ' ' << frame.depth << '\n';
    out.write(reinterpret_cast<const char*>(frame.rgba.data()),
              std::streamsize(frame.rgba.size() * sizeof(float)));
    return bool(out);
}

bool readFrame(const std::string& folder, const std::string& name, ReferenceFrame* frame,
               std::string* error) {
    const std::string path = folder + "/" + name + ".rgba";
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    if (!(in >> magic >> frame->width >> frame->height >> frame->depth) || magic != "glfx-rgba" ||
        in.get() != '\n' || frame->width <= 0 || frame->height <= 0 || frame->width > 4096 ||
        frame->height > 4096) {
        *error = "cannot read the reference frame " + path +
                 " (the Linux build's windows_reference_frames test writes it)";
        return false;
    }
    frame->name = name;
    frame->rgba.resize(size_t(frame->width) * size_t(frame->height) * 4);
    in.read(reinterpret_cast<char*>(frame->rgba.data()),
            std::streamsize(frame->rgba.size() * sizeof(float)));
    if (!in || in.peek() != std::char_traits<char>::eof()) {
        *error = path + " does not hold " + std::to_string(frame->rgba.size()) + " floats";
        return false;
    }
    return true;
}

::testing::AssertionResult framesMatch(const ReferenceFrame& actual,
                                       const ReferenceFrame& expected) {
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure()
               << actual.name << ": " << actual.width << "x" << actual.height << ", expected "
               << expected.width << "x" << expected.height;
    const float level = expected.depth == 8    ? 1.0f / 255.0f
                        : expected.depth == 16 ? 1.0f / 32768.0f
                                               : 1e-5f;
    return test::imagesMatch(actual.rgba.data(), expected.rgba, expected.width, expected.height,
                             {2.0f * level + 4e-3f, 0.03, 1.0f}, actual.name);
}

} // namespace glfx::testing
