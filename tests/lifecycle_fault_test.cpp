// The whole command lifecycle with frames under injected faults, through the entry point: every
// host allocation refused in turn, every suite acquisition refused in turn, every checkout failing
// in turn, and the GPU's own failures at every frame (no context, a shader that does not compile,
// a frame over GL_MAX_TEXTURE_SIZE).
//
// Each fault run plays the same script as a fault-free run of the same library and host. The
// command that meets the fault must answer the code the host expects (or, for the GPU's failures,
// succeed with the input passed through and a message); the emulated host must find no suite,
// handle or checkout left over after any command; and the same command sent again must work. Every
// other command answers what the fault-free run answered, and every later frame is its frame, byte
// for byte. CheckedHost then sets everything down and expects no live handle.
#include "gl/GlContext.h"
#include "gl_test_host.h"
#include "resources/PropertyResource.h"
#include "frame_test_support.h"

#include "SPErrorCodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace glfx;
using namespace glfx::hostsim;
using namespace glfx::testing;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// Parameter indices of tests/data/fault_test_effect.glfx.
constexpr PF_ParamIndex kAmount = 1, kMode = 2, kVariant = 5;
constexpr int kPlain = 1, kTinted = 2, kBroken = 3; // the host's 1-based Mode choices

std::string effectText() {
    return readFile(GLFX_TEST_DATA_DIR "/fault_test_effect.glfx");
}

// The effect packed into a copy of the template, once per process.
std::shared_ptr<PluginLibrary> packedEffect() {
    static const std::string path = packedLibrary(effectText(), "Fault_test_fx");
    return PluginLibrary::load(path);
}

// The dispatch linked into this test, reading the same effect from its per-user file; here the
// test reaches the window-system factory the plug-in's contexts are made with.
std::shared_ptr<PluginLibrary> inProcessEffect() {
    static const bool written = [] {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const std::filesystem::path folder =
            std::filesystem::path(config != nullptr ? config : "") / "fxdepot" / kDefaultEffectName;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (std::string(kDefaultEffectName) + ".glfx"), std::ios::binary)
            << effectText();
        return true;
    }();
    (void)written;
    return inProcessLibrary();
}

// ---- The script ------------------------------------------------------------------------------

// The host's commands by their selectors, and steps of the script's own.
enum Op : PF_Cmd {
    GlobalSetup = PF_Cmd_GLOBAL_SETUP,
    ParamsSetup = PF_Cmd_PARAMS_SETUP,
    SequenceSetup = PF_Cmd_SEQUENCE_SETUP,
    Setdown = PF_Cmd_SEQUENCE_SETDOWN,
    Resetup = PF_Cmd_SEQUENCE_RESETUP,
    UpdateUi = PF_Cmd_UPDATE_PARAMS_UI,
    About = PF_Cmd_ABOUT,
    GlobalSetdown = PF_Cmd_GLOBAL_SETDOWN,
    Render = -1,        // smart pre-render and render
    RenderClassic = -2, // PF_Cmd_RENDER
    Change = -3,        // PF_Cmd_USER_CHANGED_PARAM after the user set a popup
    Flatten = -4,       // the record's bytes are kept as a project would keep them
    AddSaved = -5,      // host only: an instance holding the kept bytes
    AddShort = -6,      // host only: an instance holding a record of an older, shorter layout
};

struct Step {
    Op op;
    int slot = 0;    // the instance: 0, 1, 2
    A_long time = 0; // Render
    int picture = 0; // Render: 0 an 8-bit 24 x 16 picture, 1 a 16-bit 20 x 12 one
    PF_ParamIndex param = 0;
    int choice = 0; // Change: the popup's new 1-based value
};

bool isCommand(Op op) {
    return op != AddSaved && op != AddShort;
}
bool isRender(Op op) {
    return op == Render || op == RenderClassic;
}

const std::vector<Step>& script() {
    static const std::vector<Step> steps = {
        {GlobalSetup},
        {ParamsSetup},
        {SequenceSetup, 0},
        {Render, 0, 0, 0},
        {Change, 0, 0, 0, kMode, kTinted},
        {Change, 0, 0, 0, kVariant, 2},
        {RenderClassic, 0, 1, 0},
        {Flatten, 0},
        {Setdown, 0},
        {AddSaved, 1},
        {Resetup, 1},
        {Render, 1, 2, 0},
        {AddShort, 2},
        {Resetup, 2},
        {Render, 2, 3, 1},
        {UpdateUi, 1},
        {About},
        {Setdown, 1},
        {Setdown, 2},
        {GlobalSetdown},
    };
    return steps;
}

Clip scriptPicture(int which) {
    if (which == 0) return Clip(Image::fromRgba(testPicture(24, 16).data(), 24, 16, 8));
    return Clip(Image::fromRgba(testPicture(20, 12).data(), 20, 12, 16));
}

// What a command answered.
struct Outcome {
    PF_Err err = PF_Err_NONE;
    std::string message;
    Image output; // frames only
    Image input;  // frames only: the input in the frame's layout, for a pass-through
};

// One run of the script on a host of its own.
class ScriptRun {
public:
    ScriptRun(std::shared_ptr<PluginLibrary> library, HostApp app)
        : host(std::move(library), app) {}

    // Sends one step; host-only steps answer 0. `input` replaces the step's picture.
    Outcome play(const Step& s, const Clip* input = nullptr) {
        Outcome o;
        Instance* fx = instances[size_t(s.slot)];
        switch (s.op) {
        case Render:
        case RenderClassic: {
            const Clip clip = input != nullptr ? *input : scriptPicture(s.picture);
            o.err = host.render(*fx, clip, s.time, o.output,
                                {s.op == Render ? RenderPath::Smart : RenderPath::Classic});
            o.input = clip.at(s.time)->converted(o.output.depth, o.output.order);
            break;
        }
        case Change:
            o.err = choose(*fx, s.param, s.choice);
            break;
        case Flatten:
            saved = host.flatten(*fx, &o.err);
            break;
        case AddSaved:
            instances[size_t(s.slot)] = &newInstance(&saved);
            break;
        case AddShort: {
            const std::vector<uint8_t> older(1000, 0xA5);
            instances[size_t(s.slot)] = &newInstance(&older);
            break;
        }
        default:
            if (s.op == SequenceSetup && fx == nullptr)
                fx = instances[size_t(s.slot)] = &newInstance();
            o.err = host.command(s.op, s.op < SequenceSetup ? nullptr : fx);
        }
        o.message = isCommand(s.op) ? host.returnMessage() : std::string();
        return o;
    }

    PF_Err choose(Instance& fx, PF_ParamIndex param, int oneBased) {
        return host.changeParam(fx, param, choice(oneBased));
    }

    // A new instance, empty or holding `bytes`, with an Amount that differs from the default.
    Instance& newInstance(const std::vector<uint8_t>* bytes = nullptr) {
        Instance& fx = bytes != nullptr ? host.addInstance(*bytes) : host.addInstance();
        fx.values[kAmount] = slider(0.75);
        return fx;
    }

    CheckedHost host;
    std::array<Instance*, 3> instances{};
    std::vector<uint8_t> saved;
};

// ---- Fault families --------------------------------------------------------------------------

// Faults numbered by the host's own count of a kind of call: run k makes call k fail; -1 none.
struct CountedFault {
    std::function<int(Host&)> calls;
    std::function<void(Host&, int)> arm;
};

// GPU faults: run k applies the fault to the k-th frame of the script it can happen at. A context
// is made at an instance's first frame only (and tried again at the next while it is missing).
enum class GpuFault { NoContext, ShaderDoesNotCompile, FrameOverTextureLimit };

std::vector<bool> framesFor(GpuFault fault) {
    std::vector<bool> eligible;
    std::array<bool, 3> rendered{};
    for (const Step& s : script()) {
        const bool first = isRender(s.op) && !rendered[size_t(s.slot)];
        if (isRender(s.op)) rendered[size_t(s.slot)] = true;
        eligible.push_back(isRender(s.op) && (fault != GpuFault::NoContext || first));
    }
    return eligible;
}

// The Mode choice the script has left the instance of step `index` with.
int modeBefore(size_t index) {
    int mode = kPlain;
    const int slot = script()[index].slot;
    for (size_t i = 0; i < index; ++i) {
        const Step& s = script()[i];
        if (s.op == Change && s.param == kMode && s.slot == slot) mode = s.choice;
        // A new instance in the slot starts from the default.
        if ((s.op == AddSaved || s.op == AddShort || s.op == SequenceSetup) && s.slot == slot)
            mode = kPlain;
    }
    return mode;
}

enum class Family { Allocations, SuiteAcquisitions, Checkouts, Gpu };

struct FaultCase {
    std::string name;
    HostApp app;
    Family family;
    GpuFault gpu = GpuFault::NoContext;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

CountedFault counted(Family family) {
    switch (family) {
    case Family::Allocations:
        return {[](Host& h) { return h.allocationCalls(); },
                [](Host& h, int k) { h.inject.allocationFailsAt = k; }};
    case Family::SuiteAcquisitions:
        return {[](Host& h) { return h.suites().attempts(); },
                [](Host& h, int k) { h.suites().refuseAttempt(k); }};
    case Family::Checkouts:
    default:
        return {[](Host& h) { return h.checkoutCalls(); },
                [](Host& h, int k) { h.inject.checkoutCallFailsAt = k; }};
    }
}

// No window system at all, as on a machine without a usable driver.
std::unique_ptr<platform::WindowSystem> noDriver() {
    return nullptr;
}

// Restores the platform's window system however the test ends.
struct FactoryGuard {
    ~FactoryGuard() { GlContext::setWindowSystemFactory(nullptr); }
};

GLint maxTextureSize() {
    static const GLint size = [] {
        GlContext probe;
        probe.create();
        const GLint s = probe.maxTextureSize();
        probe.close();
        return s;
    }();
    return size;
}

// ---- Checks ----------------------------------------------------------------------------------

// The same layout and bytes; on failure the first pixel that differs, as red, green, blue, alpha.
::testing::AssertionResult sameImage(const Image& actual, const Image& expected) {
    if (actual.width != expected.width || actual.height != expected.height ||
        actual.depth != expected.depth || actual.order != expected.order)
        return ::testing::AssertionFailure()
               << "a " << actual.width << "x" << actual.height << " " << actual.depth
               << "-bit image where " << expected.width << "x" << expected.height << " "
               << expected.depth << "-bit was expected";
    return test::imagesMatch(actual.toRgba().data(), expected.toRgba(), actual.width, actual.height,
                             {0.0f, 0.0, 0.0f}, "lifecycle");
}

// The fault-free run: what each step answered, how many calls of each counted kind it made, and
// which suite each acquisition asked for.
struct Reference {
    std::vector<Outcome> outcomes;
    std::vector<std::string> suiteOfAttempt;
    std::array<int, 3> calls{}; // of the counted families, in their order
};

// The stand-in host's own context must be current and untouched after every command.
Reference reference(std::shared_ptr<PluginLibrary> library, HostApp app,
                    const test::HostContext& hostContext) {
    Reference r;
    ScriptRun run(std::move(library), app);
    for (const Step& s : script()) {
        r.outcomes.push_back(run.play(s));
        EXPECT_EQ(r.outcomes.back().err, PF_Err_NONE) << "the fault-free run failed";
        EXPECT_THAT(run.host.problems(), IsEmpty());
        EXPECT_TRUE(hostContext.isCurrentAndIntact());
        if (isRender(s.op)) {
            EXPECT_EQ(r.outcomes.back().message, "") << "the fault-free run draws every frame";
        }
        // The host's log holds the last command's acquisitions.
        if (isCommand(s.op))
            for (const auto& key : run.host.suites().acquisitions())
                r.suiteOfAttempt.push_back(key.first);
    }
    for (Family f : {Family::Allocations, Family::SuiteAcquisitions, Family::Checkouts})
        r.calls[size_t(f)] = counted(f).calls(run.host);
    EXPECT_EQ(int(r.suiteOfAttempt.size()), r.calls[size_t(Family::SuiteAcquisitions)]);
    return r;
}

void expectAsReference(const Outcome& actual, const Outcome& expected, const Step& s) {
    EXPECT_EQ(actual.err, expected.err);
    if (isRender(s.op)) {
        EXPECT_TRUE(sameImage(actual.output, expected.output));
    }
}

class LifecycleFault : public test::GpuTest, public ::testing::WithParamInterface<FaultCase> {};

// One run per call of the counted kind that the fault-free run made, or per frame a GPU fault can
// happen at.
TEST_P(LifecycleFault, FailsCleanlyAndTheNextCommandWorks) {
    const FaultCase& c = GetParam();
    const bool inProcess = c.family == Family::Gpu && c.gpu == GpuFault::NoContext;
    const auto library = inProcess ? inProcessEffect : packedEffect;
    const Reference ref = reference(library(), c.app, host);
    if (HasFailure()) return;
    const std::vector<Outcome>& expected = ref.outcomes;

    const std::vector<Step>& steps = script();
    const std::vector<bool> eligible = framesFor(c.gpu);
    const int runs = c.family == Family::Gpu
                         ? int(std::count(eligible.begin(), eligible.end(), true))
                         : ref.calls[size_t(c.family)];
    ASSERT_GT(runs, 0);

    FactoryGuard restoreFactory;
    for (int k = 0; k < runs; ++k) {
        SCOPED_TRACE(c.name + ", fault " + std::to_string(k + 1) + " of " + std::to_string(runs));
        ScriptRun run(library(), c.app);
        const CountedFault fault = counted(c.family);
        if (c.family != Family::Gpu) fault.arm(run.host, k);
        int frame = 0;
        bool met = false;
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step& s = steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1));
            const bool gpuFaultHere = c.family == Family::Gpu && eligible[i] && frame++ == k;
            const int before = c.family != Family::Gpu ? fault.calls(run.host) : 0;

            Outcome o;
            if (gpuFaultHere) {
                met = true;
                if (c.gpu == GpuFault::NoContext) GlContext::setWindowSystemFactory(noDriver);
                Clip oversize;
                if (c.gpu == GpuFault::FrameOverTextureLimit) {
                    const int32_t w = maxTextureSize() + 1;
                    oversize = Clip(
                        Image::make(w, 2, s.picture == 0 ? 8 : 16, ChannelOrder::Argb, 0, 0x40));
                }
                if (c.gpu == GpuFault::ShaderDoesNotCompile) {
                    ASSERT_EQ(run.choose(*run.instances[size_t(s.slot)], kMode, kBroken),
                              PF_Err_NONE);
                }
                o = run.play(s, c.gpu == GpuFault::FrameOverTextureLimit ? &oversize : nullptr);
                // A frame the GPU cannot draw succeeds with the input passed through, and tells
                // the user why.
                EXPECT_EQ(o.err, PF_Err_NONE);
                EXPECT_TRUE(sameImage(o.output, o.input)) << "the input passes through";
                const char* why = c.gpu == GpuFault::NoContext ? "no OpenGL context could be made"
                                  : c.gpu == GpuFault::ShaderDoesNotCompile
                                      ? "pass 1 fragment shader failed"
                                      : "exceeds the GPU's texture limit";
                EXPECT_THAT(o.message, HasSubstr(why));
                EXPECT_THAT(o.message, HasSubstr("The input is shown unchanged."));
                GlContext::setWindowSystemFactory(nullptr);
                if (c.gpu == GpuFault::ShaderDoesNotCompile) {
                    ASSERT_EQ(run.choose(*run.instances[size_t(s.slot)], kMode, modeBefore(i)),
                              PF_Err_NONE);
                }
            } else {
                o = run.play(s);
            }
            EXPECT_THAT(run.host.problems(), IsEmpty())
                << "the host found something left over after the command";

            const bool countedHere =
                c.family != Family::Gpu && before <= k && k < fault.calls(run.host);
            if (countedHere) {
                met = true;
                fault.arm(run.host, -1);
                if (c.family == Family::Allocations) {
                    EXPECT_EQ(o.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
                    if (s.op == SequenceSetup || s.op == Resetup) {
                        EXPECT_EQ(o.message, "Internal Error");
                    }
                } else if (c.family == Family::Checkouts) {
                    EXPECT_EQ(o.err, run.host.inject.checkoutError) << "returned unchanged";
                } else if (ref.suiteOfAttempt[size_t(k)] == kPFPixelFormatSuite) {
                    // Premiere Pro's pixel-format declaration is skipped without it.
                    expectAsReference(o, expected[i], s);
                } else {
                    EXPECT_EQ(o.err, PF_Err_BAD_CALLBACK_PARAM)
                        << "refused: " << ref.suiteOfAttempt[size_t(k)];
                }
            }
            // A command that failed, or a frame not drawn, is sent again; one that took the fault
            // in its stride is not (a second global set-up would be a host's fault).
            if (gpuFaultHere || (countedHere && o.err != PF_Err_NONE)) {
                // The same command again, with the fault gone, works as it did without it.
                o = run.play(s);
                EXPECT_THAT(run.host.problems(), IsEmpty());
            }
            expectAsReference(o, expected[i], s);
            if (HasFatalFailure()) return;
        }
        EXPECT_TRUE(met) << "the fault never happened";
        if (HasFailure()) return;
    }
}

std::vector<FaultCase> faultCases() {
    std::vector<FaultCase> cases;
    for (HostApp app : {HostApp::AfterEffects, HostApp::PremierePro}) {
        const std::string host = app == HostApp::PremierePro ? "Premiere" : "AfterEffects";
        cases.push_back({host + "_EveryAllocationRefused", app, Family::Allocations});
        cases.push_back({host + "_EverySuiteAcquisitionRefused", app, Family::SuiteAcquisitions});
        cases.push_back({host + "_EveryCheckoutFails", app, Family::Checkouts});
        cases.push_back({host + "_NoGlContextAtEachFrame", app, Family::Gpu, GpuFault::NoContext});
        cases.push_back({host + "_ShaderDoesNotCompileAtEachFrame", app, Family::Gpu,
                         GpuFault::ShaderDoesNotCompile});
        cases.push_back({host + "_FrameOverTextureLimitAtEachFrame", app, Family::Gpu,
                         GpuFault::FrameOverTextureLimit});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Lifecycle, LifecycleFault, ::testing::ValuesIn(faultCases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
