// The window-system side of an off-screen OpenGL context: creating a private context that is never
// shown, switching between it and whatever context the host has current, and loading the GL entry
// points. One object per private context; the GL work itself lives in plugin/gl.
//
// Implementations: EGL on Linux (a headless device or surfaceless display, a 1x1 pbuffer or no
// surface) and WGL on Windows (a hidden window with its own class and pixel format).
//
// Threads: an object belongs to one thread at a time; `current`, `makeCurrent` and `restore` act on
// the calling thread's binding only. Nothing here takes a lock.
#pragma once

#include <memory>
#include <string>

namespace glfx::platform {

// What a thread has current, in the window system's own handles. EGL: display, draw and read
// surfaces, context and the client API bound on the thread. WGL: the device context in `draw` and
// `read`, the rendering context in `context`, `display` and `api` unused. A null `context` means
// nothing is current.
struct ContextBinding {
    void* display = nullptr;
    void* draw = nullptr;
    void* read = nullptr;
    void* context = nullptr;
    unsigned api = 0;

    bool empty() const { return context == nullptr; }
};

class WindowSystem {
public:
    // Destroys the private context and its surface or window if `destroy` has not run yet. Makes no
    // GL call, so it is safe without any context current.
    virtual ~WindowSystem() = default;

    // Creates the private compatibility-profile context and what it draws to; does not make it
    // current and leaves the thread's binding as it was. On failure returns false, destroys what
    // was made and puts the reason into `error`.
    virtual bool create(std::string& error) = 0;

    // True between a successful `create` and `destroy`.
    virtual bool isValid() const = 0;

    // Makes the private context current on the calling thread. False when it could not be.
    virtual bool makeCurrent() = 0;

    // The calling thread's current binding, whoever owns it.
    virtual ContextBinding current() const = 0;

    // Whether `binding` is this object's private context.
    virtual bool isOwn(const ContextBinding& binding) const = 0;

    // Makes `binding` current again on the calling thread; an empty binding releases the private
    // context so that none is current. If `binding` cannot be made current (its owner destroyed
    // it), the private context is still released and the result is false.
    virtual bool restore(const ContextBinding& binding) = 0;

    // Loads the GL entry points (GLEW) for the private context, which must be current. On failure
    // returns false with the reason in `error`.
    virtual bool loadEntryPoints(std::string& error) = 0;

    // Destroys the private context and its surface or window. The context must not be current on
    // any thread. Harmless when nothing was created.
    virtual void destroy() = 0;

    // Which display or device the context runs on, for logs and error texts.
    virtual std::string describe() const = 0;
};

// The implementation for this platform.
std::unique_ptr<WindowSystem> createWindowSystem();

} // namespace glfx::platform
