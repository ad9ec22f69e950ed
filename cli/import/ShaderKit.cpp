#include "import/ShaderKit.h"

#include "effect/EffectDescription.h"
#include "platform/UserFolder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace glfx::import {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(std::move(line));
        pos = end + 1;
    }
    return out;
}

bool blank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

} // namespace

bool isSystemName(const std::string& name) {
    static const std::set<std::string> names = {"time", "resolution", "pixelratio", "downsample",
                                                "cells"};
    if (names.count(name)) return true;
    if (name.rfind("gl_", 0) == 0 || name.rfind(kReservedPrefix, 0) == 0) return true;
    if (name.size() >= 3 && name.size() <= 4 && name.compare(0, 2, "in") == 0 &&
        name.find_first_not_of("0123456789", 2) == std::string::npos) {
        const int k = std::atoi(name.c_str() + 2);
        return k < 32 && std::to_string(k) == name.substr(2);
    }
    return false;
}

void ShaderAssembly::generated(const std::string& text) {
    for (std::string& line : splitLines(text)) {
        lines_.push_back(std::move(line));
        origins_.push_back(0);
    }
}

void ShaderAssembly::body(const std::string& text, int firstLine) {
    int n = firstLine;
    for (std::string& line : splitLines(text)) {
        lines_.push_back(std::move(line));
        origins_.push_back(n++);
    }
}

std::string ShaderAssembly::text() const {
    std::string out;
    for (const std::string& line : lines_)
        if (!blank(line)) out += line + "\n";
    return out;
}

std::vector<int> ShaderAssembly::lines() const {
    std::vector<int> out;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (!blank(lines_[i])) out.push_back(origins_[i]);
    return out;
}

int neededVersion(const GlslText& code, int floor) {
    static const std::map<std::string, int> names = {
        {"texture", 130},
        {"texelFetch", 130},
        {"texelFetchOffset", 130},
        {"textureSize", 130},
        {"textureLod", 130},
        {"textureGrad", 130},
        {"textureOffset", 130},
        {"textureProj", 130},
        {"textureLodOffset", 130},
        {"uint", 130},
        {"uvec2", 130},
        {"uvec3", 130},
        {"uvec4", 130},
        {"isnan", 130},
        {"isinf", 130},
        {"round", 130},
        {"roundEven", 130},
        {"trunc", 130},
        {"sinh", 130},
        {"cosh", 130},
        {"tanh", 130},
        {"asinh", 130},
        {"acosh", 130},
        {"atanh", 130},
        {"modf", 130},
        {"precision", 130},
        {"highp", 130},
        {"mediump", 130},
        {"lowp", 130},
        {"switch", 130},
        {"inverse", 150},
        {"determinant", 150},
        {"floatBitsToInt", 330},
        {"floatBitsToUint", 330},
        {"intBitsToFloat", 330},
        {"uintBitsToFloat", 330},
        {"fma", 400},
        {"textureGather", 400},
        {"bitfieldExtract", 400},
        {"bitfieldInsert", 400},
        {"bitfieldReverse", 400},
        {"bitCount", 400},
        {"findLSB", 400},
        {"findMSB", 400},
        {"uaddCarry", 400},
        {"usubBorrow", 400},
        {"umulExtended", 400},
        {"imulExtended", 400},
        {"packUnorm2x16", 420},
        {"packSnorm2x16", 420},
        {"unpackUnorm2x16", 420},
        {"unpackSnorm2x16", 420},
        {"packHalf2x16", 420},
        {"unpackHalf2x16", 420},
        {"packUnorm4x8", 420},
        {"unpackUnorm4x8", 420},
        {"packSnorm4x8", 420},
        {"unpackSnorm4x8", 420},
    };
    static const char* const integerSymbols[] = {"%",  "<<",  ">>",  "&",  "|",  "^", "~",
                                                 "%=", "<<=", ">>=", "&=", "|=", "^="};
    int version = floor;
    for (const auto& [name, needs] : names)
        if (needs > version && code.uses(name)) version = needs;
    if (version < 130)
        for (const char* symbol : integerSymbols)
            if (code.usesSymbol(symbol)) version = 130;
    return version;
}

std::string versionLine(int version, bool compatibility) {
    if (version <= 110) return "#version 110";
    return "#version " + std::to_string(version) +
           (compatibility && version >= 150 ? " compatibility" : "");
}

std::string flipLookups(GlslText& code, bool modern, bool fragment, bool withSample) {
    const std::string base = modern ? "texture" : "texture2D";
    const std::string lodBase = modern ? "textureLod" : "texture2DLod";
    std::map<std::string, std::string> calls;
    const auto wants = [&](const char* name, const char* helper) {
        if (code.calls(name)) {
            calls[name] = helper;
            return true;
        }
        return false;
    };
    bool sample = withSample;
    bool lod = false;
    bool fetch = false;
    bool proj = false;
    bool grad = false;
    bool offset = false;
    bool lodOffset = false;
    bool fetchOffset = false;
    sample |= wants("texture2D", "glfx_sample");
    if (modern) sample |= wants("texture", "glfx_sample");
    proj |= wants("texture2DProj", "glfx_sampleProj");
    proj |= modern && wants("textureProj", "glfx_sampleProj");
    lod |= wants("texture2DLod", "glfx_sampleLod");
    lod |= modern && wants("textureLod", "glfx_sampleLod");
    if (modern) {
        grad = wants("textureGrad", "glfx_sampleGrad");
        offset = wants("textureOffset", "glfx_sampleOffset");
        lodOffset = wants("textureLodOffset", "glfx_sampleLodOffset");
        fetchOffset = wants("texelFetchOffset", "glfx_texelFetchOffset");
        fetch = wants("texelFetch", "glfx_texelFetch") || fetchOffset;
    }
    const bool flipDerivative = fragment && wants("dFdy", "glfx_dFdy");
    sample |= proj || offset;
    lod |= lodOffset;
    code.renameCalls(calls);

    // A bias is allowed in fragment shaders only.
    std::string out;
    if (sample) {
        out += "vec4 glfx_sample(sampler2D s, vec2 p) { return " + base +
               "(s, vec2(p.x, 1.0 - p.y)); }\n";
        if (fragment)
            out += "vec4 glfx_sample(sampler2D s, vec2 p, float bias) { return " + base +
                   "(s, vec2(p.x, 1.0 - p.y), bias); }\n";
    }
    if (lod)
        out += "vec4 glfx_sampleLod(sampler2D s, vec2 p, float lod) { return " + lodBase +
               "(s, vec2(p.x, 1.0 - p.y), lod); }\n";
    if (proj) {
        out += "vec4 glfx_sampleProj(sampler2D s, vec3 p) { return glfx_sample(s, p.xy / p.z); }\n"
               "vec4 glfx_sampleProj(sampler2D s, vec4 p) { return glfx_sample(s, p.xy / p.w); }\n";
        if (fragment)
            out += "vec4 glfx_sampleProj(sampler2D s, vec3 p, float b) { return glfx_sample(s, "
                   "p.xy / p.z, b); }\n"
                   "vec4 glfx_sampleProj(sampler2D s, vec4 p, float b) { return glfx_sample(s, "
                   "p.xy / p.w, b); }\n";
    }
    if (grad)
        out += "vec4 glfx_sampleGrad(sampler2D s, vec2 p, vec2 dx, vec2 dy) { return "
               "textureGrad(s, vec2(p.x, 1.0 - p.y), vec2(dx.x, -dx.y), vec2(dy.x, -dy.y)); }\n";
    if (offset) {
        out += "vec4 glfx_sampleOffset(sampler2D s, vec2 p, ivec2 o) { return glfx_sample(s, p + "
               "vec2(o) / vec2(textureSize(s, 0))); }\n";
        if (fragment)
            out += "vec4 glfx_sampleOffset(sampler2D s, vec2 p, ivec2 o, float b) { return "
                   "glfx_sample(s, p + vec2(o) / vec2(textureSize(s, 0)), b); }\n";
    }
    if (lodOffset)
        out += "vec4 glfx_sampleLodOffset(sampler2D s, vec2 p, float lod, ivec2 o) { return "
               "glfx_sampleLod(s, p + vec2(o) / vec2(textureSize(s, 0)), lod); }\n";
    if (fetch)
        out += "vec4 glfx_texelFetch(sampler2D s, ivec2 p, int lod) { return texelFetch(s, "
               "ivec2(p.x, textureSize(s, lod).y - 1 - p.y), lod); }\n";
    if (fetchOffset)
        out += "vec4 glfx_texelFetchOffset(sampler2D s, ivec2 p, int lod, ivec2 o) { return "
               "glfx_texelFetch(s, p + o, lod); }\n";
    if (flipDerivative)
        out += "float glfx_dFdy(float v) { return -dFdy(v); }\n"
               "vec2 glfx_dFdy(vec2 v) { return -dFdy(v); }\n"
               "vec3 glfx_dFdy(vec3 v) { return -dFdy(v); }\n"
               "vec4 glfx_dFdy(vec4 v) { return -dFdy(v); }\n";
    return out;
}

std::string uniqueName(const std::string& base, std::set<std::string>& taken) {
    std::string name = base;
    for (int n = 1; taken.count(name) || isSystemName(name); ++n)
        name = base + "_" + (n == 1 ? std::string() : std::to_string(n));
    taken.insert(name);
    return name;
}

std::string glslFloat(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.9g", value);
    std::string s = buffer;
    if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
    return s;
}

std::string printableName(const std::string& text, size_t limit) {
    std::string out;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += (u >= 32 && u < 127) ? c : '_';
    }
    const size_t first = out.find_first_not_of(' ');
    out = first == std::string::npos ? std::string() : out.substr(first);
    if (out.size() > limit) out.resize(limit);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string effectNameOf(const std::string& text) {
    std::string name = printableName(text, kMaxEffectNameBytes);
    for (char& c : name)
        if (std::strchr("/\\:*?\"<>|", c) != nullptr) c = '_';
    const size_t first = name.find_first_not_of(". ");
    if (first == std::string::npos) return {};
    name = name.substr(first, name.find_last_not_of(". ") - first + 1);
    if (!platform::effectNameProblem(name).empty()) {
        // Only a device name is left to mend, at the end of its stem.
        if (name.size() == kMaxEffectNameBytes) name.pop_back();
        name.insert(std::min(name.find('.'), name.size()), "_");
    }
    return platform::effectNameProblem(name).empty() ? name : std::string();
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

void lineAndColumn(const std::string& text, size_t offset, int& line, int& column) {
    line = 1;
    column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}

} // namespace glfx::import
