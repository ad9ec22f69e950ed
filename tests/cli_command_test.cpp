// The real glfx binary on bad input and on the commands that need no GPU: exit codes, the one
// line on stderr, and no file left behind when a command fails.
#include "cli_test_support.h"

#include "effect/CodeContainer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace glfx::test;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

const std::string kBlur = sourcePath("effects/blur.glfx");

// A failure: exit code 1 (2 for a bad command line), one line on stderr that holds `needle`,
// and nothing new in `folder`.
void expectCleanFailure(const RunResult& r, int code, const std::string& needle,
                        const TempFolder* folder = nullptr,
                        const std::vector<std::string>& before = {}) {
    EXPECT_EQ(r.exitCode, code) << r.err;
    const auto lines = r.errLines();
    ASSERT_EQ(lines.size(), 1u) << "stderr:\n" << r.err;
    EXPECT_THAT(lines[0], HasSubstr(needle));
    EXPECT_EQ(lines[0].rfind("glfx", 0), 0u) << "names the command: " << lines[0];
    if (folder != nullptr) {
        EXPECT_EQ(folder->entries(), before) << "a file was left behind";
    }
}

TEST(CommandLine, RefusesWhatItDoesNotKnow) {
    const struct {
        std::vector<std::string> args;
        const char* needle;
    } cases[] = {
        {{}, "subcommand"},
        {{"frobnicate"}, "frobnicate"},
        {{"info"}, "file"},
        {{"info", kBlur, "--colour"}, "--colour"},
        {{"pack", kBlur}, "--output"},
        {{"render", kBlur, "-o", "x.png", "--host", "resolve"}, "resolve"},
        {{"render", kBlur, "-o", "x.png", "--depth", "12"}, "12"},
        {{"check", "--verbose", kBlur}, "--verbose"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        expectCleanFailure(runGlfx(c.args), 2, c.needle);
    }
}

TEST(CommandLine, HelpListsTheSubcommands) {
    const RunResult r = runGlfx({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* sub : {"render", "check", "info", "pack"})
        EXPECT_THAT(r.out, HasSubstr(sub));
}

TEST(Info, DescribesAnEffectFileAsTextAndAsJson) {
    const RunResult text = runGlfx({"info", kBlur});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const char* part : {"Two-pass blur", "Radius", "radius", "ps1", "in0 <- ps0",
                             "in0 <- layer0 (the effect's input)", "-> output"})
        EXPECT_THAT(text.out, HasSubstr(part));

    const RunResult json = runGlfx({"info", "--json", sourcePath("effects/displace.glfx")});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    for (const char* part :
         {"\"name\": \"Displace\"", "\"type\": \"layer\"", "\"type\": \"float2\"",
          "\"inputs\": [\"layer0\", \"layer1\"]", "\"default\": [2, 0, 0]"})
        EXPECT_THAT(json.out, HasSubstr(part));
}

TEST(Info, EscapesTextsInJson) {
    TempFolder dir;
    writeFile(dir / "q.glfx", "[settings]\nname=Say \"hi\"\\now\ndescription=a\tb\x01\n[ps0]\n"
                              "void main(void) { gl_FragColor = vec4(1.0); }\n");
    const RunResult r = runGlfx({"info", "--json", dir / "q.glfx"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr(R"("name": "Say \"hi\"\\now")"));
    EXPECT_THAT(r.out, HasSubstr(R"("description": "a\tb\u0001")"));
}

TEST(Info, FailsCleanlyOnFilesItCannotUse) {
    TempFolder dir;
    writeFile(dir / "routing.glfx", "[routing]\nps1_i=ps0\n");
    writeFile(dir / "fake.so", std::string(1, '\x7f') + "ELF" + std::string(200, '\0'));
    const struct {
        std::string file;
        const char* needle;
    } cases[] = {
        {dir / "missing.glfx", "No such file"},
        {dir.path(), "is a folder"},
        {dir / "routing.glfx", "needs a slot after its \"_\""},
        {dir / "fake.so", "not a glfx plug-in"},
        {GLFX_TEMPLATE_LIBRARY, "template library"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        // An empty per-user folder: the template library finds no code file there.
        expectCleanFailure(runGlfx({"info", c.file}, {}, dir.path()), 1, c.needle);
    }
}

class PackTest : public ::testing::Test {
protected:
    RunResult pack(std::vector<std::string> extra, const std::string& effect = kBlur,
                   const std::string& output = "out.so") {
        std::vector<std::string> args = {"pack", effect, "-o", dir / output};
        args.insert(args.end(), extra.begin(), extra.end());
        return runGlfx(args);
    }
    TempFolder dir;
};

// Without --template the command finds the template library the build made; the library it
// writes describes the same effect, enciphered or plain.
TEST_F(PackTest, WritesALibraryThatDescribesTheEffect) {
    const mode_t savedMask = ::umask(027);
    for (const bool plain : {false, true}) {
        SCOPED_TRACE(plain ? "plain" : "enciphered");
        const RunResult r =
            pack(plain ? std::vector<std::string>{"--plain"}
                       : std::vector<std::string>{"--name", "Blur two", "--category", "Mine"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        const RunResult info = runGlfx({"info", dir / "out.so"});
        ASSERT_EQ(info.exitCode, 0) << info.err;
        EXPECT_THAT(info.out,
                    HasSubstr(plain ? "library (plain code)" : "library (enciphered code)"));
        EXPECT_THAT(info.out, HasSubstr(plain ? "registers as Two-pass blur in glfx Gallery"
                                              : "registers as Blur two in Mine"));
        EXPECT_THAT(info.out, HasSubstr("in0 <- ps0"));
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.so"});
        EXPECT_EQ(fs::status(dir / "out.so").permissions(), fs::perms(0750)) << "as umask lets";
    }
    ::umask(savedMask);
}

TEST_F(PackTest, RefusesWhatTheSlotsCannotHoldAndAMissingFolder) {
    const std::string header = "[settings]\nname=Big\n[ps0]\n";
    writeFile(dir / "big.glfx",
              header + std::string(glfx::kCodeSlotSize, '/') + "\nvoid main(void) {}\n");
    writeFile(dir / "marker.glfx", header + "// \x12\x13\x14\nvoid main(void) {}\n");
    writeFile(dir / "longname.glfx", "[settings]\nname=" + std::string(40, 'x') + "\n");
    writeFile(dir / "noname.glfx", "[ps0]\nvoid main(void) { gl_FragColor = vec4(1.0); }\n");
    writeFile(dir / "huge.glfx", header + std::string(20 * glfx::kCodeSlotSize, '/'));
    std::filesystem::create_symlink(dir / "noname.glfx", dir / "link.so");
    const auto before = dir.entries();
    const struct {
        std::string effect;
        std::vector<std::string> extra;
        const char* needle;
    } cases[] = {
        {dir / "big.glfx", {}, "the slot holds"},
        {dir / "huge.glfx", {}, "20 times what fits"},
        {kBlur, {"--name", "../../../escaped"}, "holds \"/\", which a folder name cannot hold"},
        {kBlur, {"--name", "NUL"}, "device name"},
        {dir / "marker.glfx", {}, "0x12 0x13 0x14"},
        {dir / "longname.glfx", {}, "at most 31"},
        {dir / "noname.glfx", {}, "--name"},
        {kBlur, {"--name", std::string(32, 'n')}, "at most 31"},
        {kBlur, {"--name", "tab\there"}, "printable"},
        {kBlur, {"--category", "a\x1b[31m"}, "printable"},
        {kBlur, {"--template", dir / "none.so"}, "cannot read template library"},
        {kBlur, {"--template", kBlur}, "is it a glfx plug-in library"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.effect + " " + ::testing::PrintToString(c.extra));
        expectCleanFailure(pack(c.extra, c.effect), 1, c.needle, &dir, before);
    }
    expectCleanFailure(pack({}, kBlur, "no/such/out.so"), 1, "does not exist", &dir, before);
    for (const char* output : {"noname.glfx", "link.so"})
        expectCleanFailure(pack({}, dir / "noname.glfx", output), 1, "is the effect file", &dir,
                           before);
}

TEST(Check, TextOnlyFindingsAndExitCodes) {
    const std::string lint = std::string(GLFX_TEST_DATA_DIR) + "/lint/";
    const RunResult warn = runGlfx({"check", "--no-compile", lint + "unknown_key.glfx"});
    EXPECT_EQ(warn.exitCode, 0) << "warnings alone pass";
    EXPECT_THAT(warn.out, HasSubstr(lint + "unknown_key.glfx:7: warning: unknown key \"nmae\""));
    EXPECT_THAT(warn.out, HasSubstr("0 errors, 2 warnings"));

    EXPECT_EQ(runGlfx({"check", "--no-compile", "--werror", lint + "unknown_key.glfx"}).exitCode,
              1);
    const RunResult error =
        runGlfx({"check", "--no-compile", lint + "routing_key_without_slot.glfx", kBlur});
    EXPECT_EQ(error.exitCode, 1);
    EXPECT_THAT(error.out, HasSubstr("routing_key_without_slot.glfx:5: error:"));
    EXPECT_THAT(error.out, HasSubstr(kBlur + ": 0 errors, 0 warnings"))
        << "later files are checked";

    expectCleanFailure(runGlfx({"check", "--no-compile", lint + "missing.glfx"}), 1,
                       "No such file");

    // The plug-in reads a text only up to a NUL byte; check and info say so.
    TempFolder dir;
    writeFile(dir / "nul.glfx", std::string("[settings]\nname=Cut\n[ps0]\n\0void main", 36));
    const RunResult nul = runGlfx({"check", "--no-compile", dir / "nul.glfx"});
    EXPECT_EQ(nul.exitCode, 1);
    EXPECT_THAT(nul.out, HasSubstr("nul.glfx:4: error: the file holds a NUL byte at offset 26"));
    EXPECT_THAT(runGlfx({"info", dir / "nul.glfx"}).err, HasSubstr("nul.glfx:4 holds a NUL byte"));
}

// Everything on the command line is checked before the plug-in draws anything.
class RenderInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir / "bad.png", "\x89PNG\r\n\x1a\n and then nothing useful");
        glfx::cli::Image picture = glfx::cli::makeImage(64, 32, 8);
        for (size_t i = 0; i < picture.rgba.size(); ++i)
            picture.rgba[i] = float((i * 37) % 256) / 255.0f;
        glfx::cli::writeImage(input, picture);
        // The same picture cut short in its pixel data.
        const std::string png = readFile(input);
        writeFile(dir / "short.png", png.substr(0, png.size() / 2));
        writeFile(dir / "notes.txt", "not a picture");
        before = dir.entries();
    }
    RunResult render(std::vector<std::string> args, const std::string& effect = kBlur) {
        if (!effect.empty()) args.insert(args.begin(), effect); // else the built-in effect
        args.insert(args.begin(), "render");
        return runGlfx(args, dir.path(), dir.path());
    }
    TempFolder dir;
    const std::string input = dir / "in.png";
    std::vector<std::string> before;
};

TEST_F(RenderInputTest, FailsWithOneLineAndNoOutput) {
    const struct {
        std::vector<std::string> args;
        const char* needle;
    } cases[] = {
        {{"-i", "missing.png", "-o", "out.png"}, "missing.png: no such file"},
        {{"-i", "bad.png", "-o", "out.png"}, "bad.png"},
        {{"-i", "short.png", "-o", "out.png"}, "short.png"},
        {{"-i", "notes.txt", "-o", "out.png"}, "notes.txt"},
        {{"-i", input, "-o", "out.png", "-p", "Radiuss=3"}, "no parameter \"Radiuss\""},
        {{"-i", input, "-o", "out.png", "-p", "Radius=wide"}, "Radius"},
        {{"-i", input, "-o", "out.png", "-p", "Radius=3", "-p", "radius=4"}, "given twice"},
        {{"-i", input, "-o", "out.png", "-p", "Radius"}, "NAME=VALUE"},
        {{"-i", input, "-o", "out.png", "-l", "Radius=x.png"}, "not a layer"},
        {{"-i", input, "-o", "no/such/folder/out.png"}, "does not exist"},
        {{"-i", input, "-o", "out.jpg"}, "out.jpg"},
        {{"-i", input, "-o", "out.png", "--depth", "32"}, "PNG files are 8 or 16 bits"},
        {{"-i", input, "-o", "out.png", "--frames", "0-3"}, "is one file"},
        {{"-i", input, "-o", "out.####.png", "--frames", "5-2"}, "ends before it starts"},
        {{"-i", input, "-o", "out.####.png", "--frames", "a-b"}, "not a frame range"},
        {{"-i", input, "-o", "o.#.png", "--frames", "0-99999999999999999999"}, "frame 99999"},
        {{"-i", input, "-o", "out.png", "--fps", "29.97", "-t", "21474837"}, "to 21474836"},
        {{"-o", "out.png"}, "--size"},
        {{"-o", "out.png", "--size", "0x10"}, "outside 1"},
        {{"-i", "in.####.png", "-o", "out.png"}, "in.0000.png does not exist"},
        {{"-i", input, "-o", "out.png", "--plugin", GLFX_PLUGIN_LIBRARY}, "not both"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        expectCleanFailure(render(c.args), 1, c.needle, &dir, before);
    }
}

} // namespace
