// One 1920x1080 8-bit frame of the built-in effect through EntryPointFunc (the emulated host's
// smart pre-render and render, as After Effects sends them) beside the bare-GL baseline: the same
// GL work as the renderer benchmark's baseline (RGBA32F input and pass texture, one framebuffer
// object, float read-back, a context that stays current) drawing the built-in effect's own shader
// with the same corner points. The gap is everything the plug-in adds around the GPU: checkouts,
// suites, parameter read, 8-bit conversions both ways, context switches and checks.
#include "effect/Parser.h"
#include "hostsim/Host.h"
#include "platform/WindowSystem.h"

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace glfx;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// Corner points in layer pixels: a perspective quad inside the frame.
const float kCorners[4][2] = {{160, 90}, {1800, 40}, {1700, 1000}, {250, 1050}};

std::vector<float> inputPicture() {
    std::vector<float> rgba(size_t(kWidth) * kHeight * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = float((i * 2654435761u) % 256) / 255.0f;
    return rgba;
}

std::string builtInEffectText() {
    std::ifstream in(GLFX_SOURCE_DIR "/effects/quadra_remapping.glfx", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

PF_ParamDefUnion point(float x, float y) {
    PF_ParamDefUnion u;
    std::memset(&u, 0, sizeof u);
    u.td.x_value = PF_Fixed(x * 65536.0f);
    u.td.y_value = PF_Fixed(y * 65536.0f);
    return u;
}

void entryPoint(benchmark::State& state) {
    std::unique_ptr<hostsim::Host> host;
    try {
        host = std::make_unique<hostsim::Host>(GLFX_PLUGIN_LIBRARY);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    if (host->start() != PF_Err_NONE) {
        state.SkipWithError("global or parameter set-up failed");
        return;
    }
    hostsim::Instance& fx = host->addInstance();
    host->sequenceSetup(fx);
    for (int i = 0; i < 4; ++i)
        fx.values[PF_ParamIndex(i + 1)] = point(kCorners[i][0], kCorners[i][1]);
    const std::vector<float> rgba = inputPicture();
    const hostsim::Clip input(hostsim::Image::fromRgba(rgba.data(), kWidth, kHeight, 8));
    hostsim::Image output;
    // The first frame creates the context and builds the programs; it is not what is measured.
    if (host->render(fx, input, 0, output) != PF_Err_NONE || !host->returnMessage().empty()) {
        state.SkipWithError(("the warm-up frame failed: " + host->returnMessage()).c_str());
        return;
    }
    A_long time = 0;
    for (auto _ : state) {
        if (host->render(fx, input, ++time, output) != PF_Err_NONE) {
            state.SkipWithError("a frame failed");
            break;
        }
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

void bareGl(benchmark::State& state) {
    EffectDescription effect;
    parseDescription(effect, builtInEffectText());
    std::unique_ptr<platform::WindowSystem> window = platform::createWindowSystem();
    std::string error;
    if (!window->create(error) || !window->makeCurrent() || !window->loadEntryPoints(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    glClampColorARB(GL_CLAMP_FRAGMENT_COLOR_ARB, GL_TRUE);
    const std::vector<float> input = inputPicture();
    std::vector<float> result(input.size());
    auto makeTexture = [](const float* pixels) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F_ARB, kWidth, kHeight, 0, GL_RGBA, GL_FLOAT,
                     pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        return texture;
    };
    const GLuint inputTexture = makeTexture(input.data());
    const GLuint target = makeTexture(nullptr);
    const GLuint program = glCreateProgram();
    const GLuint vertex = compile(GL_VERTEX_SHADER, effect.vertexShader);
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, effect.pixelShaders[0]);
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        state.SkipWithError("the built-in effect's shader did not build");
        return;
    }
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "in0"), 0);
    const char* names[4] = {"topLeft", "topRight", "bottomRight", "bottomLeft"};
    for (int i = 0; i < 4; ++i)
        glUniform2f(glGetUniformLocation(program, names[i]), kCorners[i][0], kCorners[i][1]);
    const GLint downsample = glGetUniformLocation(program, "downsample");
    const GLint outside = glGetUniformLocation(program, "outside");
    const GLint feather = glGetUniformLocation(program, "feather");

    GLuint framebuffer = 0;
    glGenFramebuffersEXT(1, &framebuffer);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, kWidth, 0.0, kHeight, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    auto draw = [&] {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, inputTexture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_FLOAT, input.data());
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                  target, 0);
        glUseProgram(program);
        if (downsample >= 0) glUniform2f(downsample, 1.0f, 1.0f);
        if (outside >= 0) glUniform1i(outside, 0);
        if (feather >= 0) glUniform1f(feather, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(0.0f, 0.0f, 1.0f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(kWidth, 0.0f, 1.0f);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(kWidth, kHeight, 1.0f);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(0.0f, kHeight, 1.0f);
        glEnd();
        glBindTexture(GL_TEXTURE_2D, target);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, result.data());
        glFinish();
    };
    draw();
    if (glGetError() != GL_NO_ERROR) state.SkipWithError("the bare-GL frame raised a GL error");
    for (auto _ : state) {
        draw();
        benchmark::DoNotOptimize(result[0]);
    }
    glDeleteFramebuffersEXT(1, &framebuffer);
    glDeleteProgram(program);
    glDeleteTextures(1, &target);
    glDeleteTextures(1, &inputTexture);
    window->restore(platform::ContextBinding{});
    window->destroy();
}

double fastest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

BENCHMARK(entryPoint)
    ->Name("entry_point_quadra_8bit_1920x1080")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ComputeStatistics("min", fastest)
    ->DisplayAggregatesOnly(true);
BENCHMARK(bareGl)
    ->Name("bare_gl_quadra_1920x1080")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ComputeStatistics("min", fastest)
    ->DisplayAggregatesOnly(true);

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

// The plug-in's per-user folder goes to a private temporary folder, not the user's own.
class PrivateUserFolder {
public:
    PrivateUserFolder() {
        char pattern[] = "/tmp/glfx-frame-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            path_ = pattern;
            setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
        }
    }
    ~PrivateUserFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }

private:
    std::string path_;
};

} // namespace

int main(int argc, char** argv) {
    PrivateUserFolder folder;
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SideBySideReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n1920x1080 8-bit frame of the built-in effect, ms: EntryPointFunc, bare GL, "
                "ratio\n");
    for (const char* aggregate : {"min", "median"}) {
        const double ours = reporter.time("entry_point_quadra_8bit_1920x1080", aggregate);
        const double bare = reporter.time("bare_gl_quadra_1920x1080", aggregate);
        if (ours <= 0.0 || bare <= 0.0) continue;
        std::printf("  %-6s  EntryPointFunc %8.3f   bare GL %8.3f   %5.2fx\n", aggregate, ours,
                    bare, ours / bare);
    }
    benchmark::Shutdown();
    return 0;
}
