#include "import/Import.h"

#include "effect/EffectWriter.h"

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

ImportedEffect importSource(const std::string& path, const std::string& bytes) {
    switch (sourceFormatOf(path, bytes)) {
    case SourceFormat::Isf:
        return importIsf(path, bytes);
    case SourceFormat::Shadertoy:
        return importShadertoy(path, bytes);
    case SourceFormat::ShadertoyJson:
        return importShadertoyJson(path, bytes);
    case SourceFormat::EffectText:
        break;
    }
    throw ImportError(path + ": not a shader to import (give an ISF .fs file, a Shadertoy .glsl "
                             "file or a Shadertoy .json export)");
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
