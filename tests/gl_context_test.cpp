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
    GlContext context;
};

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

// A made-up extension last in the required list: every other check has passed by then.
TEST_F(GlContextTest, AMissingExtensionLeavesNoContextAndTheHostCurrent) {
    std::vector<std::string> list = GlContext::defaultRequiredExtensions();
    list.push_back("GL_GLFX_missing");
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

} // namespace
} // namespace glfx
