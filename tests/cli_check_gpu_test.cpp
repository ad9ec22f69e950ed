// `glfx check`'s compile step on Mesa's software rasteriser: compiler messages land on the lines
// of the effect file. (Every gallery effect checking clean is cli_import_gpu_test's.)
#include "cli_test_support.h"

#include "cli/Check.h"
#include "cli/EffectLint.h"
#include "cli/EffectSource.h"

#include "effect/Parser.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

using namespace glfx;
using namespace glfx::cli;

namespace {

class CheckGpuTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string reason;
        if (!test::glAvailable(reason)) GTEST_SKIP() << "no GL context here: " << reason;
    }

    std::vector<Diagnostic> checkFile(const std::string& path, const EffectSource& source) {
        const SourceMap map = mapSources(source.code);
        std::vector<Diagnostic> found = lintEffect(source.code, source.description, map);
        std::string contextError;
        EXPECT_TRUE(compileEffect(source.description, map, found, contextError))
            << path << ": " << contextError;
        return found;
    }
};

// "; expect LINE [pass N] error: A ... B": an error on that line whose message holds A, then B.
TEST_F(CheckGpuTest, CompilerMessagesLandOnTheirFileLines) {
    const std::string path = std::string(GLFX_TEST_DATA_DIR) + "/check/compile_errors.glfx";
    const EffectSource source = loadEffectSource(path);
    const std::vector<Diagnostic> found = checkFile(path, source);

    static const std::regex expect(R"(^; expect (\d+) (?:pass (\d+) )?error: (.*)$)");
    std::set<int> expectedLines;
    std::istringstream in(source.code);
    int expectations = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, expect)) continue;
        ++expectations;
        const int at = std::stoi(m[1].str());
        const int pass = m[2].matched ? std::stoi(m[2].str()) : -1;
        const std::string text = m[3].str();
        const size_t dots = text.find(" ... ");
        const std::string a = text.substr(0, dots);
        const std::string b = dots == std::string::npos ? "" : text.substr(dots + 5);
        expectedLines.insert(at);
        bool matched = false;
        for (const Diagnostic& d : found) {
            const size_t ia = d.message.find(a);
            if (d.line == at && d.pass == pass && d.severity == Diagnostic::Severity::Error &&
                ia != std::string::npos && d.message.find(b, ia + a.size()) != std::string::npos)
                matched = true;
        }
        EXPECT_TRUE(matched) << "no error at line " << at << " saying " << text;
    }
    EXPECT_EQ(expectations, 4);
    for (const Diagnostic& d : found)
        EXPECT_TRUE(expectedLines.count(d.line)) << "stray: " << formatDiagnostic(path, d);
}

// llvmpipe compiles at the first draw, which check makes: this pass takes it minutes.
TEST_F(CheckGpuTest, APassTheDriverCannotFinishEndsTheCheckAtItsTimeout) {
    test::TempFolder dir;
    test::writeFile(dir / "big.glfx",
                    "[settings]\nname=Big\n[ps0]\nvoid main(void) { float a[200000];"
                    " for (int i = 0; i < 200000; ++i) a[i] = float(i) * "
                    "gl_FragCoord.x; gl_FragColor = vec4(a[int(gl_FragCoord.y)]); }");
    const test::RunResult r = test::runGlfx({"check", "--timeout", "1", dir / "big.glfx"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("big.glfx:3: pass 0: error: the driver did not compile and draw the pass "
                         "once (1 x 1 pixel) within 1 s"),
              std::string::npos);
}

} // namespace
