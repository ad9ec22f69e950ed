// Off-screen OpenGL through WGL: a hidden 50x50 window of the class "AE_Class", its device context
// with an RGBA pixel format, and a context from wglCreateContext. The window is never shown; the
// renderer draws into framebuffer objects, so the 8-bit formats drivers actually offer (none has
// 128 colour bits) are good enough and the bits obtained are not checked.
//
// The window belongs to the thread that created it: create and destroy must run on one thread.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/WindowSystem.h"

#include <GL/glew.h>

#include <string>

namespace glfx::platform {
namespace {

constexpr char kClassName[] = "AE_Class";
constexpr char kWindowTitle[] = "OpenGL_AE";

std::string windowsErrorText(DWORD code) {
    std::string text = "Windows error " + std::to_string(code);
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (length > 0 && message != nullptr) {
        std::string said(message, length);
        while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' '))
            said.pop_back();
        text += ": " + said;
    }
    if (message != nullptr) LocalFree(message);
    return text;
}

class WglWindowSystem final : public WindowSystem {
public:
    ~WglWindowSystem() override { destroy(); }

    bool create(std::string& error) override {
        destroy();
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = kClassName;
        // Every instance registers the class; the second and later find it there already.
        if (RegisterClassExA(&windowClass) == 0) {
            const DWORD code = GetLastError();
            if (code != ERROR_CLASS_ALREADY_EXISTS) {
                error = "The window class \"AE_Class\" for OpenGL could not be registered (" +
                        windowsErrorText(code) + ").";
                return false;
            }
        }
        window_ = CreateWindowExA(0, kClassName, kWindowTitle, 0, 0, 0, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr);
        if (window_ == nullptr) {
            error = "The hidden window for OpenGL could not be created (" +
                    windowsErrorText(GetLastError()) +
                    "). OpenGL needs a desktop session: run the host in one.";
            destroy();
            return false;
        }
        deviceContext_ = GetDC(window_);
        PIXELFORMATDESCRIPTOR descriptor{};
        descriptor.nSize = sizeof descriptor;
        descriptor.nVersion = 1;
        descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        descriptor.iPixelType = PFD_TYPE_RGBA;
        descriptor.cColorBits = 128;
        descriptor.cDepthBits = 32;
        descriptor.cStencilBits = 32;
        descriptor.iLayerType = PFD_MAIN_PLANE;
        pixelFormat_ =
            deviceContext_ != nullptr ? ChoosePixelFormat(deviceContext_, &descriptor) : 0;
        if (pixelFormat_ == 0 || !SetPixelFormat(deviceContext_, pixelFormat_, &descriptor)) {
            error = "No OpenGL pixel format could be set on the hidden window (" +
                    windowsErrorText(GetLastError()) +
                    "). Install the graphics card maker's driver, which brings OpenGL.";
            destroy();
            return false;
        }
        context_ = wglCreateContext(deviceContext_);
        if (context_ == nullptr) {
            error = "wglCreateContext failed on pixel format " + std::to_string(pixelFormat_) +
                    " (" + windowsErrorText(GetLastError()) +
                    "). Install the graphics card maker's driver, which brings OpenGL.";
            destroy();
            return false;
        }
        return true;
    }

    bool isValid() const override { return context_ != nullptr && window_ != nullptr; }

    bool makeCurrent() override {
        return isValid() && wglMakeCurrent(deviceContext_, context_) == TRUE;
    }

    ContextBinding current() const override {
        ContextBinding binding;
        binding.context = wglGetCurrentContext();
        if (binding.context != nullptr) binding.draw = binding.read = wglGetCurrentDC();
        return binding;
    }

    bool isOwn(const ContextBinding& binding) const override {
        return isValid() && binding.context == context_;
    }

    bool restore(const ContextBinding& binding) override {
        if (binding.empty()) return wglMakeCurrent(nullptr, nullptr) == TRUE;
        if (wglMakeCurrent(static_cast<HDC>(binding.draw), static_cast<HGLRC>(binding.context)) ==
            TRUE)
            return true;
        // The host's context is gone; at least ours must not stay current.
        wglMakeCurrent(nullptr, nullptr);
        return false;
    }

    bool loadEntryPoints(std::string& error) override {
        // GLEW's core loader, then its WGL loader.
        const GLenum result = glewInit();
        if (result == GLEW_OK) return true;
        error = std::string("GLEW could not load the OpenGL entry points on ") + describe() + ": " +
                reinterpret_cast<const char*>(glewGetErrorString(result));
        return false;
    }

    void destroy() override {
        if (context_ != nullptr) {
            if (wglGetCurrentContext() == context_) wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(context_);
        }
        if (window_ != nullptr) {
            if (deviceContext_ != nullptr) ReleaseDC(window_, deviceContext_);
            DestroyWindow(window_);
            // Fails while another instance's window still uses the class; the last one succeeds.
            UnregisterClassA(kClassName, nullptr);
        }
        context_ = nullptr;
        deviceContext_ = nullptr;
        window_ = nullptr;
        pixelFormat_ = 0;
    }

    std::string describe() const override {
        return "WGL, hidden window with pixel format " + std::to_string(pixelFormat_);
    }

private:
    HWND window_ = nullptr;
    HDC deviceContext_ = nullptr;
    HGLRC context_ = nullptr;
    int pixelFormat_ = 0;
};

} // namespace

std::unique_ptr<WindowSystem> createWindowSystem() {
    return std::make_unique<WglWindowSystem>();
}

} // namespace glfx::platform
