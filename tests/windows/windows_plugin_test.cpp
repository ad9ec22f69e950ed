// The Windows plug-in libraries as a Windows host meets them: the property resource found by the
// system's resource functions and the per-user folder under the shell's application-data folder.
// The commands of an effect's life in both hosts are shell_hosts_test.cpp's, compiled in here too.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shlobj.h>

#include "shell_test_support.h"
#include "windows_test_support.h"

#include "resources/PropertyResource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace glfx;
using namespace glfx::testing;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::string resourceString(const char* name, const char* category) {
    const auto bytes = buildPropertyResource(name, category);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The "PiPL" resource 16000 in US English, read as a host does before it runs any of the
// library's code; empty when there is none.
std::string pipl(const std::string& path) {
    HMODULE data = LoadLibraryExA(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (data == nullptr) return {};
    std::string bytes;
    HRSRC info = FindResourceExA(data, "PiPL", MAKEINTRESOURCEA(16000),
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    HGLOBAL loaded = info != nullptr ? LoadResource(data, info) : nullptr;
    const void* p = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (p != nullptr) bytes.assign(static_cast<const char*>(p), SizeofResource(data, info));
    FreeLibrary(data);
    return bytes;
}

std::string applicationDataFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

bool isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

// ---- The property resource ---------------------------------------------------------------------

TEST(WindowsResource, EveryLibraryCarriesItsNameAndCategoryInPiPL16000) {
    struct Case {
        std::string path;
        const char* name;
        const char* category;
    };
    const Case cases[] = {
        {templateLibrary(), kDefaultEffectName, kDefaultCategory},
        {shippedLibrary(), "Quadra_remapping_fx", "ZEL"},
        {shellTestLibrary(), "Shell_test_fx", "Tests"},
        // Packed here, by the packer running on Windows over the PE file.
        {packedLibrary(shellTestEffectText(), "Packed_on_Windows"), "Packed_on_Windows", "Tests"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(pipl(c.path), resourceString(c.name, c.category));
        hostsim::Host host(c.path);
        EXPECT_EQ(host.library().resource(), resourceString(c.name, c.category));
        EXPECT_EQ(host.library().properties().entryPoint, "EntryPointFunc");
    }
}

TEST(WindowsResource, TheHostRefusesFilesWithoutResourceOrEntryPoint) {
    const std::string text = temporaryFolder() + "\\not-a-plugin.aex";
    writeFile(text, "plain text");
    try {
        hostsim::Host host(text);
        ADD_FAILURE() << "a text file was loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("cannot open plug-in library"));
    }
    // A real library without the resource: the system's own.
    try {
        hostsim::Host host("C:\\windows\\system32\\kernel32.dll");
        ADD_FAILURE() << "a library without PiPL resource was loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("no PiPL resource 16000"));
    }
}

TEST(WindowsUserFolder, TheTemplateReadsItsCodeFromTheApplicationDataFolder) {
    const std::string appData = applicationDataFolder();
    ASSERT_FALSE(appData.empty()) << "SHGetFolderPathA(CSIDL_APPDATA) failed";
    const std::string folder = appData + "/fxdepot/" + kDefaultEffectName;
    const std::string file = folder + "/" + kDefaultEffectName + ".glfx";
    std::error_code ignored;
    std::filesystem::remove(file, ignored);

    {
        // Without the file: global set-up makes the folders and the effect has no parameters.
        CheckedHost host(freshCopy(templateLibrary()));
        ASSERT_EQ(host.start(), PF_Err_NONE);
        EXPECT_TRUE(isDirectory(folder)) << folder;
        EXPECT_EQ(host.numParams(), 1);
    }

    writeFile(file, shellTestEffectText());
    CheckedHost host(freshCopy(templateLibrary()));
    ASSERT_EQ(host.start(), PF_Err_NONE);
    EXPECT_GT(host.numParams(), 1);
    EXPECT_EQ(host.about(), PF_Err_NONE);
    EXPECT_THAT(host.returnMessage(), StartsWith("Shell_test_fx 3.1 beta\r"));
    std::filesystem::remove(file, ignored);
}
