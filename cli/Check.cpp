#include "Check.h"

#include "CompileLog.h"

#include "gl/GlRenderer.h"
#include "shaders/DefineMap.h"
#include "shaders/SourceAssembly.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace glfx::cli {
namespace {

// The choice the host starts a popup on: its default, capped at the last choice.
int32_t defaultChoice(const ParamSpec& p) {
    const float c = p.max >= p.defaultValue[0] ? p.defaultValue[0] : p.max;
    return truncateToInt32(c);
}

struct Variant {
    DefineMap defines;
    std::string note; // "" for the defaults, else " (with NAME = CHOICE)"
};

class Compiler {
public:
    Compiler(const EffectDescription& d, const SourceMap& map, std::vector<Diagnostic>& out)
        : d_(d), map_(map), out_(out) {}

    bool run(std::string& contextError) {
        GlRenderer renderer;
        renderer.effectDescription = &d_;
        renderer.context.create();
        if (!renderer.context.isValid()) {
            contextError = renderer.context.creationError().empty()
                               ? renderer.context.describe()
                               : renderer.context.creationError();
            return false;
        }
        for (const Variant& v : variants())
            build(renderer, v);
        renderer.releaseResources();
        renderer.context.close();
        return true;
    }

private:
    std::vector<Variant> variants() const {
        std::vector<Variant> list(1);
        const int count = std::min<int32_t>(d_.settings.paramCount, kMaxParams);
        for (int i = 1; i < count; ++i)
            if (isDefiningParam(d_, i))
                setDefine(list[0].defines, d_.params[i], defaultChoice(d_.params[i]));
        for (int i = 1; i < count; ++i) {
            if (!isDefiningParam(d_, i)) continue;
            const ParamSpec& p = d_.params[i];
            for (int32_t c = 0; c < int32_t(p.items.size()); ++c) {
                if (c == defaultChoice(p)) continue;
                Variant v{list[0].defines, " (with " + p.name + " = " + p.items[size_t(c)] + ")"};
                setDefine(v.defines, p, c);
                list.push_back(std::move(v));
            }
        }
        return list;
    }

    // The file line of each preamble line: the header of the parameter whose define it is.
    std::vector<int> preambleLines(const DefineMap& defines) const {
        std::vector<int> lines;
        for (const auto& entry : defines.entries()) {
            int line = 0;
            for (int i = 1; i < std::min<int32_t>(d_.settings.paramCount, kMaxParams); ++i)
                if (isDefiningParam(d_, i) && defineKey(d_.params[i]) == entry.first)
                    line = map_.paramLines[i];
            lines.push_back(line);
        }
        return lines;
    }

    void build(GlRenderer& renderer, const Variant& v) {
        renderer.buildPrograms(v.defines.preamble());
        const std::vector<int> preamble = preambleLines(v.defines);
        std::set<int32_t> failedCompile;
        for (const GlRenderer::BuildMessage& m : renderer.buildMessages)
            if (m.stage != 0) failedCompile.insert(m.pass);
        for (const GlRenderer::BuildMessage& m : renderer.buildMessages) {
            const bool vertex = m.stage == GL_VERTEX_SHADER;
            if (m.stage == 0 && failedCompile.count(m.pass)) continue;
            const SourceLines& text = vertex ? map_.vertex : map_.passes[size_t(m.pass)];
            for (const CompileLogEntry& e : parseCompileLog(m.log)) {
                Diagnostic diag;
                diag.severity =
                    e.error ? Diagnostic::Severity::Error : Diagnostic::Severity::Warning;
                diag.pass = vertex ? -1 : m.pass;
                const bool versionFirst =
                    !vertex && startsWithVersionLine(d_.pixelShaders[size_t(m.pass)]);
                diag.line = m.stage == 0 ? text.headerLine
                                         : fileLineOf(text, vertex ? std::vector<int>{} : preamble,
                                                      e.line, versionFirst);
                diag.message = (vertex ? "vertex shader: " : "") +
                               (m.stage == 0 ? std::string("link: ") : std::string()) + e.message;
                const auto key = std::make_tuple(diag.line, diag.pass, diag.message);
                if (!seen_.insert(key).second) continue;
                diag.message += v.note;
                out_.push_back(std::move(diag));
            }
        }
    }

    const EffectDescription& d_;
    const SourceMap& map_;
    std::vector<Diagnostic>& out_;
    std::set<std::tuple<int, int, std::string>> seen_;
};

} // namespace

bool compileEffect(const EffectDescription& description, const SourceMap& map,
                   std::vector<Diagnostic>& out, std::string& contextError) {
    return Compiler(description, map, out).run(contextError);
}

} // namespace glfx::cli
