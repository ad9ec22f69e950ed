#include "gl/GlRenderer.h"

#include "gl/GlCheck.h"
#include "shaders/DefineMap.h"
#include "shaders/SourceAssembly.h"

#include <algorithm>
#include <exception>

namespace glfx {
namespace {

int32_t clampCount(int32_t count, int32_t limit) {
    return std::max(0, std::min(count, limit));
}

std::string stageName(GLenum stage) {
    return stage == GL_VERTEX_SHADER ? "vertex shader" : "fragment shader";
}

// The info log of a shader or program, whole (GL_INFO_LOG_LENGTH counts the terminator).
template <class GetIv, class GetLog>
std::string infoLog(GLuint object, GetIv getIv, GetLog getLog) {
    GLint length = 0;
    getIv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return {};
    std::string log(static_cast<size_t>(length), '\0');
    GLsizei written = 0;
    getLog(object, length, &written, log.data());
    log.resize(static_cast<size_t>(std::clamp(written, 0, length)));
    return log;
}

} // namespace

GlRenderer::GlRenderer() {
    for (int32_t k = 0; k < kMaxSlots; ++k)
        samplerNames_[k] = "in" + decimalText(k);
}

GlRenderer::~GlRenderer() {
    releaseResources();
}

GLuint GlRenderer::program(int32_t pass) const {
    return pass >= 0 && pass < kMaxPasses ? programs_[pass].get() : 0;
}

GLuint GlRenderer::inputTexture(int32_t layer) const {
    return layer >= 0 && layer < kMaxLayers ? inputTextures_[layer].get() : 0;
}

GLuint GlRenderer::passTexture(int32_t pass) const {
    return pass >= 0 && pass < kMaxPasses ? passTextures_[pass].get() : 0;
}

GlShader GlRenderer::compileShader(GLenum stage, const std::string& source, std::string& log) {
    if (source.empty()) return GlShader();
    GlShader shader(glCreateShader(stage));
    if (!shader) throw GlError("glCreateShader gave no shader");
    const GLchar* text = source.data();
    const auto length = static_cast<GLint>(source.size());
    glShaderSource(shader.get(), 1, &text, &length);
    glCompileShader(shader.get());
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader.get(), GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE) return shader;
    std::string message = infoLog(shader.get(), glGetShaderiv, glGetShaderInfoLog);
    // A failure must never pass for success, so a driver that gives no log still leaves one.
    if (message.empty()) message = "The " + stageName(stage) + " did not compile (no log given).\n";
    log += message;
    return GlShader();
}

int32_t GlRenderer::buildPrograms(std::string preamble) {
    try {
        return build(preamble);
    } catch (...) {
        // Only an allocation can fail out here; the GL part catches its own failures.
        programsOk = false;
        context.deactivate();
        return -1;
    }
}

int32_t GlRenderer::build(const std::string& preamble) {
    if (resourcesAllocated) releaseResources();
    errorText.clear();
    buildMessages.clear();
    programsOk = false;
    if (effectDescription == nullptr) {
        errorText = "No effect description is attached to the renderer; nothing was built.\n";
        return -1;
    }
    if (!context.isValid() || !context.activate()) {
        errorText =
            "The effect's shaders were not built: its OpenGL context is not available (" +
            (context.creationError().empty() ? context.describe() : context.creationError()) +
            ")\n";
        return -1;
    }
    programsOk = true;
    int32_t status = 0;
    try {
        for (int32_t k = 0; k < kMaxLayers; ++k)
            inputTextures_[k] = makeTexture();
        for (int32_t p = 0; p < kMaxPasses; ++p)
            passTextures_[p] = makeTexture();
        inputSizes_.fill(Size{});
        passSizes_.fill(Size{});
        passComplete_.fill(false);
        inputSwizzled_.fill(false);
        canSwizzle = GLEW_VERSION_3_3 || GLEW_ARB_texture_swizzle || GLEW_EXT_texture_swizzle;
        resourcesAllocated = true;
        glCheck("creating the textures");

        builtPasses_ = clampCount(effectDescription->settings.passCount, kMaxPasses);
        for (int32_t p = 0; p < builtPasses_; ++p)
            buildPass(p, preamble);

        glEnable(GL_TEXTURE_2D);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glDisable(GL_DEPTH_TEST);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        glClampColorARB(GL_CLAMP_FRAGMENT_COLOR_ARB, GL_TRUE);
        glCheck("setting the fixed state");
    } catch (const std::exception& error) {
        errorText += std::string("The shader build stopped: ") + error.what() + "\n";
        programsOk = false;
        status = -1;
    }
    context.deactivate();
    return status;
}

void GlRenderer::buildPass(int32_t pass, const std::string& preamble) {
    const std::string vertexSource = assembleVertexSource(*effectDescription);
    const std::string fragmentSource = assembleFragmentSource(preamble, *effectDescription, pass);
    programs_[pass] = GlProgram(glCreateProgram());
    const GLuint program = programs_[pass].get();
    if (program == 0)
        throw GlError("glCreateProgram gave no program for pass " + std::to_string(pass));

    for (const auto& [stage, source] :
         {std::pair<GLenum, const std::string*>{GL_VERTEX_SHADER, &vertexSource},
          std::pair<GLenum, const std::string*>{GL_FRAGMENT_SHADER, &fragmentSource}}) {
        std::string log;
        GlShader shader = compileShader(stage, *source, log);
        // The program keeps an attached shader alive; ours can go at once.
        if (shader) glAttachShader(program, shader.get());
        if (!log.empty()) {
            errorText += log;
            buildMessages.push_back({pass, stage, log});
            programsOk = false;
        }
    }

    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        std::string log = infoLog(program, glGetProgramiv, glGetProgramInfoLog);
        if (log.empty()) log = "Pass " + std::to_string(pass) + " did not link (no log given).\n";
        errorText += log;
        buildMessages.push_back({pass, 0, log});
        programs_[pass].reset();
        programsOk = false;
        plans_[pass] = PassPlan{};
        glCheck("linking pass", pass);
        return;
    }
    planPass(pass);
    glCheck("building pass", pass);
}

void GlRenderer::planPass(int32_t pass) {
    const GLuint program = programs_[pass].get();
    const EffectSettings& settings = effectDescription->settings;
    PassPlan plan;
    glUseProgram(program);

    // Sampler k always reads unit k, so this is set once per build.
    int32_t slots = 0;
    while (slots < kMaxSlots && settings.routing[pass][slots] != kEmptySlot)
        ++slots;
    if (slots > context.maxTextureImageUnits()) {
        const std::string message = "Pass " + std::to_string(pass) + " routes " +
                                    std::to_string(slots) +
                                    " inputs, but this GPU samples at most " +
                                    std::to_string(context.maxTextureImageUnits()) +
                                    " textures per pass. Route fewer inputs to it.\n";
        errorText += message;
        buildMessages.push_back({pass, 0, message});
        programsOk = false;
        slots = context.maxTextureImageUnits();
    }
    for (int32_t k = 0; k < slots; ++k) {
        const int32_t source = settings.routing[pass][k];
        GLuint texture = 0;
        // A source outside the tables binds nothing rather than reading past them.
        if (isLayerSource(source)) {
            const int32_t layer = source >= -kMaxLayers ? layerOfSource(source) : -1;
            if (layer >= 0) texture = inputTextures_[layer].get();
        } else if (source < kMaxPasses) {
            texture = passTextures_[source].get();
        }
        plan.samplers.push_back({static_cast<GLenum>(GL_TEXTURE0 + k), texture});
        const GLint location = glGetUniformLocation(program, samplerNames_[k].c_str());
        if (location >= 0) glUniform1i(location, k);
    }

    plan.time = glGetUniformLocation(program, "time");
    plan.resolution = glGetUniformLocation(program, "resolution");
    plan.pixelratio = glGetUniformLocation(program, "pixelratio");
    plan.downsample = glGetUniformLocation(program, "downsample");
    plan.cells = glGetUniformLocation(program, "cells");

    const int32_t paramCount = clampCount(settings.paramCount, kMaxParams);
    for (int32_t i = 0; i < paramCount; ++i) {
        const ParamSpec& spec = effectDescription->params[i];
        UniformKind kind;
        switch (spec.components) {
        case 1:
            if (spec.type == ParamType::Float2)
                kind = UniformKind::Float2Pair;
            else if (static_cast<int32_t>(spec.type) < static_cast<int32_t>(ParamType::Layer))
                kind = UniformKind::Int;
            else
                kind = UniformKind::Float;
            break;
        case 2:
            kind = UniformKind::Vec2;
            break;
        case 3:
            kind = UniformKind::Vec3;
            break;
        default:
            continue;
        }
        const GLint location = glGetUniformLocation(program, spec.uniform.c_str());
        if (location >= 0) plan.uniforms.push_back({location, kind, i});
        // The partner of a float2 travels in its vec2 and gets no uniform of its own.
        if (kind == UniformKind::Float2Pair) ++i;
    }
    glUseProgram(0);
    plans_[pass] = std::move(plan);
}

void GlRenderer::releaseResources() {
    if (resourcesAllocated && context.isValid() && context.activate()) {
        for (auto& program : programs_)
            program.reset();
        for (auto& texture : inputTextures_)
            texture.reset();
        for (auto& texture : passTextures_)
            texture.reset();
        glGetError();
        context.deactivate();
    }
    // Whatever is left died with the context (or was never made).
    abandonResources();
}

void GlRenderer::abandonResources() {
    for (auto& program : programs_)
        program.abandon();
    for (auto& texture : inputTextures_)
        texture.abandon();
    for (auto& texture : passTextures_)
        texture.abandon();
    for (auto& plan : plans_)
        plan = PassPlan{};
    builtPasses_ = 0;
    resourcesAllocated = false;
}

void GlRenderer::setSamplingParameters() const {
    // Effects are written for clamping at the edge, not GL_CLAMP's blend with the border colour.
    const GLint wrap = effectDescription->settings.edgeRepeat == 1 ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

bool GlRenderer::renderFrame(SequenceState& state, GLenum pixelType) {
    return renderFrame(state, PixelTypes{GL_RGBA, pixelType, pixelType});
}

namespace {

bool knownUpload(GLenum format, GLenum type) {
    if (format == GL_RGBA)
        return type == GL_FLOAT || type == GL_UNSIGNED_INT_8_8_8_8_REV ||
               type == GL_UNSIGNED_INT_8_8_8_8;
    if (format == GL_BGRA) return type == GL_UNSIGNED_INT_8_8_8_8 || type == GL_UNSIGNED_BYTE;
    return false;
}

} // namespace

bool GlRenderer::renderFrame(SequenceState& state, const PixelTypes& types) {
    if (!resourcesAllocated) buildPrograms(std::string());
    if (!programsOk || effectDescription == nullptr) return false;
    const int32_t passCount = std::min(builtPasses_, kMaxPasses);
    // With no pass there is no result to read back.
    if (passCount < 1) return false;
    if (!knownUpload(types.uploadFormat, types.uploadType)) return false;
    if (types.readType != GL_FLOAT && types.readType != GL_UNSIGNED_INT_8_8_8_8_REV) return false;
    if (types.argbSwizzle && !canSwizzle) return false;
    if (state.outputWidth < 1 || state.outputHeight < 1) return false;
    if (!context.activate()) return false;
    bool drawn = false;
    try {
        drawn = drawFrame(state, types, passCount);
    } catch (...) {
        drawn = false;
    }
    context.deactivate();
    return drawn;
}

std::vector<float> GlRenderer::probeUpload(GLenum format, GLenum type, const void* pixels,
                                           int32_t width) {
    std::vector<float> out;
    if (width < 1 || !knownUpload(format, type) || !context.isValid() || !context.activate())
        return out;
    try {
        GlTexture texture = makeTexture();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture.get());
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F_ARB, width, 1, 0, format, type, pixels);
        out.assign(static_cast<size_t>(width) * 4, 0.0f);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, out.data());
        glCheck("probing an upload");
        // The texture names of the frames are rebound at each frame; nothing else is changed.
    } catch (...) {
        out.clear();
    }
    context.deactivate();
    return out;
}

bool GlRenderer::drawFrame(SequenceState& state, const PixelTypes& types, int32_t passCount) {
    const EffectSettings& settings = effectDescription->settings;
    const int32_t width = state.outputWidth;
    const int32_t height = state.outputHeight;
    const GLint maxSize = context.maxTextureSize();
    if (width > maxSize || height > maxSize) return false;

    glActiveTexture(GL_TEXTURE0);
    const int32_t layerCount = clampCount(settings.layerCount, kMaxLayers);
    auto source = [&](int32_t k) -> LayerSource {
        if (types.sources != nullptr && (*types.sources)[k].pixels != nullptr)
            return (*types.sources)[k];
        return LayerSource{state.layerBuffers[k], 0};
    };
    for (int32_t k = 0; k < layerCount; ++k) {
        if (source(k).pixels == nullptr) continue;
        if (state.layerWidth[k] > maxSize || state.layerHeight[k] > maxSize) return false;
    }
    static const GLint kIdentity[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    static const GLint kFromArgb[4] = {GL_GREEN, GL_BLUE, GL_ALPHA, GL_RED};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (int32_t k = 0; k < layerCount; ++k) {
        const Size size{state.layerWidth[k], state.layerHeight[k]};
        const LayerSource from = source(k);
        const void* pixels = from.pixels;
        if (pixels == nullptr || size.width < 1 || size.height < 1) continue;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, from.rowPixels);
        glBindTexture(GL_TEXTURE_2D, inputTextures_[k].get());
        if (canSwizzle && inputSwizzled_[k] != types.argbSwizzle) {
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA,
                             types.argbSwizzle ? kFromArgb : kIdentity);
            inputSwizzled_[k] = types.argbSwizzle;
        }
        if (inputSizes_[k] != size) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F_ARB, size.width, size.height, 0,
                         types.uploadFormat, types.uploadType, pixels);
            setSamplingParameters();
            inputSizes_[k] = size;
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size.width, size.height, types.uploadFormat,
                            types.uploadType, pixels);
        }
        glCheck("uploading layer", k);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);

    const int64_t pixelCount = static_cast<int64_t>(width) * height;
    if (state.resultBuffer == nullptr ||
        pixelCount > static_cast<int64_t>(state.resultAllocWidth) * state.resultAllocHeight) {
        delete[] state.resultBuffer;
        state.resultBuffer = nullptr;
        state.resultBuffer = new float[static_cast<size_t>(pixelCount) * 4];
        state.resultAllocWidth = width;
        state.resultAllocHeight = height;
    }

    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, context.framebuffer());
    glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const auto w = static_cast<float>(width);
    const auto h = static_cast<float>(height);
    const float time = static_cast<float>(state.currentTime) * 0.0001f;
    const Size frameSize{width, height};
    for (int32_t p = 0; p < passCount; ++p) {
        const PassPlan& plan = plans_[p];
        const GLuint target = passTextures_[p].get();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, target);
        if (passSizes_[p] != frameSize) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F_ARB, width, height, 0, GL_RGBA, GL_FLOAT,
                         nullptr);
            setSamplingParameters();
            passSizes_[p] = frameSize;
            passComplete_[p] = false;
        }
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                  target, 0);
        if (!passComplete_[p]) {
            if (glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT)
                return false;
            passComplete_[p] = true;
        }

        glUseProgram(programs_[p].get());
        for (const SamplerBinding& binding : plan.samplers) {
            glActiveTexture(binding.unit);
            glBindTexture(GL_TEXTURE_2D, binding.texture);
        }
        if (plan.time >= 0) glUniform1f(plan.time, time);
        if (plan.resolution >= 0) glUniform2f(plan.resolution, w, h);
        if (plan.pixelratio >= 0) glUniform1f(plan.pixelratio, state.pixelAspect);
        if (plan.downsample >= 0)
            glUniform2f(plan.downsample, state.downsampleX, state.downsampleY);
        if (plan.cells >= 0)
            glUniform2f(plan.cells, static_cast<float>(settings.cellsx),
                        static_cast<float>(settings.cellsy));
        for (const UniformSetter& setter : plan.uniforms) {
            const float* value = state.paramValues[setter.index];
            switch (setter.kind) {
            case UniformKind::Int:
                glUniform1i(setter.location, truncateToInt32(value[0]));
                break;
            case UniformKind::Float:
                glUniform1f(setter.location, value[0]);
                break;
            case UniformKind::Float2Pair: {
                const int32_t next = setter.index + 1;
                glUniform2f(setter.location, value[0],
                            next < kMaxParams ? state.paramValues[next][0] : 0.0f);
                break;
            }
            case UniformKind::Vec2:
                glUniform2f(setter.location, value[0], value[1]);
                break;
            case UniformKind::Vec3:
                glUniform3f(setter.location, value[0], value[1], value[2]);
                break;
            }
        }

        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(0.0f, 0.0f, 1.0f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(w, 0.0f, 1.0f);
        glTexCoord2f(1.0f, 1.0f);
        glVertex3f(w, h, 1.0f);
        glTexCoord2f(0.0f, 1.0f);
        glVertex3f(0.0f, h, 1.0f);
        glEnd();
        glCheck("drawing pass", p);
    }

    glUseProgram(0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (types.take != nullptr) {
        // The last pass's texture is still the framebuffer's attachment. Strips that fit the
        // cache: the taker reads each just after GL wrote it, not after a whole frame went by.
        constexpr int64_t kStripBytes = 256 * 1024;
        const int64_t rowBytes = int64_t(width) * (types.readType == GL_FLOAT ? 16 : 4);
        const auto strip = static_cast<int32_t>(std::max<int64_t>(1, kStripBytes / rowBytes));
        glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
        for (int32_t y = 0; y < height; y += strip) {
            const int32_t rows = std::min(strip, height - y);
            glReadPixels(0, y, width, rows, GL_RGBA, types.readType, state.resultBuffer);
            glCheck("reading the result back");
            types.take(types.takeContext, y, rows, state.resultBuffer);
        }
        glFinish();
        return true;
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, passTextures_[passCount - 1].get());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, types.readType, state.resultBuffer);
    glFinish();
    glCheck("reading the result back");
    return true;
}

} // namespace glfx
