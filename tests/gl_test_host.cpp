#include "gl_test_host.h"

#include "gl/GlContext.h"
#include "gl/GlRenderer.h"

#include <EGL/eglext.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace glfx::test {

namespace {

// The vertex text a parse supplies when an effect writes none.
const char* const kDefaultVertexShader =
    "void main(void)\n{ \tgl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
    "gl_FrontColor = vec4(1.0); gl_TexCoord[0].st  = gl_MultiTexCoord0.xy; }";

constexpr float kHostClear[4] = {0.125f, 0.25f, 0.375f, 0.5f};

EGLDisplay hostDisplay() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (client != nullptr && std::strstr(client, "EGL_MESA_platform_surfaceless") &&
        getPlatformDisplay != nullptr)
        return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    eglGetError();
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

} // namespace

HostContext::~HostContext() {
    if (context_ == EGL_NO_CONTEXT) return;
    makeCurrent();
    glDeleteTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
    eglDestroySurface(display_, surface_);
}

bool HostContext::create(std::string& reason) {
    display_ = hostDisplay();
    if (display_ == EGL_NO_DISPLAY || eglInitialize(display_, nullptr, nullptr) != EGL_TRUE) {
        reason = "no EGL display for the stand-in host context";
        return false;
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (eglChooseConfig(display_, attributes, &config, 1, &count) != EGL_TRUE || count < 1) {
        reason = "no pbuffer config for desktop OpenGL on the host display";
        return false;
    }
    eglBindAPI(EGL_OPENGL_API);
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
    const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config, size);
    if (context_ == EGL_NO_CONTEXT || surface_ == EGL_NO_SURFACE) {
        reason = "the stand-in host context could not be created";
        return false;
    }
    makeCurrent();
    glClearColor(kHostClear[0], kHostClear[1], kHostClear[2], kHostClear[3]);
    textures_.resize(80);
    glGenTextures(80, textures_.data());
    for (unsigned texture : textures_)
        glBindTexture(GL_TEXTURE_2D, texture);
    return true;
}

void HostContext::makeCurrent() const {
    eglMakeCurrent(display_, surface_, surface_, context_);
}

::testing::AssertionResult HostContext::isCurrentAndIntact() const {
    if (eglGetCurrentContext() != context_ || eglGetCurrentDisplay() != display_ ||
        eglGetCurrentSurface(EGL_DRAW) != surface_ || eglGetCurrentSurface(EGL_READ) != surface_)
        return ::testing::AssertionFailure() << "the host's context is not current";
    float clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    if (!std::equal(clear, clear + 4, kHostClear))
        return ::testing::AssertionFailure() << "the host's clear colour changed";
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    if (static_cast<unsigned>(bound) != textures_.back())
        return ::testing::AssertionFailure() << "the host's texture binding changed to " << bound;
    for (unsigned texture : textures_)
        if (glIsTexture(texture) != GL_TRUE)
            return ::testing::AssertionFailure() << "the host's texture " << texture << " is gone";
    return ::testing::AssertionSuccess();
}

void GpuTest::SetUp() {
    std::string reason;
    if (!host.create(reason)) GTEST_SKIP() << "No GL context can be made here: " << reason;
    // Asked once per process: whether the renderer's own kind of context can be made here.
    static const std::string unavailable = [] {
        GlContext probe;
        probe.create();
        std::string why = probe.isValid() ? std::string() : probe.creationError();
        probe.close();
        return why;
    }();
    host.makeCurrent();
    if (!unavailable.empty())
        GTEST_SKIP() << "No renderer context can be made here: " << unavailable;
}

std::unique_ptr<EffectDescription> makeEffect(const std::vector<std::string>& passes) {
    auto description = std::make_unique<EffectDescription>();
    description->pixelShaders.assign(kMaxPasses, std::string());
    std::copy(passes.begin(), passes.end(), description->pixelShaders.begin());
    description->vertexShader = kDefaultVertexShader;
    description->settings.passCount = static_cast<int32_t>(passes.size());
    description->params[0].type = ParamType::Layer;
    description->params[0].components = 0;
    description->params[0].uniform = "par0";
    return description;
}

std::string samplerDeclarations(int count) {
    std::string text;
    for (int k = 0; k < count; ++k)
        text += "uniform sampler2D in" + std::to_string(k) + ";\n";
    return text;
}

Frame::Frame() {
    input.paramValues = values;
}

void Frame::setLayer(int k, int width, int height, std::vector<float> pixels) {
    layers[k] = std::move(pixels);
    input.layers[size_t(k)] = FrameLayer{layers[k].data(), width, height, 0};
}

void Frame::setOutput(int width, int height) {
    input.width = width;
    input.height = height;
}

bool Frame::render(GlRenderer& renderer, GLenum type) {
    if (type != 0) input.uploadType = input.readType = type;
    bytes.clear();
    input.takeContext = this;
    input.take = [](void* context, int32_t firstRow, int32_t rows, const void* pixels) {
        auto* frame = static_cast<Frame*>(context);
        const size_t row =
            size_t(frame->input.width) * (frame->input.readType == GL_FLOAT ? 16 : 4);
        frame->bytes.resize(size_t(frame->input.height) * row);
        std::memcpy(frame->bytes.data() + size_t(firstRow) * row, pixels, size_t(rows) * row);
    };
    return renderer.renderFrame(input);
}

float Frame::result(int x, int y, int c) const {
    return resultPixels()[(static_cast<size_t>(y) * input.width + x) * 4 + c];
}

std::vector<float> solidImage(int width, int height, std::array<float, 4> value) {
    std::vector<float> pixels(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = value[i % 4];
    return pixels;
}

} // namespace glfx::test
