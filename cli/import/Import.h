// Shaders of other hosts turned into effect descriptions: ISF files (".fs", with the ".vs" beside
// it) and Shadertoy-style shaders (a ".glsl" file with mainImage, or the playground's JSON export).
//
// Error policy: a source that cannot become a faithful effect throws ImportError with one line
// that names the file (and the line and column where there is one) and what to do. Where the
// effect is still faithful but the user has something to know or to supply, a warning is added.
#pragma once

#include "effect/EffectDescription.h"

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace glfx::import {

class ImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SourceFormat { EffectText, Isf, Shadertoy, ShadertoyJson };

// By the file's extension (".fs", ".glsl", ".frag", ".json"); a ".glsl" or ".frag" file that
// opens with an ISF header comment is ISF. Anything else is effect text.
SourceFormat sourceFormatOf(const std::string& path, const std::string& bytes);

struct ImportedEffect {
    EffectDescription description;
    std::vector<std::string> warnings;
    // Line k of pass p's text (and of the vertex text) came from line passLines[p][k - 1] of the
    // source (vertex lines: of vertexFile); 0 for the lines the importer wrote.
    std::array<std::vector<int>, kMaxPasses> passLines;
    std::vector<int> vertexLines;
    std::string vertexFile;
};

// `bytes` is the file's content; files beside it (an ISF ".vs") are read from `path`'s folder.
ImportedEffect importIsf(const std::string& path, const std::string& bytes);
ImportedEffect importShadertoy(const std::string& path, const std::string& bytes);
ImportedEffect importShadertoyJson(const std::string& path, const std::string& bytes);

// Dispatches on sourceFormatOf; throws ImportError for effect text.
ImportedEffect importSource(const std::string& path, const std::string& bytes);

// The effect text of an import, with a comment naming where it came from.
std::string importedEffectText(const ImportedEffect& effect, const std::string& sourcePath);

} // namespace glfx::import
