// A 1920x1080 frame through GlRenderer::renderFrame, one pass and two passes, against a bare-GL
// baseline doing the same GL work (RGBA32F input and pass textures, one framebuffer object, the
// same programs and uniforms, a float read-back) on a context that stays current. The gap is the
// renderer's own cost: context switches, checks and bookkeeping.
#include "BenchSupport.h"
#include "gl/GlRenderer.h"
#include "platform/WindowSystem.h"
#include "shaders/DefineMap.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace glfx;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

const char* const kVertex =
    "void main(void)\n{ \tgl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
    "gl_FrontColor = vec4(1.0); gl_TexCoord[0].st  = gl_MultiTexCoord0.xy; }";
const char* const kGrade =
    "uniform sampler2D in0; uniform float gain; uniform vec3 lift; uniform float time;\n"
    "void main(void) { vec4 c = texture2D(in0, gl_TexCoord[0].st);\n"
    "  gl_FragColor = vec4(c.rgb * gain + lift * (0.5 + 0.5 * sin(time)), c.a); }";
const char* const kBlur =
    "uniform sampler2D in0; uniform vec2 resolution; uniform float gain;\n"
    "void main(void) { vec2 uv = gl_TexCoord[0].st; vec2 d = STEP / resolution;\n"
    "  gl_FragColor = gain * (texture2D(in0, uv - d) + texture2D(in0, uv) + "
    "texture2D(in0, uv + d)) / 3.0; }";

std::vector<std::string> passSources(int passes) {
    if (passes == 1) return {kGrade};
    return {std::string("#define STEP vec2(1.0, 0.0)\n") + kBlur,
            std::string("#define STEP vec2(0.0, 1.0)\n") + kBlur};
}

std::unique_ptr<EffectDescription> makeEffect(int passes) {
    auto effect = std::make_unique<EffectDescription>();
    effect->vertexShader = kVertex;
    effect->pixelShaders.assign(kMaxPasses, std::string());
    const std::vector<std::string> sources = passSources(passes);
    for (size_t p = 0; p < sources.size(); ++p)
        effect->pixelShaders[p] = sources[p];
    effect->settings.passCount = passes;
    for (int p = 1; p < passes; ++p)
        effect->settings.routing[p][0] = p - 1;
    effect->settings.paramCount = 3;
    effect->params[0].type = ParamType::Layer;
    effect->params[0].components = 0;
    effect->params[1].uniform = "gain";
    effect->params[2].uniform = "lift";
    effect->params[2].type = ParamType::Color;
    effect->params[2].components = 3;
    return effect;
}

std::vector<float> inputImage() {
    std::vector<float> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<float>((i * 2654435761u) % 65536) / 65536.0f;
    return pixels;
}

void renderer(benchmark::State& state) {
    const int passes = static_cast<int>(state.range(0));
    auto effect = makeEffect(passes);
    std::vector<float> input = inputImage();
    float values[kMaxParams][4] = {};
    values[1][0] = 0.9f;
    values[2][0] = values[2][1] = values[2][2] = 0.05f;
    std::vector<float> result(input.size());
    FrameInput frame;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.paramValues = values;
    frame.layers[0] = FrameLayer{input.data(), kWidth, kHeight, 0};
    frame.takeContext = result.data();
    frame.take = [](void* context, int32_t firstRow, int32_t rows, const void* pixels) {
        std::memcpy(static_cast<float*>(context) + size_t(firstRow) * kWidth * 4, pixels,
                    size_t(rows) * kWidth * 16);
    };

    GlRenderer glRenderer;
    glRenderer.effectDescription = effect.get();
    glRenderer.context.create();
    if (!glRenderer.context.isValid()) {
        state.SkipWithError(glRenderer.context.creationError().c_str());
        return;
    }
    // The first frame at a size builds and allocates; it is not what is measured.
    if (!glRenderer.renderFrame(frame)) {
        state.SkipWithError(("the warm-up frame failed: " + glRenderer.errorText).c_str());
        glRenderer.context.close();
        return;
    }
    for (auto _ : state) {
        ++frame.hostTime;
        if (!glRenderer.renderFrame(frame)) {
            state.SkipWithError("renderFrame failed");
            break;
        }
        benchmark::DoNotOptimize(result[0]);
    }
    glRenderer.releaseResources();
    glRenderer.context.close();
}

GLuint compile(GLenum stage, const std::string& source) {
    const GLuint shader = glCreateShader(stage);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    return shader;
}

void bareGl(benchmark::State& state) {
    const int passes = static_cast<int>(state.range(0));
    std::unique_ptr<platform::WindowSystem> window = platform::createWindowSystem();
    std::string error;
    if (!window->create(error) || !window->makeCurrent() || !window->loadEntryPoints(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    glClampColorARB(GL_CLAMP_FRAGMENT_COLOR_ARB, GL_TRUE);
    std::vector<float> input = inputImage();
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
    std::vector<GLuint> targets, programs;
    struct Locations {
        GLint gain, lift, time, resolution;
    };
    std::vector<Locations> locations;
    const std::vector<std::string> sources = passSources(passes);
    for (int p = 0; p < passes; ++p) {
        targets.push_back(makeTexture(nullptr));
        const GLuint program = glCreateProgram();
        const GLuint vertex = compile(GL_VERTEX_SHADER, kVertex);
        const GLuint fragment = compile(GL_FRAGMENT_SHADER, sources[p]);
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "in0"), 0);
        locations.push_back(
            {glGetUniformLocation(program, "gain"), glGetUniformLocation(program, "lift"),
             glGetUniformLocation(program, "time"), glGetUniformLocation(program, "resolution")});
        programs.push_back(program);
    }
    const GLuint framebuffer = glfx::bench::bindDrawingFramebuffer(kWidth, kHeight);

    int frame = 0;
    auto draw = [&] {
        ++frame;
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, inputTexture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_FLOAT, input.data());
        for (int p = 0; p < passes; ++p) {
            glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                      targets[p], 0);
            glUseProgram(programs[p]);
            glBindTexture(GL_TEXTURE_2D, p == 0 ? inputTexture : targets[p - 1]);
            const Locations& at = locations[p];
            if (at.gain >= 0) glUniform1f(at.gain, 0.9f);
            if (at.lift >= 0) glUniform3f(at.lift, 0.05f, 0.05f, 0.05f);
            if (at.time >= 0) glUniform1f(at.time, static_cast<float>(frame) * 0.0001f);
            if (at.resolution >= 0) glUniform2f(at.resolution, kWidth, kHeight);
            glClear(GL_COLOR_BUFFER_BIT);
            glfx::bench::drawQuad(kWidth, kHeight);
        }
        glBindTexture(GL_TEXTURE_2D, targets.back());
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
    for (GLuint program : programs)
        glDeleteProgram(program);
    glDeleteTextures(static_cast<GLsizei>(targets.size()), targets.data());
    glDeleteTextures(1, &inputTexture);
    window->restore(platform::ContextBinding{});
    window->destroy();
}

// On a shared machine the fastest repetition is the least disturbed one.
double fastest(const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
}

BENCHMARK(renderer)
    ->Name("renderFrame_1920x1080")
    ->ArgName("passes")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ComputeStatistics("min", fastest)
    ->DisplayAggregatesOnly(true);
BENCHMARK(bareGl)
    ->Name("bare_gl_1920x1080")
    ->ArgName("passes")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ComputeStatistics("min", fastest)
    ->DisplayAggregatesOnly(true);

// Collects the aggregates so that the two sides can be printed next to each other at the end.
class SideBySideReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate)
                times[run.run_name.function_name + "/" + run.run_name.args + " " +
                      run.aggregate_name] = run.GetAdjustedRealTime();
    }
    // Milliseconds by "name/args aggregate"; negative when missing.
    double time(const std::string& name, const char* passes, const char* aggregate) const {
        const auto found = times.find(name + "/passes:" + passes + " " + aggregate);
        return found == times.end() ? -1.0 : found->second;
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    // Repetitions of the two sides alternate in random order, so a change in the machine's load
    // falls on both rather than on whichever ran second. A flag on the command line still wins.
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SideBySideReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n1920x1080 frame, ms (fastest / median of 7): renderer, bare GL, overhead\n");
    for (const char* passes : {"1", "2"}) {
        for (const char* aggregate : {"min", "median"}) {
            const double ours = reporter.time("renderFrame_1920x1080", passes, aggregate);
            const double bare = reporter.time("bare_gl_1920x1080", passes, aggregate);
            if (ours <= 0.0 || bare <= 0.0) continue;
            std::printf("  %s pass(es), %-6s  renderer %8.3f   bare GL %8.3f   %+6.1f%%\n", passes,
                        aggregate, ours, bare, 100.0 * (ours / bare - 1.0));
        }
    }
    benchmark::Shutdown();
    return 0;
}
