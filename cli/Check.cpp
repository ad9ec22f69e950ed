#include "Check.h"

#include "Background.h"
#include "CompileLog.h"

#include "gl/GlRenderer.h"
#include "shaders/DefineMap.h"
#include "shaders/SourceAssembly.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <tuple>

namespace glfx::cli {
namespace {

// The choice the host starts a popup on: its default, capped at the last choice.
int32_t defaultChoice(const ParamSpec& p) {
    const float c = p.max >= p.defaultValue[0] ? p.defaultValue[0] : p.max;
    return truncateToInt32(c);
}

// A lost context may report its error on every call: the flags are read a bounded number of times.
void clearErrors() {
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

struct Variant {
    DefineMap defines;
    std::string note; // "" for the defaults, else " (with NAME = CHOICE)"
};

class Compiler {
public:
    Compiler(const EffectDescription& d, const SourceMap& map, std::vector<Diagnostic>& out,
             FrameWatchdog* watchdog)
        : d_(d), map_(map), out_(out), watchdog_(watchdog) {}

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
        for (const Variant& v : variants()) {
            build(renderer, v);
            drawEachPass(renderer, v);
        }
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

    void report(Diagnostic::Severity severity, int pass, std::string message, const Variant& v) {
        Diagnostic diag{severity, map_.passes[size_t(pass)].headerLine, pass, std::move(message)};
        if (!seen_.insert(std::make_tuple(diag.line, diag.pass, diag.message)).second) return;
        diag.message += v.note;
        out_.push_back(std::move(diag));
    }

    // One pass at a time into a 1 x 1 target, with the uniforms at GL's zeros and no texture
    // bound: the driver must finish the program, which is all that is asked of it here.
    void drawEachPass(GlRenderer& renderer, const Variant& v) {
        if (!renderer.context.activate()) return;
        GlTexture target = makeTexture();
        glBindTexture(GL_TEXTURE_2D, target.get());
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        GlFramebuffer framebuffer = makeFramebuffer();
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer.get());
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                  target.get(), 0);
        const bool complete =
            glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
        glViewport(0, 0, 1, 1);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, 1.0, 0.0, 1.0, -100.0, 100.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        clearErrors();
        const int passes = std::clamp<int32_t>(d_.settings.passCount, 0, kMaxPasses);
        for (int pass = 0; complete && pass < passes; ++pass) {
            if (renderer.program(pass) == 0) continue;
            const auto begin = std::chrono::steady_clock::now();
            if (watchdog_ != nullptr) watchdog_->frameStarted(pass);
            glUseProgram(renderer.program(pass));
            glBegin(GL_QUADS);
            glTexCoord2f(0.0f, 0.0f);
            glVertex3f(0.0f, 0.0f, 1.0f);
            glTexCoord2f(1.0f, 0.0f);
            glVertex3f(1.0f, 0.0f, 1.0f);
            glTexCoord2f(1.0f, 1.0f);
            glVertex3f(1.0f, 1.0f, 1.0f);
            glTexCoord2f(0.0f, 1.0f);
            glVertex3f(0.0f, 1.0f, 1.0f);
            glEnd();
            glFinish();
            if (watchdog_ != nullptr) watchdog_->frameEnded();
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            const GLenum error = glGetError();
            clearErrors();
            if (error != GL_NO_ERROR) {
                char code[16];
                std::snprintf(code, sizeof code, "0x%04x", unsigned(error));
                report(Diagnostic::Severity::Error, pass,
                       std::string("a test draw of 1 x 1 pixel failed with GL error ") + code +
                           ": the pass would not draw in a host either",
                       v);
            } else if (seconds > kSlowFirstDrawSeconds) {
                char took[32];
                std::snprintf(took, sizeof took, "%.1f", seconds);
                report(Diagnostic::Severity::Warning, pass,
                       std::string("the driver took ") + took +
                           " s to compile the pass at its first draw (1 x 1 pixel); a host "
                           "waits that long before its first frame: make the shader smaller "
                           "(large local arrays and long loops are the usual cause)",
                       v);
            }
        }
        glUseProgram(0);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        framebuffer.reset();
        target.reset();
        renderer.context.deactivate();
    }

    const EffectDescription& d_;
    const SourceMap& map_;
    std::vector<Diagnostic>& out_;
    FrameWatchdog* watchdog_;
    std::set<std::tuple<int, int, std::string>> seen_;
};

} // namespace

bool compileEffect(const EffectDescription& description, const SourceMap& map,
                   std::vector<Diagnostic>& out, std::string& contextError,
                   FrameWatchdog* watchdog) {
    return Compiler(description, map, out, watchdog).run(contextError);
}

} // namespace glfx::cli
