#include "EffectSource.h"

#include "EffectLint.h"
#include "Files.h"

#include "import/Import.h"

#include "effect/CodeContainer.h"
#include "effect/Parser.h"
#include "hostsim/PropertyList.h"
#include "platform/UserFolder.h"
#include "resources/SlotPatcher.h"
#include "resources/Slots.h"

#include <algorithm>
#include <stdexcept>

namespace glfx::cli {

bool isLibraryFile(const std::string& bytes) {
    return bytes.compare(0, 4,
                         "\x7f"
                         "ELF") == 0 ||
           bytes.compare(0, 2, "MZ") == 0;
}

namespace {

void importSource(EffectSource& source, const std::string& path, const std::string& bytes,
                  import::SourceFormat format) {
    import::ImportedEffect imported;
    try {
        imported = import::importSource(path, bytes);
    } catch (const import::ImportError& e) {
        throw CommandError(e.what());
    }
    source.imported = true;
    source.origin.form = format == import::SourceFormat::Isf ? "ISF file (imported)"
                         : format == import::SourceFormat::Shadertoy
                             ? "Shadertoy shader (imported)"
                             : "Shadertoy export (imported)";
    source.code = import::importedEffectText(imported, path);
    source.warnings = imported.warnings;
    // The text's shader lines back to the source's, through where the writer put them.
    const SourceMap map = mapSources(source.code);
    source.sourceLines.assign(size_t(std::count(source.code.begin(), source.code.end(), '\n')) + 1,
                              {std::string(), 0});
    const auto follow = [&](const SourceLines& text, const std::vector<int>& from,
                            const std::string& file) {
        for (size_t k = 0; k < text.fileLines.size() && k < from.size(); ++k) {
            const size_t line = size_t(text.fileLines[k]);
            if (line >= 1 && line <= source.sourceLines.size() && from[k] > 0)
                source.sourceLines[line - 1] = {file, from[k]};
        }
    };
    for (size_t p = 0; p < map.passes.size(); ++p)
        follow(map.passes[p], imported.passLines[p], path);
    follow(map.vertex, imported.vertexLines,
           imported.vertexFile.empty() ? path : imported.vertexFile);
}

} // namespace

EffectSource loadEffectSource(const std::string& path) {
    EffectSource source;
    source.origin.path = path;
    const std::string bytes = readWholeFile(path, "effect");
    const import::SourceFormat format = isLibraryFile(bytes) ? import::SourceFormat::EffectText
                                                             : import::sourceFormatOf(path, bytes);
    if (format != import::SourceFormat::EffectText) {
        importSource(source, path, bytes, format);
    } else if (!isLibraryFile(bytes)) {
        source.origin.form = "effect file";
        source.code = readCodeFile(path);
        const size_t nul = bytes.find('\0');
        if (nul != std::string::npos) {
            source.nulOffset = nul;
            source.nulLine = int(std::count(bytes.begin(), bytes.begin() + long(nul), '\n')) + 1;
        }
    } else {
        SlotContents slots;
        hostsim::PropertyList properties;
        try {
            slots = readSlots(bytes);
            properties = hostsim::parsePropertyList(slots.resource);
        } catch (const std::exception& e) {
            throw CommandError(path + " is a library, but not a glfx plug-in: " + e.what());
        }
        source.origin.library = true;
        source.origin.libraryName = printableText(properties.name);
        source.origin.libraryCategory = printableText(properties.category);
        source.origin.libraryMatchName = printableText(properties.matchName);
        const std::string name = effectNameFromSlot(slots.nameSlot);
        source.slotName = nameSlotText(slots.nameSlot);
        switch (codeSlotForm(slots.codeSlot)) {
        case CodeForm::Template: {
            const std::string folder = platform::effectFolder(source.slotName, false);
            const std::string file = folder + name + ".glfx";
            source.origin.form = "template library (code from " + file + ")";
            const std::string unfit = platform::effectNameProblem(source.slotName);
            if (!unfit.empty())
                throw CommandError(path + " is a template library whose name \"" +
                                   printableText(source.slotName) +
                                   "\" " + unfit +
                                   ", so it reads no code file at all (pack the effect into it "
                                   "with glfx pack)");
            if (folder.empty() || !isRegularFile(file))
                throw CommandError(path + " is the template library; it reads its code from " +
                                   (folder.empty() ? "the per-user folder, which is unknown here"
                                                   : file + ", which does not exist") +
                                   " (give a .glfx file instead)");
            source.code = readCodeFile(file);
            break;
        }
        case CodeForm::Enciphered:
            source.origin.form = "library (enciphered code)";
            source.code = effectCode(slots.codeSlot, {}, name);
            break;
        case CodeForm::Plain:
            source.origin.form = "library (plain code)";
            source.code = effectCode(slots.codeSlot, {}, name);
            break;
        }
    }
    try {
        parseDescription(source.description, source.code);
    } catch (const std::exception& e) {
        source.parseError = e.what();
    }
    return source;
}

} // namespace glfx::cli
