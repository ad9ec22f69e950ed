// ISF, the header: its JSON becomes the parameters and the list of passes. The code is read,
// rewritten and routed in IsfShaders.cpp.
#include "import/IsfImporter.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace glfx::import {
namespace isf {
namespace {

bool isIdentifier(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

} // namespace

ImportedEffect IsfImporter::run() {
    readHeader();
    readInputs();
    readImported();
    readPasses();
    readCode();
    assignSlots();
    buildParams();
    buildShaders();
    buildPasses();
    return std::move(out_);
}

void IsfImporter::readHeader() {
    size_t start = bytes_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    start = bytes_.find_first_not_of(" \t\r\n", start);
    if (start == std::string::npos || bytes_.compare(start, 2, "/*") != 0)
        fail("not an ISF file: it does not begin with the JSON header comment /* { ... } */");
    const size_t end = bytes_.find("*/", start + 2);
    if (end == std::string::npos)
        fail("the header comment that opens the file is never closed with */");
    header_ = parseJson(bytes_.substr(start + 2, end - start - 2), path_, bytes_, start + 2);
    if (!header_.is_object()) fail("the header comment does not hold a JSON object { ... }");
    code_ = bytes_.substr(end + 2);
    int column = 0;
    lineAndColumn(bytes_, end + 2, codeLine_, column);
    version1_ = member(header_, "ISFVSN") == nullptr;
}

const Json* IsfImporter::list(const Json& object, const char* key) const {
    const Json* value = member(object, key);
    if (value != nullptr && !value->is_array() && !value->is_null())
        fail(std::string(key) + " must be a list [ ... ]");
    return value != nullptr && value->is_array() ? value : nullptr;
}

void IsfImporter::readInputs() {
    const Json* inputs = list(header_, "INPUTS");
    if (inputs == nullptr) return;
    std::set<std::string> seen;
    for (size_t i = 0; i < inputs->size(); ++i) {
        const Json& j = (*inputs)[i];
        const std::string where = "input " + std::to_string(i + 1);
        const auto name = asString(member(j, "NAME"));
        if (!name) fail(where + " has no NAME");
        if (!isIdentifier(*name)) fail(where + ": NAME \"" + *name + "\" is not a GLSL identifier");
        if (!seen.insert(*name).second) fail("two inputs are named \"" + *name + "\"");
        const auto type = asString(member(j, "TYPE"));
        if (!type) fail("input \"" + *name + "\" has no TYPE");
        Input in;
        in.name = *name;
        in.json = &j;
        in.label = printableName(asString(member(j, "LABEL")).value_or(*name), 31);
        if (in.label.empty()) in.label = *name;
        static const std::map<std::string, Kind> kinds = {
            {"float", Kind::Float}, {"bool", Kind::Bool},   {"event", Kind::Event},
            {"long", Kind::Long},   {"color", Kind::Color}, {"point2D", Kind::Point},
            {"image", Kind::Image}};
        const auto kind = kinds.find(*type);
        if (*type == "audio" || *type == "audioFFT")
            fail("input \"" + *name + "\" is of TYPE " + *type +
                 ", and glfx has no audio to give it; remove the input and its uses");
        if (kind == kinds.end())
            fail("input \"" + *name + "\" has the unknown TYPE \"" + *type +
                 "\" (ISF knows float, bool, event, long, color, point2D, image, audio and "
                 "audioFFT)");
        in.kind = kind->second;
        inputs_.push_back(std::move(in));
    }
}

void IsfImporter::readImported() {
    const Json* imported = member(header_, "IMPORTED");
    if (imported == nullptr) return;
    const auto add = [&](const std::string& name, const Json& entry) {
        if (!isIdentifier(name)) fail("IMPORTED image \"" + name + "\" is not a GLSL identifier");
        Input in;
        in.name = name;
        in.kind = Kind::Image;
        in.label = printableName(name, 31);
        const std::string file = asString(member(entry, "PATH")).value_or("?");
        out_.warnings.push_back(path_ + ": IMPORTED image \"" + name + "\" (" + file +
                                ") becomes the layer parameter \"" + in.label +
                                "\": give it that picture (glfx render -l \"" + in.label + "=" +
                                file + "\")");
        imported_.push_back(std::move(in));
    };
    if (imported->is_object()) {
        for (auto it = imported->begin(); it != imported->end(); ++it)
            add(asString(member(it.value(), "NAME")).value_or(it.key()), it.value());
    } else if (imported->is_array()) {
        for (const Json& entry : *imported) {
            const auto name = asString(member(entry, "NAME"));
            if (!name) fail("an IMPORTED entry has no NAME");
            add(*name, entry);
        }
    } else {
        fail("IMPORTED must be an object or a list");
    }
}

void IsfImporter::readPasses() {
    const Json* passes = list(header_, "PASSES");
    std::map<std::string, const Json*> persistentBuffers;
    if (const Json* v1 = member(header_, "PERSISTENT_BUFFERS")) {
        if (v1->is_array()) {
            for (const Json& name : *v1)
                if (name.is_string()) persistentBuffers[name.get<std::string>()] = nullptr;
        } else if (v1->is_object()) {
            for (auto it = v1->begin(); it != v1->end(); ++it)
                persistentBuffers[it.key()] = &it.value();
        } else if (v1->is_string()) {
            persistentBuffers[v1->get<std::string>()] = nullptr;
        }
    }
    if (passes != nullptr)
        for (size_t i = 0; i < passes->size(); ++i) {
            const Json& j = (*passes)[i];
            Pass pass;
            pass.target = asString(member(j, "TARGET")).value_or("");
            if (!pass.target.empty() && !isIdentifier(pass.target))
                fail("pass " + std::to_string(i) + ": TARGET \"" + pass.target +
                     "\" is not a GLSL identifier");
            pass.persistent = asBool(member(j, "PERSISTENT")).value_or(false);
            pass.floatStorage = asBool(member(j, "FLOAT")).value_or(false);
            pass.width = asString(member(j, "WIDTH")).value_or("");
            pass.height = asString(member(j, "HEIGHT")).value_or("");
            const auto v1 = persistentBuffers.find(pass.target);
            if (!pass.target.empty() && v1 != persistentBuffers.end()) {
                pass.persistent = true;
                if (v1->second != nullptr) {
                    if (pass.width.empty())
                        pass.width = asString(member(*v1->second, "WIDTH")).value_or("");
                    if (pass.height.empty())
                        pass.height = asString(member(*v1->second, "HEIGHT")).value_or("");
                    pass.floatStorage =
                        pass.floatStorage || asBool(member(*v1->second, "FLOAT")).value_or(false);
                }
            }
            passes_.push_back(std::move(pass));
        }
    if (passes_.empty()) passes_.emplace_back();
    // Pass results and the layer after them, plus a copy to the output for a sized last pass.
    if (int(passes_.size()) + 1 > kMaxPasses)
        fail(std::to_string(passes_.size()) + " passes; an effect holds at most " +
             std::to_string(kMaxPasses - 1) + " of ISF's");
    std::set<std::string> targets;
    for (const Pass& p : passes_)
        if (!p.target.empty() && !targets.insert(p.target).second)
            fail("two passes render into the TARGET \"" + p.target + "\"; give each pass its own");
}

std::optional<double> IsfImporter::number(const Input& in, const char* key) const {
    return asNumber(member(*in.json, key));
}

std::vector<double> IsfImporter::numbers(const Input& in, const char* key) const {
    std::vector<double> out;
    const Json* v = member(*in.json, key);
    if (v != nullptr && v->is_array())
        for (const Json& e : *v)
            if (auto n = asNumber(&e)) out.push_back(*n);
    return out;
}

ParamSpec& IsfImporter::addParam(ParamType type, const std::string& name,
                                 const std::string& uniform) {
    const int index = ++paramCount_;
    if (index >= kMaxParams) fail("too many inputs: an effect has at most 127 parameters");
    ParamSpec& p = out_.description.params[size_t(index)];
    p = ParamSpec{};
    p.type = type;
    p.name = name;
    p.uniform = uniform;
    p.components = type == ParamType::Color   ? 3
                   : type == ParamType::Point ? 2
                   : type == ParamType::Layer ? 0
                                              : 1;
    return p;
}

void IsfImporter::buildParams() {
    std::set<std::string> uniforms = taken_;
    for (const Input& in : inputs_)
        uniforms.insert(in.name);
    const auto uniformFor = [&](const std::string& name) {
        if (!isSystemName(name)) return name;
        std::string renamed = uniqueName(name, uniforms);
        return renamed;
    };
    for (Input& in : inputs_) {
        if (in.kind == Kind::Image) {
            if (in.layer > 0) addParam(ParamType::Layer, in.label, in.name);
            continue;
        }
        in.uniform = uniformFor(in.name);
        switch (in.kind) {
        case Kind::Float: {
            ParamSpec& p = addParam(ParamType::Float, in.label, in.uniform);
            double lo = number(in, "MIN").value_or(0.0);
            double hi = number(in, "MAX").value_or(std::max(1.0, lo + 1.0));
            if (hi < lo) std::swap(lo, hi);
            const double d = number(in, "DEFAULT").value_or(number(in, "MIN").value_or(0.0));
            p.min = float(std::min(lo, d));
            p.max = float(std::max(hi, d));
            p.defaultValue.fill(float(d));
            break;
        }
        case Kind::Bool:
        case Kind::Event: {
            ParamSpec& p = addParam(ParamType::Check, in.label, in.uniform);
            const bool on =
                in.kind == Kind::Bool && asBool(member(*in.json, "DEFAULT")).value_or(false);
            p.defaultValue.fill(on ? 1.0f : 0.0f);
            if (in.kind == Kind::Event)
                out_.warnings.push_back(
                    path_ + ": event \"" + in.name +
                    "\" becomes a checkbox: it is true for as long as the box is on, not for "
                    "one frame");
            break;
        }
        case Kind::Long:
            buildLong(in);
            break;
        case Kind::Color: {
            ParamSpec& p = addParam(ParamType::Color, in.label, in.uniform);
            std::vector<double> d = numbers(in, "DEFAULT");
            d.resize(4, 1.0);
            for (int k = 0; k < 3; ++k)
                p.defaultValue[size_t(k)] = float(std::clamp(d[size_t(k)], 0.0, 1.0));
            in.alpha = float(std::clamp(d[3], 0.0, 1.0));
            if (in.alpha != 1.0f) {
                in.alphaUniform = uniqueName(in.uniform + "_alpha", uniforms);
                ParamSpec& a = addParam(ParamType::Float, printableName(in.label + " opacity", 31),
                                        in.alphaUniform);
                a.min = 0.0f;
                a.max = 1.0f;
                a.defaultValue.fill(in.alpha);
            }
            break;
        }
        case Kind::Point:
            buildPoint(in);
            break;
        case Kind::Image:
            break;
        }
    }
    for (const Input& in : imported_)
        addParam(ParamType::Layer, in.label, in.name);
    out_.description.settings.paramCount = paramCount_ + 1;
}

void IsfImporter::buildLong(Input& in) {
    std::vector<long long> values;
    std::vector<std::string> labels;
    if (const Json* v = member(*in.json, "VALUES"); v != nullptr && v->is_array())
        for (const Json& e : *v)
            if (auto n = asNumber(&e)) values.push_back(std::llround(*n));
    if (const Json* l = member(*in.json, "LABELS"); l != nullptr && l->is_array())
        for (const Json& e : *l)
            labels.push_back(asString(&e).value_or(""));
    if (values.empty() && !labels.empty())
        for (size_t k = 0; k < labels.size(); ++k)
            values.push_back(static_cast<long long>(k));
    if (values.empty()) {
        const auto lo = number(in, "MIN");
        const auto hi = number(in, "MAX");
        if (!lo || !hi || *hi < *lo || *hi - *lo > 255)
            fail("long input \"" + in.name +
                 "\" has neither VALUES nor a MIN and MAX at most 255 apart");
        for (long long v = std::llround(*lo); v <= std::llround(*hi); ++v)
            values.push_back(v);
    }
    labels.resize(values.size());
    std::string text;
    for (size_t k = 0; k < values.size(); ++k) {
        std::string label = labels[k].empty() ? std::to_string(values[k]) : labels[k];
        std::replace(label.begin(), label.end(), '|', '/');
        text += (k ? "|" : "") + printableName(label, 255);
    }
    ParamSpec& p = addParam(ParamType::Popup, in.label, in.uniform);
    p.text = text;
    p.items.clear();
    size_t start = 0;
    for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
        p.items.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    p.items.push_back(text.substr(start));
    p.min = 0.0f;
    p.max = float(values.size() - 1);
    const long long d = std::llround(number(in, "DEFAULT").value_or(double(values[0])));
    const auto found = std::find(values.begin(), values.end(), d);
    p.defaultValue.fill(found == values.end() ? 0.0f : float(found - values.begin()));
    bool identity = true;
    for (size_t k = 0; k < values.size(); ++k)
        identity = identity && values[k] == static_cast<long long>(k);
    if (!identity) in.values = values;
}

void IsfImporter::buildPoint(Input& in) {
    const std::vector<double> d = numbers(in, "DEFAULT");
    const std::vector<double> hi = numbers(in, "MAX");
    const auto within = [](const std::vector<double>& v) {
        return v.size() >= 2 && v[0] >= 0.0 && v[0] <= 1.0 && v[1] >= 0.0 && v[1] <= 1.0;
    };
    if (hi.size() >= 2)
        in.normalised = hi[0] <= 1.0 && hi[1] <= 1.0;
    else
        in.normalised = within(d) && (d[0] != 0.0 || d[1] != 0.0);
    ParamSpec& p = addParam(ParamType::Point, in.label, in.uniform);
    // The host's point default is a fraction of the layer from its top-left corner.
    double x = 0.5;
    double y = 0.5;
    if (d.size() >= 2) {
        if (in.normalised) {
            x = d[0];
            y = 1.0 - d[1];
        } else {
            x = d[0] / kReferenceWidth;
            y = 1.0 - d[1] / kReferenceHeight;
            if (d[0] != 0.0 || d[1] != 0.0)
                out_.warnings.push_back(path_ + ": point \"" + in.name +
                                        "\" has its DEFAULT in pixels; it starts where that "
                                        "pixel lies on a 1920x1080 layer");
        }
    }
    p.defaultValue = {float(x), float(y), float(y)};
    p.min = 0.0f;
    p.max = 1.0f;
}

} // namespace isf

ImportedEffect importIsf(const std::string& path, const std::string& bytes) {
    return isf::IsfImporter(path, bytes).run();
}

} // namespace glfx::import
