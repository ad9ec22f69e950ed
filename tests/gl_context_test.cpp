// The private GL context against a stand-in host context: whatever the host had current on the
// thread must be current again after every operation, and a driver lacking a required extension
// must leave no context behind.
#include "gl/GlContext.h"
#include "gl_test_host.h"

#include <EGL/egl.h>
#include <GL/glew.h>

namespace glfx {
namespace {

using test::GpuTest;

class GlContextTest : public GpuTest {};

TEST_F(GlContextTest, CreateLeavesTheHostCurrentAndAFramebufferReady) {
    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();
    EXPECT_EQ(context.state(), 1);
    EXPECT_NE(context.framebuffer(), 0u);
    EXPECT_GE(context.maxTextureSize(), 1024);
    EXPECT_TRUE(host.isCurrentAndIntact());
    context.close();
}

TEST_F(GlContextTest, ActivateTwiceThenDeactivateOnceGivesTheHostBack) {
    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();

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
    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();
    EXPECT_TRUE(test::nothingCurrent());
    ASSERT_TRUE(context.activate());
    EXPECT_FALSE(test::nothingCurrent());
    context.deactivate();
    EXPECT_TRUE(test::nothingCurrent());
    context.close();
    EXPECT_TRUE(test::nothingCurrent());
}

TEST_F(GlContextTest, TheBindingOfEachMomentIsRestoredNotTheOneAtCreation) {
    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();

    test::HostContext other;
    std::string reason;
    ASSERT_TRUE(other.create(reason)) << reason;
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
    GlContext never;
    never.close();
    EXPECT_EQ(never.state(), -1);
    EXPECT_TRUE(host.isCurrentAndIntact());

    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();
    context.close();
    EXPECT_FALSE(context.isValid());
    EXPECT_EQ(context.state(), -1);
    EXPECT_EQ(context.framebuffer(), 0u);
    EXPECT_TRUE(host.isCurrentAndIntact());

    test::HostContext other;
    std::string reason;
    ASSERT_TRUE(other.create(reason)) << reason;
    context.close();
    EXPECT_TRUE(other.isCurrentAndIntact());
    EXPECT_FALSE(context.activate());
    EXPECT_TRUE(other.isCurrentAndIntact());
    host.makeCurrent();
}

struct MissingExtensionCase {
    const char* name;
    std::vector<std::string> extensions;
    const char* missing;
};

class GlContextCapabilityTest : public GpuTest,
                                public ::testing::WithParamInterface<MissingExtensionCase> {};

TEST_P(GlContextCapabilityTest, AMissingExtensionLeavesNoContextAndTheHostCurrent) {
    GlContext context;
    context.setRequiredExtensions(GetParam().extensions);
    context.create();
    EXPECT_FALSE(context.isValid());
    EXPECT_EQ(context.state(), -1);
    EXPECT_EQ(context.framebuffer(), 0u);
    EXPECT_NE(context.creationError().find(GetParam().missing), std::string::npos)
        << context.creationError();
    EXPECT_TRUE(host.isCurrentAndIntact());
    EXPECT_FALSE(context.activate());
    EXPECT_TRUE(host.isCurrentAndIntact());
    context.close();
    EXPECT_TRUE(host.isCurrentAndIntact());
}

std::vector<std::string> defaultsWith(const char* extra, size_t position) {
    std::vector<std::string> list = GlContext::defaultRequiredExtensions();
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(position), extra);
    return list;
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, GlContextCapabilityTest,
    ::testing::Values(MissingExtensionCase{"First", defaultsWith("GL_GLFX_missing_first", 0),
                                           "GL_GLFX_missing_first"},
                      MissingExtensionCase{"AfterDrawBuffers",
                                           defaultsWith("GL_GLFX_missing_late", 7),
                                           "GL_GLFX_missing_late"},
                      MissingExtensionCase{"Last", defaultsWith("GL_GLFX_missing_last", 8),
                                           "GL_GLFX_missing_last"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlContextTest, TheDefaultRequirementsHoldOnThisDriver) {
    GlContext context;
    context.create();
    ASSERT_TRUE(context.isValid()) << context.creationError();
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

} // namespace
} // namespace glfx
