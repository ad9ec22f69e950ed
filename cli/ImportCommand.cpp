// glfx import SOURCE [-o OUT.glfx]: an ISF or Shadertoy-style shader written as an effect text.
#include "Commands.h"
#include "EffectSource.h"
#include "Files.h"

#include "import/Import.h"

#include <iostream>
#include <memory>

namespace glfx::cli {
namespace {

struct ImportOptions {
    std::string source;
    std::string output;
};

std::string defaultOutput(const std::string& source) {
    const size_t slash = source.find_last_of("/\\");
    std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name + ".glfx";
}

int runImport(const ImportOptions& o) {
    const std::string bytes = readWholeFile(o.source, "shader");
    if (import::sourceFormatOf(o.source, bytes) == import::SourceFormat::EffectText)
        throw CommandError(o.source +
                           ": not a shader to import; give an ISF .fs file, a Shadertoy .glsl "
                           "file with mainImage or a Shadertoy .json export");
    const EffectSource source = loadEffectSource(o.source);
    if (!source.parseError.empty()) throw CommandError(o.source + ": " + source.parseError);
    for (const std::string& warning : source.warnings)
        std::cerr << "glfx import: warning: " << warning << "\n";
    if (o.output == "-") {
        std::cout << source.code;
        return 0;
    }
    const std::string output = o.output.empty() ? defaultOutput(o.source) : o.output;
    refuseOutputOverInput(o.source, output, "shader");
    writeFileAtomically(output, source.code, false);
    return 0;
}

} // namespace

CLI::App* addImportCommand(CLI::App& app, CommandRun& run) {
    auto o = std::make_shared<ImportOptions>();
    CLI::App* sub = app.add_subcommand(
        "import",
        "Turn an ISF (.fs) or Shadertoy (.glsl, .json export) shader into an effect text");
    sub->add_option("source", o->source, "ISF .fs file, Shadertoy .glsl file or .json export")
        ->required();
    sub->add_option("-o,--output", o->output,
                    "effect file to write (default: the source's name with .glfx, here; - for "
                    "standard output)");
    sub->callback([o, &run] { run = [o] { return runImport(*o); }; });
    return sub;
}

} // namespace glfx::cli
