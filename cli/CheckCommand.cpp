// glfx check FILE.glfx... [--no-compile] [--werror]
#include "Background.h"
#include "Check.h"
#include "Commands.h"
#include "EffectLint.h"
#include "EffectSource.h"
#include "Files.h"

#include "resources/SlotPatcher.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

namespace glfx::cli {
namespace {

struct CheckOptions {
    std::vector<std::string> paths;
    bool noCompile = false;
    bool werror = false;
    double timeout = 60.0;
};

// Prints the file's problems; true when it has none that fail the check.
bool checkOne(const std::string& path, const CheckOptions& o) {
    const EffectSource source = loadEffectSource(path);
    for (const std::string& warning : source.warnings)
        std::cout << "warning: " << warning << "\n";
    const SourceMap map = mapSources(source.code);
    std::vector<Diagnostic> found = lintEffect(source.code, source.description, map);
    if (source.nulLine != 0)
        found.push_back({Diagnostic::Severity::Error, source.nulLine, -1,
                         "the file holds a NUL byte at offset " + std::to_string(source.nulOffset) +
                             "; the plug-in reads the text only up to it, and glfx pack and "
                             "glfx render refuse the file: remove it"});
    if (source.origin.library) {
        const std::string problem = packNameProblem(source.slotName);
        if (!problem.empty())
            found.push_back({Diagnostic::Severity::Warning, 0, -1,
                             "the library's name slot: " + problem +
                                 "; the plug-in makes no per-user folder for it"});
    }
    bool failed = false;
    for (const Diagnostic& d : found)
        failed = failed || d.severity == Diagnostic::Severity::Error;

    std::string compiled;
    if (!failed && !o.noCompile) {
        std::string contextError;
        std::vector<Diagnostic> compileProblems;
        // A driver stuck compiling cannot be interrupted: the process ends, as render's does.
        FrameWatchdog watchdog(o.timeout, [&](int64_t pass) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", o.timeout);
            std::cout.flush();
            return formatDiagnostic(
                path, {Diagnostic::Severity::Error, map.passes[size_t(pass)].headerLine, int(pass),
                       std::string("the driver did not compile and draw the pass once (1 x 1 "
                                   "pixel) within ") +
                           seconds +
                           " s (--timeout); a host would hang as long at its first frame: make "
                           "the shader smaller (large local arrays and long loops are the usual "
                           "cause)"});
        });
        if (!compileEffect(source.description, map, compileProblems, contextError, &watchdog))
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
    sub->add_option("--timeout", o->timeout,
                    "SECONDS the driver may take to compile and draw one pass once before glfx "
                    "gives up and exits with 1 (default 60; 0: no limit)")
        ->check(CLI::NonNegativeNumber);
    sub->callback([o, &run] { run = [o] { return runCheck(*o); }; });
    return sub;
}

} // namespace glfx::cli
