// Flatten and set-down of an instance whose renderer is live: its own context created, programs
// built and a frame drawn. The host's context must be current and untouched afterwards, and the
// next render after re-set-up must work with a new renderer.
#include "gl_test_host.h"
#include "shell_test_support.h"

#include "effect/Parser.h"
#include "gl/GlRenderer.h"
#include "shaders/RenderState.h"
#include "records/GlobalState.h"
#include "records/SequenceRecord.h"
#include "render/FrameRender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace glfx;
using namespace glfx::testing;

namespace {

class LiveRecord : public test::GpuTest {
protected:
    // A record's first render as the render path will do it: render state, buffers, one frame.
    void render(hostsim::Instance& instance) {
        SequenceState& r = *instance.mutableRecord();
        createRenderState(r, loadedEffect().description);
        claimRecordResources(instance.sequenceData(), r);
        ASSERT_TRUE(r.renderer->context.isValid()) << r.renderer->context.creationError();
        r.renderer->buildPrograms(refreshDefines(r, loadedEffect().description));
        ASSERT_TRUE(r.renderer->programsOk) << r.renderer->errorText;
        r.layerWidth[0] = 4;
        r.layerHeight[0] = 2;
        float* staging = stagingBuffer(r, 0);
        std::fill(staging, staging + 4 * 4 * 2, 0.5f);
        test::Frame frame;
        frame.input.layers[0] = FrameLayer{staging, 4, 2, 0};
        frame.setOutput(4, 2);
        ASSERT_TRUE(frame.render(*r.renderer)) << r.renderer->errorText;
        EXPECT_FLOAT_EQ(frame.result(0, 0, 0), 0.5f);
        EXPECT_TRUE(host.isCurrentAndIntact());
    }
};

TEST_F(LiveRecord, FlattenResetupAndSetdownReleaseTheRendererAndKeepTheHostsContext) {
    UserFolderOverride noFolder("");
    CheckedHost plugin(inProcessLibrary(), hostsim::HostApp::AfterEffects);
    ASSERT_EQ(plugin.start(), PF_Err_NONE);
    parseDescription(loadedEffect().description, "[settings]\nname=Live\n");
    hostsim::Instance& instance = plugin.addInstance();
    ASSERT_EQ(plugin.sequenceSetup(instance), PF_Err_NONE);
    ASSERT_NO_FATAL_FAILURE(render(instance));

    ASSERT_EQ(plugin.sequenceFlatten(instance), PF_Err_NONE);
    EXPECT_EQ(instance.record()->renderer, nullptr);
    EXPECT_EQ(instance.record()->resultBuffer, nullptr);
    EXPECT_TRUE(host.isCurrentAndIntact());

    ASSERT_EQ(plugin.sequenceResetup(instance), PF_Err_NONE);
    ASSERT_NO_FATAL_FAILURE(render(instance));

    ASSERT_EQ(plugin.sequenceSetdown(instance), PF_Err_NONE);
    EXPECT_EQ(instance.sequenceData(), nullptr);
    EXPECT_TRUE(host.isCurrentAndIntact());
}

} // namespace
