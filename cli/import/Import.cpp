#include "import/Import.h"

#include "effect/CodeContainer.h"
#include "effect/EffectWriter.h"
#include "import/GlslText.h"

#include <algorithm>
#include <cctype>

namespace glfx::import {
namespace {

std::string extensionOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

bool opensWithIsfHeader(const std::string& bytes) {
    size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    at = bytes.find_first_not_of(" \t\r\n", at);
    if (at == std::string::npos || bytes.compare(at, 2, "/*") != 0) return false;
    at = bytes.find_first_not_of(" \t\r\n", at + 2);
    return at != std::string::npos && bytes[at] == '{';
}

} // namespace

SourceFormat sourceFormatOf(const std::string& path, const std::string& bytes) {
    const std::string ext = extensionOf(path);
    if (ext == ".fs") return SourceFormat::Isf;
    if (ext == ".json") return SourceFormat::ShadertoyJson;
    if (ext == ".glsl" || ext == ".frag")
        return opensWithIsfHeader(bytes) ? SourceFormat::Isf : SourceFormat::Shadertoy;
    return SourceFormat::EffectText;
}

namespace {

// Comments and the blanks that start lines taken out of every shader, lines kept in step.
void compactShaders(ImportedEffect& effect) {
    const auto compactOne = [](std::string& text, std::vector<int>& lines) {
        const std::string compacted = GlslText(text).compact();
        std::string out;
        std::vector<int> kept;
        size_t pos = 0;
        for (size_t k = 0; pos < compacted.size(); ++k) {
            size_t end = compacted.find('\n', pos);
            if (end == std::string::npos) end = compacted.size();
            const std::string line = compacted.substr(pos, end - pos);
            pos = end + 1;
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            out += line + "\n";
            kept.push_back(k < lines.size() ? lines[k] : 0);
        }
        text = out;
        lines = kept;
    };
    EffectDescription& d = effect.description;
    for (size_t p = 0; p < d.pixelShaders.size() && p < effect.passLines.size(); ++p)
        if (!d.pixelShaders[p].empty()) compactOne(d.pixelShaders[p], effect.passLines[p]);
    compactOne(d.vertexShader, effect.vertexLines);
}

} // namespace

ImportedEffect importSource(const std::string& path, const std::string& bytes) {
    ImportedEffect effect;
    switch (sourceFormatOf(path, bytes)) {
    case SourceFormat::Isf:
        effect = importIsf(path, bytes);
        break;
    case SourceFormat::Shadertoy:
        effect = importShadertoy(path, bytes);
        break;
    case SourceFormat::ShadertoyJson:
        effect = importShadertoyJson(path, bytes);
        break;
    case SourceFormat::EffectText:
        throw ImportError(path + ": not a shader to import (give an ISF .fs file, a Shadertoy "
                                 ".glsl file or a Shadertoy .json export)");
    }
    // Every pass carries its own copy of the code; where that outgrows a plug-in's code slot
    // (enciphered: header and end marker besides), comments and indentation go first.
    if (writeEffect(effect.description).size() + 6 > kCodeSlotSize) {
        compactShaders(effect);
        effect.warnings.push_back(path + ": the effect text left out the code's comments and "
                                         "indentation to fit a plug-in's code slot");
    }
    return effect;
}

std::string importedEffectText(const ImportedEffect& effect, const std::string& sourcePath) {
    WriteOptions options;
    const size_t slash = sourcePath.find_last_of("/\\");
    options.headerComments.push_back(
        "Imported by glfx import from " +
        (slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1)) + ".");
    return writeEffect(effect.description, options);
}

} // namespace glfx::import
