// The Windows plug-in's frames under Wine against the Linux build's: the same scenarios, rendered
// here through WGL and there through EGL, must agree within the golden tests' tolerance.
#include "frame_scenarios.h"
#include "windows_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace glfx::testing;

TEST(WindowsFrames, MatchTheLinuxBuildsFrames) {
    const char* folder = std::getenv("GLFX_REFERENCE_FRAMES");
    if (folder == nullptr || *folder == '\0')
        GTEST_SKIP() << "GLFX_REFERENCE_FRAMES names no folder of the Linux build's frames (CTest "
                        "sets it for the windows_wine test)";
    const std::string reason = openGlUnavailable();
    if (!reason.empty()) GTEST_SKIP() << "no OpenGL context on this machine: " << reason;

    const std::vector<ReferenceFrame> frames = renderReferenceFrames();
    EXPECT_FALSE(frames.empty());
    for (const ReferenceFrame& frame : frames) {
        ReferenceFrame expected;
        std::string error;
        if (!readFrame(windowsPath(folder), frame.name, &expected, &error)) {
            ADD_FAILURE() << error;
            continue;
        }
        EXPECT_TRUE(framesMatch(frame, expected));
    }
}
