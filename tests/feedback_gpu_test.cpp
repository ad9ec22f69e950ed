// Effects whose passes read their own previous frame, through the real plug-in in the emulated
// host: frame t is the image that drawing frames 0 ... t in order gives, whatever order frames are
// asked for in, after a save and reopen, in another instance and in another process; a change to
// an earlier frame's inputs is noticed; a long catch-up stops when the host aborts, and holds only
// a few frames' inputs at a time.
#include "frame_test_support.h"
#include "gl_test_host.h"

#include "resources/PropertyResource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace glfx;
using namespace glfx::testing;
using hostsim::Clip;
using hostsim::HostApp;
using hostsim::Image;
using hostsim::RenderPath;

namespace {

constexpr int kWidth = 48, kHeight = 32, kFrames = 12;
constexpr PF_ParamIndex kGain = 1;

// Every frame halves what the frames before left and adds its own input times Gain and its frame
// number: any frame drawn out of turn, twice, or from a stale state shows. Kept as floats, so
// nothing is lost to rounding between frames.
const std::string kFeedbackEffect =
    effectText({"name=Feedback_fx;shaders=2;ps0_persistent=1;ps0_float=1;checkpoint_every=4",
                "type=float;name=Gain;param=gain;default=0.25"},
               R"([routing]
ps0_in0=layer0
ps0_in1=prev_ps0
ps1_in0=ps0
[ps0]
uniform sampler2D in0;
uniform sampler2D in1;
uniform float gain;
uniform vec2 resolution;
uniform int glfx_Frame;
void main(void)
{
    vec2 uv = gl_FragCoord.xy / resolution;
    vec4 previous = texture2D(in1, uv);
    gl_FragColor = previous * 0.5 + texture2D(in0, uv) * gain + vec4(float(glfx_Frame) / 64.0);
}
[ps1]
uniform sampler2D in0;
uniform vec2 resolution;
void main(void)
{
    gl_FragColor = vec4(texture2D(in0, gl_FragCoord.xy / resolution).rgb, 1.0);
}
)");

const std::string& feedbackLibrary() {
    static const std::string path = packedLibrary(kFeedbackEffect, "Feedback_fx");
    return path;
}

Clip movingClip(int depth, float extra = 0.0f) {
    Clip clip;
    for (int f = 0; f < kFrames + 30; ++f)
        clip.add(f, Image::fromRgba(testPicture(kWidth, kHeight, 0.07f * float(f) + extra).data(),
                                    kWidth, kHeight, depth));
    return clip;
}

struct Setting {
    HostApp app;
    int depth;
};

const Setting kSettings[] = {{HostApp::AfterEffects, 8},
                             {HostApp::AfterEffects, 16},
                             {HostApp::AfterEffects, 32},
                             {HostApp::PremierePro, 8}};

std::string describe(const Setting& s) {
    return std::string(s.app == HostApp::PremierePro ? "premiere" : "ae") + " " +
           std::to_string(s.depth) + " bits";
}

// One instance of the feedback effect; frames come back as bytes.
struct Playback {
    Playback(HostApp app, int depth) : session(feedbackLibrary(), app), clip(movingClip(depth)) {}
    std::vector<uint8_t> frame(A_long time, hostsim::Instance* instance = nullptr) {
        Image out;
        const PF_Err err = session.host.render(instance != nullptr ? *instance : *session.instance,
                                               clip, time, out, {RenderPath::Smart});
        EXPECT_EQ(err, PF_Err_NONE) << "frame " << time << ": " << session.host.returnMessage();
        return out.bytes;
    }
    // Frames drawn for the last request: the earlier frames it caught up through, and itself.
    int drawnFor(A_long time) {
        const int before = session.host.abortChecks();
        frame(time);
        return session.host.abortChecks() - before + 1;
    }
    Session session;
    Clip clip;
};

std::vector<std::vector<uint8_t>> inOrder(HostApp app, int depth, int count = kFrames) {
    Playback play(app, depth);
    std::vector<std::vector<uint8_t>> frames;
    for (int t = 0; t < count; ++t)
        frames.push_back(play.frame(t));
    return frames;
}

class Feedback : public test::GpuTest {};

TEST_F(Feedback, EveryOrderGivesTheFramesOfTheInOrderRun) {
    std::vector<int> shuffled(kFrames);
    std::iota(shuffled.begin(), shuffled.end(), 0);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(11));
    std::vector<int> reversed(shuffled.size());
    std::iota(reversed.rbegin(), reversed.rend(), 0);
    const std::vector<std::pair<const char*, std::vector<int>>> orders = {
        {"reverse", reversed},
        {"random", shuffled},
        {"scrub", {3, 4, 5, 4, 3, 9, 8, 10, 2, 11, 0, 6, 7, 1}},
    };
    for (const Setting& setting : kSettings) {
        SCOPED_TRACE(describe(setting));
        const auto reference = inOrder(setting.app, setting.depth);
        ASSERT_NE(reference[3], reference[4]) << "the frames must differ to show anything";
        for (const auto& [name, order] : orders) {
            SCOPED_TRACE(name);
            Playback play(setting.app, setting.depth);
            for (int t : order)
                EXPECT_TRUE(play.frame(t) == reference[size_t(t)]) << "frame " << t;
        }

        // A save and reopen between frames, and a second instance beside the first.
        Playback play(setting.app, setting.depth);
        for (int t : {0, 1, 2, 3, 4})
            play.frame(t);
        hostsim::Instance& reopened = play.session.host.projectRoundTrip(*play.session.instance);
        play.session.instance = &reopened;
        for (int t : {7, 3, 5})
            EXPECT_TRUE(play.frame(t) == reference[size_t(t)]) << "after reopening, frame " << t;
        hostsim::Instance& second = play.session.host.addInstance();
        ASSERT_EQ(play.session.host.sequenceSetup(second), PF_Err_NONE);
        for (int t : {9, 2})
            EXPECT_TRUE(play.frame(t, &second) == reference[size_t(t)])
                << "second instance, frame " << t;
    }
}

// The child's half of the test below: frames 11, 5 and 8 into the file the parent names.
TEST_F(Feedback, SecondProcessWritesFrames) {
    const char* out = std::getenv("GLFX_FEEDBACK_FRAMES");
    if (out == nullptr) GTEST_SKIP() << "run by SameFramesInAnotherProcess";
    Playback play(HostApp::AfterEffects, 16);
    std::ofstream file(out, std::ios::binary);
    for (int t : {11, 5, 8}) {
        const std::vector<uint8_t> bytes = play.frame(t);
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}

TEST_F(Feedback, SameFramesInAnotherProcess) {
    const auto reference = inOrder(HostApp::AfterEffects, 16);
    const std::string out = temporaryFolder() + "/frames.bin";
    const std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=Feedback.SecondProcessWritesFrames";
    char* argv[] = {const_cast<char*>(self.c_str()), filter.data(), nullptr};
    ASSERT_EQ(setenv("GLFX_FEEDBACK_FRAMES", out.c_str(), 1), 0);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, environ), 0);
    unsetenv("GLFX_FEEDBACK_FRAMES");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child test failed";
    std::ifstream file(out, std::ios::binary);
    for (int t : {11, 5, 8}) {
        std::vector<uint8_t> bytes(reference[size_t(t)].size());
        file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
        EXPECT_TRUE(bytes == reference[size_t(t)]) << "frame " << t;
    }
}

TEST_F(Feedback, AChangeToAnEarlierFrameIsSeenByTheFramesAfterIt) {
    Playback play(HostApp::AfterEffects, 32);
    for (int t = 0; t < kFrames; ++t)
        play.frame(t);
    const std::vector<uint8_t> before9 = play.frame(9);
    EXPECT_EQ(play.drawnFor(6), 3) << "from the checkpoint at frame 4";

    // A keyframe at frame 2: frame 9 changes, and is what a fresh run with it gives.
    play.session.instance->keyframes[kGain][2] = slider(0.9);
    play.session.instance->keyframes[kGain][3] = slider(0.25);
    const std::vector<uint8_t> after = play.frame(9);
    EXPECT_NE(after, before9);
    Playback fresh(HostApp::AfterEffects, 32);
    fresh.session.instance->keyframes = play.session.instance->keyframes;
    for (int t = 0; t < 9; ++t)
        fresh.frame(t);
    EXPECT_TRUE(fresh.frame(9) == after);

    // An input frame before the checkpoints: the same.
    for (Playback* p : {&play, &fresh})
        p->clip.add(
            1, Image::fromRgba(testPicture(kWidth, kHeight, 0.5f).data(), kWidth, kHeight, 32));
    const std::vector<uint8_t> changedInput = play.frame(7);
    for (int t = 0; t < 7; ++t)
        fresh.frame(t);
    EXPECT_TRUE(fresh.frame(7) == changedInput);

    // A change from frame 10 on leaves frame 8's history alone: drawn from what was kept.
    play.frame(8);
    play.session.instance->keyframes[kGain][10] = slider(0.25);
    play.session.instance->keyframes[kGain][11] = slider(0.1);
    EXPECT_EQ(play.drawnFor(8), 1) << "frame 8 reads what frames 0 ... 7 left, unchanged";
}

TEST_F(Feedback, AnAbortedCatchUpStopsAtOnceAndKeepsNothingHalfDone) {
    const std::vector<uint8_t> reference = inOrder(HostApp::AfterEffects, 8, 26).back();
    Playback play(HostApp::AfterEffects, 8);
    play.session.host.inject.abortFromCheck = 7;
    Image out;
    EXPECT_EQ(play.session.host.render(*play.session.instance, play.clip, 25, out),
              PF_Interrupt_CANCEL);
    EXPECT_EQ(play.session.host.abortChecks(), 8) << "no frame drawn after the abort";
    play.session.host.inject.abortFromCheck = -1;
    EXPECT_TRUE(play.frame(25) == reference);
    EXPECT_LE(play.session.host.mostCheckedOutAtOnce(), 4)
        << "a catch-up holds the frame being drawn and one earlier frame, never more";
    EXPECT_GT(play.session.host.progressReports(), 20) << "a catch-up reports its progress";
}

// Premiere Pro cannot say what changed over time: a change the user makes drops the history.
TEST_F(Feedback, WithoutTheStateSuiteAParameterChangeDropsTheHistory) {
    Playback play(HostApp::PremierePro, 8);
    for (int t = 0; t < 6; ++t)
        play.frame(t);
    ASSERT_EQ(play.session.host.changeParam(*play.session.instance, kGain, slider(0.75)),
              PF_Err_NONE);
    Playback fresh(HostApp::PremierePro, 8);
    fresh.session.instance->values[kGain] = slider(0.75);
    for (int t = 0; t < 5; ++t)
        fresh.frame(t);
    EXPECT_TRUE(play.frame(5) == fresh.frame(5));
}

TEST_F(Feedback, APackedFeedbackEffectAsksToBeTrackedOverTime) {
    for (const auto& [library, flags2] :
         {std::pair{feedbackLibrary(), kAeOutFlags2 | kFeedbackOutFlags2},
          std::pair{shellTestLibrary(), kAeOutFlags2}}) {
        CheckedHost host(library, HostApp::AfterEffects);
        EXPECT_EQ(host.library().properties().outFlags2, flags2) << library;
        ASSERT_EQ(host.globalSetup(), PF_Err_NONE);
        EXPECT_EQ(uint32_t(host.lastOutData().out_flags2), flags2)
            << "global set-up says what the resource says";
    }
}

} // namespace
