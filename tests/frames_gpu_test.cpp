// Frames end to end: built libraries loaded by the emulated host, which sends the real render
// commands through EntryPointFunc and compares the images that come back. Every host here is a
// CheckedHost: suites, handles and checkouts must balance, and the output's row padding must stay
// untouched.
#include "frame_test_support.h"
#include "gl_test_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace glfx;
using namespace glfx::hostsim;
using namespace glfx::testing;
using ::testing::HasSubstr;

namespace {

const char* appName(HostApp app) {
    return app == HostApp::PremierePro ? "Premiere Pro" : "After Effects";
}
// Each host's channel order at 8 bits.
ChannelOrder orderOf(HostApp app) {
    return app == HostApp::PremierePro ? ChannelOrder::Bgra : ChannelOrder::Argb;
}
const char* pathName(RenderPath path) {
    return path == RenderPath::Smart ? "smart" : "classic";
}

class FramesGpu : public test::GpuTest {};

// ---- The built-in effect ---------------------------------------------------------------------

struct FrameCase {
    HostApp app;
    int depth;
    RenderPath path;
};

const FrameCase kFrameCases[] = {
    {HostApp::AfterEffects, 8, RenderPath::Smart},
    {HostApp::AfterEffects, 8, RenderPath::Classic},
    {HostApp::AfterEffects, 16, RenderPath::Smart},
    {HostApp::AfterEffects, 16, RenderPath::Classic},
    {HostApp::AfterEffects, 32, RenderPath::Smart},
    {HostApp::AfterEffects, 32, RenderPath::Classic},
    {HostApp::PremierePro, 8, RenderPath::Smart},
    {HostApp::PremierePro, 8, RenderPath::Classic},
};

std::string caseName(const FrameCase& c) {
    return std::string(appName(c.app)) + ", " + std::to_string(c.depth) + " bits, " +
           pathName(c.path);
}

TEST_F(FramesGpu, BuiltInEffectWithDefaultCornersIsTheIdentity) {
    const int w = 40, h = 30;
    const std::vector<float> picture = testPicture(w, h);
    for (const FrameCase& c : kFrameCases) {
        SCOPED_TRACE(caseName(c));
        Session s(shippedLibrary(), c.app);
        const Image input = Image::fromRgba(picture.data(), w, h, c.depth, orderOf(c.app), 8);
        Image out;
        ASSERT_EQ(s.render(Clip(input), out, c.path), PF_Err_NONE) << s.host.returnMessage();
        EXPECT_EQ(s.host.returnMessage(), "");
        ASSERT_EQ(out.width, w);
        ASSERT_EQ(out.height, h);
        EXPECT_TRUE(out.paddingIs(Host::kPaddingFill));
        // Exact at every depth: pixel centres map onto texel centres and full coverage is 1.
        EXPECT_TRUE(test::imagesMatch(out.toRgba().data(), input.toRgba(), w, h, {0.0f, 0.0, 0.0f},
                                      "identity"));
    }
}

// The corner pin is projective: on a trapezoid narrow at the top, the layer's centre lands where
// the diagonals cross, at a quarter of the height (an affine map would put it halfway), and beyond
// the quad the frame is transparent, or with "repeat" the layer tiles.
TEST_F(FramesGpu, BuiltInEffectMapsTheLayerProjectivelyOntoTheQuad) {
    const int w = 64, h = 48;
    const std::vector<float> picture = testPicture(w, h); // red and green ramps along u and v
    for (const FrameCase& c : kFrameCases)
        for (bool repeat : {false, true}) {
            SCOPED_TRACE(caseName(c) + (repeat ? ", repeat" : ", transparent"));
            Session s(shippedLibrary(), c.app);
            s.instance->values[kTopLeft] = point(22, 4);
            s.instance->values[kTopRight] = point(42, 4);
            s.instance->values[kBottomRight] = point(62, 44);
            s.instance->values[kBottomLeft] = point(2, 44);
            s.instance->values[kOutside] = choice(repeat ? 2 : 1);
            s.instance->values[kFeather] = slider(0.0);
            Image out;
            ASSERT_EQ(s.render(Clip(Image::fromRgba(picture.data(), w, h, c.depth, orderOf(c.app))),
                               out, c.path),
                      PF_Err_NONE);
            EXPECT_NEAR(out.channel(31, 13, 0), 0.5f, 0.05f) << "u at the diagonals' crossing";
            EXPECT_NEAR(out.channel(31, 13, 1), 0.5f, 0.05f) << "v at the diagonals' crossing";
            EXPECT_EQ(out.channel(1, 1, 3) > 0.5f, repeat) << "beyond the quad";
        }
}

TEST_F(FramesGpu, FeatherRampsTheEdgeOverItsWidthInFullResolutionPixels) {
    const int w = 64, h = 16;
    const std::vector<float> white = test::solidImage(w, h, {1, 1, 1, 1});
    for (const double downsample : {1.0, 0.5}) {
        SCOPED_TRACE(downsample);
        Session s(shippedLibrary(), HostApp::AfterEffects);
        s.host.downsampleX = s.host.downsampleY = {1, A_u_long(std::lround(1 / downsample))};
        // The quad's left edge at full-resolution x = 40, i.e. 40 * downsample here.
        s.instance->values[kTopLeft] = point(40, -100);
        s.instance->values[kBottomLeft] = point(40, 400);
        s.instance->values[kTopRight] = point(400, -100);
        s.instance->values[kBottomRight] = point(400, 400);
        s.instance->values[kFeather] = slider(16.0);
        Image out;
        ASSERT_EQ(s.render(Clip(Image::fromRgba(white.data(), w, h, 32)), out, RenderPath::Smart),
                  PF_Err_NONE);
        const double edge = 40 * downsample, ramp = 16 * downsample;
        for (int x = 0; x < w; ++x) {
            const double expected = std::clamp((x + 0.5 - edge) / ramp + 0.5, 0.0, 1.0);
            EXPECT_NEAR(out.channel(x, h / 2, 3), expected, 0.02) << "x " << x;
        }
    }
}

// ---- Exactness -------------------------------------------------------------------------------

const char* const kPassThrough = R"([settings]
name=Pass_fx
[ps0]
uniform sampler2D in0;
uniform vec2 resolution;
void main(void) { gl_FragColor = texture2D(in0, gl_FragCoord.xy / resolution); }
)";

// What goes up comes back byte for byte: every 8-bit value in every channel, 16- and 32-bit values
// over their whole range.
TEST_F(FramesGpu, ValuesRoundTripExactly) {
    const std::string library = packedLibrary(kPassThrough, "Pass_fx");
    for (const FrameCase& c : kFrameCases) {
        SCOPED_TRACE(caseName(c));
        Session s(library, c.app);
        Image input = Image::make(32, 32, c.depth, orderOf(c.app), 4);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32 * 4; ++x) {
                const int i = y * 128 + x, pixel = i / 4, channel = i % 4; // i: 0 ... 4095
                if (c.depth == 8) {
                    input.row(y)[x] = uint8_t(pixel * (2 * channel + 1) + 37 * channel);
                } else if (c.depth == 16) {
                    const auto v = uint16_t((i * 8) % 32769);
                    std::memcpy(input.row(y) + x * 2, &v, 2);
                } else {
                    const float v = float(i) / 4095.0f;
                    std::memcpy(input.row(y) + x * 4, &v, 4);
                }
            }
        Image out;
        ASSERT_EQ(s.render(Clip(input), out, c.path), PF_Err_NONE);
        for (int y = 0; y < 32; ++y)
            EXPECT_EQ(0, std::memcmp(out.row(y), input.row(y), size_t(32 * input.pixelBytes())))
                << "row " << y;
    }
}

// What a shader writes reaches 8 and 16 bits rounded to the nearest level and clamped, in both
// hosts and on the fast (host channel order) path, where GL itself converts 8-bit results.
TEST_F(FramesGpu, ShaderConstantsRoundToTheNearestLevel) {
    const struct {
        float value;
        A_u_short at8, at16;
    } rows[] = {{0.5f, 128, 16384}, {0.25f, 64, 8192},    {0.999f, 255, 32735}, {0.0019f, 0, 62},
                {0.002f, 1, 66},    {0.3333f, 85, 10922}, {1.5f, 255, 32768},   {-0.2f, 0, 0}};
    for (const bool fast : {false, true}) {
        const std::string library = packedLibrary(
            effectText(
                {std::string("name=Level_fx;fast=") + (fast ? "1" : "0"),
                 "type=float;name=Value;param=value;min=-1;max=2"},
                "[ps0]\nuniform float value;\nvoid main(void) { gl_FragColor = vec4(value); }\n"),
            fast ? "Level_fast" : "Level_fx");
        for (const auto& [app, depth] :
             {std::pair{HostApp::AfterEffects, 8}, std::pair{HostApp::AfterEffects, 16},
              std::pair{HostApp::PremierePro, 8}}) {
            Session s(library, app);
            const Image input = Image::make(2, 1, depth);
            for (const auto& row : rows) {
                SCOPED_TRACE(std::string(appName(app)) + " " + std::to_string(depth) +
                             (fast ? " fast, " : ", ") + std::to_string(row.value));
                s.instance->values[1] = slider(row.value);
                Image out;
                ASSERT_EQ(s.render(Clip(input), out, RenderPath::Smart), PF_Err_NONE);
                const float levels = depth == 8 ? 255.0f : 32768.0f;
                for (int c = 0; c < 4; ++c)
                    EXPECT_EQ(std::lround(out.channel(1, 0, c) * levels),
                              depth == 8 ? row.at8 : row.at16)
                        << c;
            }
        }
    }
}

// ---- Routing, extra layers at their times, group switch, define popup -----------------------

TEST_F(FramesGpu, PassesFollowTheRoutingWithAnEarlierFrameAndADefineRebuild) {
    const std::string library = packedLibrary(kFramesEffect, "Frames_fx");
    const int w = 8, h = 6;
    const std::array<float, 4> at[3] = {
        {0.2f, 0.4f, 0.6f, 1}, {0.8f, 0.2f, 0.4f, 1}, {0.4f, 0.6f, 0.2f, 1}};
    for (RenderPath path : {RenderPath::Smart, RenderPath::Classic}) {
        SCOPED_TRACE(pathName(path));
        Session s(library, HostApp::AfterEffects);
        s.host.timeStep = 100;
        Clip clip;
        for (int t = 0; t < 3; ++t)
            clip.add(A_long(t * 100),
                     Image::fromRgba(test::solidImage(w, h, at[t]).data(), w, h, 32));
        const auto expectEverywhere = [&](const Image& out, std::array<float, 4> c) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int k = 0; k < 4; ++k)
                        ASSERT_NEAR(out.channel(x, y, k), c[size_t(k)], 1e-5f)
                            << "(" << x << ", " << y << ") channel " << k;
        };

        // Frame 2 mixes itself half and half with frame 1, taken one step earlier.
        Image out;
        ASSERT_EQ(s.render(clip, out, path, 200), PF_Err_NONE) << s.host.returnMessage();
        expectEverywhere(out, {0.6f, 0.4f, 0.3f, 1});
        bool earlierFrame = false;
        for (const auto& c : s.host.checkoutLog())
            earlierFrame = earlierFrame || (c.index == 1 && c.time == 100);
        EXPECT_TRUE(earlierFrame) << "the layer parameter was not checked out at 100";
        if (path == RenderPath::Smart) {
            ASSERT_FALSE(s.host.layerCheckoutLog().empty());
            EXPECT_EQ(s.host.layerCheckoutLog().back().index, 1);
            EXPECT_EQ(s.host.layerCheckoutLog().back().time, 100);
        }

        // The define popup rebuilds pass 0 with green and blue dropped.
        ASSERT_EQ(s.host.changeParam(*s.instance, 5, choice(2)), PF_Err_NONE);
        ASSERT_EQ(s.render(clip, out, path, 200), PF_Err_NONE);
        expectEverywhere(out, {0.6f, 0.1f, 0.2f, 1});

        // The switch's second choice shows group 2, hides group 1, and pass 1 takes the difference.
        ASSERT_EQ(s.host.changeParam(*s.instance, 2, choice(2)), PF_Err_NONE);
        EXPECT_FALSE(s.instance->param(3).visible());
        EXPECT_TRUE(s.instance->param(4).visible());
        ASSERT_EQ(s.render(clip, out, path, 200), PF_Err_NONE);
        expectEverywhere(out, {0.4f, 0.2f, 0.4f, 1});

        // Another clip on the layer parameter, at its own time.
        Clip other;
        other.add(0,
                  Image::fromRgba(test::solidImage(w, h, {0.1f, 0.1f, 0.1f, 1}).data(), w, h, 32));
        other.add(150,
                  Image::fromRgba(test::solidImage(w, h, {0.5f, 0.5f, 0.5f, 1}).data(), w, h, 32));
        s.instance->layers[1] = other;
        ASSERT_EQ(s.render(clip, out, path, 200), PF_Err_NONE);
        expectEverywhere(out, {0.3f, 0.1f, 0.1f, 1}); // |(0.4, 0, 0) - 0.1|: 100 is before 150
        ASSERT_EQ(s.render(clip, out, path, 300), PF_Err_NONE);
        expectEverywhere(out, {0.1f, 0.5f, 0.5f, 1}); // frame 2 again, layer at 200
    }
}

// ---- The fast effect: raw transfers in the host's own channel order -------------------------

const char* const kFastEffect = R"([settings]
name=Fast_fx
fast=1
[ps0]
uniform sampler2D in0;
uniform vec2 resolution;
// In the host's order (alpha, red, green, blue in r, g, b, a): swap red and blue.
void main(void)
{
    vec4 c = texture2D(in0, gl_FragCoord.xy / resolution);
    gl_FragColor = vec4(c.r, c.a, c.b, c.g);
}
)";

TEST_F(FramesGpu, FastEffectsSeeTheHostsChannelOrderAtEveryDepth) {
    const std::string library = packedLibrary(kFastEffect, "Fast_fx");
    const int w = 9, h = 5;
    const std::vector<float> picture = testPicture(w, h);
    for (const FrameCase& c : kFrameCases) {
        if (c.path == RenderPath::Classic && c.depth != 8) continue;
        SCOPED_TRACE(caseName(c));
        Session s(library, c.app);
        const Image input = Image::fromRgba(picture.data(), w, h, c.depth, orderOf(c.app));
        Image out;
        ASSERT_EQ(s.render(Clip(input), out, c.path), PF_Err_NONE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 4; ++k) // red and blue swapped
                    EXPECT_EQ(out.channel(x, y, k), input.channel(x, y, k % 2 == 0 ? 2 - k : k))
                        << x << "," << y << " channel " << k;
    }
}

// ---- Frames the GPU cannot draw --------------------------------------------------------------

const std::string kBrokenEffect =
    effectText({"name=Broken_fx", "type=popup;name=Variant;param=VARIANT;popup=A|B;flags=1"},
               "[ps0]\nvoid main(void) { gl_FragColor = undeclaredColour; }\n");

TEST_F(FramesGpu, AFrameThatCannotBeDrawnShowsTheInputAndSaysWhyOncePerBuild) {
    const std::string library = packedLibrary(kBrokenEffect, "Broken_fx");
    for (RenderPath path : {RenderPath::Smart, RenderPath::Classic}) {
        SCOPED_TRACE(pathName(path));
        Session s(library, HostApp::AfterEffects);
        const std::vector<float> picture = testPicture(12, 7);
        const Image input = Image::fromRgba(picture.data(), 12, 7, 16, ChannelOrder::Argb, 16);
        Image out;
        ASSERT_EQ(s.render(Clip(input), out, path), PF_Err_NONE);
        for (int y = 0; y < 7; ++y)
            EXPECT_EQ(0, std::memcmp(out.row(y), input.row(y), 12 * 8)) << "row " << y;
        EXPECT_THAT(s.host.returnMessage(), HasSubstr("pass 0 fragment shader failed"));
        EXPECT_THAT(s.host.returnMessage(), HasSubstr("undeclaredColour"));
        EXPECT_TRUE(s.host.lastOutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);

        ASSERT_EQ(s.render(Clip(input), out, path), PF_Err_NONE);
        EXPECT_EQ(s.host.returnMessage(), "") << "the same failure is told once";

        // A define change rebuilds; the new build's first failed frame tells again.
        ASSERT_EQ(s.host.changeParam(*s.instance, 1, choice(2)), PF_Err_NONE);
        ASSERT_EQ(s.render(Clip(input), out, path), PF_Err_NONE);
        EXPECT_THAT(s.host.returnMessage(), HasSubstr("undeclaredColour"));
    }
}

// ---- A render after flatten keeps its defines -----------------------------------------------

TEST_F(FramesGpu, ARenderAfterFlattenBuildsWithTheCurrentDefines) {
    const std::string library = packedLibrary(kFramesEffect, "Frames_fx");
    const int w = 4, h = 4;
    Session s(library, HostApp::AfterEffects);
    s.instance->values[5] = choice(2); // red only
    s.instance->values[3] = slider(0.0);
    const Image input =
        Image::fromRgba(test::solidImage(w, h, {0.2f, 0.4f, 0.6f, 1}).data(), w, h, 32);
    Image out;
    ASSERT_EQ(s.render(Clip(input), out, RenderPath::Smart), PF_Err_NONE);
    EXPECT_NEAR(out.channel(1, 1, 1), 0.0f, 1e-6f);
    // Flatten drops the renderer; the next render makes a new one without a change having
    // asked for a rebuild, and must still compile "CHANNELS" in.
    ASSERT_EQ(s.host.sequenceFlatten(*s.instance), PF_Err_NONE);
    ASSERT_EQ(s.render(Clip(input), out, RenderPath::Smart), PF_Err_NONE);
    EXPECT_EQ(s.host.returnMessage(), "");
    EXPECT_NEAR(out.channel(1, 1, 0), 0.2f, 1e-6f);
    EXPECT_NEAR(out.channel(1, 1, 1), 0.0f, 1e-6f);
}

} // namespace
