#include "effect/Parser.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace glfx {
namespace {

const char kDefaultVertexShader[] =
    "void main(void)\n{ \tgl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
    "gl_FrontColor = vec4(1.0); gl_TexCoord[0].st  = gl_MultiTexCoord0.xy; }";
// The historical default read undeclared names and divided a vec4 by a vec2, so no GLSL compiler
// accepted it; this one declares what it reads and passes the input through.
const char kDefaultPixelShader[] =
    "uniform sampler2D in0;\nuniform vec2 resolution;\n"
    "void main(void)\n{ gl_FragColor=texture2D(in0,gl_FragCoord.xy/resolution); }";

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// atoi as effect texts have always been read: reading stops at the first unfit byte (a NUL
// included), no number reads 0, and a value past the 32-bit range keeps its low bits instead of
// being undefined.
int32_t readInt(const std::string& s, size_t from = 0) {
    if (from >= s.size()) return 0;
    long long v = std::strtoll(s.c_str() + from, nullptr, 10);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(v)));
}

// atof stored as the nearest float; out-of-range doubles become infinities rather than undefined
// conversions.
float readFloat(const std::string& s, size_t from = 0) {
    if (from >= s.size()) return 0.0f;
    double v = std::strtod(s.c_str() + from, nullptr);
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
        return v > 0 ? std::numeric_limits<float>::infinity()
                     : -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

int32_t negate(int32_t v) {
    return static_cast<int32_t>(0u - static_cast<uint32_t>(v));
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

bool inRange(long long v, long long lo, long long hi) {
    return v >= lo && v <= hi;
}

class DescriptionParser {
public:
    DescriptionParser(EffectDescription& d) : d_(d), s_(d.settings) {}

    void run(const std::string& code) {
        reset();
        if (code.size() < 3) return;
        d_.pixelShaders.resize(kMaxPasses);

        size_t lineNumber = 0;
        for (size_t pos = 0; pos < code.size();) {
            size_t lf = code.find('\n', pos);
            size_t end = lf == std::string::npos ? code.size() : lf;
            ++lineNumber;
            std::string line = code.substr(pos, end - pos);
            pos = lf == std::string::npos ? code.size() : lf + 1;
            if (!line.empty()) parseLine(line, lineNumber);
        }

        for (int k = 0; k < s_.layerCount; ++k)
            if (s_.routing[0][k] == kEmptySlot) s_.routing[0][k] = layerSource(k);
        // A pass whose previous result is read keeps it, declared or not.
        for (const auto& pass : s_.routing)
            for (int32_t src : pass)
                if (isPreviousSource(src)) s_.passOptions[passOfPreviousSource(src)].persistent = true;
        if (d_.vertexShader.empty()) d_.vertexShader = kDefaultVertexShader;
        if (d_.pixelShaders[0].empty()) d_.pixelShaders[0] = kDefaultPixelShader;
    }

private:
    void reset() {
        ParamSpec& input = d_.params[0];
        input.name = "par0";
        input.uniform = "par0";
        input.components = 0;
        input.type = ParamType::Layer;
        s_.resetRouting();
        s_.fast = false;
        s_.paramCount = 0;
        s_.layerCount = 1;
        s_.passCount = 1;
        s_.cellsx = 1;
        s_.cellsy = 1;
        s_.noinput = 0;
        s_.edgeRepeat = 0;
        s_.passOptions.fill(PassOptions{});
        s_.checkpointEvery = 0;
        s_.checkpointBudgetMiB = -1;
    }

    void parseLine(std::string& line, size_t lineNumber) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();

        const bool pixelSection = startsWith(section_, "ps");
        if (!line.empty() && (line[0] == ';' || line[0] == '/') && !pixelSection) return;

        if (!line.empty() && line[0] == '[') {
            openSection(line);
            return;
        }
        if (section_ == "vs") {
            d_.vertexShader += line;
            d_.vertexShader += '\n';
            return;
        }
        if (pixelSection) {
            // A pass number outside the table leaves its section without effect.
            if (inRange(sectionPass_, 0, kMaxPasses - 1)) {
                d_.pixelShaders[sectionPass_] += line;
                d_.pixelShaders[sectionPass_] += '\n';
            }
            return;
        }

        size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) return;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);

        if (section_ == "routing") {
            routingStep(key, value, lineNumber);
        } else if (section_ == "settings") {
            settingsStep(key, value);
        } else {
            // Entries outside the table (a negative number, or automatic numbering past the last
            // entry) take no key lines.
            if (!inRange(current_, 0, kMaxParams - 1)) return;
            s_.paramCount = std::max<int32_t>(s_.paramCount, static_cast<int32_t>(current_ + 1));
            entryStep(d_.params[current_], key, value);
        }
    }

    void openSection(const std::string& line) {
        section_ = line.size() < 3 ? std::string() : line.substr(1, line.size() - 2);
        sectionPass_ = -1;
        if (startsWith(section_, "par")) {
            std::string t = section_.substr(3, 2);
            current_ = t.empty() ? current_ + 1 : readInt(t);
            if (inRange(current_, 0, kMaxParams - 1)) {
                d_.params[current_].name = section_;
                d_.params[current_].uniform = section_;
            }
        } else if (startsWith(section_, "ps")) {
            sectionPass_ = readInt(section_, 2);
            if (inRange(sectionPass_, 0, kMaxPasses - 1)) {
                s_.passCount =
                    std::max<int32_t>(s_.passCount, static_cast<int32_t>(sectionPass_ + 1));
                d_.pixelShaders[sectionPass_].clear();
            }
        } else if (startsWith(section_, "vs")) {
            d_.vertexShader.clear();
        }
    }

    void routingStep(const std::string& key, const std::string& value, size_t lineNumber) {
        if (!startsWith(key, "ps")) return;
        const std::string rest = key.substr(2);
        size_t u = rest.find('_');
        if (u == std::string::npos || u == 0) return;
        if (rest.size() < u + 3)
            throw std::out_of_range("line " + std::to_string(lineNumber) + ": routing key \"" +
                                    key +
                                    "\" needs a slot after its \"_\", as in ps1_in0=ps0; the "
                                    "effect code is not loaded");
        const int32_t pass = readInt(rest.substr(0, u));
        const int32_t slot = readInt(rest, u + 3);

        long long src;
        if (startsWith(value, "layer")) {
            src = -1LL - readInt(value, 5);
        } else if (startsWith(value, "ps")) {
            src = readInt(value, 2);
        } else if (startsWith(value, "prev_ps")) {
            const int32_t from = readInt(value, 7);
            if (!inRange(from, 0, kMaxPasses - 1)) return;
            src = previousSource(from);
        } else {
            return;
        }
        if (src > kMaxPasses - 1 && !isPreviousSource(static_cast<int32_t>(src))) return;
        // Sources, passes and slots outside the tables leave the line without effect.
        if (src < layerSource(kMaxLayers - 1)) return;
        if (!inRange(pass, 0, kMaxPasses - 1) || !inRange(slot, 0, kMaxSlots - 1)) return;
        s_.routing[pass][slot] = static_cast<int32_t>(src);
    }

    void settingsStep(const std::string& key, const std::string& value) {
        if (key == "name")
            s_.name = value.substr(0, kMaxEffectNameBytes);
        else if (key == "description")
            s_.description = value;
        else if (key == "category")
            s_.category = value;
        else if (key == "version")
            s_.version = value;
        else if (key == "uniqueid" || key == "matchname")
            s_.uniqueid = value;
        else if (key == "fast")
            s_.fast = value == "1";
        else if (key == "repeat" || key == "edge_repeat" || key == "edgeRepeat")
            s_.edgeRepeat = readInt(value);
        else if (key == "params")
            s_.paramCount = std::clamp<int32_t>(readInt(value), 0, kMaxParams);
        else if (key == "shaders")
            s_.passCount = std::clamp<int32_t>(readInt(value), 0, kMaxPasses);
        else if (key == "noinput")
            s_.noinput = readInt(value);
        else if (key == "cellsx")
            s_.cellsx = readInt(value);
        else if (key == "cellsy")
            s_.cellsy = readInt(value);
        else if (key == "checkpoint_every")
            s_.checkpointEvery = std::max<int32_t>(readInt(value), 0);
        else if (key == "checkpoint_budget")
            s_.checkpointBudgetMiB = std::max<int32_t>(readInt(value), 0);
        else if (startsWith(key, "ps"))
            passOptionStep(key, value);
    }

    // "psN_width", "psN_height", "psN_persistent", "psN_float"; anything else does nothing.
    void passOptionStep(const std::string& key, const std::string& value) {
        const size_t u = key.find('_');
        if (u == std::string::npos || u == 2 || key.find_first_not_of("0123456789", 2) != u) return;
        const int32_t pass = readInt(key, 2);
        if (!inRange(pass, 0, kMaxPasses - 1)) return;
        PassOptions& options = s_.passOptions[size_t(pass)];
        const std::string option = key.substr(u + 1);
        if (option == "width")
            options.width = value;
        else if (option == "height")
            options.height = value;
        else if (option == "persistent")
            options.persistent = value == "1";
        else if (option == "float")
            options.floatStorage = value == "1";
    }

    void entryStep(ParamSpec& p, const std::string& key, const std::string& value) {
        if (key == "name" || key == "display") {
            p.name = value;
        } else if (key == "param") {
            p.uniform = value;
        } else if (key == "text" || key == "popup") {
            p.text = value;
            int count = 0;
            size_t start = 0;
            for (size_t i = value.find('|'); i != std::string::npos; i = value.find('|', i + 1)) {
                p.items.push_back(value.substr(start, i - start));
                ++count;
                start = i + 1;
            }
            std::string last = value.substr(start);
            if (last.empty())
                --count;
            else
                p.items.push_back(std::move(last));
            if (p.type == ParamType::Popup) {
                p.max = static_cast<float>(count);
                p.min = 0.0f;
            }
        } else if (key == "type") {
            typeStep(p, value);
        } else if (key == "time") {
            p.defaultValue[0] = readFloat(value);
        } else if (key == "default") {
            std::string v = value;
            replaceAll(v, "true", "1.0");
            replaceAll(v, "false", "0.0");
            size_t bar = v.find('|');
            if (bar == std::string::npos) {
                p.defaultValue.fill(readFloat(v));
            } else {
                p.defaultValue[0] = readFloat(v.substr(0, bar));
                const std::string rest = v.substr(bar + 1);
                p.defaultValue[1] = p.defaultValue[2] = readFloat(rest);
                size_t q = rest.find('|');
                if (q != std::string::npos) p.defaultValue[2] = readFloat(rest, q + 1);
            }
        } else if (key == "hidden") {
            p.hidden = value == "1" || value == "true";
        } else if (key == "group") {
            p.group = readInt(value);
        } else if (key == "groupswitch") {
            p.group = negate(readInt(value));
        } else if (key == "min") {
            p.min = readFloat(value);
        } else if (key == "max") {
            p.max = readFloat(value);
        } else if (key == "flags") {
            p.flags = readInt(value);
            if (p.type == ParamType::Popup && p.flags >= 1) p.components = 0;
        }
    }

    void typeStep(ParamSpec& p, const std::string& value) {
        static const ParamType order[] = {
            ParamType::Float,  ParamType::Int,   ParamType::None,       ParamType::Check,
            ParamType::Popup,  ParamType::Layer, ParamType::Color,      ParamType::Angle,
            ParamType::Float2, ParamType::Point, ParamType::TopicStart, ParamType::TopicEnd,
        };
        for (ParamType t : order) {
            if (value == paramTypeKeyword(t)) {
                p.type = t;
                break;
            }
        }
        if (value == "color") {
            p.components = 3;
        } else if (value == "point") {
            p.components = 2;
        } else if (value == "layer") {
            p.components = 0;
            if (s_.layerCount < kMaxLayers && current_ >= 1) ++s_.layerCount;
        }
    }

    EffectDescription& d_;
    EffectSettings& s_;
    std::string section_;
    long long sectionPass_ = -1;
    long long current_ = 0;
};

} // namespace

void parseDescription(EffectDescription& description, const std::string& code) {
    DescriptionParser(description).run(code);
}

const char* defaultVertexShader() {
    return kDefaultVertexShader;
}

} // namespace glfx
