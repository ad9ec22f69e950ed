// ISF, the code: the fragment shader after the header and the ".vs" beside it, their undeclared
// names (TIME, RENDERSIZE, IMG_PIXEL, the inputs ...) rewritten to mean what ISF says with y
// counted upwards as ISF counts it, and the passes' sizes and routing.
#include "import/IsfImporter.h"

#include "effect/SizeExpression.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace glfx::import::isf {
namespace {

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

} // namespace

void IsfImporter::readCode() {
    fs_ = code_;
    fsDirectives_ = takeLeadingDirectives(fs_);
    std::string vsPath = path_;
    const size_t dot = vsPath.rfind('.');
    const size_t slash = vsPath.find_last_of("/\\");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) vsPath.resize(dot);
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

void IsfImporter::assignSlots() {
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
            if (in.kind == Kind::Image && used(in.name)) slots_.push_back({in.name, in.layer, -1});
    for (size_t p = 0; p < passes_.size(); ++p)
        if (!passes_[p].target.empty() && used(passes_[p].target))
            slots_.push_back({passes_[p].target, -1, int(p)});
    if (int(slots_.size()) > kMaxSlots)
        fail(std::to_string(slots_.size()) +
             " images and buffers are read; a pass reads at "
             "most " +
             std::to_string(kMaxSlots));
}

std::string IsfImporter::inputExpression(const Input& in, std::string& definitions) const {
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
        const std::string alpha = in.alphaUniform.empty() ? glslFloat(in.alpha) : in.alphaUniform;
        definitions += "vec4 " + fn + "() { return vec4(" + in.uniform + ", " + alpha + "); }\n";
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

std::string IsfImporter::uniformDeclaration(const Input& in) const {
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

int IsfImporter::slotOf(const std::string& name) const {
    for (size_t k = 0; k < slots_.size(); ++k)
        if (slots_[k].name == name) return int(k);
    return -1;
}

void IsfImporter::buildStage(const std::string& code, const LeadingDirectives& directives,
                             int firstLine, bool fragment, ShaderAssembly& out) {
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
    const std::string lookups = flipLookups(text, modern, fragment, needSample || unresolved > 0);

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
        g += "vec4 glfx_samplePixel(sampler2D s, vec2 size, vec2 p) { return glfx_sample(s, p / "
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

void IsfImporter::buildShaders() {
    ShaderAssembly fs;
    buildStage(fs_, fsDirectives_, codeLine_, true, fs);
    fsText_ = fs.text();
    fsLines_ = fs.lines();
    ShaderAssembly vs;
    if (hasVertex_) {
        buildStage(vs_, vsDirectives_, 1, false, vs);
        out_.vertexFile = vsPath_;
    } else {
        vs.generated("#version 120\nvarying vec2 isf_FragNormCoord;\n" + std::string(kVertexInit) +
                     "\nvoid main() { isf_vertShaderInit(); }\n");
    }
    out_.description.vertexShader = vs.text();
    out_.vertexLines = vs.lines();
}

// ---- passes --------------------------------------------------------------------------------

std::string IsfImporter::sizeExpression(const std::string& text, size_t pass, const char* key) {
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
            fail("pass " + std::to_string(pass) + ": " + key + " \"" + text + "\" uses $" + name +
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

void IsfImporter::buildPasses() {
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
        out_.warnings.push_back(path_ + ": the effect name is cut to 31 bytes: \"" + s.name + "\"");
    const std::string description = asString(member(header_, "DESCRIPTION")).value_or("");
    const std::string credit = asString(member(header_, "CREDIT")).value_or("");
    s.description = description;
    if (!credit.empty()) s.description += (description.empty() ? "" : " ") + ("Credit: " + credit);
    s.version = printableName(asString(member(header_, "VSN")).value_or(""), 31);
    if (const Json* categories = member(header_, "CATEGORIES");
        categories != nullptr && categories->is_array() && !categories->empty())
        s.category = printableName(asString(&(*categories)[0]).value_or(""), 31);
    if (s.category.empty()) s.category = "ISF";
}

} // namespace glfx::import::isf
