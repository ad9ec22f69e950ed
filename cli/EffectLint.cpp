#include "EffectLint.h"

#include "effect/SizeExpression.h"
#include "params/ParamSetup.h"
#include "resources/SlotPatcher.h"
#include "shaders/DefineMap.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <stdexcept>

namespace glfx::cli {
namespace {

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool allDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Quoted for a one-line message: control bytes shown as '?', long texts shortened.
std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size() && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        out += c < 32 || c == 127 ? '?' : char(c);
    }
    if (s.size() > 40) out += "...";
    return out + "\"";
}

const std::set<std::string>& settingsKeys() {
    static const std::set<std::string> keys = {"name",        "description", "category", "version",
                                               "uniqueid",    "matchname",   "fast",     "repeat",
                                               "edge_repeat", "edgeRepeat",  "params",   "shaders",
                                               "noinput",     "cellsx",      "cellsy"};
    return keys;
}

// "psN_width", "psN_height", "psN_persistent", "psN_float".
bool isPassOptionKey(const std::string& key) {
    const size_t u = key.find('_');
    if (key.compare(0, 2, "ps") != 0 || u == std::string::npos || u == 2 ||
        key.find_first_not_of("0123456789", 2) != u)
        return false;
    const std::string option = key.substr(u + 1);
    return option == "width" || option == "height" || option == "persistent" || option == "float";
}

const std::set<std::string>& paramKeys() {
    static const std::set<std::string> keys = {"name",   "display", "param",       "type", "text",
                                               "popup",  "default", "time",        "min",  "max",
                                               "hidden", "group",   "groupswitch", "flags"};
    return keys;
}

const ParamType kAllTypes[] = {
    ParamType::None,  ParamType::Int,        ParamType::Check,    ParamType::Popup,
    ParamType::Layer, ParamType::Float,      ParamType::Color,    ParamType::Angle,
    ParamType::Point, ParamType::TopicStart, ParamType::TopicEnd, ParamType::Float2,
};

std::string typeList() {
    std::string out;
    for (ParamType t : kAllTypes) {
        if (!out.empty()) out += ", ";
        out += paramTypeKeyword(t);
    }
    return out;
}

bool isTypeKeyword(const std::string& value) {
    return std::any_of(std::begin(kAllTypes), std::end(kAllTypes),
                       [&](ParamType t) { return value == paramTypeKeyword(t); });
}

// The section kinds the parser tells apart, by the name between the brackets.
enum class Section { None, Settings, Routing, Vertex, Pass, Param, Other };

Section sectionKind(const std::string& name) {
    if (name == "settings") return Section::Settings;
    if (name == "routing") return Section::Routing;
    if (startsWith(name, "ps")) return Section::Pass;
    if (startsWith(name, "par")) return Section::Param;
    if (name == "vs") return Section::Vertex;
    return Section::Other;
}

// One line as the parser cuts it, with its file line number.
struct Line {
    int number;
    std::string text;
};

// Lines as the parser sees them: cut at line feeds, trailing CR and LF bytes removed, empty ones
// skipped.
std::vector<Line> cutLines(const std::string& code) {
    std::vector<Line> lines;
    if (code.size() < 3) return lines;
    int number = 0;
    for (size_t pos = 0; pos < code.size();) {
        const size_t lf = code.find('\n', pos);
        const size_t end = lf == std::string::npos ? code.size() : lf;
        ++number;
        std::string text = code.substr(pos, end - pos);
        pos = lf == std::string::npos ? code.size() : lf + 1;
        if (text.empty()) continue;
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
        lines.push_back({number, std::move(text)});
    }
    return lines;
}

// The same walk as the parser's, reporting each line with the section state it is read in.
class SectionWalker {
public:
    struct Step {
        const Line* line;
        Section section;
        std::string sectionName;
        long long pass;  // for pass sections
        long long entry; // the current parameter entry
        bool header;
        bool shaderLine; // the line goes into a shader text
    };

    template <typename Visit> void walk(const std::vector<Line>& lines, Visit&& visit) {
        for (const Line& line : lines) {
            const std::string& t = line.text;
            const bool inPass = startsWith(name_, "ps");
            if (!t.empty() && (t[0] == ';' || t[0] == '/') && !inPass) continue;
            if (!t.empty() && t[0] == '[') {
                open(t);
                visit(Step{&line, section_, name_, pass_, entry_, true, false});
                continue;
            }
            const bool shader = name_ == "vs" || inPass;
            visit(Step{&line, section_, name_, pass_, entry_, false, shader});
        }
    }

private:
    void open(const std::string& t) {
        name_ = t.size() < 3 ? std::string() : t.substr(1, t.size() - 2);
        section_ = name_.empty() ? Section::Other : sectionKind(name_);
        pass_ = -1;
        if (section_ == Section::Param) {
            const std::string digits = name_.substr(3, 2);
            entry_ = digits.empty() ? entry_ + 1 : std::atoll(digits.c_str());
        } else if (section_ == Section::Pass) {
            pass_ = name_.size() > 2 ? std::atoll(name_.c_str() + 2) : 0;
        }
    }

    std::string name_;
    Section section_ = Section::None;
    long long pass_ = -1;
    long long entry_ = 0;
};

bool inRange(long long v, long long lo, long long hi) {
    return v >= lo && v <= hi;
}

// Number of routing slots a pass binds: its list ends at the first empty one.
int boundSlots(const EffectSettings& s, int pass) {
    int n = 0;
    while (n < kMaxSlots && s.routing[pass][n] != kEmptySlot)
        ++n;
    return n;
}

// A uniform declaration found in a shader text.
struct Declaration {
    std::string type;
    int line;
};

// Names declared with "uniform TYPE a, b[2];" and every other occurrence of each identifier.
struct ShaderNames {
    std::map<std::string, Declaration> uniforms;
    std::map<std::string, int> firstUse; // identifier -> 1-based text line
};

ShaderNames scanShader(const std::string& source) {
    ShaderNames names;
    const std::vector<Token> tokens = tokenizeGlsl(source);
    static const std::set<std::string> qualifiers = {"lowp", "mediump", "highp", "const"};
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].text != "uniform") {
            if (isIdentStart(tokens[i].text[0]) && !names.firstUse.count(tokens[i].text))
                names.firstUse.emplace(tokens[i].text, tokens[i].line);
            continue;
        }
        size_t j = i + 1;
        while (j < tokens.size() && qualifiers.count(tokens[j].text))
            ++j;
        if (j >= tokens.size()) break;
        const std::string type = tokens[j].text;
        int depth = 0;
        bool expectName = true;
        for (++j; j < tokens.size() && !(depth == 0 && tokens[j].text == ";"); ++j) {
            const std::string& t = tokens[j].text;
            if (t == "[") ++depth;
            if (t == "]") --depth;
            if (depth == 0 && t == ",") expectName = true;
            if (depth == 0 && expectName && isIdentStart(t[0])) {
                names.uniforms.emplace(t, Declaration{type, tokens[j].line});
                expectName = false;
            }
        }
        i = j;
    }
    return names;
}

// The GLSL type the renderer sets for a parameter, or empty when it sets none.
std::string uniformTypeFor(const EffectDescription& d, int index) {
    const ParamSpec& p = d.params[index];
    switch (p.components) {
    case 1:
        if (p.type == ParamType::Float2) return "vec2";
        if (static_cast<int32_t>(p.type) < static_cast<int32_t>(ParamType::Layer)) return "int";
        return "float";
    case 2:
        return "vec2";
    case 3:
        return "vec3";
    default:
        return {};
    }
}

class Linter {
public:
    Linter(const EffectDescription& d, const SourceMap& map, std::vector<Diagnostic>& out)
        : d_(d), s_(d.settings), map_(map), out_(out) {}

    void warn(int line, std::string message, int pass = -1) {
        out_.push_back({Diagnostic::Severity::Warning, line, pass, std::move(message)});
    }
    void error(int line, std::string message, int pass = -1) {
        out_.push_back({Diagnostic::Severity::Error, line, pass, std::move(message)});
    }

    void textStep(const SectionWalker::Step& step) {
        const Line& line = *step.line;
        if (step.header) {
            headerStep(step);
            return;
        }
        if (step.shaderLine) return;
        const std::string& t = line.text;
        const size_t eq = t.find('=');
        if (eq == std::string::npos || eq == 0) {
            warn(line.number, "line " + quoted(t) + " is not a key=value line and is ignored");
            return;
        }
        const std::string key = t.substr(0, eq);
        const std::string value = t.substr(eq + 1);
        const bool blanks =
            isBlank(key.back()) || (!value.empty() && isBlank(value.front())) || isBlank(key[0]);
        if (blanks) {
            std::string k = key;
            while (!k.empty() && isBlank(k.back()))
                k.pop_back();
            while (!k.empty() && isBlank(k.front()))
                k.erase(0, 1);
            warn(line.number, "blanks around \"=\" belong to the key and the value, so " +
                                  quoted(t) + " does not set " + quoted(k) + "; write " + k +
                                  "=...");
            return;
        }
        switch (step.section) {
        case Section::Settings:
            if (isPassOptionKey(key))
                passOptionStep(line.number, key, value);
            else if (!settingsKeys().count(key))
                warn(line.number, "unknown key " + quoted(key) + " in [settings] is ignored");
            else if (key == "fast" && value != "1" && value != "0")
                warn(line.number, "fast=" + value + " leaves fast off; only fast=1 sets it");
            else if (key == "name" && value.size() > kMaxEffectNameBytes)
                warn(line.number, "the effect name is cut to its first 31 bytes: " +
                                      quoted(value.substr(0, kMaxEffectNameBytes)));
            if (key == "name") nameLine_ = line.number;
            break;
        case Section::Routing:
            routingStep(line.number, key, value);
            break;
        case Section::None:
        case Section::Param:
        case Section::Other:
        case Section::Vertex:
        case Section::Pass:
            if (step.section == Section::None) {
                warn(line.number, "key line before any section header applies to entry 0, the "
                                  "effect's own input layer");
                break;
            }
            if (!inRange(step.entry, 0, kMaxParams - 1)) break;
            if (!paramKeys().count(key)) {
                warn(line.number,
                     "unknown key " + quoted(key) + " in [" + step.sectionName + "] is ignored");
            } else if (key == "type" && !isTypeKeyword(value)) {
                warn(line.number,
                     "unknown type " + quoted(value) + " is ignored; use one of " + typeList());
            } else if (key == "hidden" && value != "1" && value != "true" && value != "0" &&
                       value != "false") {
                warn(line.number, "hidden=" + value +
                                      " leaves the parameter shown; write "
                                      "hidden=1 or hidden=true");
            }
            break;
        }
    }

    void headerStep(const SectionWalker::Step& step) {
        const Line& line = *step.line;
        const std::string& t = line.text;
        if (t.back() != ']') {
            warn(line.number, "section header " + quoted(t) +
                                  " has no closing \"]\"; its last character is dropped and it "
                                  "reads as [" +
                                  step.sectionName + "]");
        }
        const std::string& name = step.sectionName;
        switch (step.section) {
        case Section::Pass: {
            const std::string digits = name.substr(2);
            if (!allDigits(digits))
                warn(line.number, "section [" + name + "] reads as pass " +
                                      std::to_string(step.pass) + "; write [ps0] ... [ps31]");
            else if (!inRange(step.pass, 0, kMaxPasses - 1))
                warn(line.number, "pass " + digits + " is outside 0 ... 31; its text is ignored");
            break;
        }
        case Section::Param: {
            const std::string rest = name.substr(3);
            if (!rest.empty() && (!allDigits(rest) || rest.size() > 2))
                warn(line.number, "section [" + name + "] reads as entry " +
                                      std::to_string(step.entry) +
                                      " (the two characters after \"par\" give the number)");
            else if (!inRange(step.entry, 0, kMaxParams - 1))
                warn(line.number, "entry " + std::to_string(step.entry) +
                                      " is outside 0 ... 127; its keys are ignored");
            break;
        }
        case Section::Other:
            if (startsWith(name, "vs"))
                warn(line.number,
                     "section [" + name +
                         "] empties the vertex shader, but only "
                         "[vs] collects its text; the lines below go to parameter entry " +
                         std::to_string(step.entry));
            else
                warn(line.number, "unknown section [" + name +
                                      "]; its key lines go to "
                                      "parameter entry " +
                                      std::to_string(step.entry));
            break;
        default:
            break;
        }
    }

    void routingStep(int line, const std::string& key, const std::string& value) {
        if (!startsWith(key, "ps")) {
            warn(line, "routing key " + quoted(key) +
                           " is ignored; write psP_inI=layerK or "
                           "psP_inI=psN");
            return;
        }
        const std::string rest = key.substr(2);
        const size_t u = rest.find('_');
        if (u == std::string::npos || u == 0) {
            warn(line, "routing key " + quoted(key) +
                           " has no pass number and \"_\"; it is "
                           "ignored (write psP_inI=...)");
            return;
        }
        if (rest.size() < u + 3) {
            error(line, "routing key " + quoted(key) +
                            " needs a slot after its \"_\", as in "
                            "ps1_in0=ps0; the plug-in does not load "
                            "this effect");
            return;
        }
        const std::string passText = rest.substr(0, u);
        const std::string slotText = rest.substr(u + 3);
        if (rest.compare(u + 1, 2, "in") != 0 || !allDigits(passText) || !allDigits(slotText)) {
            warn(line, "routing key " + quoted(key) + " is read as ps" +
                           std::to_string(std::atoll(passText.c_str())) + "_in" +
                           std::to_string(std::atoll(slotText.c_str())) + "; write psP_inI");
        }
        const long long pass = std::atoll(passText.c_str());
        const long long slot = std::atoll(slotText.c_str());
        long long source;
        std::string digits;
        if (startsWith(value, "layer")) {
            source = -1 - std::atoll(value.c_str() + 5);
            digits = value.substr(5);
        } else if (startsWith(value, "ps")) {
            source = std::atoll(value.c_str() + 2);
            digits = value.substr(2);
        } else if (startsWith(value, "prev_ps")) {
            // The pass's result of the previous frame; the table check is the same as for psN.
            source = std::atoll(value.c_str() + 7);
            digits = value.substr(7);
        } else {
            warn(line, "routing source " + quoted(value) +
                           " is ignored; write layerK (K = 0 for the effect's input) or psN");
            return;
        }
        if (!allDigits(digits))
            warn(line, "routing source " + quoted(value) + " is read as " +
                           (source < 0 ? "layer" + std::to_string(-1 - source)
                                       : "ps" + std::to_string(source)));
        if (!inRange(pass, 0, kMaxPasses - 1) || !inRange(slot, 0, kMaxSlots - 1) ||
            source > kMaxPasses - 1 || source < layerSource(kMaxLayers - 1)) {
            warn(line, "routing line outside the tables (passes and sources 0 ... 31, slots 0 ... "
                       "31, layers 0 ... 31) is ignored");
            return;
        }
    }

    // The name as the parser keeps it, with what pack and render will say of it. Without a name
    // pack asks for --name and render makes one up.
    void effectName() {
        if (nameLine_ == 0 || s_.name.empty()) return;
        const std::string problem = packNameProblem(s_.name);
        if (!problem.empty()) error(nameLine_, problem + " (glfx pack and glfx render refuse it)");
    }

    // Checks that need the whole description: routing, samplers, parameters.
    void structure() {
        const int passes = std::clamp<int32_t>(s_.passCount, 0, kMaxPasses);
        if (passes == 0) {
            error(0, "the effect has no pass (shaders=0), so every frame fails; write "
                     "shaders=1 or more");
            return;
        }
        for (int p = 0; p < passes; ++p)
            passStep(p);
        for (int p = passes; p < kMaxPasses; ++p)
            if (map_.passes[p].headerLine != 0)
                warn(map_.passes[p].headerLine,
                     "pass " + std::to_string(p) + " is never run: shaders=" +
                         std::to_string(s_.passCount) + " stops before it",
                     p);
        for (int i = 1; i < std::min<int32_t>(s_.paramCount, kMaxParams); ++i)
            paramStep(i, passes);
    }

private:
    void passStep(int p) {
        const SourceLines& lines = map_.passes[p];
        const std::string text = p < int(d_.pixelShaders.size()) ? d_.pixelShaders[p] : "";
        if (text.empty()) {
            // GL's fixed pipeline draws then: the texture on unit 0 times the vertex colour.
            const std::string what =
                boundSlots(s_, p) > 0
                    ? "so it has no fragment shader and draws what its in0 reads, unchanged"
                    : "so it has no fragment shader and no input: what it draws is undefined";
            warn(map_.routingLine,
                 "pass " + std::to_string(p) + " has no [ps" + std::to_string(p) + "] section, " +
                     what,
                 p);
            return;
        }
        const ShaderNames names = scanShader(text);
        const int bound = boundSlots(s_, p);
        for (int k = 0; k < kMaxSlots; ++k) {
            const std::string sampler = "in" + std::to_string(k);
            const auto use = names.firstUse.find(sampler);
            if (use == names.firstUse.end()) continue;
            if (k >= bound) {
                const std::string what = bound == 0 ? "binds nothing to it"
                                         : bound == 1
                                             ? "binds only in0"
                                             : "binds only in0 ... in" + std::to_string(bound - 1);
                warn(fileLine(lines, use->second),
                     "reads sampler " + sampler + ", but the routing " + what + " (add ps" +
                         std::to_string(p) + "_in" + std::to_string(k) + "=... under [routing])",
                     p);
                continue;
            }
            const int32_t source = s_.routing[p][k];
            const int32_t ran = isPreviousSource(source) ? passOfPreviousSource(source) : source;
            if (!isLayerSource(source) && ran >= s_.passCount) {
                warn(fileLine(lines, use->second),
                     "reads " + sampler + " = " + (isPreviousSource(source) ? "prev_ps" : "ps") +
                         std::to_string(ran) + ", but pass " + std::to_string(ran) +
                         " never runs (shaders=" + std::to_string(s_.passCount) +
                         " stops before it), so it samples no picture",
                     p);
            } else if (!isLayerSource(source) && !isPreviousSource(source) && source >= p) {
                warn(fileLine(lines, use->second),
                     "reads " + sampler + " = ps" + std::to_string(source) +
                         (source == p ? ", its own output, which is undefined while it draws"
                                      : ", which runs later: it sees the previous frame's "
                                        "result"),
                     p);
            } else if (isLayerSource(source) && layerOfSource(source) >= s_.layerCount) {
                warn(fileLine(lines, use->second),
                     "reads " + sampler + " = layer" + std::to_string(layerOfSource(source)) +
                         ", but the effect has only " + std::to_string(s_.layerCount) + " layer(s)",
                     p);
            }
        }
    }

    static int fileLine(const SourceLines& lines, int textLine) {
        if (textLine >= 1 && textLine <= int(lines.fileLines.size()))
            return lines.fileLines[textLine - 1];
        return lines.headerLine;
    }

    void paramStep(int i, int passes) {
        const ParamSpec& p = d_.params[i];
        const int line = map_.paramLines[i];
        if (p.type == ParamType::TopicStart || p.type == ParamType::TopicEnd ||
            p.type == ParamType::None)
            return;
        if (i >= 2 && d_.params[i - 1].type == ParamType::Float2 &&
            d_.params[i - 1].components == 1)
            return; // the second half of the float2 before it
        const std::string label = "parameter " + std::to_string(i) + " (" + quoted(p.name) + ")";

        if (p.type == ParamType::Layer) {
            const int layer = layerNumber(i);
            if (layer < 0) return;
            for (int pass = 0; pass < passes; ++pass) {
                const int bound = boundSlots(s_, pass);
                const std::string text =
                    pass < int(d_.pixelShaders.size()) ? d_.pixelShaders[pass] : "";
                const ShaderNames names = scanShader(text);
                for (int k = 0; k < bound; ++k)
                    if (s_.routing[pass][k] == layerSource(layer) &&
                        names.firstUse.count("in" + std::to_string(k)))
                        return;
            }
            warn(line, label + " is layer " + std::to_string(layer) +
                           ", but no pass reads it: route it with psP_inI=layer" +
                           std::to_string(layer) + " and sample inI");
            return;
        }

        if (p.type == ParamType::Popup && p.items.size() > size_t(kMaxPopupChoices))
            warn(line, label + " has " + std::to_string(p.items.size()) +
                           " choices; the host counts them in 16 bits, so it offers the first " +
                           std::to_string(kMaxPopupChoices) + " only");
        const bool defining = isDefiningParam(d_, i);
        if (p.type == ParamType::Popup && p.flags >= 3) {
            warn(line, label + " has flags=" + std::to_string(p.flags) +
                           ", which gives it neither a uniform nor a #define: no shader sees it");
            return;
        }
        const std::string expected = uniformTypeFor(d_, i);
        if (!defining && expected.empty()) return;

        // A vertex text of the effect's own is compiled into every pass and may read it too, and
        // a pass's size may follow it.
        bool used = scanShader(d_.vertexShader).firstUse.count(p.uniform) > 0;
        for (const PassOptions& o : s_.passOptions)
            used =
                used || sizeNames(o.width).count(p.uniform) || sizeNames(o.height).count(p.uniform);
        for (int pass = 0; pass < passes && pass < int(d_.pixelShaders.size()); ++pass) {
            const ShaderNames names = scanShader(d_.pixelShaders[pass]);
            if (names.firstUse.count(p.uniform)) used = true;
            const auto decl = names.uniforms.find(p.uniform);
            // GL sets a bool uniform from an int as well (glUniform1i).
            const bool fits = decl != names.uniforms.end() &&
                              (decl->second.type == expected ||
                               (expected == "int" && decl->second.type == "bool"));
            if (!defining && decl != names.uniforms.end() && !fits)
                warn(fileLine(map_.passes[pass], decl->second.line),
                     "uniform " + p.uniform + " is declared " + decl->second.type + ", but " +
                         label + " is set as " + expected + ", so its value never arrives",
                     pass);
            if (defining && decl != names.uniforms.end())
                warn(fileLine(map_.passes[pass], decl->second.line),
                     p.uniform + " is a #define of " + label +
                         " (flags=" + std::to_string(p.flags) + "), not a uniform",
                     pass);
        }
        if (!used)
            warn(line, label + (defining ? " defines " : " sets uniform ") + quoted(p.uniform) +
                           ", which no pass uses");
    }

    // "$name" words of a size expression.
    static std::set<std::string> sizeNames(const std::string& expression) {
        std::set<std::string> names;
        for (size_t at = expression.find('$'); at != std::string::npos;
             at = expression.find('$', at + 1)) {
            size_t end = at + 1;
            while (end < expression.size() && isIdentChar(expression[end]))
                ++end;
            names.insert(expression.substr(at + 1, end - at - 1));
        }
        return names;
    }

    void passOptionStep(int line, const std::string& key, const std::string& value) {
        const std::string option = key.substr(key.find('_') + 1);
        if (option == "persistent" || option == "float") {
            if (value != "1" && value != "0")
                warn(line, key + "=" + value + " leaves it off; only " + key + "=1 sets it");
            return;
        }
        std::vector<std::string> uniforms;
        for (int i = 1; i < std::min<int32_t>(s_.paramCount, kMaxParams); ++i)
            if (d_.params[i].components == 1 && !d_.params[i].uniform.empty())
                uniforms.push_back(d_.params[i].uniform);
        try {
            SizeExpression check(value, uniforms);
        } catch (const std::invalid_argument& e) {
            warn(line, key +
                           " is not a size expression, so the pass renders at the output's "
                           "size: " +
                           e.what());
        }
    }

    // The layer number of entry i, or -1 when its type line was not counted.
    int layerNumber(int i) const {
        int layer = 0;
        for (int j = 1; j <= i; ++j)
            if (d_.params[j].type == ParamType::Layer) ++layer;
        return layer < s_.layerCount ? layer : -1;
    }

    const EffectDescription& d_;
    const EffectSettings& s_;
    const SourceMap& map_;
    std::vector<Diagnostic>& out_;
    int nameLine_ = 0; // the last name= line under [settings]
};

} // namespace

std::vector<Token> tokenizeGlsl(const std::string& source) {
    std::vector<Token> tokens;
    int line = 1;
    for (size_t i = 0; i < source.size();) {
        const char c = source[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '/' && i + 1 < source.size() && source[i + 1] == '/') {
            while (i < source.size() && source[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < source.size() && source[i + 1] == '*') {
            i += 2;
            while (i < source.size() &&
                   !(source[i] == '*' && i + 1 < source.size() && source[i + 1] == '/')) {
                if (source[i] == '\n') ++line;
                ++i;
            }
            i = std::min(source.size(), i + 2);
        } else if (isIdentStart(c)) {
            size_t j = i;
            while (j < source.size() && isIdentChar(source[j]))
                ++j;
            tokens.push_back({source.substr(i, j - i), line});
            i = j;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < source.size() &&
                    std::isdigit(static_cast<unsigned char>(source[i + 1])))) {
            size_t j = i;
            while (j < source.size() && (isIdentChar(source[j]) || source[j] == '.'))
                ++j;
            tokens.push_back({source.substr(i, j - i), line});
            i = j;
        } else if (isBlank(c) || c == '\r') {
            ++i;
        } else {
            tokens.push_back({std::string(1, c), line});
            ++i;
        }
    }
    return tokens;
}

SourceMap mapSources(const std::string& code) {
    SourceMap map;
    const std::vector<Line> lines = cutLines(code);
    SectionWalker walker;
    walker.walk(lines, [&](const SectionWalker::Step& step) {
        const int n = step.line->number;
        if (step.header) {
            if (step.section == Section::Pass && inRange(step.pass, 0, kMaxPasses - 1))
                map.passes[step.pass] = SourceLines{n, {}};
            else if (startsWith(step.sectionName, "vs"))
                map.vertex = SourceLines{n, {}};
            else if (step.section == Section::Param && inRange(step.entry, 0, kMaxParams - 1))
                map.paramLines[step.entry] = n;
            else if (step.section == Section::Routing && map.routingLine == 0)
                map.routingLine = n;
            return;
        }
        if (!step.shaderLine) return;
        if (step.section == Section::Pass) {
            if (inRange(step.pass, 0, kMaxPasses - 1)) map.passes[step.pass].fileLines.push_back(n);
        } else {
            map.vertex.fileLines.push_back(n);
        }
    });
    return map;
}

std::string rawSettingsValue(const std::string& code, const std::string& key) {
    std::string value;
    SectionWalker walker;
    walker.walk(cutLines(code), [&](const SectionWalker::Step& step) {
        const std::string& t = step.line->text;
        if (step.header || step.section != Section::Settings) return;
        if (t.size() > key.size() && t.compare(0, key.size(), key) == 0 && t[key.size()] == '=')
            value = t.substr(key.size() + 1);
    });
    return value;
}

std::string formatDiagnostic(const std::string& file, const Diagnostic& d) {
    std::string out = file + ":";
    if (d.line > 0) out += std::to_string(d.line) + ":";
    if (d.pass >= 0) out += " pass " + std::to_string(d.pass) + ":";
    out += d.severity == Diagnostic::Severity::Error ? " error: " : " warning: ";
    return out + d.message;
}

std::vector<Diagnostic> lintEffect(const std::string& code, const EffectDescription& description,
                                   const SourceMap& map) {
    std::vector<Diagnostic> out;
    Linter linter(description, map, out);
    const std::vector<Line> lines = cutLines(code);
    if (lines.empty()) {
        linter.error(0, "the effect text is empty or shorter than 3 bytes; the plug-in would have "
                        "no shader at all");
        return out;
    }
    SectionWalker walker;
    bool routingFailed = false;
    walker.walk(lines, [&](const SectionWalker::Step& step) {
        // The parser stops at a routing key it rejects; nothing after it is read.
        if (routingFailed) return;
        const size_t before = out.size();
        linter.textStep(step);
        for (size_t i = before; i < out.size(); ++i)
            if (out[i].severity == Diagnostic::Severity::Error) routingFailed = true;
    });
    linter.effectName();
    if (!routingFailed) linter.structure();
    std::stable_sort(out.begin(), out.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    return out;
}

} // namespace glfx::cli
