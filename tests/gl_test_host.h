// Support for the GPU tests: a stand-in for the host's own GL context, frames that own their
// buffers, effect descriptions filled in place, and image comparison with stated tolerances.
#pragma once

#include "effect/EffectDescription.h"
#include "gl/FrameInput.h"
#include "image_match.h"

#include <EGL/egl.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace glfx {
class GlRenderer;
}

namespace glfx::test {

// The host's own context: on a display of its own (Mesa's surfaceless platform where offered),
// with a 1x1 pbuffer, some GL state and 80 textures whose names overlap the renderer's, so GL
// calls that land in the wrong context show up as changed host state.
class HostContext {
public:
    HostContext() = default;
    ~HostContext();
    HostContext(const HostContext&) = delete;
    HostContext& operator=(const HostContext&) = delete;

    // Creates the context and makes it current; false with the reason when EGL offers none.
    bool create(std::string& reason);
    void makeCurrent() const;
    // The thread's display, surfaces and context are exactly this host's, and its clear colour,
    // texture binding and textures are as create left them.
    ::testing::AssertionResult isCurrentAndIntact() const;

    EGLContext context() const { return context_; }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    EGLSurface surface_ = EGL_NO_SURFACE;
    std::vector<unsigned> textures_;
};

// Skips (with the reason) when this machine cannot make the renderer's own context.
class GpuTest : public ::testing::Test {
protected:
    void SetUp() override;
    HostContext host;
};

// A description with these fragment texts as passes 0, 1, ... (the other of the 32 entries
// empty), the default vertex text, `passCount` set and routing as a parse leaves it for one layer.
std::unique_ptr<EffectDescription> makeEffect(const std::vector<std::string>& passes);

// "uniform sampler2D in0; ... in<count - 1>;" on one line each.
std::string samplerDeclarations(int count);

// One frame's input with its layers and parameter values owned here, and its result.
struct Frame {
    Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Layer k's pixels, four floats each (or four bytes packed into each float's place), rows
    // packed.
    void setLayer(int k, int width, int height, std::vector<float> pixels);
    void setOutput(int width, int height);
    // Draws the frame, the result collected into `bytes`: layers uploaded and the result read
    // back as `type` (GL_FLOAT or GL_UNSIGNED_INT_8_8_8_8_REV), or as `input` says for 0.
    bool render(GlRenderer& renderer, GLenum type = 0);
    // Component c of the float result's pixel (x, y).
    float result(int x, int y, int c) const;
    const float* resultPixels() const { return reinterpret_cast<const float*>(bytes.data()); }

    FrameInput input;
    float values[kMaxParams][4] = {};
    std::array<std::vector<float>, kMaxLayers> layers;
    std::vector<uint8_t> bytes;
};

// An image of `width` x `height` RGBA float pixels whose every pixel is `value`.
std::vector<float> solidImage(int width, int height, std::array<float, 4> value);

} // namespace glfx::test
