// glfx check FILE.glfx... [--no-compile] [--werror]
#include "Check.h"
#include "Commands.h"
#include "EffectLint.h"
#include "EffectSource.h"
#include "Files.h"

#include <algorithm>
#include <iostream>
#include <memory>

namespace glfx::cli {
namespace {

struct CheckOptions {
    std::vector<std::string> paths;
    bool noCompile = false;
    bool werror = false;
};

// Prints the file's problems; true when it has none that fail the check.
bool checkOne(const std::string& path, const CheckOptions& o) {
    const EffectSource source = loadEffectSource(path);
    for (const std::string& warning : source.warnings)
        std::cout << "warning: " << warning << "\n";
    const SourceMap map = mapSources(source.code);
    std::vector<Diagnostic> found = lintEffect(source.code, source.description, map);
    bool failed = false;
    for (const Diagnostic& d : found)
        failed = failed || d.severity == Diagnostic::Severity::Error;

    std::string compiled;
    if (!failed && !o.noCompile) {
        std::string contextError;
        std::vector<Diagnostic> compileProblems;
        if (!compileEffect(source.description, map, compileProblems, contextError))
            throw CommandError(path + ": cannot compile the passes: no OpenGL context (" +
                               contextError + "); use --no-compile to check the text only");
        found.insert(found.end(), compileProblems.begin(), compileProblems.end());
        compiled = ", passes compiled";
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    int errors = 0;
    int warnings = 0;
    for (Diagnostic d : found) {
        // An imported source's problems are shown at its own lines; the importer's lines have
        // none.
        std::string file = path;
        if (source.imported) {
            const auto& from = d.line >= 1 && size_t(d.line) <= source.sourceLines.size()
                                   ? source.sourceLines[size_t(d.line) - 1]
                                   : std::pair<std::string, int>();
            if (!from.first.empty()) file = from.first;
            d.line = from.second;
        }
        std::cout << formatDiagnostic(file, d) << "\n";
        (d.severity == Diagnostic::Severity::Error ? errors : warnings) += 1;
    }
    std::cout << path << ": " << errors << (errors == 1 ? " error, " : " errors, ") << warnings
              << (warnings == 1 ? " warning" : " warnings") << compiled << "\n";
    return errors == 0 && (!o.werror || warnings == 0);
}

int runCheck(const CheckOptions& o) {
    // One file that cannot be read or compiled does not keep the others from being checked.
    bool ok = true;
    for (const std::string& path : o.paths) {
        try {
            ok = checkOne(path, o) && ok;
        } catch (const CommandError& e) {
            if (o.paths.size() == 1) throw;
            std::cout.flush();
            std::cerr << "glfx check: " << e.what() << "\n";
            ok = false;
        }
    }
    return ok ? 0 : 1;
}

} // namespace

CLI::App* addCheckCommand(CLI::App& app, CommandRun& run) {
    auto o = std::make_shared<CheckOptions>();
    CLI::App* sub = app.add_subcommand(
        "check", "Check effect files: the text, and every pass compiled on the offscreen context");
    sub->add_option("files", o->paths,
                    "effect files (.glfx), ISF or Shadertoy sources, or plug-in libraries")
        ->required();
    sub->add_flag("--no-compile", o->noCompile, "check the text only, without a GPU context");
    sub->add_flag("--werror", o->werror, "fail on warnings too");
    sub->callback([o, &run] { run = [o] { return runCheck(*o); }; });
    return sub;
}

} // namespace glfx::cli
