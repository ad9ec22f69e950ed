#include "Describe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <sstream>

namespace glfx::cli {
namespace {

int paramCount(const EffectDescription& d) {
    return std::clamp<int32_t>(d.settings.paramCount, 0, kMaxParams);
}

int passCount(const EffectDescription& d) {
    return std::clamp<int32_t>(d.settings.passCount, 0, kMaxPasses);
}

std::string number(double v) {
    if (!std::isfinite(v)) return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
    std::ostringstream s;
    s << v;
    return s.str();
}

std::string defaults(const ParamSpec& p) {
    std::string s = number(p.defaultValue[0]);
    if (p.components >= 2 || p.type == ParamType::Point || p.type == ParamType::Color)
        s += ", " + number(p.defaultValue[1]);
    if (p.components >= 3 || p.type == ParamType::Color) s += ", " + number(p.defaultValue[2]);
    return s;
}

bool isSlider(ParamType t) {
    return t == ParamType::Int || t == ParamType::Float || t == ParamType::Float2;
}

// The name of the entry that is layer K (K >= 1), or empty.
std::string layerName(const EffectDescription& d, int layer) {
    int k = 0;
    for (int i = 1; i < paramCount(d); ++i)
        if (d.params[i].type == ParamType::Layer && ++k == layer) return d.params[i].name;
    return {};
}

std::string sourceLabel(const EffectDescription& d, int32_t source) {
    if (!isLayerSource(source)) return sourceName(source);
    const int layer = layerOfSource(source);
    if (layer == 0) return "layer0 (the effect's input)";
    const std::string name = layerName(d, layer);
    return sourceName(source) + (name.empty() ? " (no such layer)" : " (" + name + ")");
}

size_t lineCount(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n')) +
           (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// Text in JSON string syntax; bytes of 0x80 and above pass through unchanged.
std::string json(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    std::ostringstream s;
    s << std::setprecision(9) << v;
    return s.str();
}

} // namespace

std::string sourceName(int32_t source) {
    if (isLayerSource(source)) return "layer" + std::to_string(layerOfSource(source));
    return "ps" + std::to_string(source);
}

void describe(std::ostream& out, const EffectDescription& d, const EffectOrigin& origin) {
    const EffectSettings& s = d.settings;
    out << "effect       " << s.name << "\n"
        << "file         " << origin.path << " (" << origin.form << ")\n";
    if (origin.library)
        out << "registers as " << origin.libraryName << " in " << origin.libraryCategory
            << ", match name " << origin.libraryMatchName << "\n";
    out << "category     " << s.category << "\n"
        << "version      " << s.version << "\n";
    if (!s.uniqueid.empty()) out << "match name   " << s.uniqueid << "\n";
    out << "description  " << s.description << "\n"
        << "settings     " << passCount(d) << (passCount(d) == 1 ? " pass, " : " passes, ")
        << paramCount(d) << " parameter entries, " << s.layerCount
        << (s.layerCount == 1 ? " layer" : " layers") << ", cells " << s.cellsx << "x" << s.cellsy
        << ", edges " << (s.edgeRepeat ? "repeat" : "clamp") << (s.fast ? ", fast transfers" : "");
    if (s.noinput > 0) out << ", layers below " << s.noinput << " not uploaded";
    out << "\n\nparameters\n";

    out << std::left << "  " << std::setw(4) << "#" << std::setw(12) << "type" << std::setw(22)
        << "name" << std::setw(16) << "uniform" << std::setw(16) << "default"
        << "range\n";
    out << "  " << std::setw(4) << 0 << std::setw(12) << "layer" << std::setw(22)
        << "(the effect's input)" << std::setw(16) << "" << std::setw(16) << ""
        << "\n";
    for (int i = 1; i < paramCount(d); ++i) {
        const ParamSpec& p = d.params[i];
        std::string range;
        if (p.type == ParamType::Popup)
            range = p.text;
        else if (isSlider(p.type))
            range = number(p.min) + " .. " + number(p.max);
        if (isSlider(p.type) && p.items.size() >= 2)
            range += " (typed " + p.items[0] + " .. " + p.items[1] + ")";
        std::string def = defaults(p);
        if (p.type == ParamType::Layer)
            def =
                p.defaultValue[0] != 0.0f ? "offset " + number(p.defaultValue[0]) + " frames" : "";
        else if (p.type == ParamType::Popup)
            def = number(p.defaultValue[0]);
        std::string uniform = p.uniform;
        if (p.type == ParamType::Popup && (p.flags == 1 || p.flags == 2))
            uniform = "#define " + p.uniform;
        out << "  " << std::setw(4) << i << std::setw(12) << paramTypeKeyword(p.type)
            << std::setw(22) << p.name << std::setw(16) << uniform << std::setw(16) << def << range;
        if (p.type == ParamType::Check && !p.text.empty()) out << "label \"" << p.text << "\"";
        if (p.type == ParamType::Popup && p.flags == 2) out << " (define: item text)";
        if (p.type == ParamType::Popup && p.flags == 1) out << " (define: choice index)";
        if (isSlider(p.type) && p.flags > 0) out << " (percent)";
        if (p.hidden) out << " (hidden)";
        if (p.group > 0) out << " (group " << p.group << ")";
        if (p.group < 0)
            out << " (shows group " << -static_cast<int64_t>(p.group) << " + choice - 1)";
        out << "\n";
    }

    out << "\npasses\n";
    for (int pass = 0; pass < passCount(d); ++pass) {
        const std::string text = pass < int(d.pixelShaders.size()) ? d.pixelShaders[pass] : "";
        out << "  ps" << pass << " (" << lineCount(text) << " lines of GLSL)";
        if (pass == passCount(d) - 1) out << " -> output";
        out << "\n";
        if (s.routing[pass][0] == kEmptySlot) out << "    reads no input\n";
        for (int slot = 0; slot < kMaxSlots && s.routing[pass][slot] != kEmptySlot; ++slot)
            out << "    in" << slot << " <- " << sourceLabel(d, s.routing[pass][slot]) << "\n";
    }
}

void describeJson(std::ostream& out, const EffectDescription& d, const EffectOrigin& origin) {
    const EffectSettings& s = d.settings;
    out << "{\n  \"file\": " << json(origin.path) << ",\n  \"form\": " << json(origin.form)
        << ",\n";
    if (origin.library)
        out << "  \"library\": {\"name\": " << json(origin.libraryName)
            << ", \"category\": " << json(origin.libraryCategory)
            << ", \"matchName\": " << json(origin.libraryMatchName) << "},\n";
    out << "  \"name\": " << json(s.name) << ",\n  \"description\": " << json(s.description)
        << ",\n  \"category\": " << json(s.category) << ",\n  \"version\": " << json(s.version)
        << ",\n  \"uniqueid\": " << json(s.uniqueid) << ",\n  \"paramCount\": " << paramCount(d)
        << ",\n  \"passCount\": " << passCount(d) << ",\n  \"layerCount\": " << s.layerCount
        << ",\n  \"fast\": " << (s.fast ? "true" : "false") << ",\n  \"noinput\": " << s.noinput
        << ",\n  \"edgeRepeat\": " << s.edgeRepeat << ",\n  \"cells\": [" << s.cellsx << ", "
        << s.cellsy << "],\n  \"params\": [";
    for (int i = 1; i < paramCount(d); ++i) {
        const ParamSpec& p = d.params[i];
        out << (i > 1 ? ",\n" : "\n") << "    {\"index\": " << i
            << ", \"type\": " << json(paramTypeKeyword(p.type)) << ", \"name\": " << json(p.name)
            << ", \"uniform\": " << json(p.uniform) << ", \"components\": " << p.components
            << ", \"default\": [" << jsonNumber(p.defaultValue[0]) << ", "
            << jsonNumber(p.defaultValue[1]) << ", " << jsonNumber(p.defaultValue[2])
            << "], \"min\": " << jsonNumber(p.min) << ", \"max\": " << jsonNumber(p.max)
            << ", \"text\": " << json(p.text) << ", \"items\": [";
        for (size_t k = 0; k < p.items.size(); ++k)
            out << (k ? ", " : "") << json(p.items[k]);
        out << "], \"group\": " << p.group << ", \"flags\": " << p.flags
            << ", \"hidden\": " << (p.hidden ? "true" : "false") << "}";
    }
    out << (paramCount(d) > 1 ? "\n  ],\n" : "],\n") << "  \"passes\": [";
    for (int pass = 0; pass < passCount(d); ++pass) {
        const std::string text = pass < int(d.pixelShaders.size()) ? d.pixelShaders[pass] : "";
        out << (pass ? ",\n" : "\n") << "    {\"index\": " << pass
            << ", \"sourceBytes\": " << text.size() << ", \"inputs\": [";
        for (int slot = 0; slot < kMaxSlots && s.routing[pass][slot] != kEmptySlot; ++slot)
            out << (slot ? ", " : "") << json(sourceName(s.routing[pass][slot]));
        out << "]}";
    }
    out << (passCount(d) > 0 ? "\n  ]\n}\n" : "]\n}\n");
}

} // namespace glfx::cli
