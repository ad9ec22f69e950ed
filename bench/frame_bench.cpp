// A 1920x1080 frame of the built-in effect and of the gallery's two-pass blur, at 8 and 32 bits,
// through EntryPointFunc (the emulated host's smart pre-render and render, as After Effects sends
// them) beside a bare-GL baseline doing the same GL work: RGBA32F input and pass textures, one
// framebuffer object, the effect's own shaders and uniforms, a float read-back, on a context that
// stays current. Only the time spent inside EntryPointFunc counts for the plug-in (the emulated
// host's own work around the calls is not the plug-in's); the gap is everything the plug-in adds
// around the GPU: checkouts, suites, parameter read, conversions both ways, context switches and
// checks. The baseline is the same for both depths.
#include "effect/Parser.h"
#include "hostsim/Host.h"
#include "platform/WindowSystem.h"

#include "BenchSupport.h"

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using glfx::bench::point;

using namespace glfx;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// Corner points in layer pixels: a perspective quad inside the frame.
const float kCorners[4][2] = {{160, 90}, {1800, 40}, {1700, 1000}, {250, 1050}};
constexpr float kBlurRadius = 8.0f;

std::vector<float> inputPicture() {
    std::vector<float> rgba(size_t(kWidth) * kHeight * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = float((i * 2654435761u) % 256) / 255.0f;
    return rgba;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

PF_ParamDefUnion slider(double value) {
    PF_ParamDefUnion u;
    std::memset(&u, 0, sizeof u);
    u.fs_d.value = value;
    return u;
}

// One uniform the bare-GL baseline sets, as the plug-in would from the parameter values.
struct Uniform {
    const char* name;
    int components; // 1 float, 2 vec2, -1 int
    float x, y;
};

struct Effect {
    const char* name;
    const char* library;
    const char* text;
    std::function<void(hostsim::Instance&)> values;
    std::vector<Uniform> uniforms;
};

const Effect kQuadra = {
    "quadra",
    GLFX_PLUGIN_LIBRARY,
    GLFX_SOURCE_DIR "/effects/quadra_remapping.glfx",
    [](hostsim::Instance& fx) {
        for (int i = 0; i < 4; ++i)
            fx.values[PF_ParamIndex(i + 1)] = point(kCorners[i][0], kCorners[i][1]);
    },
    {{"topLeft", 2, kCorners[0][0], kCorners[0][1]},
     {"topRight", 2, kCorners[1][0], kCorners[1][1]},
     {"bottomRight", 2, kCorners[2][0], kCorners[2][1]},
     {"bottomLeft", 2, kCorners[3][0], kCorners[3][1]},
     {"outside", -1, 0, 0},
     {"feather", 1, 1.0f, 0}},
};

const Effect kBlur = {
    "blur",
    GLFX_BLUR_LIBRARY,
    GLFX_SOURCE_DIR "/effects/blur.glfx",
    [](hostsim::Instance& fx) { fx.values[1] = slider(kBlurRadius); },
    {{"radius", 1, kBlurRadius, 0}},
};

// The GL renderer the baseline ran on, for the table.
std::string renderer;

// The loaded library's entry, timed: the seconds spent inside it since the last reset.
PF_FilterProc realEntry = nullptr;
double secondsInside = 0.0;

PF_Err timedEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamList params,
                  PF_LayerDef* output, void* extra) {
    const auto start = std::chrono::steady_clock::now();
    const PF_Err err = realEntry(cmd, in_data, out_data, params, output, extra);
    secondsInside +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return err;
}

void entryPoint(benchmark::State& state, const Effect* effect, int depth) {
    std::shared_ptr<hostsim::PluginLibrary> real;
    try {
        real = hostsim::PluginLibrary::load(effect->library);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    realEntry = real->entry();
    auto host = std::make_unique<hostsim::Host>(
        hostsim::PluginLibrary::inProcess(timedEntry, real->resource()),
        hostsim::HostApp::AfterEffects);
    if (host->start() != PF_Err_NONE) {
        state.SkipWithError("global or parameter set-up failed");
        return;
    }
    hostsim::Instance& fx = host->addInstance();
    host->sequenceSetup(fx);
    effect->values(fx);
    const std::vector<float> rgba = inputPicture();
    const hostsim::Clip input(hostsim::Image::fromRgba(rgba.data(), kWidth, kHeight, depth));
    hostsim::Image output;
    // The first frame creates the context and builds the programs; it is not what is measured.
    if (host->render(fx, input, 0, output) != PF_Err_NONE || !host->returnMessage().empty()) {
        state.SkipWithError(("the warm-up frame failed: " + host->returnMessage()).c_str());
        return;
    }
    A_long time = 0;
    for (auto _ : state) {
        secondsInside = 0.0;
        if (host->render(fx, input, ++time, output) != PF_Err_NONE) {
            state.SkipWithError("a frame failed");
            break;
        }
        state.SetIterationTime(secondsInside);
        benchmark::DoNotOptimize(output.bytes.data());
    }
    host->finish();
    if (!host->problems().empty()) state.SkipWithError(host->problems().front().c_str());
}

GLuint compile(GLenum stage, const std::string& source) {
    const GLuint shader = glCreateShader(stage);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    return shader;
}

GLuint makeTexture(const float* pixels) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F_ARB, kWidth, kHeight, 0, GL_RGBA, GL_FLOAT, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

void bareGl(benchmark::State& state, const Effect* effect) {
    EffectDescription description;
    parseDescription(description, readText(effect->text));
    const int passes = description.settings.passCount;
    std::unique_ptr<platform::WindowSystem> window = platform::createWindowSystem();
    std::string error;
    if (!window->create(error) || !window->makeCurrent() || !window->loadEntryPoints(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    glClampColorARB(GL_CLAMP_FRAGMENT_COLOR_ARB, GL_TRUE);
    const std::vector<float> input = inputPicture();
    std::vector<float> result(input.size());
    const GLuint inputTexture = makeTexture(input.data());
    std::vector<GLuint> targets, programs;
    for (int p = 0; p < passes; ++p) {
        targets.push_back(makeTexture(nullptr));
        const GLuint program = glCreateProgram();
        const GLuint vertex = compile(GL_VERTEX_SHADER, description.vertexShader);
        const GLuint fragment = compile(GL_FRAGMENT_SHADER, description.pixelShaders[size_t(p)]);
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint linked = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) {
            state.SkipWithError("the effect's shaders did not build");
            return;
        }
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "in0"), 0);
        glUniform2f(glGetUniformLocation(program, "resolution"), float(kWidth), float(kHeight));
        glUniform2f(glGetUniformLocation(program, "downsample"), 1.0f, 1.0f);
        for (const Uniform& u : effect->uniforms) {
            const GLint location = glGetUniformLocation(program, u.name);
            if (u.components == -1) glUniform1i(location, int(u.x));
            if (u.components == 1) glUniform1f(location, u.x);
            if (u.components == 2) glUniform2f(location, u.x, u.y);
        }
        programs.push_back(program);
    }

    const GLuint framebuffer = glfx::bench::bindDrawingFramebuffer(kWidth, kHeight);

    auto draw = [&] {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, inputTexture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_FLOAT, input.data());
        for (int p = 0; p < passes; ++p) {
            glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                      targets[size_t(p)], 0);
            glUseProgram(programs[size_t(p)]);
            // Pass p reads what its routing names: the input, or pass p - 1 (the blur).
            const int32_t source = description.settings.routing[p][0];
            glBindTexture(GL_TEXTURE_2D, source >= 0 ? targets[size_t(source)] : inputTexture);
            glClear(GL_COLOR_BUFFER_BIT);
            glfx::bench::drawQuad(kWidth, kHeight);
        }
        glBindTexture(GL_TEXTURE_2D, targets.back());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, result.data());
        glFinish();
    };
    draw();
    if (glGetError() != GL_NO_ERROR) state.SkipWithError("the bare-GL frame raised a GL error");
    if (const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) renderer = name;
    for (auto _ : state) {
        draw();
        benchmark::DoNotOptimize(result[0]);
    }
    glDeleteFramebuffersEXT(1, &framebuffer);
    for (GLuint program : programs)
        glDeleteProgram(program);
    glDeleteTextures(GLsizei(targets.size()), targets.data());
    glDeleteTextures(1, &inputTexture);
    window->restore(platform::ContextBinding{});
    window->destroy();
}

double fastest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

class SideBySideReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate)
                times[run.run_name.function_name + " " + run.aggregate_name] =
                    run.GetAdjustedRealTime();
    }
    double time(const std::string& name, const char* aggregate) const {
        const auto found = times.find(name + " " + aggregate);
        return found == times.end() ? -1.0 : found->second;
    }
    std::map<std::string, double> times;
};

template <class B> B* common(B* b) {
    return b->Unit(benchmark::kMillisecond)
        ->Repetitions(7)
        ->ComputeStatistics("min", fastest)
        ->DisplayAggregatesOnly(true);
}

} // namespace

int main(int argc, char** argv) {
    glfx::bench::PrivateUserFolder folder("glfx-frame-bench");
    for (const Effect* effect : {&kQuadra, &kBlur}) {
        for (int depth : {8, 32})
            common(benchmark::RegisterBenchmark((std::string("entry_point_") + effect->name + "_" +
                                                 std::to_string(depth) + "bit")
                                                    .c_str(),
                                                entryPoint, effect, depth))
                ->UseManualTime();
        common(benchmark::RegisterBenchmark((std::string("bare_gl_") + effect->name).c_str(),
                                            bareGl, effect))
            ->UseRealTime();
    }
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SideBySideReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n| 1920x1080 frame | EntryPointFunc ms | bare GL ms | ratio |\n"
                "|---|---:|---:|---:|\n");
    for (const Effect* effect : {&kQuadra, &kBlur})
        for (int depth : {8, 32}) {
            const std::string name =
                std::string("entry_point_") + effect->name + "_" + std::to_string(depth) + "bit";
            const double ours = reporter.time(name, "min");
            const double bare = reporter.time(std::string("bare_gl_") + effect->name, "min");
            if (ours <= 0.0 || bare <= 0.0) continue;
            std::printf("| %s, %d-bit | %.2f | %.2f | %.3f |\n", effect->name, depth, ours, bare,
                        ours / bare);
        }
    if (!renderer.empty()) std::printf("| GL renderer | %s | | |\n", renderer.c_str());
    benchmark::Shutdown();
    return 0;
}
