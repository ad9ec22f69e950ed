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
#include <sys/stat.h>
#include <unistd.h>

namespace glfx::testing {
namespace {

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

// One private folder per test process, removed when the process ends.
class TestRoot {
public:
    TestRoot() {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/glfx-shell-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
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

// Global set-up creates the per-user folders; keep them out of the real home.
const bool kPrivateUserFolder = [] {
    const std::string config = testRoot() + "/config";
    mkdir(config.c_str(), 0755);
    return setenv("XDG_CONFIG_HOME", config.c_str(), 1) == 0;
}();

int counter = 0;

PF_Err inProcessEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamList params,
                      PF_LayerDef* output, void* extra) {
    return dispatchCommand(cmd, in_data, out_data, params, output, extra);
}

void restore(const char* name, bool had, const std::string& value) {
    if (had)
        setenv(name, value.c_str(), 1);
    else
        unsetenv(name);
}

} // namespace

std::string templateLibrary() {
    return GLFX_TEMPLATE_LIBRARY;
}
std::string shippedLibrary() {
    return GLFX_PLUGIN_LIBRARY;
}
std::string shellTestLibrary() {
    return GLFX_SHELL_TEST_LIBRARY;
}
std::string shellTestEffectText() {
    return readFile(GLFX_TEST_DATA_DIR "/shell_test_effect.glfx");
}

std::string temporaryFolder() {
    const std::string path = testRoot() + "/d" + std::to_string(++counter);
    mkdir(path.c_str(), 0755);
    return path;
}

std::string freshCopy(const std::string& path) {
    const std::string copy = testRoot() + "/lib" + std::to_string(++counter) + ".so";
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
    const std::string path = testRoot() + "/packed" + std::to_string(++counter) + ".so";
    writeFile(path, image);
    return path;
}

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
