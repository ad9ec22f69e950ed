// The checker's pieces that need no GPU: the linter against files with one defect each, the map
// from pass text lines back to file lines against the parser itself, and the compiler log reader.
#include "cli/CompileLog.h"
#include "cli/EffectLint.h"
#include "cli/EffectSource.h"

#include "effect/Parser.h"
#include "params/ParamSetup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <regex>
#include <sstream>

using namespace glfx;
using namespace glfx::cli;
namespace fs = std::filesystem;

namespace {

// "; expect LINE [pass N] warning|error: TEXT" lines at the top of a lint file.
struct Expectation {
    int line;
    int pass;
    Diagnostic::Severity severity;
    std::string text;
};

std::vector<Expectation> expectationsOf(const std::string& code) {
    static const std::regex expect(R"(^; expect (\d+) (?:pass (\d+) )?(warning|error): (.*)$)");
    std::vector<Expectation> list;
    std::istringstream in(code);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, expect)) continue;
        list.push_back(
            {std::stoi(m[1].str()), m[2].matched ? std::stoi(m[2].str()) : -1,
             m[3].str() == "error" ? Diagnostic::Severity::Error : Diagnostic::Severity::Warning,
             m[4].str()});
    }
    return list;
}

std::vector<std::string> lintFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(std::string(GLFX_TEST_DATA_DIR) + "/lint"))
        if (e.path().extension() == ".glfx") names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class LintFileTest : public ::testing::TestWithParam<std::string> {};

// Each file holds one defect and lists exactly the findings it must produce.
TEST_P(LintFileTest, ReportsExactlyTheListedFindings) {
    const EffectSource source =
        loadEffectSource(std::string(GLFX_TEST_DATA_DIR) + "/lint/" + GetParam());
    const std::vector<Expectation> expected = expectationsOf(source.code);
    ASSERT_FALSE(expected.empty()) << "the file lists no expectation";
    const std::vector<Diagnostic> found =
        lintEffect(source.code, source.description, mapSources(source.code));

    std::vector<bool> used(found.size(), false);
    for (const Expectation& e : expected) {
        bool matched = false;
        for (size_t i = 0; i < found.size() && !matched; ++i) {
            if (used[i] || found[i].line != e.line || found[i].pass != e.pass ||
                found[i].severity != e.severity ||
                found[i].message.find(e.text) == std::string::npos)
                continue;
            used[i] = matched = true;
        }
        EXPECT_TRUE(matched) << "no finding at line " << e.line << " saying: " << e.text;
    }
    for (size_t i = 0; i < found.size(); ++i)
        EXPECT_TRUE(used[i]) << "unexpected: " << formatDiagnostic(GetParam(), found[i]);
}

INSTANTIATE_TEST_SUITE_P(Files, LintFileTest, ::testing::ValuesIn(lintFiles()),
                         [](const auto& info) { return fs::path(info.param).stem().string(); });

// Rebuilds each shader text from the file lines the map names; it must equal what the parser
// made, or the checker's line numbers would point at the wrong lines.
void expectMapMatchesParser(const std::string& code, const std::string& label) {
    EffectDescription d;
    parseDescription(d, code);
    const SourceMap map = mapSources(code);
    std::vector<std::string> lines;
    std::istringstream in(code);
    for (std::string line; std::getline(in, line); lines.push_back(line))
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
    const auto rebuild = [&](const SourceLines& s) {
        std::string text;
        for (int n : s.fileLines)
            text += lines.at(size_t(n - 1)) + "\n";
        return text;
    };
    for (int p = 0; p < kMaxPasses; ++p) {
        // An empty pass 0 gets the parser's default text, which comes from no line.
        if (map.passes[p].fileLines.empty()) continue;
        EXPECT_EQ(rebuild(map.passes[p]), d.pixelShaders[p]) << label << ", pass " << p;
    }
    if (!map.vertex.fileLines.empty()) {
        EXPECT_EQ(rebuild(map.vertex), d.vertexShader) << label << ", vertex shader";
    }
}

// Texts stitched from the format's own lines and fragments reach the corners of both readers;
// the map must agree with the parser on every one, and the linter must get through each.
TEST(SourceMap, AgreesWithTheParserOnGeneratedTexts) {
    const char* lines[] = {
        "[ps0]",      "[ps1]",      "[ps]",        "[ps1",
        "[ps 2]",     "[ps40]",     "[par1]",      "[par]",
        "[par1x]",    "[vs]",       "[vsx]",       "[routing]",
        "[settings]", "[x]",        "[]",          "[",
        "// comment", "; comment",  "/",           "code();",
        "  indented", "",           "\r",          "name=a",
        "type=layer", "type=float", "ps1_in0=ps0", "ps0_in1=layer1",
        "shaders=2",  "params=3",   "a b = c",     "\t",
        "=x",
    };
    const char* noise[] = {"[", "]", "ps", "par", "=", "_in", "0", "1", " ", "\r", "//", "|"};
    std::mt19937 random(20240611);
    for (int n = 0; n < 3000; ++n) {
        std::string code;
        const int count = 1 + int(random() % 24);
        for (int i = 0; i < count; ++i) {
            code += lines[random() % (sizeof lines / sizeof *lines)];
            if (random() % 8 == 0) code += noise[random() % (sizeof noise / sizeof *noise)];
            code += random() % 5 == 0 ? "\r\n" : "\n";
        }
        EffectDescription d;
        try {
            parseDescription(d, code);
        } catch (const std::out_of_range&) {
            continue; // the parser stops part-way; the map describes whole texts only
        }
        expectMapMatchesParser(code, "generated text " + std::to_string(n));
        for (const Diagnostic& diag : lintEffect(code, d, mapSources(code)))
            EXPECT_FALSE(diag.message.empty());
        if (HasFailure()) {
            ADD_FAILURE() << "text: " << ::testing::PrintToString(code);
            return;
        }
    }
}

TEST(CompileLog, ReadsEachDriversLocationFormat) {
    const struct {
        const char* log;
        int line;
        bool error;
        const char* message;
    } cases[] = {
        {"0:12(5): error: `foo' undeclared\n", 12, true, "`foo' undeclared"},
        {"0:3(1): preprocessor error: Invalid tokens\n", 3, true,
         "preprocessor error: Invalid tokens"},
        {"0:7(10): warning: `x' used uninitialized\n", 7, false, "`x' used uninitialized"},
        {"0(27) : error C1008: undefined variable \"foo\"\r\n", 27, true,
         "C1008: undefined variable \"foo\""},
        {"ERROR: 0:4: 'bar' : undeclared identifier\n", 4, true, "'bar' : undeclared identifier"},
        {"WARNING: 0:9: extension not supported\n", 9, false, "extension not supported"},
        {"error: linking with uncompiled shader\n", 0, true, "linking with uncompiled shader"},
        {"Pass 2 did not link (no log given).\n", 0, true, "Pass 2 did not link (no log given)."},
    };
    for (const auto& c : cases) {
        const std::vector<CompileLogEntry> entries = parseCompileLog(c.log);
        ASSERT_EQ(entries.size(), 1u) << c.log;
        EXPECT_EQ(entries[0].line, c.line) << c.log;
        EXPECT_EQ(entries[0].error, c.error) << c.log;
        EXPECT_EQ(entries[0].message, c.message) << c.log;
    }
}

TEST(CompileLog, KeepsEveryLineOfALongLogInOrder) {
    const auto entries = parseCompileLog("0:1(1): error: a\n\n0:2(1): error: b\n  \n0:30(2): "
                                         "error: c");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].message, "a");
    EXPECT_EQ(entries[1].line, 2);
    EXPECT_EQ(entries[2].line, 30);
}

TEST(CompileLog, MapsSourceLinesThroughThePreambleToTheFile) {
    SourceLines text;
    text.headerLine = 10;
    text.fileLines = {11, 14, 15};
    const std::vector<int> preamble = {3, 7};
    const struct {
        int sourceLine;
        int fileLine;
    } cases[] = {
        {1, 3},   // first define
        {2, 7},   // second define
        {3, 11},  // first text line
        {4, 14},  // after two skipped blank lines
        {5, 15},  // last text line
        {9, 15},  // past the end: "unexpected end of file"
        {0, 10},  // no line: the header
        {-4, 10}, // nonsense: the header
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileLineOf(text, preamble, c.sourceLine), c.fileLine) << c.sourceLine;
    // The text's version line first, then the defines, then the rest as before.
    for (const auto& [sourceLine, fileLine] : {std::pair{1, 11}, {2, 3}, {3, 7}, {4, 14}, {9, 15}})
        EXPECT_EQ(fileLineOf(text, preamble, sourceLine, true), fileLine) << sourceLine;
    EXPECT_EQ(fileLineOf(SourceLines{5, {}}, {}, 3), 5) << "a text from no line";
}

TEST(Diagnostics, FormatLeavesOutWhatIsUnknown) {
    using S = Diagnostic::Severity;
    EXPECT_EQ(formatDiagnostic("a.glfx", {S::Error, 12, 1, "boom"}),
              "a.glfx:12: pass 1: error: boom");
    EXPECT_EQ(formatDiagnostic("a.glfx", {S::Warning, 3, -1, "hm"}), "a.glfx:3: warning: hm");
    EXPECT_EQ(formatDiagnostic("a.glfx", {S::Error, 0, -1, "none"}), "a.glfx: error: none");
}

TEST(Tokens, LeaveCommentsOutAndCountLines) {
    const auto tokens = tokenizeGlsl("uniform float a; // b c\n/* d\ne */ f 1.5e3 in2\n");
    std::vector<std::string> texts;
    for (const Token& t : tokens)
        texts.push_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"uniform", "float", "a", ";", "f", "1.5e3", "in2"}));
    EXPECT_EQ(tokens.back().line, 3);
}

TEST(Lint, AParameterTheVertexTextReadsIsUsed) {
    const std::string code = "[settings]\nname=V\n[par1]\ntype=float\nparam=wobble\n[vs]\n"
                             "uniform float wobble;\nvoid main(void) { gl_Position = ftransform() "
                             "* wobble; }\n[ps0]\nvoid main(void) { gl_FragColor = vec4(1.0); }\n";
    EffectDescription d;
    parseDescription(d, code);
    for (const Diagnostic& diag : lintEffect(code, d, mapSources(code)))
        ADD_FAILURE() << formatDiagnostic("inline", diag);
}

// The host counts a popup's choices in 16 bits: the plug-in declares no more, and check says so.
TEST(Lint, APopupOverTheHostsCountIsCappedAndWarned) {
    std::string code = "[settings]\nname=P\n[par1]\ntype=popup\nparam=mode\npopup=c";
    for (int i = 1; i < 40001; ++i)
        code += "|c";
    code += "\n[ps0]\nuniform int mode;\nvoid main(void) { gl_FragColor = vec4(float(mode)); }\n";
    EffectDescription d;
    parseDescription(d, code);
    EXPECT_EQ(paramDefinition(d.params[1], 1, std::strcpy).u.pd.num_choices, kMaxPopupChoices);
    const std::vector<Diagnostic> found = lintEffect(code, d, mapSources(code));
    EXPECT_TRUE(found.size() == 1 &&
                found[0].message.find("has 40001 choices") != std::string::npos);
}

} // namespace
