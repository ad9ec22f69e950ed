#include "effect/EffectWriter.h"

#include "effect/Parser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace glfx {
namespace {

int32_t clampCount(int32_t count, int32_t limit) {
    return std::max(0, std::min(count, limit));
}

// A settings or key value on one line: the parser ends a value at the line's end.
std::string oneLine(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string sourceText(int32_t source) {
    if (isLayerSource(source)) return "layer" + std::to_string(layerOfSource(source));
    if (isPreviousSource(source)) return "prev_ps" + std::to_string(passOfPreviousSource(source));
    return "ps" + std::to_string(source);
}

// The lines of a shader text as the parser will read them back.
void writeShader(std::string& out, const std::string& text, bool vertex) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty()) continue;
        // A blank keeps the line code: "[" opens a section anywhere, ";" and "/" start comments
        // outside the pixel shaders.
        if (line[0] == '[' || (vertex && (line[0] == ';' || line[0] == '/'))) line.insert(0, " ");
        out += line;
        out += '\n';
    }
}

std::string defaultText(const ParamSpec& p) {
    const auto& d = p.defaultValue;
    if (d[0] == d[1] && d[1] == d[2]) return shortestFloat(d[0]);
    return shortestFloat(d[0]) + "|" + shortestFloat(d[1]) + "|" + shortestFloat(d[2]);
}

void writeParam(std::string& out, const ParamSpec& p, int32_t index) {
    out += "[par" + std::to_string(index) + "]\n";
    // The type first: "text" and "flags" read differently for a popup.
    out += "type=" + std::string(paramTypeKeyword(p.type)) + "\n";
    out += "name=" + oneLine(p.name) + "\n";
    out += "param=" + oneLine(p.uniform) + "\n";
    out += "default=" + defaultText(p) + "\n";
    if (!p.text.empty()) out += "text=" + oneLine(p.text) + "\n";
    out += "min=" + shortestFloat(p.min) + "\n";
    out += "max=" + shortestFloat(p.max) + "\n";
    if (p.flags != 0) out += "flags=" + std::to_string(p.flags) + "\n";
    if (p.group > 0) out += "group=" + std::to_string(p.group) + "\n";
    if (p.group < 0) out += "groupswitch=" + std::to_string(-static_cast<int64_t>(p.group)) + "\n";
    if (p.hidden) out += "hidden=1\n";
}

} // namespace

std::string shortestFloat(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, double(value));
        if (static_cast<float>(std::strtod(buffer, nullptr)) == value) break;
    }
    return buffer;
}

std::string writeEffect(const EffectDescription& d, const WriteOptions& options) {
    const EffectSettings& s = d.settings;
    std::string out;
    for (const std::string& comment : options.headerComments)
        out += "; " + oneLine(comment) + "\n";

    const int32_t params = clampCount(s.paramCount, kMaxParams);
    const int32_t passes = clampCount(s.passCount, kMaxPasses);
    out += "[settings]\n";
    out += "name=" + oneLine(s.name) + "\n";
    if (!s.description.empty()) out += "description=" + oneLine(s.description) + "\n";
    if (!s.category.empty()) out += "category=" + oneLine(s.category) + "\n";
    if (!s.version.empty()) out += "version=" + oneLine(s.version) + "\n";
    if (!s.uniqueid.empty()) out += "matchname=" + oneLine(s.uniqueid) + "\n";
    if (s.fast) out += "fast=1\n";
    if (s.noinput != 0) out += "noinput=" + std::to_string(s.noinput) + "\n";
    if (s.edgeRepeat != 0) out += "edge_repeat=" + std::to_string(s.edgeRepeat) + "\n";
    if (s.cellsx != 1) out += "cellsx=" + std::to_string(s.cellsx) + "\n";
    if (s.cellsy != 1) out += "cellsy=" + std::to_string(s.cellsy) + "\n";
    // The sections written below give these counts by themselves, except counts of 0 and 1.
    if (params == 1) out += "params=1\n";
    if (passes == 0) out += "shaders=0\n";
    for (int32_t p = 0; p < kMaxPasses; ++p) {
        const PassOptions& o = s.passOptions[size_t(p)];
        const std::string key = "ps" + std::to_string(p) + "_";
        if (!o.width.empty()) out += key + "width=" + oneLine(o.width) + "\n";
        if (!o.height.empty()) out += key + "height=" + oneLine(o.height) + "\n";
        if (o.persistent) out += key + "persistent=1\n";
        if (o.floatStorage) out += key + "float=1\n";
    }

    for (int32_t i = 1; i < params; ++i)
        writeParam(out, d.params[size_t(i)], i);

    std::string routing;
    for (int32_t p = 0; p < kMaxPasses; ++p)
        for (int32_t k = 0; k < kMaxSlots; ++k)
            if (s.routing[p][k] != kEmptySlot)
                routing += "ps" + std::to_string(p) + "_in" + std::to_string(k) + "=" +
                           sourceText(s.routing[p][k]) + "\n";
    if (!routing.empty()) out += "[routing]\n" + routing;

    if (!d.vertexShader.empty() && d.vertexShader != defaultVertexShader()) {
        out += "[vs]\n";
        writeShader(out, d.vertexShader, true);
    }
    for (int32_t p = 0; p < passes; ++p) {
        out += "[ps" + std::to_string(p) + "]\n";
        if (size_t(p) < d.pixelShaders.size()) writeShader(out, d.pixelShaders[size_t(p)], false);
    }
    return out;
}

} // namespace glfx
