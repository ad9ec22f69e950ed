#include "EffectSource.h"

#include "Files.h"

#include "effect/CodeContainer.h"
#include "effect/Parser.h"
#include "hostsim/PropertyList.h"
#include "platform/UserFolder.h"
#include "resources/SlotPatcher.h"
#include "resources/Slots.h"

#include <stdexcept>

namespace glfx::cli {

bool isLibraryFile(const std::string& bytes) {
    return bytes.compare(0, 4,
                         "\x7f"
                         "ELF") == 0 ||
           bytes.compare(0, 2, "MZ") == 0;
}

EffectSource loadEffectSource(const std::string& path) {
    EffectSource source;
    source.origin.path = path;
    const std::string bytes = readWholeFile(path, "effect");
    if (!isLibraryFile(bytes)) {
        source.origin.form = "effect file";
        source.code = readCodeFile(path);
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
        source.origin.libraryName = properties.name;
        source.origin.libraryCategory = properties.category;
        source.origin.libraryMatchName = properties.matchName;
        const std::string name = effectNameFromSlot(slots.nameSlot);
        switch (codeSlotForm(slots.codeSlot)) {
        case CodeForm::Template: {
            const std::string folder = platform::effectFolder(nameSlotText(slots.nameSlot), false);
            const std::string file = folder + name + ".glfx";
            source.origin.form = "template library (code from " + file + ")";
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
