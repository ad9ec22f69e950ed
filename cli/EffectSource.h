// An effect as the command is given it: an effect file, or a plug-in library whose slots hold the
// code (or, for the template library, name the per-user code file it reads).
#pragma once

#include "Describe.h"

#include "effect/EffectDescription.h"

#include <string>
#include <utility>
#include <vector>

namespace glfx::cli {

struct EffectSource {
    std::string code; // the text the plug-in would parse
    EffectOrigin origin;
    EffectDescription description;
    // Set when the parser stopped (a routing key it rejects): the plug-in would not load it.
    std::string parseError;
    // An ISF or Shadertoy source imported on the fly: `code` is the effect text made of it.
    bool imported = false;
    std::vector<std::string> warnings;
    // For each line of `code` (index = line - 1), the file and line of the source it came from;
    // an empty file where the importer wrote the line.
    std::vector<std::pair<std::string, int>> sourceLines;
    // An effect file holding a NUL byte: the plug-in reads the text only up to it (`code` ends
    // there), pack and render refuse the file. The byte's offset and line in the file; 0 and 0
    // when there is none.
    size_t nulOffset = 0;
    int nulLine = 0;
    // A library's name slot, up to its NUL: the name its per-user folder is called by.
    std::string slotName;
};

// A library's first bytes give it away (ELF or PE); an ISF or Shadertoy source (import.h's
// sourceFormatOf) is imported; anything else is read as an effect file, with the same CRLF
// handling and NUL cut as the plug-in's code-file reader. Reads the library's
// slots and property resource from the file without loading it. Throws CommandError when the
// file cannot be read, is a library without glfx slots, or is a template library whose code
// file does not exist, and with the importer's one line when a source cannot be imported.
EffectSource loadEffectSource(const std::string& path);

// True when the file starts like a shared library.
bool isLibraryFile(const std::string& bytes);

} // namespace glfx::cli
