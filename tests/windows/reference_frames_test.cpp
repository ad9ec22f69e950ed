// Renders the frames the Windows runner compares with and writes them into the folder named by
// GLFX_REFERENCE_FRAMES (CTest runs this first, as the windows_wine test's fixture).
#include "frame_scenarios.h"
#include "gl_test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace glfx::testing;

namespace {

// Empties the folder before any test of this program writes into it: nothing of an earlier run
// may stand in for a file this run fails to write.
class EmptyReferenceFolder : public ::testing::Environment {
public:
    void SetUp() override {
        const char* folder = std::getenv("GLFX_REFERENCE_FRAMES");
        if (folder == nullptr || *folder == '\0') return;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
};

::testing::Environment* const kEmptyReferenceFolder =
    ::testing::AddGlobalTestEnvironment(new EmptyReferenceFolder);

} // namespace

class ReferenceFrames : public glfx::test::GpuTest {};

TEST_F(ReferenceFrames, AreRenderedAndWritten) {
    const char* folder = std::getenv("GLFX_REFERENCE_FRAMES");
    ASSERT_TRUE(folder != nullptr && *folder != '\0') << "set GLFX_REFERENCE_FRAMES to a folder";
    const std::vector<ReferenceFrame> frames = renderReferenceFrames();
    EXPECT_FALSE(frames.empty());
    for (const ReferenceFrame& frame : frames)
        EXPECT_TRUE(writeFrame(folder, frame))
            << "cannot write " << frame.name << " into " << folder;
}
