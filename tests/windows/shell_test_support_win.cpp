// The shell tests' support for the Windows runner under Wine: the Windows libraries of the cross
// build, private copies in a folder of the Windows temporary folder, the same checked host.
// The per-user folder cannot be redirected on Windows (the shell answers from the user's
// profile), so UserFolderOverride is not offered here.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "shell_test_support.h"
#include "windows_test_support.h"

#include "resources/PropertyResource.h"
#include "resources/SlotPatcher.h"
#include "shell/Dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace glfx::testing {
namespace {

// One private folder per test process, removed when the process ends (what is still loaded
// then stays: Windows keeps a loaded library's file).
class TestRoot {
public:
    TestRoot() {
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
        path = std::string(temp) + "glfx-windows-" + std::to_string(GetCurrentProcessId());
        std::filesystem::create_directories(path);
    }
    ~TestRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

std::string testRoot() {
    static const TestRoot root;
    return root.path;
}

int counter = 0;

PF_Err inProcessEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamList params,
                      PF_LayerDef* output, void* extra) {
    return dispatchCommand(cmd, in_data, out_data, params, output, extra);
}

} // namespace

std::string templateLibrary() {
    return windowsPath(GLFX_TEMPLATE_LIBRARY);
}
std::string shippedLibrary() {
    return windowsPath(GLFX_PLUGIN_LIBRARY);
}
std::string shellTestLibrary() {
    return windowsPath(GLFX_SHELL_TEST_LIBRARY);
}
std::string shellTestEffectText() {
    return readFile(windowsPath(GLFX_TEST_DATA_DIR "/shell_test_effect.glfx"));
}

std::string temporaryFolder() {
    const std::string path = testRoot() + "\\d" + std::to_string(++counter);
    std::filesystem::create_directories(path);
    return path;
}

std::string freshCopy(const std::string& path) {
    const std::string copy = testRoot() + "\\lib" + std::to_string(++counter) + ".aex";
    writeFile(copy, readFile(path));
    return copy;
}

std::string packedLibrary(const std::string& code, const std::string& name, bool plain) {
    std::string image = readFile(templateLibrary());
    PackRequest request;
    request.name = name;
    request.category = "Tests";
    request.code = code;
    request.plain = plain;
    packLibrary(image, request);
    const std::string path = testRoot() + "\\packed" + std::to_string(++counter) + ".aex";
    writeFile(path, image);
    return path;
}

CheckedHost::~CheckedHost() {
    inject = Injection{};
    suites().allowAll();
    finish();
    EXPECT_THAT(problems(), ::testing::IsEmpty()) << "host of " << library().path();
    EXPECT_THAT(liveHandles(), ::testing::IsEmpty())
        << "handles still live after every set-down, host of " << library().path();
}

std::shared_ptr<hostsim::PluginLibrary> inProcessLibrary() {
    const auto resource = buildPropertyResource(kDefaultEffectName, kDefaultCategory);
    return hostsim::PluginLibrary::inProcess(
        inProcessEntry,
        std::string(reinterpret_cast<const char*>(resource.data()), resource.size()));
}

} // namespace glfx::testing
