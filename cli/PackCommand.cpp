// glfx pack FILE.glfx|SOURCE.fs|SOURCE.glsl|SOURCE.json -o LIBRARY [--template T] [--name N]
// [--category C] [--plain]
#include "Commands.h"
#include "EffectLint.h"
#include "EffectSource.h"
#include "Files.h"

#include "effect/CodeContainer.h"
#include "effect/EffectDescription.h"
#include "effect/Parser.h"
#include "import/Import.h"
#include "resources/SlotPatcher.h"

#include <iostream>

#include <memory>
#include <stdexcept>

namespace glfx::cli {
namespace {

struct PackOptions {
    std::string effectPath;
    std::string output;
    std::string templatePath;
    std::string name;
    std::string category;
    bool plain = false;
};

int runPack(const PackOptions& o) {
    refuseOutputOverInput(o.effectPath, o.output, "effect file");
    PackRequest request;
    request.code = readWholeFile(o.effectPath, "effect file");
    const bool imported =
        import::sourceFormatOf(o.effectPath, request.code) != import::SourceFormat::EffectText;
    if (imported) {
        const EffectSource source = loadEffectSource(o.effectPath);
        for (const std::string& warning : source.warnings)
            std::cerr << "glfx pack: warning: " << warning << "\n";
        request.code = source.code;
    }
    EffectDescription d;
    try {
        parseDescription(d, request.code);
    } catch (const std::exception& e) {
        throw CommandError(o.effectPath + ": " + e.what());
    }
    request.name = o.name;
    if (request.name.empty() && imported) {
        request.name = d.settings.name;
    } else if (request.name.empty()) {
        // The parser cuts a long name to the slot's size; packing it cut would hide that.
        request.name = rawSettingsValue(request.code, "name");
        if (request.name.size() > kMaxEffectNameBytes)
            throw CommandError(o.effectPath + ": the effect name \"" + request.name + "\" is " +
                               std::to_string(request.name.size()) +
                               " bytes long; the name slot holds at most 31 (shorten name= under "
                               "[settings], or give --name)");
        request.name = d.settings.name;
    }
    request.category = o.category.empty() ? d.settings.category : o.category;
    request.plain = o.plain;
    if (request.name.empty())
        throw CommandError(o.effectPath + " has no name=... under [settings]; give --name");

    const std::string nameProblem = packNameProblem(request.name);
    if (!nameProblem.empty())
        throw CommandError(o.effectPath + ": " + nameProblem +
                           "; give another with --name or name= under [settings]");
    const std::string categoryProblem = packCategoryProblem(request.category);
    if (!categoryProblem.empty())
        throw CommandError(o.effectPath + ": " + categoryProblem +
                           "; give another with --category or category= under [settings]");
    const std::string sizeProblem = codeSizeProblem(request.code, request.plain);
    if (!sizeProblem.empty()) throw CommandError(o.effectPath + ": " + sizeProblem);

    const std::string templatePath = templateLibrary(o.templatePath);
    std::string image = readWholeFile(templatePath, "template library");
    requireOutputFolder(o.output);
    // About one text in 150 enciphers into the bytes that end the slot; the plain form holds it.
    if (!request.plain && request.code.find('\0') == std::string::npos) {
        try {
            encipherCode(request.code, request.name);
        } catch (const std::invalid_argument& e) {
            throw CommandError(o.effectPath + ": " + e.what() + ", or pack it with --plain");
        }
    }
    try {
        packLibrary(image, request);
    } catch (const std::exception& e) {
        throw CommandError(std::string(e.what()) + " (packing " + o.effectPath + " with " +
                           templatePath + ")");
    }
    writeFileAtomically(o.output, image, true);
    return 0;
}

} // namespace

CLI::App* addPackCommand(CLI::App& app, CommandRun& run) {
    auto o = std::make_shared<PackOptions>();
    CLI::App* sub =
        app.add_subcommand("pack", "Write an effect into a copy of the template plug-in library");
    sub->add_option("file", o->effectPath, "effect file (.glfx), or an ISF or Shadertoy source")
        ->required();
    sub->add_option("-o,--output", o->output, "plug-in library to write")->required();
    sub->add_option("--template", o->templatePath,
                    "template library (default: the glfx_template.so the build made)");
    sub->add_option("--name", o->name, "effect name, 1 to 31 characters (default: the file's)");
    sub->add_option("--category", o->category, "category (default: the file's)");
    sub->add_flag("--plain", o->plain, "store the code as plain text instead of enciphered");
    sub->callback([o, &run] { run = [o] { return runPack(*o); }; });
    return sub;
}

} // namespace glfx::cli
