// The private GL context against a stand-in host context: whatever the host had current on the
// thread must be current again after every operation, and a driver lacking a required extension
// must leave no context behind.
#include "gl/GlContext.h"
#include "gl_test_host.h"

#include <EGL/egl.h>
#include <GL/glew.h>

namespace glfx {
namespace {

class GlContextTest : public test::GpuTest {
protected:
    ::testing::AssertionResult create() {
        context.create();
        if (context.isValid()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << context.creationError();
    }
    // Another stand-in host, current from here on.
    void switchHost(test::HostContext& other) {
        std::string reason;
        ASSERT_TRUE(other.create(reason)) << reason;
    }
    GlContext context;
};

TEST_F(GlContextTest, CreateMakesACompatibilityContextAndLeavesTheHostCurrent) {
    ASSERT_TRUE(create());
    EXPECT_EQ(context.state(), 1);
    EXPECT_NE(context.framebuffer(), 0u);
    EXPECT_GE(context.maxTextureSize(), 1024);
    EXPECT_TRUE(host.isCurrentAndIntact());
    ASSERT_TRUE(context.activate());
    EXPECT_TRUE(context.hasRequiredCapabilities());
    // The renderer draws immediate-mode quads: the context must be a compatibility one.
    GLint mask = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    glGetError();
    EXPECT_EQ(mask & GL_CONTEXT_CORE_PROFILE_BIT, 0);
    context.deactivate();
    context.close();
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(GlContextTest, ActivateTwiceThenDeactivateOnceGivesTheHostBack) {
    ASSERT_TRUE(create());
    ASSERT_TRUE(context.activate());
    const EGLContext own = eglGetCurrentContext();
    EXPECT_NE(own, host.context());
    EXPECT_EQ(context.state(), 0);
    ASSERT_TRUE(context.activate());
    EXPECT_EQ(eglGetCurrentContext(), own);
    context.deactivate();
    EXPECT_EQ(context.state(), 1);
    EXPECT_TRUE(host.isCurrentAndIntact());
    context.deactivate();
    EXPECT_TRUE(host.isCurrentAndIntact());
    context.close();
}

TEST_F(GlContextTest, AHostWithoutContextFindsNoneAfterwards) {
    test::releaseCurrent();
    ASSERT_TRUE(create());
    EXPECT_TRUE(test::nothingCurrent());
    ASSERT_TRUE(context.activate());
    EXPECT_FALSE(test::nothingCurrent());
    context.deactivate();
    EXPECT_TRUE(test::nothingCurrent());
    context.close();
    EXPECT_TRUE(test::nothingCurrent());
}

TEST_F(GlContextTest, TheBindingOfEachMomentIsRestoredNotTheOneAtCreation) {
    ASSERT_TRUE(create());
    test::HostContext other;
    switchHost(other);
    ASSERT_TRUE(context.activate());
    context.deactivate();
    EXPECT_TRUE(other.isCurrentAndIntact());

    test::releaseCurrent();
    ASSERT_TRUE(context.activate());
    context.deactivate();
    EXPECT_TRUE(test::nothingCurrent());

    host.makeCurrent();
    context.close();
    EXPECT_TRUE(host.isCurrentAndIntact());
}

TEST_F(GlContextTest, CloseTwiceAndCloseOfANeverCreatedContextLeaveTheHostAlone) {
    context.close();
    EXPECT_EQ(context.state(), -1);
    EXPECT_TRUE(host.isCurrentAndIntact());

    ASSERT_TRUE(create());
    context.close();
    EXPECT_FALSE(context.isValid());
    EXPECT_EQ(context.state(), -1);
    EXPECT_EQ(context.framebuffer(), 0u);
    EXPECT_TRUE(host.isCurrentAndIntact());

    test::HostContext other;
    switchHost(other);
    context.close();
    EXPECT_TRUE(other.isCurrentAndIntact());
    EXPECT_FALSE(context.activate());
    EXPECT_TRUE(other.isCurrentAndIntact());
    host.makeCurrent();
}

class GlContextCapabilityTest : public GlContextTest,
                                public ::testing::WithParamInterface<size_t> {};

// A made-up extension at a position of the default list.
TEST_P(GlContextCapabilityTest, AMissingExtensionLeavesNoContextAndTheHostCurrent) {
    std::vector<std::string> list = GlContext::defaultRequiredExtensions();
    ASSERT_LE(GetParam(), list.size());
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(GetParam()), "GL_GLFX_missing");
    context.setRequiredExtensions(list);
    EXPECT_FALSE(create());
    EXPECT_EQ(context.state(), -1);
    EXPECT_EQ(context.framebuffer(), 0u);
    EXPECT_NE(context.creationError().find("GL_GLFX_missing"), std::string::npos)
        << context.creationError();
    EXPECT_TRUE(host.isCurrentAndIntact());
    EXPECT_FALSE(context.activate());
    EXPECT_TRUE(host.isCurrentAndIntact());
    context.close();
    EXPECT_TRUE(host.isCurrentAndIntact());
}

// First, after the draw-buffers extension, and last.
INSTANTIATE_TEST_SUITE_P(Drivers, GlContextCapabilityTest,
                         ::testing::Values(size_t{0}, size_t{7}, size_t{8}),
                         [](const auto& info) { return "At" + std::to_string(info.param); });

} // namespace
} // namespace glfx
