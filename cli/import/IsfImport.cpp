// ISF: the JSON header becomes the parameters and passes, the GLSL is rewritten so that its
// undeclared names (TIME, RENDERSIZE, IMG_PIXEL, the inputs ...) mean what ISF says, with y
// counted upwards as ISF counts it.
#include "import/Import.h"
#include "import/JsonRead.h"
#include "import/ShaderKit.h"

#include "effect/SizeExpression.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace glfx::import {
namespace {

enum class Kind { Float, Bool, Event, Long, Color, Point, Image };

struct Input {
    std::string name;
    Kind kind = Kind::Float;
    std::string label;
    const Json* json = nullptr;
    std::string uniform;           // the parameter's uniform
    std::string alphaUniform;      // a colour's opacity slider, when it has one
    float alpha = 1.0f;            // a colour's fixed alpha otherwise
    std::vector<long long> values; // a long's VALUES, by choice
    bool normalised = false;       // a point in 0..1 of the render size
    int layer = -1;                // an image: its layer
};

struct Pass {
    std::string target;
    bool persistent = false;
    bool floatStorage = false;
    std::string width;
    std::string height;
};

// A texture a pass may read: a layer or the target of a pass.
struct Slot {
    std::string name;
    int layer = -1;
    int pass = -1;
};

const char kVertexInit[] =
    "void isf_vertShaderInit() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
    "isf_FragNormCoord = vec2(gl_MultiTexCoord0.x, 1.0 - gl_MultiTexCoord0.y); }";

std::string readIfExists(const std::string& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = bool(in);
    std::ostringstream s;
    if (found) s << in.rdbuf();
    return s.str();
}

bool isIdentifier(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

class IsfImporter {
public:
    IsfImporter(const std::string& path, const std::string& bytes) : path_(path), bytes_(bytes) {}

    ImportedEffect run() {
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

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw ImportError(path_ + ": " + what);
    }

    void readHeader() {
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

    const Json* list(const Json& object, const char* key) const {
        const Json* value = member(object, key);
        if (value != nullptr && !value->is_array() && !value->is_null())
            fail(std::string(key) + " must be a list [ ... ]");
        return value != nullptr && value->is_array() ? value : nullptr;
    }

    void readInputs() {
        const Json* inputs = list(header_, "INPUTS");
        if (inputs == nullptr) return;
        std::set<std::string> seen;
        for (size_t i = 0; i < inputs->size(); ++i) {
            const Json& j = (*inputs)[i];
            const std::string where = "input " + std::to_string(i + 1);
            const auto name = asString(member(j, "NAME"));
            if (!name) fail(where + " has no NAME");
            if (!isIdentifier(*name))
                fail(where + ": NAME \"" + *name + "\" is not a GLSL identifier");
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

    void readImported() {
        const Json* imported = member(header_, "IMPORTED");
        if (imported == nullptr) return;
        const auto add = [&](const std::string& name, const Json& entry) {
            if (!isIdentifier(name))
                fail("IMPORTED image \"" + name + "\" is not a GLSL identifier");
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

    void readPasses() {
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
                        pass.floatStorage = pass.floatStorage ||
                                            asBool(member(*v1->second, "FLOAT")).value_or(false);
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
                fail("two passes render into the TARGET \"" + p.target +
                     "\"; give each pass its own");
    }

    void readCode() {
        fs_ = code_;
        fsDirectives_ = takeLeadingDirectives(fs_);
        std::string vsPath = path_;
        const size_t dot = vsPath.rfind('.');
        const size_t slash = vsPath.find_last_of("/\\");
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            vsPath.resize(dot);
        vsPath += ".vs";
        vs_ = readIfExists(vsPath, hasVertex_);
        if (hasVertex_) {
            vsPath_ = vsPath;
            vsDirectives_ = takeLeadingDirectives(vs_);
        }
        GlslText fs(fs_);
        GlslText vs(vs_);
        for (const GlslText* text : {&fs, &vs})
            for (const std::string& name : text->names())
                if (name.rfind(kReservedPrefix, 0) == 0)
                    fail("the code uses the name " + name +
                         ", which glfx keeps for its own; "
                         "rename it");
        if (!fs.defines("main")) fail("no main() function in the fragment shader");
        if (hasVertex_ && !vs.calls("isf_vertShaderInit"))
            throw ImportError(vsPath_ + ": the vertex shader never calls isf_vertShaderInit(), "
                                        "which places the picture; call it first in main()");
        taken_ = fs.names();
        taken_.insert(vs.names().begin(), vs.names().end());
        usedNames_ = taken_;
    }

    bool used(const std::string& name) const { return usedNames_.count(name) != 0; }

    void assignSlots() {
        // The effect's input is the first of inputImage and startImage; every other image is a
        // layer parameter, in the order of the inputs, then the IMPORTED ones.
        int nextLayer = 1;
        for (Input& in : inputs_) {
            if (in.kind != Kind::Image) continue;
            if (layerZero_.empty() && (in.name == "inputImage" || in.name == "startImage")) {
                in.layer = 0;
                layerZero_ = in.name;
            } else {
                in.layer = nextLayer++;
            }
        }
        for (Input& in : imported_)
            in.layer = nextLayer++;
        if (nextLayer > kMaxLayers)
            fail(std::to_string(nextLayer) + " images; an effect reads at most " +
                 std::to_string(kMaxLayers) + " layers");
        for (const std::vector<Input>* group : {&inputs_, &imported_})
            for (const Input& in : *group)
                if (in.kind == Kind::Image && used(in.name))
                    slots_.push_back({in.name, in.layer, -1});
        for (size_t p = 0; p < passes_.size(); ++p)
            if (!passes_[p].target.empty() && used(passes_[p].target))
                slots_.push_back({passes_[p].target, -1, int(p)});
        if (int(slots_.size()) > kMaxSlots)
            fail(std::to_string(slots_.size()) +
                 " images and buffers are read; a pass reads at "
                 "most " +
                 std::to_string(kMaxSlots));
    }

    std::optional<double> number(const Input& in, const char* key) const {
        return asNumber(member(*in.json, key));
    }

    // The two numbers of a point2D or the four of a colour.
    std::vector<double> numbers(const Input& in, const char* key) const {
        std::vector<double> out;
        const Json* v = member(*in.json, key);
        if (v != nullptr && v->is_array())
            for (const Json& e : *v)
                if (auto n = asNumber(&e)) out.push_back(*n);
        return out;
    }

    ParamSpec& addParam(ParamType type, const std::string& name, const std::string& uniform) {
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

    void buildParams() {
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
                    ParamSpec& a =
                        addParam(ParamType::Float, printableName(in.label + " opacity", 31),
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

    void buildLong(Input& in) {
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

    void buildPoint(Input& in) {
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

    // ---- shaders ---------------------------------------------------------------------------

    // The text that replaces an input's name in the code, and the definitions it needs.
    std::string inputExpression(const Input& in, std::string& definitions) const {
        const std::string fn = std::string(kReservedPrefix) + "in_" + in.name;
        switch (in.kind) {
        case Kind::Long: {
            if (in.values.empty()) return in.uniform;
            std::string chain;
            for (size_t k = 0; k + 1 < in.values.size(); ++k)
                chain += in.uniform + " == " + std::to_string(k) + " ? " +
                         std::to_string(in.values[k]) + " : ";
            chain += std::to_string(in.values.back());
            definitions += "int " + fn + "() { return " + chain + "; }\n";
            return fn + "()";
        }
        case Kind::Color: {
            const std::string alpha =
                in.alphaUniform.empty() ? glslFloat(in.alpha) : in.alphaUniform;
            definitions +=
                "vec4 " + fn + "() { return vec4(" + in.uniform + ", " + alpha + "); }\n";
            return fn + "()";
        }
        case Kind::Point:
            // The host gives layer pixels from the top-left at full resolution.
            if (in.normalised)
                definitions += "vec2 " + fn + "() { return vec2(" + in.uniform +
                               ".x * downsample.x / resolution.x, 1.0 - " + in.uniform +
                               ".y * downsample.y / resolution.y); }\n";
            else
                definitions += "vec2 " + fn + "() { return vec2(" + in.uniform +
                               ".x * downsample.x, resolution.y - " + in.uniform +
                               ".y * downsample.y); }\n";
            return fn + "()";
        default:
            return in.uniform;
        }
    }

    std::string uniformDeclaration(const Input& in) const {
        switch (in.kind) {
        case Kind::Float:
            return "uniform float " + in.uniform + ";\n";
        case Kind::Bool:
        case Kind::Event:
            return "uniform bool " + in.uniform + ";\n";
        case Kind::Long:
            return "uniform int " + in.uniform + ";\n";
        case Kind::Color:
            return "uniform vec3 " + in.uniform + ";\n" +
                   (in.alphaUniform.empty() ? "" : "uniform float " + in.alphaUniform + ";\n");
        case Kind::Point:
            return "uniform vec2 " + in.uniform + ";\n";
        case Kind::Image:
            return {};
        }
        return {};
    }

    int slotOf(const std::string& name) const {
        for (size_t k = 0; k < slots_.size(); ++k)
            if (slots_[k].name == name) return int(k);
        return -1;
    }

    // One stage's text: `code` is the author's text, `firstLine` its first line in its file.
    void buildStage(const std::string& code, const LeadingDirectives& directives, int firstLine,
                    bool fragment, ShaderAssembly& out) {
        GlslText text(code);
        const std::string slotCount = std::to_string(std::max<size_t>(slots_.size(), 1));
        bool needSizes = false;
        bool needNorm = false;
        bool needSample = false;
        const auto slotText = [&](const std::string& name, const char* form) -> std::string {
            const int k = slotOf(name);
            if (k < 0) return {};
            const std::string ks = std::to_string(k);
            std::string t = form;
            for (size_t at = t.find('#'); at != std::string::npos; at = t.find('#'))
                t.replace(at, 1, ks);
            return t;
        };
        int unresolved = 0;
        unresolved += text.rewriteCalls("IMG_SIZE", true, [&](const std::string& n) {
            const std::string t = slotText(n, "glfx_InSize[#]");
            needSizes |= !t.empty();
            return t;
        });
        unresolved += text.rewriteCalls("IMG_PIXEL", false, [&](const std::string& n) {
            const std::string t = slotText(n, "glfx_samplePixel(in#, glfx_InSize[#]");
            needSizes |= !t.empty();
            needSample |= !t.empty();
            return t;
        });
        unresolved += text.rewriteCalls("IMG_NORM_PIXEL", false, [&](const std::string& n) {
            const std::string t = slotText(n, "glfx_sample(in#");
            needSample |= !t.empty();
            return t;
        });
        for (const char* head : {"IMG_THIS_PIXEL", "IMG_THIS_NORM_PIXEL", "IMG_NORM_THIS_PIXEL"})
            unresolved += text.rewriteCalls(head, true, [&](const std::string& n) {
                const std::string t = slotText(n, "glfx_sample(in#, isf_FragNormCoord)");
                needNorm |= !t.empty();
                needSample |= !t.empty();
                return t;
            });
        std::string definitions;
        std::map<std::string, std::string> names = {{"TIME", "glfx_Time"},
                                                    {"TIMEDELTA", "glfx_TimeDelta"},
                                                    {"FRAMEINDEX", "glfx_Frame"},
                                                    {"DATE", "glfx_Date"},
                                                    {"RENDERSIZE", "glfx_RenderSize"},
                                                    {"PASSINDEX", "glfx_PassIndex"},
                                                    {"vv_FragNormCoord", "isf_FragNormCoord"}};
        for (const Slot& s : slots_)
            names[s.name] = "in" + std::to_string(slotOf(s.name));
        for (const std::string& name : text.names())
            if (isSystemName(name) && name.rfind("gl_", 0) != 0 && !names.count(name))
                names[name] = uniqueName(name, taken_);
        std::string declarations;
        for (const Input& in : inputs_) {
            if (in.kind == Kind::Image || !text.uses(in.name)) continue;
            names[in.name] = inputExpression(in, definitions);
            declarations += uniformDeclaration(in);
        }
        if (fragment && text.uses("gl_FragCoord")) names["gl_FragCoord"] = "glfx_fragCoord()";
        const bool fragCoord = names.count("gl_FragCoord") != 0;
        text.rename(names);
        needNorm |= text.uses("isf_FragNormCoord") || unresolved > 0;

        int version = std::max({120, directives.version, neededVersion(text, 110)});
        if (unresolved > 0) version = std::max(version, 130);
        const bool modern = version >= 130;
        const std::string lookups =
            flipLookups(text, modern, fragment, needSample || unresolved > 0);

        std::string head = versionLine(version, true);
        if (!directives.profile.empty() && version == directives.version)
            head = "#version " + std::to_string(version) + " " + directives.profile;
        out.generated(head);
        for (const std::string& e : directives.extensions)
            out.generated(e);
        std::string g;
        if (text.uses("glfx_Time")) g += "uniform float glfx_Time;\n";
        if (text.uses("glfx_TimeDelta")) g += "uniform float glfx_TimeDelta;\n";
        if (text.uses("glfx_Frame")) g += "uniform int glfx_Frame;\n";
        if (text.uses("glfx_Date")) g += "uniform vec4 glfx_Date;\n";
        if (text.uses("glfx_RenderSize") || fragCoord) g += "uniform vec2 glfx_RenderSize;\n";
        if (text.uses("glfx_PassIndex")) g += "uniform int glfx_PassIndex;\n";
        if (needSizes) g += "uniform vec2 glfx_InSize[" + slotCount + "];\n";
        for (size_t k = 0; k < slots_.size(); ++k)
            if (fragment || text.uses("in" + std::to_string(k)) || unresolved > 0)
                g += "uniform sampler2D in" + std::to_string(k) + ";\n";
        if (definitions.find("resolution") != std::string::npos)
            g += "uniform vec2 resolution;\nuniform vec2 downsample;\n";
        if (needNorm || !fragment) g += "varying vec2 isf_FragNormCoord;\n";
        g += declarations;
        g += definitions;
        g += lookups;
        if (needSizes || unresolved > 0)
            g +=
                "vec4 glfx_samplePixel(sampler2D s, vec2 size, vec2 p) { return glfx_sample(s, p / "
                "size); }\n";
        if (unresolved > 0)
            g += "#define IMG_SIZE(i) vec2(textureSize(i, 0))\n"
                 "#define IMG_PIXEL(i, p) glfx_sample(i, (p) / vec2(textureSize(i, 0)))\n"
                 "#define IMG_NORM_PIXEL(i, p) glfx_sample(i, p)\n"
                 "#define IMG_THIS_PIXEL(i) glfx_sample(i, isf_FragNormCoord)\n"
                 "#define IMG_THIS_NORM_PIXEL(i) glfx_sample(i, isf_FragNormCoord)\n"
                 "#define IMG_NORM_THIS_PIXEL(i) glfx_sample(i, isf_FragNormCoord)\n";
        if (fragCoord)
            g += "vec4 glfx_fragCoord() { return vec4(gl_FragCoord.x, glfx_RenderSize.y - "
                 "gl_FragCoord.y, gl_FragCoord.zw); }\n";
        if (!fragment) g += std::string(kVertexInit) + "\n";
        out.generated(g);
        out.body(text.str(), firstLine);
    }

    void buildShaders() {
        ShaderAssembly fs;
        buildStage(fs_, fsDirectives_, codeLine_, true, fs);
        fsText_ = fs.text();
        fsLines_ = fs.lines();
        ShaderAssembly vs;
        if (hasVertex_) {
            buildStage(vs_, vsDirectives_, 1, false, vs);
            out_.vertexFile = vsPath_;
        } else {
            vs.generated("#version 120\nvarying vec2 isf_FragNormCoord;\n" +
                         std::string(kVertexInit) + "\nvoid main() { isf_vertShaderInit(); }\n");
        }
        out_.description.vertexShader = vs.text();
        out_.vertexLines = vs.lines();
    }

    // ---- passes ----------------------------------------------------------------------------

    std::string sizeExpression(const std::string& text, size_t pass, const char* key) {
        if (text.empty()) return {};
        std::string out;
        std::vector<std::string> valueNames;
        for (size_t i = 0; i < text.size();) {
            if (text[i] != '$') {
                out += text[i++];
                continue;
            }
            size_t j = i + 1;
            while (j < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
                ++j;
            const std::string name = text.substr(i + 1, j - i - 1);
            i = j;
            if (name == "WIDTH" || name == "HEIGHT") {
                out += "$" + name;
                continue;
            }
            const auto in = std::find_if(inputs_.begin(), inputs_.end(),
                                         [&](const Input& x) { return x.name == name; });
            if (in == inputs_.end() || in->kind == Kind::Image || in->kind == Kind::Color ||
                in->kind == Kind::Point)
                fail("pass " + std::to_string(pass) + ": " + key + " \"" + text + "\" uses $" +
                     name +
                     ", which is not a number input; use $WIDTH, $HEIGHT or a float, long "
                     "or bool input");
            valueNames.push_back(in->uniform);
            if (in->kind == Kind::Long && !in->values.empty()) {
                std::string chain = "(";
                for (size_t k = 0; k + 1 < in->values.size(); ++k)
                    chain += "$" + in->uniform + "==" + std::to_string(k) + "?" +
                             std::to_string(in->values[k]) + ":";
                out += chain + std::to_string(in->values.back()) + ")";
            } else {
                out += "$" + in->uniform;
            }
        }
        try {
            SizeExpression check(out, valueNames);
        } catch (const std::invalid_argument& e) {
            fail("pass " + std::to_string(pass) + ": " + key + " " + e.what());
        }
        return out;
    }

    void buildPasses() {
        EffectDescription& d = out_.description;
        EffectSettings& s = d.settings;
        const int count = int(passes_.size());
        const Pass& last = passes_.back();
        const bool copy = !last.width.empty() || !last.height.empty();
        s.passCount = count + (copy ? 1 : 0);
        d.pixelShaders.assign(kMaxPasses, std::string());
        for (int p = 0; p < kMaxPasses; ++p)
            for (int k = 0; k < kMaxSlots; ++k)
                s.routing[p][k] = kEmptySlot;
        bool readsInput = false;
        for (int p = 0; p < count; ++p) {
            const Pass& pass = passes_[size_t(p)];
            d.pixelShaders[size_t(p)] = fsText_;
            out_.passLines[size_t(p)] = fsLines_;
            PassOptions& o = s.passOptions[size_t(p)];
            o.width = sizeExpression(pass.width, size_t(p), "WIDTH");
            o.height = sizeExpression(pass.height, size_t(p), "HEIGHT");
            if ((o.width.empty() != o.height.empty()))
                (o.width.empty() ? o.width : o.height) = o.width.empty() ? "$WIDTH" : "$HEIGHT";
            o.persistent = pass.persistent;
            o.floatStorage = pass.floatStorage;
            for (size_t k = 0; k < slots_.size(); ++k) {
                const Slot& slot = slots_[k];
                int32_t source;
                if (slot.layer >= 0) {
                    source = layerSource(slot.layer);
                    readsInput |= slot.layer == 0;
                } else if (slot.pass < p) {
                    source = slot.pass;
                } else if (passes_[size_t(slot.pass)].persistent) {
                    source = previousSource(slot.pass);
                } else {
                    // Not drawn yet in this frame and not kept: ISF leaves what it holds open. The
                    // one text serves every pass, so the slot must be bound; the input layer
                    // stands in, rather than a texture that may be the one being drawn.
                    source = layerSource(0);
                }
                s.routing[p][k] = source;
            }
        }
        if (copy) {
            d.pixelShaders[size_t(count)] =
                "uniform sampler2D in0;\nuniform vec2 resolution;\n"
                "void main() { gl_FragColor = texture2D(in0, gl_FragCoord.xy / resolution); }\n";
            s.routing[count][0] = count - 1;
        }
        // A generator leaves the layer it is applied to alone: it is not even uploaded.
        s.noinput = readsInput ? 0 : 1;
        int layers = 1;
        for (int i = 1; i < s.paramCount; ++i)
            if (d.params[size_t(i)].type == ParamType::Layer) ++layers;
        s.layerCount = layers;
        s.name = effectNameOf(baseName(path_));
        if (s.name.empty()) s.name = "Imported effect";
        if (printableName(baseName(path_), 1000).size() > kMaxEffectNameBytes)
            out_.warnings.push_back(path_ + ": the effect name is cut to 31 bytes: \"" + s.name +
                                    "\"");
        const std::string description = asString(member(header_, "DESCRIPTION")).value_or("");
        const std::string credit = asString(member(header_, "CREDIT")).value_or("");
        s.description = description;
        if (!credit.empty())
            s.description += (description.empty() ? "" : " ") + ("Credit: " + credit);
        s.version = printableName(asString(member(header_, "VSN")).value_or(""), 31);
        if (const Json* categories = member(header_, "CATEGORIES");
            categories != nullptr && categories->is_array() && !categories->empty())
            s.category = printableName(asString(&(*categories)[0]).value_or(""), 31);
        if (s.category.empty()) s.category = "ISF";
    }

    static constexpr double kReferenceWidth = 1920.0;
    static constexpr double kReferenceHeight = 1080.0;

    std::string path_;
    const std::string& bytes_;
    Json header_;
    std::string code_;
    int codeLine_ = 1;
    bool version1_ = false;
    std::vector<Input> inputs_;
    std::vector<Input> imported_;
    std::vector<Pass> passes_;
    std::vector<Slot> slots_;
    std::string layerZero_;
    std::string fs_;
    std::string vs_;
    std::string vsPath_;
    bool hasVertex_ = false;
    LeadingDirectives fsDirectives_;
    LeadingDirectives vsDirectives_;
    std::set<std::string> taken_;
    std::set<std::string> usedNames_;
    int paramCount_ = 0;
    std::string fsText_;
    std::vector<int> fsLines_;
    ImportedEffect out_;
};

} // namespace

ImportedEffect importIsf(const std::string& path, const std::string& bytes) {
    return IsfImporter(path, bytes).run();
}

} // namespace glfx::import
