#include "platform/UserFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sys/stat.h>

using namespace glfx::platform;

namespace {

// Sets or unsets an environment variable for one test, restoring it afterwards.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvVar() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

bool isDirectory(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

TEST(UserFolder, ApplicationDataFolderFromEnvironment) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/x/config", "/home/u", "/x/config"},
        {"/x/config/", "/home/u", "/x/config"},
        {nullptr, "/home/u", "/home/u/.config"},
        {"", "/home/u", "/home/u/.config"},
        {"relative", "/home/u", "/home/u/.config"},
        {nullptr, nullptr, ""},
        {nullptr, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xdg ? c.xdg : "(unset)") + " " + (c.home ? c.home : "(unset)"));
        EnvVar xdg("XDG_CONFIG_HOME", c.xdg);
        EnvVar home("HOME", c.home);
        EXPECT_EQ(applicationDataFolder(), c.expected);
    }
}

TEST(UserFolder, EffectFolderIsCreatedLevelByLevel) {
    const std::string root = ::testing::TempDir() + "glfx_user_folder_test";
    ::mkdir(root.c_str(), 0755);
    EnvVar xdg("XDG_CONFIG_HOME", root.c_str());

    EXPECT_EQ(effectFolder("My fx", false), root + "/fxdepot/My fx/");
    EXPECT_FALSE(isDirectory(root + "/fxdepot")) << "no directory without create";

    const std::string folder = effectFolder("My fx", true);
    EXPECT_EQ(folder, root + "/fxdepot/My fx/");
    EXPECT_TRUE(isDirectory(folder));
    EXPECT_EQ(effectFolder("My fx", true), folder) << "existing folders are fine";
    ::rmdir(folder.c_str());
    ::rmdir((root + "/fxdepot").c_str());
    ::rmdir(root.c_str());
}

TEST(UserFolder, MissingOrOverlongPathGivesNoFolder) {
    {
        EnvVar xdg("XDG_CONFIG_HOME", nullptr);
        EnvVar home("HOME", nullptr);
        EXPECT_EQ(effectFolder("fx", false), "");
    }
    const std::string deep = "/" + std::string(maxPathBytes(), 'd');
    EnvVar xdg("XDG_CONFIG_HOME", deep.c_str());
    EXPECT_EQ(effectFolder("fx", true), "");
}

// The name is one folder below fxdepot/: a name that could climb out of it, or that Windows would
// take for something else, is refused with the rule it breaks and makes no folder at all.
TEST(UserFolder, ANameThatIsNotOneFolderNameMakesNothing) {
    for (const char* fit : {"My fx", "a..b", "COM10"})
        EXPECT_EQ(effectNameProblem(fit), "") << fit;
    const std::pair<std::string, const char*> unfit[] = {
        {"", "empty"},
        {"../../../escaped", "holds \"/\""},
        {"a\\b", "\"\\\""},
        {"c:x", "\":\""},
        {".x", "begins with a dot"},
        {"nul.txt", "device"},
    };
    std::string root = ::testing::TempDir() + "glfx_user_folder_names_XXXXXX";
    ASSERT_NE(::mkdtemp(root.data()), nullptr);
    EnvVar xdg("XDG_CONFIG_HOME", root.c_str());
    for (const auto& [name, rule] : unfit) {
        EXPECT_NE(effectNameProblem(name).find(rule), std::string::npos) << effectNameProblem(name);
        EXPECT_EQ(effectFolder(name, true), "") << name;
    }
    EXPECT_FALSE(isDirectory(root + "/fxdepot"));
    ::rmdir(root.c_str());
}
