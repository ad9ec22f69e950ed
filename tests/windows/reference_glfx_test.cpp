// What the Linux glfx prints and draws for glfx.exe's test (glfx_scenario.h), written into the
// folder named by GLFX_REFERENCE_FRAMES beside the reference frames.
#include "cli_test_support.h"
#include "glfx_scenario.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace glfx::testing;

TEST(ReferenceGlfx, DescribesAndRendersTheWindowsGlfxScenario) {
    const char* folder = std::getenv("GLFX_REFERENCE_FRAMES");
    ASSERT_TRUE(folder != nullptr && *folder != '\0') << "set GLFX_REFERENCE_FRAMES to a folder";
    std::string reason;
    if (!glfx::test::glAvailable(reason)) GTEST_SKIP() << "no GL context: " << reason;

    const glfx::test::RunResult info =
        glfx::test::runGlfx({"info", glfx_scenario::kEffect}, GLFX_SOURCE_DIR);
    ASSERT_EQ(info.exitCode, 0) << info.err;
    glfx::test::writeFile(std::string(folder) + "/" + glfx_scenario::kInfoFile, info.out);

    std::vector<std::string> render = {"render", glfx_scenario::kEffect};
    for (const std::string& a :
         glfx_scenario::renderArguments(std::string(folder) + "/" + glfx_scenario::kRenderFile))
        render.push_back(a);
    const glfx::test::RunResult rendered = glfx::test::runGlfx(render, GLFX_SOURCE_DIR);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
    EXPECT_EQ(rendered.err, "");
}
