// The plug-in's OpenGL context through WGL: the hidden "AE_Class" window, the host's own context
// current again after every operation, two instances sharing the class, and a driver that lacks
// an extension. Under Wine on Xvfb the driver is Mesa's llvmpipe through GLX.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "gl/GlContext.h"
#include "windows_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace glfx;
using ::testing::HasSubstr;

namespace {

constexpr std::array<float, 4> kHostClear = {0.125f, 0.25f, 0.5f, 0.75f};

bool pluginWindowExists() {
    return FindWindowA("AE_Class", "OpenGL_AE") != nullptr;
}

// The host application's own context on a window of its own, with a clear colour of its own, so
// GL calls that land in the wrong context show.
class WglHost {
public:
    ~WglHost() {
        if (context_ != nullptr) {
            if (wglGetCurrentContext() == context_) wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(context_);
        }
        if (window_ != nullptr) {
            ReleaseDC(window_, deviceContext_);
            DestroyWindow(window_);
        }
        UnregisterClassA("Glfx_test_host", nullptr);
    }

    bool create(std::string& reason) {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "Glfx_test_host";
        RegisterClassExA(&windowClass);
        window_ = CreateWindowExA(0, "Glfx_test_host", "host", 0, 0, 0, 16, 16, nullptr, nullptr,
                                  nullptr, nullptr);
        deviceContext_ = window_ != nullptr ? GetDC(window_) : nullptr;
        PIXELFORMATDESCRIPTOR descriptor{};
        descriptor.nSize = sizeof descriptor;
        descriptor.nVersion = 1;
        descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
        descriptor.iPixelType = PFD_TYPE_RGBA;
        descriptor.cColorBits = 32;
        const int format =
            deviceContext_ != nullptr ? ChoosePixelFormat(deviceContext_, &descriptor) : 0;
        if (format == 0 || !SetPixelFormat(deviceContext_, format, &descriptor) ||
            (context_ = wglCreateContext(deviceContext_)) == nullptr) {
            reason = "the test's own host context could not be made (error " +
                     std::to_string(GetLastError()) + ")";
            return false;
        }
        makeCurrent();
        glClearColor(kHostClear[0], kHostClear[1], kHostClear[2], kHostClear[3]);
        return true;
    }

    void makeCurrent() const { wglMakeCurrent(deviceContext_, context_); }

    ::testing::AssertionResult isCurrentAndIntact() const {
        if (wglGetCurrentContext() != context_ || wglGetCurrentDC() != deviceContext_)
            return ::testing::AssertionFailure() << "the host's context is not current";
        std::array<float, 4> clear{};
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
        if (clear != kHostClear)
            return ::testing::AssertionFailure()
                   << "the host's clear colour changed to " << clear[0] << ", " << clear[1] << ", "
                   << clear[2] << ", " << clear[3];
        return ::testing::AssertionSuccess();
    }

private:
    HWND window_ = nullptr;
    HDC deviceContext_ = nullptr;
    HGLRC context_ = nullptr;
};

class WglContext : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string reason = glfx::testing::openGlUnavailable();
        if (!reason.empty()) GTEST_SKIP() << "no OpenGL context on this machine: " << reason;
        std::string hostReason;
        ASSERT_TRUE(host.create(hostReason)) << hostReason;
    }
    WglHost host;
};

TEST_F(WglContext, EveryOperationLeavesTheHostsContextCurrentAndIntact) {
    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();
    EXPECT_EQ(context.state(), 1);
    EXPECT_NE(context.framebuffer(), 0u);
    EXPECT_TRUE(pluginWindowExists());
    EXPECT_TRUE(host.isCurrentAndIntact());

    ASSERT_TRUE(context.activate());
    EXPECT_EQ(context.state(), 0);
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    glClearColor(1, 0, 1, 1); // in the plug-in's context only
    ASSERT_TRUE(context.activate()) << "a second activation changes nothing";
    context.deactivate();
    EXPECT_EQ(context.state(), 1);
    EXPECT_TRUE(host.isCurrentAndIntact());

    context.close();
    EXPECT_EQ(context.state(), -1);
    EXPECT_FALSE(context.isValid());
    EXPECT_TRUE(host.isCurrentAndIntact());
    EXPECT_FALSE(pluginWindowExists()) << "closing must destroy the hidden window";
    context.close();
    EXPECT_EQ(context.state(), -1);
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(WglContext, WithoutAHostContextNoneIsCurrentAfterwards) {
    wglMakeCurrent(nullptr, nullptr);
    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    ASSERT_TRUE(context.activate());
    EXPECT_NE(wglGetCurrentContext(), nullptr);
    context.deactivate();
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    // The host makes its context current later: the next activation remembers that one.
    host.makeCurrent();
    ASSERT_TRUE(context.activate());
    context.deactivate();
    EXPECT_TRUE(host.isCurrentAndIntact());
    context.close();
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(WglContext, TwoInstancesShareTheClassAndTheLastOneUnregistersIt) {
    GlContext first, second;
    first.create();
    second.create(); // registering "AE_Class" again meets ERROR_CLASS_ALREADY_EXISTS
    ASSERT_TRUE(first.isValid()) << first.creationError();
    ASSERT_TRUE(second.isValid()) << second.creationError();

    ASSERT_TRUE(first.activate());
    const HGLRC firstContext = wglGetCurrentContext();
    ASSERT_TRUE(second.activate());
    EXPECT_NE(wglGetCurrentContext(), firstContext);
    second.deactivate();
    first.deactivate();
    EXPECT_TRUE(host.isCurrentAndIntact());

    first.close();
    ASSERT_TRUE(second.activate()) << "closing one instance must leave the other working";
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    second.deactivate();
    second.close();
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetClassInfoExA(nullptr, "AE_Class", &info)) << "the last close unregisters it";
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(WglContext, AMissingExtensionLeavesNoContextAndTheHostCurrent) {
    GlContext context;
    std::vector<std::string> extensions = GlContext::defaultRequiredExtensions();
    extensions.insert(extensions.begin() + 3, "GL_GLFX_no_such_extension");
    context.setRequiredExtensions(extensions);
    context.create();
    EXPECT_FALSE(context.isValid());
    EXPECT_THAT(context.creationError(), HasSubstr("GL_GLFX_no_such_extension"));
    EXPECT_FALSE(pluginWindowExists());
    EXPECT_TRUE(host.isCurrentAndIntact());
}

} // namespace
