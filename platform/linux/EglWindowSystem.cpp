// Headless OpenGL through EGL: a display taken from an EGL device (a real GPU when the machine has
// one, else Mesa's software device), falling back to Mesa's surfaceless platform; a desktop OpenGL
// compatibility-profile context (the renderer draws immediate-mode quads with fixed matrices) with
// a 1x1 pbuffer, or no surface where the display offers no pbuffer config.
//
// EGL keeps one current context per client API and thread. The host may have bound another API
// (OpenGL ES); the binding we save records it, and every change of the bound API here is undone.
#include "platform/WindowSystem.h"

#include <GL/glew.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace glfx::platform {
namespace {

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) return false;
    const size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool startsWord = p == list || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

std::string eglErrorText(EGLint code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "EGL error 0x%04X", static_cast<unsigned>(code));
    return buffer;
}

struct Candidate {
    EGLDisplay display;
    std::string description;
};

// Hardware devices first, then Mesa's software device, then the surfaceless platform.
std::vector<Candidate> candidateDisplays() {
    std::vector<Candidate> candidates;
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (client == nullptr) {
        eglGetError(); // no client extensions: nothing headless to try
        return candidates;
    }
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) return candidates;

    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    auto queryDeviceString = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
        eglGetProcAddress("eglQueryDeviceStringEXT"));
    if (hasExtension(client, "EGL_EXT_platform_device") && queryDevices && queryDeviceString) {
        EGLDeviceEXT devices[16];
        EGLint count = 0;
        if (queryDevices(16, devices, &count) == EGL_TRUE) {
            std::vector<Candidate> software;
            for (EGLint i = 0; i < count; ++i) {
                const char* extensions = queryDeviceString(devices[i], EGL_EXTENSIONS);
                const bool isSoftware = hasExtension(extensions, "EGL_MESA_device_software");
                EGLDisplay display =
                    getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                if (display == EGL_NO_DISPLAY) continue;
                Candidate candidate{display, "EGL device " + std::to_string(i) +
                                                 (isSoftware ? " (software)" : "")};
                (isSoftware ? software : candidates).push_back(candidate);
            }
            candidates.insert(candidates.end(), software.begin(), software.end());
        }
        eglGetError();
    }
    if (hasExtension(client, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display != EGL_NO_DISPLAY) candidates.push_back({display, "EGL surfaceless display"});
        eglGetError();
    }
    return candidates;
}

class EglWindowSystem final : public WindowSystem {
public:
    ~EglWindowSystem() override { destroy(); }

    bool create(std::string& error) override {
        destroy();
        const std::vector<Candidate> candidates = candidateDisplays();
        if (candidates.empty()) {
            error = "No headless EGL display was found (neither EGL_EXT_platform_device nor "
                    "EGL_MESA_platform_surfaceless is offered). Install an EGL driver with desktop "
                    "OpenGL, such as Mesa's libegl-mesa0 and libgl1-mesa-dri.";
            return false;
        }
        std::string reasons;
        for (const Candidate& candidate : candidates) {
            std::string reason;
            if (tryDisplay(candidate, reason)) return true;
            reasons += (reasons.empty() ? "" : "; ") + candidate.description + ": " + reason;
        }
        error = "No OpenGL context could be created through EGL (" + reasons +
                "). Install a driver with desktop OpenGL 2.0 support through EGL, such as Mesa's "
                "libegl-mesa0 and libgl1-mesa-dri.";
        return false;
    }

    bool isValid() const override { return context_ != EGL_NO_CONTEXT; }

    bool makeCurrent() override {
        if (!isValid()) return false;
        eglBindAPI(EGL_OPENGL_API);
        return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
    }

    ContextBinding current() const override {
        ContextBinding binding;
        binding.api = static_cast<unsigned>(eglQueryAPI());
        binding.context = eglGetCurrentContext();
        if (binding.context != EGL_NO_CONTEXT) {
            binding.display = eglGetCurrentDisplay();
            binding.draw = eglGetCurrentSurface(EGL_DRAW);
            binding.read = eglGetCurrentSurface(EGL_READ);
        }
        return binding;
    }

    bool isOwn(const ContextBinding& binding) const override {
        return isValid() && binding.context == context_;
    }

    bool restore(const ContextBinding& binding) override {
        const EGLenum api = binding.api != 0 ? binding.api : EGL_OPENGL_API;
        // With the host on another API our context would stay current beside its own.
        if (binding.empty() || api != EGL_OPENGL_API) releaseOwn();
        bool restored = true;
        if (!binding.empty()) {
            eglBindAPI(api);
            restored = eglMakeCurrent(binding.display, binding.draw, binding.read,
                                      binding.context) == EGL_TRUE;
            if (!restored) {
                eglGetError();
                releaseOwn();
            }
        }
        eglBindAPI(api);
        return restored;
    }

    bool loadEntryPoints(std::string& error) override {
        const GLenum result = glewInit();
        // Debian's GLEW is the GLX build: glewInit loads the core and extension entry points
        // first and only then fails in its GLX part with GLEW_ERROR_NO_GLX_DISPLAY, since an EGL
        // context has no GLX display. On this backend exactly that code means the GL loader
        // succeeded.
        if (result == GLEW_OK || result == GLEW_ERROR_NO_GLX_DISPLAY) return true;
        error = std::string("GLEW could not load the OpenGL entry points on ") + describe() + ": " +
                reinterpret_cast<const char*>(glewGetErrorString(result));
        return false;
    }

    void destroy() override {
        if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
        if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
        // The display is not terminated: EGL hands out one display per device, shared by every
        // private context in the process and perhaps by the host's own, and terminating it would
        // destroy their contexts too. It stays initialised for the life of the process.
        context_ = EGL_NO_CONTEXT;
        surface_ = EGL_NO_SURFACE;
        display_ = EGL_NO_DISPLAY;
    }

    std::string describe() const override { return description_; }

private:
    void releaseOwn() {
        if (display_ == EGL_NO_DISPLAY) return;
        eglBindAPI(EGL_OPENGL_API);
        if (eglGetCurrentContext() == context_)
            eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }

    bool tryDisplay(const Candidate& candidate, std::string& reason) {
        EGLint major = 0, minor = 0;
        if (eglInitialize(candidate.display, &major, &minor) != EGL_TRUE) {
            reason = "eglInitialize failed with " + eglErrorText(eglGetError());
            return false;
        }
        const char* extensions = eglQueryString(candidate.display, EGL_EXTENSIONS);
        const bool configless = hasExtension(extensions, "EGL_KHR_no_config_context") ||
                                hasExtension(extensions, "EGL_MESA_configless_context");
        const bool surfaceless = hasExtension(extensions, "EGL_KHR_surfaceless_context");

        const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                           EGL_PBUFFER_BIT,
                                           EGL_RENDERABLE_TYPE,
                                           EGL_OPENGL_BIT,
                                           EGL_RED_SIZE,
                                           8,
                                           EGL_GREEN_SIZE,
                                           8,
                                           EGL_BLUE_SIZE,
                                           8,
                                           EGL_ALPHA_SIZE,
                                           8,
                                           EGL_NONE};
        EGLConfig config = nullptr;
        EGLint configCount = 0;
        if (eglChooseConfig(candidate.display, configAttributes, &config, 1, &configCount) !=
                EGL_TRUE ||
            configCount < 1) {
            eglGetError();
            if (!(configless && surfaceless)) {
                reason = "no pbuffer config for desktop OpenGL";
                return false;
            }
            config = nullptr; // EGL_NO_CONFIG_KHR
        }

        const EGLenum previousApi = eglQueryAPI();
        if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
            reason = "desktop OpenGL is not offered (eglBindAPI failed)";
            eglBindAPI(previousApi);
            return false;
        }
        const bool canAskProfile =
            major > 1 || minor >= 5 || hasExtension(extensions, "EGL_KHR_create_context");
        const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        EGLContext context = EGL_NO_CONTEXT;
        if (canAskProfile)
            context = eglCreateContext(candidate.display, config, EGL_NO_CONTEXT, compatibility);
        // Without a profile request a context of version 1.0 is asked for, which is the
        // compatibility profile wherever profiles exist.
        if (context == EGL_NO_CONTEXT)
            context = eglCreateContext(candidate.display, config, EGL_NO_CONTEXT, nullptr);
        const EGLint contextError = eglGetError();
        eglBindAPI(previousApi);
        if (context == EGL_NO_CONTEXT) {
            reason = "eglCreateContext failed with " + eglErrorText(contextError);
            return false;
        }

        EGLSurface surface = EGL_NO_SURFACE;
        if (config != nullptr) {
            const EGLint pbufferAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
            surface = eglCreatePbufferSurface(candidate.display, config, pbufferAttributes);
            if (surface == EGL_NO_SURFACE && !surfaceless) {
                reason = "eglCreatePbufferSurface failed with " + eglErrorText(eglGetError());
                eglDestroyContext(candidate.display, context);
                return false;
            }
            eglGetError();
        }
        display_ = candidate.display;
        context_ = context;
        surface_ = surface;
        const char* vendor = eglQueryString(display_, EGL_VENDOR);
        description_ = candidate.description + (vendor ? std::string(", ") + vendor : "");
        return true;
    }

    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    EGLSurface surface_ = EGL_NO_SURFACE;
    std::string description_;
};

} // namespace

std::unique_ptr<WindowSystem> createWindowSystem() {
    return std::make_unique<EglWindowSystem>();
}

} // namespace glfx::platform
