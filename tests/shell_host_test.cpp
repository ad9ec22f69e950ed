// The plug-in libraries through their real entry point, loaded by the emulated host as After
// Effects and as Premiere Pro.
#include "shell_test_support.h"

#include "AE_Macros.h"
#include "resources/BinaryImage.h"
#include "resources/PropertyResource.h"
#include "resources/SlotPatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace glfx;
using namespace glfx::testing;
using ::testing::ElementsAre;

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The defined, exported symbols of an ELF library, as `nm -D --defined-only` lists them.
std::set<std::string> exportedSymbols(const std::string& image) {
    uint64_t symSize = 0, strSize = 0;
    const char* syms = findSection(image, ".dynsym", &symSize);
    const char* strs = findSection(image, ".dynstr", &strSize);
    std::set<std::string> names;
    if (syms == nullptr || strs == nullptr) return names;
    constexpr size_t kEntry = 24; // Elf64_Sym
    for (size_t at = kEntry; at + kEntry <= symSize; at += kEntry) {
        uint32_t name;
        uint16_t section;
        std::memcpy(&name, syms + at, 4);
        const uint8_t info = static_cast<uint8_t>(syms[at + 4]);
        std::memcpy(&section, syms + at + 6, 2);
        const uint8_t binding = info >> 4;
        if (section == 0 || (binding != 1 && binding != 2) || name >= strSize) continue;
        names.insert(std::string(strs + name, strnlen(strs + name, size_t(strSize - name))));
    }
    return names;
}

std::string resourceString(const char* name, const char* category) {
    const auto bytes = buildPropertyResource(name, category);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

} // namespace

// ---- The built libraries ---------------------------------------------------------------------

TEST(PluginLibrary, ExportsOnlyTheEntryPoint) {
    for (const std::string& path : {templateLibrary(), shippedLibrary(), shellTestLibrary()}) {
        EXPECT_THAT(exportedSymbols(fileBytes(path)), ElementsAre("EntryPointFunc")) << path;
    }
}

TEST(PluginLibrary, PropertyResourceCarriesEachLibrarysNameAndCategory) {
    struct Case {
        std::string path;
        const char* name;
        const char* category;
    };
    for (const Case& c : {Case{templateLibrary(), kDefaultEffectName, kDefaultCategory},
                          Case{shippedLibrary(), "Quadra_remapping_fx", "ZEL"},
                          Case{shellTestLibrary(), "Shell_test_fx", "Tests"}}) {
        hostsim::Host host(c.path);
        EXPECT_EQ(host.library().resource(), resourceString(c.name, c.category)) << c.path;
        const hostsim::PropertyList& p = host.library().properties();
        EXPECT_EQ(p.kind, "eFKT");
        EXPECT_EQ(p.name, c.name);
        EXPECT_EQ(p.matchName, c.name);
        EXPECT_EQ(p.category, c.category);
        EXPECT_EQ(p.entryPoint, "EntryPointFunc");
        EXPECT_EQ(p.version, 0x00100001u);
        EXPECT_EQ(p.outFlags, 0x06000006u);
        EXPECT_EQ(p.outFlags2, 0x00009408u);
        EXPECT_EQ(p.aeFlags, 8u);
    }
}

TEST(PluginLibrary, AFileWithoutResourceIsRefusedBeforeLoading) {
    const std::string path = temporaryFolder() + "/not-a-plugin.so";
    std::ofstream(path) << "plain text";
    EXPECT_THROW(hostsim::Host{path}, std::runtime_error);
}

// ---- Where the code comes from ------------------------------------------------------------------

TEST(CodeLoading, WithoutUsableUserFolderTheCodeFileIsSimplyNotFound) {
    // A file named like the code file in the working folder must not be picked up instead.
    const std::string work = temporaryFolder();
    std::ofstream(work + "/" + kDefaultEffectName + ".glfx") << "[settings]\nname=Wrong file\n";
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(work.c_str()), 0);
    for (const std::string& user :
         {std::string(), temporaryFolder() + "/" + std::string(5000, 'x')}) {
        UserFolderOverride folder(user);
        CheckedHost host(freshCopy(templateLibrary()));
        ASSERT_EQ(host.start(), PF_Err_NONE) << user.size();
        ASSERT_EQ(host.about(), PF_Err_NONE);
        EXPECT_EQ(host.returnMessage(), " \r") << user.size();
        EXPECT_EQ(host.numParams(), 1) << "the input layer alone";
    }
    ASSERT_EQ(chdir(saved), 0);
}

// A name patched in elsewhere that climbs out of fxdepot/ makes no folder and reads no code file.
TEST(CodeLoading, ANameThatIsNoFolderNameMakesAndReadsNothing) {
    const std::string user = temporaryFolder();
    UserFolderOverride folder(user);
    std::filesystem::create_directory(user + "/x");
    std::ofstream(user + "/x.glfx") << "[settings]\nname=Escaped\nversion=9\n";
    std::string image = readFile(templateLibrary());
    image.replace(locateSlots(image).nameSlot, 5, std::string("../x\0", 5));
    const std::string library = temporaryFolder() + "/hostile.so";
    writeFile(library, image);
    CheckedHost host(library);
    ASSERT_EQ(host.start(), PF_Err_NONE);
    ASSERT_EQ(host.about(), PF_Err_NONE);
    EXPECT_EQ(host.returnMessage(), " \r");
    EXPECT_FALSE(std::filesystem::exists(user + "/fxdepot"));
}

TEST(CodeLoading, CodeThatStopsTheParserFailsGlobalSetupWith512) {
    CheckedHost host(packedLibrary("[settings]\nname=Broken\n[routing]\nps1_i=ps0\n", "Broken_fx"));
    EXPECT_EQ(host.globalSetup(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    // The global state was made before the parser failed; set-down still gives it back.
    EXPECT_NE(host.globalData(), nullptr);
    EXPECT_EQ(host.globalSetdown(), PF_Err_NONE);
}

// ---- The about box ---------------------------------------------------------------------------

TEST(About, BeforeAnyCodeWasParsedTheBoxIsBlank) {
    CheckedHost host(freshCopy(shellTestLibrary()));
    ASSERT_EQ(host.about(), PF_Err_NONE);
    EXPECT_EQ(host.returnMessage(), " \r");
}
