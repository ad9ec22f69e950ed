// Shadertoy-style shaders: each pass's mainImage is called from a main of our own with the
// playground's uniforms (iResolution, iTime, iChannel0 ...) set from the renderer's built-ins, and
// its y counted upwards as the playground counts it.
#include "import/Import.h"
#include "import/JsonRead.h"
#include "import/ShaderKit.h"

#include <algorithm>
#include <map>

namespace glfx::import {
namespace {

enum class ChannelKind { None, Layer, Buffer, Zero };

struct Channel {
    ChannelKind kind = ChannelKind::None;
    int layer = -1;
    int buffer = -1; // index into the passes, in their playground order
    std::string wrap;
    std::string filter;
};

struct ToyPass {
    std::string name; // "Image", "Buffer A" ...
    bool image = false;
    std::string code;
    int firstLine = 0; // 0: the code has no file lines of its own (a JSON string)
    std::string outputId;
    std::array<Channel, 4> channels;
    const Json* json = nullptr;
};

std::string idText(const Json* id) {
    if (id == nullptr) return {};
    if (id->is_string()) return id->get<std::string>();
    if (id->is_number_integer()) return std::to_string(id->get<long long>());
    return {};
}

class ToyImporter {
public:
    ToyImporter(const std::string& path) : path_(path) {}

    ImportedEffect fromGlsl(const std::string& bytes) {
        ToyPass pass;
        pass.name = "Image";
        pass.image = true;
        pass.code = bytes;
        pass.firstLine = 1;
        passes_.push_back(std::move(pass));
        const GlslText text(passes_[0].code);
        for (int k = 0; k < 4; ++k) {
            if (!text.uses("iChannel" + std::to_string(k))) continue;
            Channel& c = passes_[0].channels[size_t(k)];
            c.kind = ChannelKind::Layer;
            c.layer = k == 0 ? 0 : addLayer("iChannel" + std::to_string(k));
        }
        name_ = baseName(path_);
        return build();
    }

    ImportedEffect fromJson(const std::string& bytes) {
        Json root = parseJson(bytes, path_, bytes, 0);
        const Json* shader = &root;
        if (root.is_array()) {
            if (root.size() != 1)
                fail("the export holds " + std::to_string(root.size()) +
                     " shaders; export one at a time");
            shader = &root[0];
        }
        if (const Json* inner = member(*shader, "Shader")) shader = inner;
        const Json* renderpass = member(*shader, "renderpass");
        if (renderpass == nullptr || !renderpass->is_array())
            fail("no \"renderpass\" list: this is not a Shadertoy JSON export");
        const Json* info = member(*shader, "info");
        name_ = info ? asString(member(*info, "name")).value_or("") : "";
        if (name_.empty()) name_ = baseName(path_);
        if (info) {
            description_ = asString(member(*info, "description")).value_or("");
            const std::string user = asString(member(*info, "username")).value_or("");
            if (!user.empty())
                description_ += (description_.empty() ? "" : " ") + ("Credit: " + user);
        }

        std::string common;
        std::vector<ToyPass> buffers;
        ToyPass image;
        bool hasImage = false;
        for (const Json& rp : *renderpass) {
            const std::string type = asString(member(rp, "type")).value_or("");
            const std::string name = asString(member(rp, "name")).value_or(type);
            const std::string code = asString(member(rp, "code")).value_or("");
            if (type == "common") {
                common += code + "\n";
            } else if (type == "sound") {
                out_.warnings.push_back(path_ + ": the sound pass \"" + name +
                                        "\" is left out: glfx makes pictures only");
            } else if (type == "cubemap") {
                fail("pass \"" + name + "\" renders a cube map, which glfx cannot represent");
            } else if (type == "image" || type == "buffer") {
                ToyPass pass;
                pass.name = name;
                pass.image = type == "image";
                pass.code = code;
                pass.json = &rp;
                if (const Json* outputs = member(rp, "outputs");
                    outputs && outputs->is_array() && !outputs->empty())
                    pass.outputId = idText(member((*outputs)[0], "id"));
                if (pass.image) {
                    if (hasImage) fail("the export has two image passes");
                    image = std::move(pass);
                    hasImage = true;
                } else {
                    buffers.push_back(std::move(pass));
                }
            } else {
                fail("pass \"" + name + "\" has the unknown type \"" + type +
                     "\" (known: image, buffer, common, sound, cubemap)");
            }
        }
        if (!hasImage) fail("the export has no image pass, which makes the picture");
        // The playground draws Buffer A, B, C, D, then the image, every frame.
        std::stable_sort(buffers.begin(), buffers.end(),
                         [](const ToyPass& a, const ToyPass& b) { return a.name < b.name; });
        passes_ = std::move(buffers);
        passes_.push_back(std::move(image));
        for (ToyPass& pass : passes_)
            pass.code = common + pass.code;
        for (size_t p = 0; p < passes_.size(); ++p)
            readChannels(p);
        dropUnread();
        return build();
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw ImportError(path_ + ": " + what);
    }

    int addLayer(const std::string& label) {
        layerLabels_.push_back(printableName(label, 31));
        return int(layerLabels_.size());
    }

    int bufferFor(const Json& input) const {
        const std::string id = idText(member(input, "id"));
        for (size_t b = 0; b < passes_.size(); ++b)
            if (!passes_[b].image && !id.empty() && passes_[b].outputId == id) return int(b);
        std::string src = asString(member(input, "src")).value_or("");
        if (src.empty()) src = asString(member(input, "filepath")).value_or("");
        const size_t at = src.find("buffer0");
        if (at != std::string::npos && at + 7 < src.size()) {
            const std::string wanted = std::string("Buffer ") + char('A' + (src[at + 7] - '0'));
            for (size_t b = 0; b < passes_.size(); ++b)
                if (passes_[b].name == wanted) return int(b);
        }
        return -1;
    }

    void readChannels(size_t p) {
        ToyPass& pass = passes_[p];
        const GlslText text(pass.code);
        readInputs(pass, text);
        // The playground declares all four; one with nothing connected reads black.
        for (int k = 0; k < 4; ++k)
            if (pass.channels[size_t(k)].kind == ChannelKind::None &&
                text.uses("iChannel" + std::to_string(k))) {
                pass.channels[size_t(k)].kind = ChannelKind::Zero;
                out_.warnings.push_back(path_ + ": " + pass.name + " iChannel" + std::to_string(k) +
                                        " has nothing connected; it reads transparent black");
            }
    }

    void readInputs(ToyPass& pass, const GlslText& text) {
        const Json* inputs = member(*pass.json, "inputs");
        if (inputs == nullptr || !inputs->is_array()) return;
        for (const Json& input : *inputs) {
            const int k = int(asNumber(member(input, "channel")).value_or(-1));
            if (k < 0 || k > 3) continue;
            const std::string channel = pass.name + " iChannel" + std::to_string(k);
            if (!text.uses("iChannel" + std::to_string(k))) continue;
            std::string type = asString(member(input, "ctype")).value_or("");
            if (type.empty()) type = asString(member(input, "type")).value_or("");
            Channel& c = pass.channels[size_t(k)];
            if (const Json* sampler = member(input, "sampler")) {
                c.wrap = asString(member(*sampler, "wrap")).value_or("");
                c.filter = asString(member(*sampler, "filter")).value_or("");
            }
            if (type == "buffer") {
                c.kind = ChannelKind::Buffer;
                c.buffer = bufferFor(input);
                if (c.buffer < 0) fail(channel + " reads a buffer that the export does not hold");
            } else if (type == "texture" || type == "video" || type == "webcam") {
                c.kind = ChannelKind::Layer;
                std::string src = asString(member(input, "src")).value_or("");
                if (src.empty()) src = asString(member(input, "filepath")).value_or(channel);
                if (pass.image && k == 0 && !inputTaken_) {
                    c.layer = 0;
                    inputTaken_ = true;
                    textureLayers_[src] = 0;
                } else if (textureLayers_.count(src)) {
                    c.layer = textureLayers_[src];
                } else {
                    c.layer = addLayer(channel);
                    textureLayers_[src] = c.layer;
                    out_.warnings.push_back(path_ + ": " + channel + " shows a " + type + " (" +
                                            src + "), which becomes the layer parameter \"" +
                                            layerLabels_.back() + "\": give it a picture");
                }
            } else if (type == "keyboard") {
                c.kind = ChannelKind::Zero;
                out_.warnings.push_back(path_ + ": " + channel +
                                        " reads the keyboard; it reads as no key pressed");
            } else if (type == "music" || type == "musicstream" || type == "mic") {
                fail(channel + " reads audio (" + type + "), which glfx cannot give a shader");
            } else if (type == "cubemap" || type == "volume") {
                fail(channel + " reads a " + type +
                     ", which glfx cannot represent (only 2D pictures)");
            } else {
                fail(channel + " has the unknown input type \"" + type + "\"");
            }
        }
    }

    // Buffers the image never reads, directly or through another buffer, change nothing.
    void dropUnread() {
        std::vector<bool> keep(passes_.size(), false);
        std::vector<size_t> todo = {passes_.size() - 1};
        keep.back() = true;
        while (!todo.empty()) {
            const size_t p = todo.back();
            todo.pop_back();
            for (const Channel& c : passes_[p].channels)
                if (c.kind == ChannelKind::Buffer && !keep[size_t(c.buffer)]) {
                    keep[size_t(c.buffer)] = true;
                    todo.push_back(size_t(c.buffer));
                }
        }
        std::vector<int> newIndex(passes_.size(), -1);
        std::vector<ToyPass> kept;
        for (size_t p = 0; p < passes_.size(); ++p) {
            if (!keep[p]) {
                out_.warnings.push_back(path_ + ": " + passes_[p].name +
                                        " is not read by the image and is left out");
                continue;
            }
            newIndex[p] = int(kept.size());
            kept.push_back(std::move(passes_[p]));
        }
        for (ToyPass& pass : kept)
            for (Channel& c : pass.channels)
                if (c.kind == ChannelKind::Buffer) c.buffer = newIndex[size_t(c.buffer)];
        passes_ = std::move(kept);
    }

    ImportedEffect build() {
        EffectDescription& d = out_.description;
        EffectSettings& s = d.settings;
        bool zero = false;
        for (const ToyPass& pass : passes_)
            for (const Channel& c : pass.channels)
                zero = zero || c.kind == ChannelKind::Zero;
        const int first = zero ? 1 : 0;
        const int count = first + int(passes_.size());
        if (count > kMaxPasses)
            fail(std::to_string(count) + " passes; an effect holds at most " +
                 std::to_string(kMaxPasses));
        d.pixelShaders.assign(kMaxPasses, std::string());
        for (auto& pass : s.routing)
            for (auto& slot : pass)
                slot = kEmptySlot;
        s.passCount = count;
        if (zero) {
            // The keyboard texture with no key down: 256 x 3 of zeros.
            d.pixelShaders[0] = "void main() { gl_FragColor = vec4(0.0); }\n";
            s.passOptions[0].width = "256";
            s.passOptions[0].height = "3";
        }

        std::set<std::string> taken;
        for (const ToyPass& pass : passes_) {
            const GlslText text(pass.code);
            taken.insert(text.names().begin(), text.names().end());
            for (const std::string& name : text.names())
                if (name.rfind(kReservedPrefix, 0) == 0)
                    fail(pass.name + ": the code uses the name " + name +
                         ", which glfx keeps for its own; rename it");
            if (!text.defines("mainImage"))
                fail(pass.name + ": no mainImage function (void mainImage(out vec4 fragColor, "
                                 "in vec2 fragCoord))");
            if (text.defines("main"))
                fail(pass.name + ": the code defines main() besides mainImage; glfx writes main "
                                 "itself");
            if (text.uses("iMouse")) mouse_ = true;
        }
        int paramCount = 0;
        const auto addParam = [&](ParamType type, const std::string& name,
                                  const std::string& uniform) -> ParamSpec& {
            ParamSpec& p = d.params[size_t(++paramCount)];
            p = ParamSpec{};
            p.type = type;
            p.name = name;
            p.uniform = uniform;
            p.components = type == ParamType::Point ? 2 : type == ParamType::Layer ? 0 : 1;
            return p;
        };
        for (const std::string& label : layerLabels_)
            addParam(ParamType::Layer, label, uniqueName("layer", taken));
        if (mouse_) {
            mouseUniform_ = uniqueName("mouse", taken);
            ParamSpec& m = addParam(ParamType::Point, "Mouse", mouseUniform_);
            // The playground's pointer starts at (0, 0), its bottom-left corner.
            m.defaultValue = {0.0f, 1.0f, 1.0f};
        }
        s.paramCount = paramCount + 1;
        s.layerCount = 1 + int(layerLabels_.size());
        taken_ = taken;

        bool readsInput = false;
        bool repeat = false;
        bool clamp = false;
        for (const ToyPass& pass : passes_)
            for (const Channel& c : pass.channels)
                // Zeros read the same either way.
                if (c.kind != ChannelKind::None && c.kind != ChannelKind::Zero)
                    (c.wrap == "repeat" ? repeat : clamp) = true;
        // One edge mode serves every texture; where the channels differ, the repeating ones
        // wrap their coordinates themselves.
        wrapByCall_ = repeat && clamp;
        s.edgeRepeat = repeat && !clamp ? 1 : 0;
        for (size_t p = 0; p < passes_.size(); ++p) {
            const int index = first + int(p);
            std::vector<int32_t> slots;
            std::array<int, 4> slotOf{-1, -1, -1, -1};
            for (int k = 0; k < 4; ++k) {
                const Channel& c = passes_[p].channels[size_t(k)];
                int32_t source;
                switch (c.kind) {
                case ChannelKind::None:
                    continue;
                case ChannelKind::Layer:
                    source = layerSource(c.layer);
                    readsInput |= c.layer == 0;
                    break;
                case ChannelKind::Zero:
                    source = 0;
                    break;
                case ChannelKind::Buffer: {
                    const int from = first + c.buffer;
                    // A buffer not drawn yet in this frame shows the last frame's.
                    source = from < index ? from : previousSource(from);
                    break;
                }
                }
                slotOf[size_t(k)] = int(slots.size());
                slots.push_back(source);
            }
            for (size_t k = 0; k < slots.size(); ++k)
                s.routing[index][k] = slots[k];
            ShaderAssembly text;
            buildPass(passes_[p], slotOf, int(slots.size()), text);
            d.pixelShaders[size_t(index)] = text.text();
            out_.passLines[size_t(index)] = text.lines();
            if (!passes_[p].image) s.passOptions[size_t(index)].floatStorage = true;
        }
        s.noinput = readsInput ? 0 : 1;
        s.name = effectNameOf(name_);
        if (s.name.empty()) s.name = "Imported shader";
        s.description = description_;
        s.category = "Shadertoy";
        return std::move(out_);
    }

    // A channel's own wrap and filter where one texture() call reads it by name; true when the
    // code now calls the helpers that do it.
    bool rewriteSampling(const ToyPass& pass, const std::array<int, 4>& slotOf, GlslText& text) {
        bool rewritten = false;
        for (int k = 0; k < 4; ++k) {
            const Channel& c = pass.channels[size_t(k)];
            const bool wrap = wrapByCall_ && c.wrap == "repeat";
            const bool nearest = c.filter == "nearest";
            if (slotOf[size_t(k)] < 0 || (!wrap && !nearest)) continue;
            const std::string channel = "iChannel" + std::to_string(k);
            const std::string helper = std::string("glfx_sample") + (wrap ? "Repeat" : "") +
                                       (nearest ? "Nearest" : "") + "(in" +
                                       std::to_string(slotOf[size_t(k)]);
            const size_t uses = text.occurrences(channel);
            size_t direct = 0;
            for (const char* head : {"texture", "texture2D"})
                text.rewriteCalls(head, false, [&](const std::string& name) {
                    if (name != channel) return std::string();
                    ++direct;
                    return helper;
                });
            rewritten = rewritten || direct > 0;
            if (direct < uses)
                out_.warnings.push_back(
                    path_ + ": " + pass.name + " " + channel + " is " + (wrap ? "repeated" : "") +
                    (wrap && nearest ? " and " : "") + (nearest ? "read nearest" : "") +
                    " only where texture() reads it by name; elsewhere it is "
                    "read with linear filtering, clamped");
        }
        return rewritten;
    }

    void buildPass(const ToyPass& pass, const std::array<int, 4>& slotOf, int slots,
                   ShaderAssembly& out) {
        std::string code = pass.code;
        const LeadingDirectives directives = takeLeadingDirectives(code);
        GlslText text(code);
        const bool samplingHelpers = rewriteSampling(pass, slotOf, text);
        std::map<std::string, std::string> names;
        for (int k = 0; k < 4; ++k)
            if (slotOf[size_t(k)] >= 0)
                names["iChannel" + std::to_string(k)] = "in" + std::to_string(slotOf[size_t(k)]);
        for (const std::string& name : text.names())
            if (isSystemName(name) && name.rfind("gl_", 0) != 0 && !names.count(name))
                names[name] = uniqueName(name, taken_);
        const bool fragCoord = text.uses("gl_FragCoord");
        if (fragCoord) names["gl_FragCoord"] = "glfx_fragCoord()";
        const std::set<std::string> used = text.names();
        text.rename(names);
        const int version = std::max({330, directives.version, neededVersion(text, 330)});
        std::string lookups = flipLookups(text, true, true, samplingHelpers);
        if (samplingHelpers)
            lookups +=
                "vec4 glfx_sampleRepeat(sampler2D s, vec2 p) { return glfx_sample(s, fract(p)); }\n"
                "vec4 glfx_sampleRepeat(sampler2D s, vec2 p, float b) { return glfx_sample(s, "
                "fract(p), b); }\n"
                "vec4 glfx_sampleNearest(sampler2D s, vec2 p) { vec2 n = vec2(textureSize(s, 0)); "
                "return glfx_sample(s, (floor(p * n) + 0.5) / n); }\n"
                "vec4 glfx_sampleNearest(sampler2D s, vec2 p, float b) { return "
                "glfx_sampleNearest(s, p); }\n"
                "vec4 glfx_sampleRepeatNearest(sampler2D s, vec2 p) { return "
                "glfx_sampleNearest(s, fract(p)); }\n"
                "vec4 glfx_sampleRepeatNearest(sampler2D s, vec2 p, float b) { return "
                "glfx_sampleNearest(s, fract(p)); }\n";
        const auto uses = [&](const char* name) { return used.count(name) != 0; };

        out.generated(versionLine(version, false));
        for (const std::string& e : directives.extensions)
            out.generated(e);
        std::string g = "uniform vec2 glfx_RenderSize;\nout vec4 glfx_FragColor;\n";
        std::string setup = "    iResolution = vec3(glfx_RenderSize, 1.0);\n";
        g += "vec3 iResolution;\n";
        if (uses("iTime") || uses("iChannelTime")) g += "uniform float glfx_Time;\n";
        if (uses("iTime")) {
            g += "float iTime;\n";
            setup += "    iTime = glfx_Time;\n";
        }
        if (uses("iTimeDelta")) {
            g += "uniform float glfx_TimeDelta;\nfloat iTimeDelta;\n";
            setup += "    iTimeDelta = glfx_TimeDelta;\n";
        }
        if (uses("iFrame")) {
            g += "uniform int glfx_Frame;\nint iFrame;\n";
            setup += "    iFrame = glfx_Frame;\n";
        }
        if (uses("iFrameRate")) {
            g += "uniform float glfx_FrameRate;\nfloat iFrameRate;\n";
            setup += "    iFrameRate = glfx_FrameRate;\n";
        }
        if (uses("iDate")) {
            // The playground counts months from 0.
            g += "uniform vec4 glfx_Date;\nvec4 iDate;\n";
            setup += "    iDate = glfx_Date - vec4(0.0, 1.0, 0.0, 0.0);\n";
        }
        if (uses("iChannelTime")) {
            g += "float iChannelTime[4];\n";
            for (int k = 0; k < 4; ++k)
                setup += "    iChannelTime[" + std::to_string(k) + "] = glfx_Time;\n";
        }
        if (uses("iSampleRate")) {
            g += "float iSampleRate;\n";
            setup += "    iSampleRate = 44100.0;\n";
        }
        if (uses("iChannelResolution")) {
            g += "uniform vec2 glfx_InSize[" + std::to_string(std::max(slots, 1)) + "];\n";
            g += "vec3 iChannelResolution[4];\n";
            for (int k = 0; k < 4; ++k) {
                const int slot = slotOf[size_t(k)];
                setup += "    iChannelResolution[" + std::to_string(k) + "] = " +
                         (slot < 0 ? std::string("vec3(0.0)")
                                   : "vec3(glfx_InSize[" + std::to_string(slot) + "], 1.0)") +
                         ";\n";
            }
        }
        if (uses("iMouse")) {
            // The point as the host gives it, in full-resolution layer pixels from the top-left;
            // the button counts as held where the point is.
            g += "uniform vec2 " + mouseUniform_ + ";\nuniform vec2 downsample;\nvec4 iMouse;\n";
            setup += "    vec2 glfx_mouse = vec2(" + mouseUniform_ +
                     ".x * downsample.x, glfx_RenderSize.y - " + mouseUniform_ +
                     ".y * downsample.y);\n    iMouse = vec4(glfx_mouse, glfx_mouse);\n";
        }
        for (int k = 0; k < slots; ++k)
            g += "uniform sampler2D in" + std::to_string(k) + ";\n";
        if (fragCoord)
            g += "vec4 glfx_fragCoord() { return vec4(gl_FragCoord.x, glfx_RenderSize.y - "
                 "gl_FragCoord.y, gl_FragCoord.zw); }\n";
        g += lookups;
        if (uses("HW_PERFORMANCE") && code.find("define HW_PERFORMANCE") == std::string::npos)
            g += "#define HW_PERFORMANCE 1\n";
        out.generated(g);
        out.body(text.str(), pass.firstLine);
        out.generated("void main() {\n" + setup +
                      "    vec4 glfx_color = vec4(0.0);\n"
                      "    mainImage(glfx_color, vec2(gl_FragCoord.x, glfx_RenderSize.y - "
                      "gl_FragCoord.y));\n" +
                      (pass.image ? "    glfx_FragColor = vec4(glfx_color.rgb, 1.0);\n"
                                  : "    glfx_FragColor = glfx_color;\n") +
                      "}\n");
    }

    std::string path_;
    std::string name_;
    std::string description_;
    std::vector<ToyPass> passes_;
    std::vector<std::string> layerLabels_;
    std::map<std::string, int> textureLayers_;
    bool inputTaken_ = false;
    bool mouse_ = false;
    bool wrapByCall_ = false;
    std::string mouseUniform_;
    std::set<std::string> taken_;
    ImportedEffect out_;
};

} // namespace

ImportedEffect importShadertoy(const std::string& path, const std::string& bytes) {
    return ToyImporter(path).fromGlsl(bytes);
}

ImportedEffect importShadertoyJson(const std::string& path, const std::string& bytes) {
    return ToyImporter(path).fromJson(bytes);
}

} // namespace glfx::import
