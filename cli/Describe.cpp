#include "Describe.h"

#include "Files.h"

#include "effect/EffectWriter.h"
#include "effect/SizeExpression.h"
#include "render/Feedback.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// A table cell: the text padded to `width`, and at least one blank after it.
std::string cell(const std::string& text, size_t width) {
    return text.size() < width ? text + std::string(width - text.size(), ' ') : text + " ";
}

// Bytes one checkpoint of the kept passes takes when the output is 1920 x 1080 and the
// parameters are at their defaults.
size_t checkpointBytesAt1080p(const EffectDescription& d) {
    std::vector<std::string> names;
    std::vector<double> values;
    for (int i = 1; i < std::min<int32_t>(d.settings.paramCount, kMaxParams); ++i)
        if (d.params[size_t(i)].components == 1 && !d.params[size_t(i)].uniform.empty()) {
            names.push_back(d.params[size_t(i)].uniform);
            values.push_back(d.params[size_t(i)].defaultValue[0]);
        }
    const auto side = [&](const std::string& text, int32_t output) {
        if (text.empty()) return output;
        try {
            SizeExpression expression(text, names);
            return SizeExpression::side(expression.evaluate(1920, 1080, values), 16384);
        } catch (const std::exception&) {
            return output;
        }
    };
    size_t bytes = 0;
    for (int pass = 0; pass < passCount(d); ++pass) {
        const PassOptions& o = d.settings.passOptions[size_t(pass)];
        if (!o.persistent) continue;
        const bool last = pass == passCount(d) - 1;
        bytes += size_t(last ? 1920 : side(o.width, 1920)) *
                 size_t(last ? 1080 : side(o.height, 1080)) * (o.floatStorage ? 16 : 4);
    }
    return bytes;
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

using Json = nlohmann::ordered_json;

// A float as the fewest digits that read back as it, NaN and infinities as null.
Json jsonNumber(float v) {
    if (!std::isfinite(v)) return nullptr;
    // Whole numbers without the ".0" a double would get.
    if (std::fabs(v) < 1e15f && std::trunc(v) == v) return static_cast<int64_t>(v);
    return std::strtod(shortestFloat(v).c_str(), nullptr);
}

// One line: ", " between members and ": " after keys, as people write JSON by hand; bytes that
// are not UTF-8 become U+FFFD.
std::string inlineJson(const Json& j) {
    if (j.is_object()) {
        std::string out = "{";
        for (auto it = j.begin(); it != j.end(); ++it)
            out += (it == j.begin() ? "" : ", ") + Json(it.key()).dump() + ": " +
                   inlineJson(it.value());
        return out + "}";
    }
    if (j.is_array()) {
        std::string out = "[";
        for (size_t i = 0; i < j.size(); ++i)
            out += (i ? ", " : "") + inlineJson(j[i]);
        return out + "]";
    }
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

std::string sourceName(int32_t source) {
    if (isLayerSource(source)) return "layer" + std::to_string(layerOfSource(source));
    if (isPreviousSource(source)) return "prev_ps" + std::to_string(passOfPreviousSource(source));
    return "ps" + std::to_string(source);
}

void describe(std::ostream& out, const EffectDescription& d, const EffectOrigin& origin) {
    const EffectSettings& s = d.settings;
    // Effect texts and libraries may hold any bytes; the terminal gets none of its controls.
    out << "effect       " << printableText(s.name) << "\n"
        << "file         " << origin.path << " (" << origin.form << ")\n";
    if (origin.library)
        out << "registers as " << origin.libraryName << " in " << origin.libraryCategory
            << ", match name " << origin.libraryMatchName << "\n";
    out << "category     " << printableText(s.category) << "\n"
        << "version      " << printableText(s.version) << "\n";
    if (!s.uniqueid.empty()) out << "match name   " << printableText(s.uniqueid) << "\n";
    out << "description  " << printableText(s.description) << "\n"
        << "settings     " << passCount(d) << (passCount(d) == 1 ? " pass, " : " passes, ")
        << paramCount(d) << " parameter entries, " << s.layerCount
        << (s.layerCount == 1 ? " layer" : " layers") << ", cells " << s.cellsx << "x" << s.cellsy
        << ", edges " << (s.edgeRepeat ? "repeat" : "clamp") << (s.fast ? ", fast transfers" : "");
    if (s.noinput > 0) out << ", layers below " << s.noinput << " not uploaded";
    out << "\n\nparameters\n";

    out << std::left << "  " << std::setw(4) << "#" << std::setw(12) << "type" << cell("name", 22)
        << cell("uniform", 16) << cell("default", 16) << "range\n";
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
            << cell(printableText(p.name), 22) << cell(printableText(uniform), 16) << cell(def, 16)
            << printableText(range);
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
        const PassOptions& o = s.passOptions[size_t(pass)];
        if (!o.width.empty() || !o.height.empty())
            out << ", " << (o.width.empty() ? "$WIDTH" : o.width) << " x "
                << (o.height.empty() ? "$HEIGHT" : o.height) << " pixels";
        if (o.persistent)
            out << ", kept for the next frame" << (o.floatStorage ? " in floats" : "");
        if (pass == passCount(d) - 1) out << " -> output";
        out << "\n";
        if (s.routing[pass][0] == kEmptySlot) out << "    reads no input\n";
        for (int slot = 0; slot < kMaxSlots && s.routing[pass][slot] != kEmptySlot; ++slot)
            out << "    in" << slot << " <- " << sourceLabel(d, s.routing[pass][slot]) << "\n";
    }
    if (usesFeedback(d)) {
        const int every = s.checkpointEvery > 0 ? s.checkpointEvery : kDefaultCheckpointEvery;
        const int budget =
            s.checkpointBudgetMiB >= 0 ? s.checkpointBudgetMiB : kDefaultCheckpointBudgetMiB;
        char each[32];
        std::snprintf(each, sizeof each, "%.1f", double(checkpointBytesAt1080p(d)) / 1048576.0);
        out << "\nfeedback\n  checkpoints of the kept passes every " << every << " frames, within "
            << budget << " MiB per instance; at 1920x1080 each takes " << each << " MiB\n";
    }
}

void describeJson(std::ostream& out, const EffectDescription& d, const EffectOrigin& origin) {
    const EffectSettings& s = d.settings;
    Json top;
    top["file"] = origin.path;
    top["form"] = origin.form;
    if (origin.library)
        top["library"] = {{"name", origin.libraryName},
                          {"category", origin.libraryCategory},
                          {"matchName", origin.libraryMatchName}};
    top["name"] = s.name;
    top["description"] = s.description;
    top["category"] = s.category;
    top["version"] = s.version;
    top["uniqueid"] = s.uniqueid;
    top["paramCount"] = paramCount(d);
    top["passCount"] = passCount(d);
    top["layerCount"] = s.layerCount;
    top["fast"] = s.fast;
    top["noinput"] = s.noinput;
    top["edgeRepeat"] = s.edgeRepeat;
    top["cells"] = {s.cellsx, s.cellsy};
    Json params = Json::array();
    for (int i = 1; i < paramCount(d); ++i) {
        const ParamSpec& p = d.params[i];
        params.push_back({{"index", i},
                          {"type", paramTypeKeyword(p.type)},
                          {"name", p.name},
                          {"uniform", p.uniform},
                          {"components", p.components},
                          {"default",
                           {jsonNumber(p.defaultValue[0]), jsonNumber(p.defaultValue[1]),
                            jsonNumber(p.defaultValue[2])}},
                          {"min", jsonNumber(p.min)},
                          {"max", jsonNumber(p.max)},
                          {"text", p.text},
                          {"items", p.items},
                          {"group", p.group},
                          {"flags", p.flags},
                          {"hidden", p.hidden}});
    }
    Json passes = Json::array();
    for (int pass = 0; pass < passCount(d); ++pass) {
        const std::string text = pass < int(d.pixelShaders.size()) ? d.pixelShaders[pass] : "";
        Json inputs = Json::array();
        for (int slot = 0; slot < kMaxSlots && s.routing[pass][slot] != kEmptySlot; ++slot)
            inputs.push_back(sourceName(s.routing[pass][slot]));
        Json entry = {{"index", pass}, {"sourceBytes", text.size()}, {"inputs", inputs}};
        const PassOptions& o = s.passOptions[size_t(pass)];
        if (!o.width.empty()) entry["width"] = o.width;
        if (!o.height.empty()) entry["height"] = o.height;
        if (o.persistent) entry["persistent"] = true;
        if (o.floatStorage) entry["float"] = true;
        passes.push_back(entry);
    }
    if (usesFeedback(d)) {
        top["checkpointEvery"] =
            s.checkpointEvery > 0 ? s.checkpointEvery : kDefaultCheckpointEvery;
        top["checkpointBudgetMiB"] =
            s.checkpointBudgetMiB >= 0 ? s.checkpointBudgetMiB : kDefaultCheckpointBudgetMiB;
        top["checkpointBytesAt1080p"] = checkpointBytesAt1080p(d);
    }
    // The lists one entry a line, everything else one member a line.
    out << "{\n";
    for (auto it = top.begin(); it != top.end(); ++it)
        out << "  " << Json(it.key()).dump() << ": " << inlineJson(it.value()) << ",\n";
    const auto list = [&](const char* key, const Json& entries, bool last) {
        out << "  \"" << key << "\": [";
        for (size_t i = 0; i < entries.size(); ++i)
            out << (i ? ",\n    " : "\n    ") << inlineJson(entries[i]);
        out << (entries.empty() ? "]" : "\n  ]") << (last ? "\n" : ",\n");
    };
    list("params", params, false);
    list("passes", passes, true);
    out << "}\n";
}

} // namespace glfx::cli
