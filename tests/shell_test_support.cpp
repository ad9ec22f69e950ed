// Compiled into the Linux test programs and into the Windows runner, which opens the build's
// files through Wine's drive Z: and keeps its private copies in the Windows temporary folder.
#include "shell_test_support.h"

#include "resources/PropertyResource.h"
#include "resources/SlotPatcher.h"
#include "shell/Dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "windows/windows_test_support.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace glfx::testing {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
constexpr char kLibrarySuffix[] = ".aex";
std::string builtFile(const char* path) {
    return windowsPath(path);
}
#else
constexpr char kSeparator = '/';
constexpr char kLibrarySuffix[] = ".so";
std::string builtFile(const char* path) {
    return path;
}
#endif

// One private folder per test process, removed when the process ends (on Windows what is still
// loaded then stays: Windows keeps a loaded library's file).
class TestRoot {
public:
    TestRoot() {
#ifdef _WIN32
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
        path = std::string(temp) + "glfx-windows-" + std::to_string(GetCurrentProcessId());
        std::filesystem::create_directories(path);
#else
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/glfx-shell-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
#endif
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

// A new name in the test's folder.
std::string nextPath(const char* stem, const char* suffix) {
    return testRoot() + kSeparator + stem + std::to_string(++counter) + suffix;
}

#ifndef _WIN32
// Global set-up creates the per-user folders; keep them out of the real home. The Windows shell
// answers that folder from the user's profile, which nothing redirects (and Wine's is private to
// the run).
const bool kPrivateUserFolder = [] {
    const std::string config = testRoot() + "/config";
    mkdir(config.c_str(), 0755);
    return setenv("XDG_CONFIG_HOME", config.c_str(), 1) == 0;
}();

void restore(const char* name, bool had, const std::string& value) {
    if (had)
        setenv(name, value.c_str(), 1);
    else
        unsetenv(name);
}
#endif

PF_Err inProcessEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamList params,
                      PF_LayerDef* output, void* extra) {
    return dispatchCommand(cmd, in_data, out_data, params, output, extra);
}

} // namespace

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string templateLibrary() {
    return builtFile(GLFX_TEMPLATE_LIBRARY);
}
std::string shippedLibrary() {
    return builtFile(GLFX_PLUGIN_LIBRARY);
}
std::string shellTestLibrary() {
    return builtFile(GLFX_SHELL_TEST_LIBRARY);
}
std::string shellTestEffectText() {
    return readFile(builtFile(GLFX_TEST_DATA_DIR "/shell_test_effect.glfx"));
}

std::string temporaryFolder() {
    const std::string path = nextPath("d", "");
    std::filesystem::create_directories(path);
    return path;
}

std::string freshCopy(const std::string& path) {
    const std::string copy = nextPath("lib", kLibrarySuffix);
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
    const std::string path = nextPath("packed", kLibrarySuffix);
    writeFile(path, image);
    return path;
}

#ifndef _WIN32
UserFolderOverride::UserFolderOverride(const std::string& folder) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    hadXdg_ = xdg != nullptr;
    hadHome_ = home != nullptr;
    savedXdg_ = hadXdg_ ? xdg : "";
    savedHome_ = hadHome_ ? home : "";
    if (folder.empty()) {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("HOME");
    } else {
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    }
}

UserFolderOverride::~UserFolderOverride() {
    restore("XDG_CONFIG_HOME", hadXdg_, savedXdg_);
    restore("HOME", hadHome_, savedHome_);
}
#endif

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
