// glfx.exe as a user runs it on Windows, in a child process like any command: its description of
// a gallery effect, an effect packed into a copy of the Windows template, and that library
// rendered over a PNG, each against what the Linux glfx printed and drew (glfx_scenario.h).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "glfx_scenario.h"
#include "shell_test_support.h"
#include "windows_test_support.h"

#include "cli/ImageIO.h"
#include "image_match.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace glfx::testing;
using ::testing::HasSubstr;

namespace {

struct GlfxRun {
    DWORD exitCode = ~DWORD(0); // ~0 when the program did not start or did not end in time
    std::string out;            // line ends as LF, as the Linux command writes them
    std::string err;
};

std::string withLineFeeds(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

HANDLE inheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// glfx.exe with `args`, in the source folder, both output streams into files of a fresh folder.
GlfxRun runGlfx(const std::vector<std::string>& args) {
    const std::string folder = temporaryFolder();
    const std::string outPath = folder + "\\out.txt";
    const std::string errPath = folder + "\\err.txt";
    GlfxRun run;
    HANDLE out = inheritableFile(outPath);
    HANDLE err = inheritableFile(errPath);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        run.err = "cannot create the output files in " + folder;
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
        return run;
    }
    // No argument here holds a quote or ends in a backslash, so quoting each is enough.
    std::string commandLine = "\"" + windowsPath(GLFX_WINDOWS_GLFX) + "\"";
    for (const std::string& a : args)
        commandLine += " \"" + a + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::string source = windowsPath(GLFX_SOURCE_DIR);
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, source.c_str(), &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        run.err = "cannot start " + commandLine + ": error " + std::to_string(GetLastError());
        return run;
    }
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &run.exitCode);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.out = withLineFeeds(readFile(outPath));
    run.err = withLineFeeds(readFile(errPath));
    return run;
}

std::string referenceFolder() {
    const char* folder = std::getenv("GLFX_REFERENCE_FRAMES");
    return folder != nullptr ? windowsPath(folder) : std::string();
}

// Sample for sample; on failure the worst sample with both values.
::testing::AssertionResult sameSamples(const glfx::cli::Image& actual,
                                       const glfx::cli::Image& expected) {
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure()
               << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
               << expected.height;
    return glfx::test::imagesMatch(actual.rgba.data(), expected.rgba, expected.width,
                                   expected.height, {0.0f, 0.0, 0.0f}, "glfx_render");
}

class WindowsGlfx : public ::testing::Test {
protected:
    void SetUp() override {
        if (referenceFolder().empty())
            GTEST_SKIP() << "GLFX_REFERENCE_FRAMES names no folder of the Linux glfx's output "
                            "(CTest sets it for the windows_wine test)";
    }
};

} // namespace

TEST_F(WindowsGlfx, InfoPrintsWhatTheLinuxGlfxPrints) {
    const GlfxRun info = runGlfx({"info", glfx_scenario::kEffect});
    ASSERT_EQ(info.exitCode, 0u) << info.err;
    EXPECT_EQ(info.err, "");
    EXPECT_EQ(info.out, readFile(referenceFolder() + "\\" + glfx_scenario::kInfoFile));
}

TEST_F(WindowsGlfx, PacksIntoTheWindowsTemplateAndRendersLikeTheLinuxGlfx) {
    const std::string reason = openGlUnavailable();
    if (!reason.empty()) GTEST_SKIP() << "no OpenGL context on this machine: " << reason;
    const std::string folder = temporaryFolder();
    const std::string library = folder + "\\Blur.aex";
    const GlfxRun pack = runGlfx({"pack", glfx_scenario::kEffect, "-o", library, "--template",
                                  freshCopy(templateLibrary())});
    ASSERT_EQ(pack.exitCode, 0u) << pack.err;
    EXPECT_EQ(pack.err, "");
    const GlfxRun described = runGlfx({"info", library});
    EXPECT_EQ(described.exitCode, 0u) << described.err;
    EXPECT_THAT(described.out, HasSubstr("effect       Two-pass blur\n"));
    EXPECT_THAT(described.out, HasSubstr("(library (enciphered code))\n"));

    const std::string picture = folder + "\\blur.png";
    std::vector<std::string> render = {"render", "--plugin", library};
    for (const std::string& a : glfx_scenario::renderArguments(picture))
        render.push_back(a);
    const GlfxRun rendered = runGlfx(render);
    ASSERT_EQ(rendered.exitCode, 0u) << rendered.err;
    EXPECT_EQ(rendered.err, "");

    const glfx::cli::Image actual = glfx::cli::readImage(picture);
    const glfx::cli::Image expected =
        glfx::cli::readImage(referenceFolder() + "\\" + glfx_scenario::kRenderFile);
    EXPECT_EQ(actual.depth, 8);
    // Both draw through Mesa's software rasteriser, here behind Wine's WGL: the same samples.
    EXPECT_TRUE(sameSamples(actual, expected));
}

// glfx.exe's own private folders in the temporary folder ("glfx-PID-N").
std::vector<std::string> glfxTemporaryFolders() {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& e : std::filesystem::directory_iterator(
             std::filesystem::temp_directory_path(ignored), ignored)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("glfx-", 0) == 0 && name.find_first_not_of("0123456789-", 5) == name.npos)
            found.push_back(name);
    }
    return found;
}

TEST_F(WindowsGlfx, RendersAnEffectFileThroughTheTemplateBesideItAndLeavesNothingBehind) {
    const std::string reason = openGlUnavailable();
    if (!reason.empty()) GTEST_SKIP() << "no OpenGL context on this machine: " << reason;
    const std::vector<std::string> before = glfxTemporaryFolders();
    const std::string picture = temporaryFolder() + "\\blur.png";
    std::vector<std::string> render = {"render", glfx_scenario::kEffect};
    for (const std::string& a : glfx_scenario::renderArguments(picture))
        render.push_back(a);
    const GlfxRun rendered = runGlfx(render);
    ASSERT_EQ(rendered.exitCode, 0u) << rendered.err;
    EXPECT_EQ(rendered.err, "");
    EXPECT_TRUE(
        sameSamples(glfx::cli::readImage(picture),
                    glfx::cli::readImage(referenceFolder() + "\\" + glfx_scenario::kRenderFile)));
    EXPECT_EQ(glfxTemporaryFolders(), before) << "the packed copy's folder was left behind";
}

TEST_F(WindowsGlfx, AnExrOutputIsRefusedBeforeAnythingIsDrawn) {
    const std::string folder = temporaryFolder();
    const std::string output = folder + "\\blur.exr";
    const GlfxRun render =
        runGlfx({"render", glfx_scenario::kEffect, "-i", glfx_scenario::kInput, "-o", output});
    EXPECT_EQ(render.exitCode, 1u);
    EXPECT_EQ(render.out, "");
    EXPECT_EQ(render.err, "glfx render: " + output +
                              ": EXR files are not supported by this build of glfx; use .png\n");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}
