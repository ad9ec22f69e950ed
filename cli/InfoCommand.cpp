// glfx info FILE.glfx|LIBRARY [--json]
#include "Commands.h"
#include "Describe.h"
#include "EffectSource.h"
#include "Files.h"

#include <iostream>
#include <memory>

namespace glfx::cli {
namespace {

struct InfoOptions {
    std::string path;
    bool json = false;
};

int runInfo(const InfoOptions& o) {
    const EffectSource source = loadEffectSource(o.path);
    if (!source.parseError.empty()) throw CommandError(o.path + ": " + source.parseError);
    for (const std::string& warning : source.warnings)
        std::cerr << "glfx info: warning: " << warning << "\n";
    if (source.nulLine != 0)
        std::cerr << "glfx info: warning: " << o.path << ":" << source.nulLine
                  << " holds a NUL byte at offset " << source.nulOffset
                  << "; the plug-in reads the text only up to it, as described here, and glfx "
                     "pack and glfx render refuse the file\n";
    if (o.json)
        describeJson(std::cout, source.description, source.origin);
    else
        describe(std::cout, source.description, source.origin);
    return 0;
}

} // namespace

CLI::App* addInfoCommand(CLI::App& app, CommandRun& run) {
    auto o = std::make_shared<InfoOptions>();
    CLI::App* sub = app.add_subcommand(
        "info", "Describe an effect file or a plug-in library: settings, parameters, passes");
    sub->add_option("file", o->path,
                    "effect file (.glfx), ISF or Shadertoy source, or plug-in library")
        ->required();
    sub->add_flag("--json", o->json, "write the description as JSON");
    sub->callback([o, &run] { run = [o] { return runInfo(*o); }; });
    return sub;
}

} // namespace glfx::cli
