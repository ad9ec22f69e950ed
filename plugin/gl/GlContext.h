// An instance's private OpenGL context, never shown, with its one framebuffer object. The renderer
// brackets every piece of GL work with activate ... deactivate, so the host finds whatever context
// it had current on that thread current again when the plug-in returns.
//
// States: -1 closed or never created; 0 active (own context current); 1 inactive (the host's
// binding current again). Every operation runs on the thread that delivers the instance's
// commands; nothing here takes a lock. No operation throws.
#pragma once

#include "gl/GlObjects.h"
#include "platform/WindowSystem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace glfx {

class GlContext {
public:
    GlContext();
    // Releases the window-system context if `close` has not; makes no GL call, so it is safe after
    // the context died or with another context current.
    virtual ~GlContext();

    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    // Builds the context, loads GLEW, checks the capabilities and makes the framebuffer object.
    // Success is read afterwards with isValid; on failure nothing is left and `creationError`
    // says why. The host's binding is current again afterwards on every path.
    void create();

    // Makes the private context current, remembering the host's binding (unless it is this
    // context itself). Does nothing when already active. False when the context is not valid or
    // cannot be made current; then no GL call may follow.
    bool activate();

    // Makes the remembered host binding current again (none, if the host had none). Acts only
    // when active.
    void deactivate();

    bool isValid() const;

    // OpenGL 2.0, GL_VERSION and GL_EXTENSIONS strings, every extension of `requiredExtensions`
    // and two fixed-function texture units. Needs the private context current.
    bool hasRequiredCapabilities();

    GLuint framebuffer() const { return framebuffer_.get(); }
    int32_t state() const { return state_; }

    // Deletes the framebuffer object (with the context current), then the context; the host's
    // binding is current afterwards. A second call, or one on a context never created, does
    // nothing.
    void close();

    // The extensions the capability check asks for, in order. Replaceable before `create`, so a
    // driver lacking one can be imitated.
    static const std::vector<std::string>& defaultRequiredExtensions();
    void setRequiredExtensions(std::vector<std::string> extensions);
    const std::vector<std::string>& requiredExtensions() const { return requiredExtensions_; }

    // Where `create` takes its window system from: the platform's, unless a test installed a
    // factory of its own to imitate a machine whose driver cannot make a context. Process-wide;
    // null restores the platform's. Set it only while no context is being created.
    using WindowSystemFactory = std::unique_ptr<platform::WindowSystem> (*)();
    static void setWindowSystemFactory(WindowSystemFactory factory);

    const std::string& creationError() const { return creationError_; }
    std::string describe() const;

    // Driver limits read at creation.
    GLint maxTextureSize() const { return maxTextureSize_; }
    GLint maxTextureImageUnits() const { return maxTextureImageUnits_; }

private:
    bool createSteps();

    GlFramebuffer framebuffer_;
    int32_t state_ = -1;
    std::unique_ptr<platform::WindowSystem> window_;
    platform::ContextBinding saved_;
    std::vector<std::string> requiredExtensions_;
    std::string creationError_;
    GLint maxTextureSize_ = 0;
    GLint maxTextureImageUnits_ = 0;
};

} // namespace glfx
