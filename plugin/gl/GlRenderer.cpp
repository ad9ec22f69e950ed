#include "gl/GlRenderer.h"

#include "gl/GlCheck.h"
#include "shaders/DefineMap.h"
#include "shaders/SourceAssembly.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

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

size_t pixelBytes(GLenum format) {
    return format == GL_RGBA8 ? 4 : 16;
}

bool knownUpload(GLenum format, GLenum type) {
    if (format == GL_RGBA)
        return type == GL_FLOAT || type == GL_UNSIGNED_INT_8_8_8_8_REV ||
               type == GL_UNSIGNED_INT_8_8_8_8;
    if (format == GL_BGRA) return type == GL_UNSIGNED_INT_8_8_8_8 || type == GL_UNSIGNED_BYTE;
    return false;
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
    return pass >= 0 && pass < kMaxPasses ? passTargets_[pass].texture.get() : 0;
}

std::pair<int32_t, int32_t> GlRenderer::passSize(int32_t pass) const {
    if (pass < 0 || pass >= kMaxPasses) return {0, 0};
    return {drawnSizes_[pass].width, drawnSizes_[pass].height};
}

bool GlRenderer::isPersistent(int32_t pass) const {
    return effectDescription != nullptr && pass >= 0 && pass < kMaxPasses &&
           effectDescription->settings.passOptions[size_t(pass)].persistent;
}

GLenum GlRenderer::passFormat(int32_t pass, const FrameInput& frame) const {
    const bool floats = effectDescription->settings.passOptions[size_t(pass)].floatStorage;
    return frame.eightBit && !floats ? GLenum(GL_RGBA8) : GLenum(GL_RGBA32F_ARB);
}

GLenum GlRenderer::keptFormat(int32_t pass) const {
    return effectDescription->settings.passOptions[size_t(pass)].floatStorage ? GL_RGBA32F_ARB
                                                                              : GL_RGBA8;
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
        inputSizes_.fill(Size{});
        inputFormats_.fill(0);
        drawnSizes_.fill(Size{});
        inputSwizzled_.fill(false);
        canSwizzle = GLEW_VERSION_3_3 || GLEW_ARB_texture_swizzle || GLEW_EXT_texture_swizzle;
        resourcesAllocated = true;
        glCheck("creating the textures");

        // The values size expressions may name: every parameter with a one-number uniform.
        sizeNames_.clear();
        sizeParams_.clear();
        const EffectSettings& settings = effectDescription->settings;
        for (int32_t i = 1; i < clampCount(settings.paramCount, kMaxParams); ++i) {
            const ParamSpec& spec = effectDescription->params[size_t(i)];
            if (spec.components != 1 || spec.uniform.empty() ||
                std::find(sizeNames_.begin(), sizeNames_.end(), spec.uniform) != sizeNames_.end())
                continue;
            sizeNames_.push_back(spec.uniform);
            sizeParams_.push_back(i);
        }
        builtPasses_ = clampCount(settings.passCount, kMaxPasses);
        for (int32_t p = 0; p < builtPasses_; ++p) {
            buildPass(p, preamble);
            buildSizeRule(p);
        }

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

void GlRenderer::buildSizeRule(int32_t pass) {
    const PassOptions& options = effectDescription->settings.passOptions[size_t(pass)];
    SizeRule& rule = sizeRules_[size_t(pass)];
    rule = SizeRule{};
    for (const auto& [text, slot, what] : {std::tuple{&options.width, &rule.width, "width"},
                                           std::tuple{&options.height, &rule.height, "height"}}) {
        if (text->empty()) continue;
        try {
            *slot = std::make_unique<SizeExpression>(*text, sizeNames_);
        } catch (const std::invalid_argument& error) {
            const std::string message = "Pass " + std::to_string(pass) + " " + what + " " +
                                        error.what() + ". Write it over $WIDTH, $HEIGHT and " +
                                        "$ and a parameter's uniform name.\n";
            errorText += message;
            buildMessages.push_back({pass, 0, message});
            programsOk = false;
        }
    }
}

void GlRenderer::planPass(int32_t pass) {
    const GLuint program = programs_[pass].get();
    const EffectSettings& settings = effectDescription->settings;
    PassPlan plan;
    glUseProgram(program);

    // Sampler k always reads unit k, so this is set once per build. Slots past the units the
    // driver has stay unbound; only a pass that reads one of them fails.
    int32_t slots = 0;
    while (slots < kMaxSlots && settings.routing[pass][slots] != kEmptySlot)
        ++slots;
    const int32_t units = context.maxTextureImageUnits();
    std::string unbound;
    for (int32_t k = 0; k < slots; ++k) {
        const GLint location = glGetUniformLocation(program, samplerNames_[k].c_str());
        if (k >= units) {
            if (location >= 0) {
                const std::string message =
                    "Pass " + std::to_string(pass) + " reads " + samplerNames_[k] +
                    ", but this GPU binds at most " + std::to_string(units) +
                    " textures per pass (in0 ... in" + std::to_string(units - 1) +
                    "). Route fewer inputs to it.\n";
                errorText += message;
                buildMessages.push_back({pass, 0, message});
                programsOk = false;
            } else {
                unbound += (unbound.empty() ? "" : ", ") + samplerNames_[k];
            }
            continue;
        }
        const std::string sizeName = "glfx_InSize[" + decimalText(k) + "]";
        plan.samplers.push_back({static_cast<GLenum>(GL_TEXTURE0 + k), settings.routing[pass][k],
                                 glGetUniformLocation(program, sizeName.c_str())});
        if (location >= 0) glUniform1i(location, k);
    }
    if (!unbound.empty())
        buildMessages.push_back({pass, 0,
                                 "Pass " + std::to_string(pass) + " routes " + unbound +
                                     " past the " + std::to_string(units) +
                                     " textures this GPU binds; its shader does not read them, "
                                     "so they stay unbound.\n",
                                 true});

    plan.time = glGetUniformLocation(program, "time");
    plan.resolution = glGetUniformLocation(program, "resolution");
    plan.pixelratio = glGetUniformLocation(program, "pixelratio");
    plan.downsample = glGetUniformLocation(program, "downsample");
    plan.cells = glGetUniformLocation(program, "cells");
    plan.seconds = glGetUniformLocation(program, "glfx_Time");
    plan.frameSeconds = glGetUniformLocation(program, "glfx_TimeDelta");
    plan.frameIndex = glGetUniformLocation(program, "glfx_Frame");
    plan.framesPerSecond = glGetUniformLocation(program, "glfx_FrameRate");
    plan.date = glGetUniformLocation(program, "glfx_Date");
    plan.renderSize = glGetUniformLocation(program, "glfx_RenderSize");
    plan.passIndex = glGetUniformLocation(program, "glfx_PassIndex");

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
        for (auto& target : passTargets_)
            target.texture.reset();
        for (auto& set : kept_)
            for (auto& target : set)
                target.texture.reset();
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
    for (auto& target : passTargets_) {
        target.texture.abandon();
        target = Target{};
    }
    for (auto& set : kept_)
        for (auto& target : set) {
            target.texture.abandon();
            target = Target{};
        }
    for (auto& label : keptLabels)
        label.clear();
    for (auto& plan : plans_)
        plan = PassPlan{};
    for (auto& rule : sizeRules_)
        rule = SizeRule{};
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

bool GlRenderer::renderFrame(const FrameInput& frame) {
    if (!resourcesAllocated) buildPrograms(std::string());
    if (!programsOk || effectDescription == nullptr) return false;
    const int32_t passCount = std::min(builtPasses_, kMaxPasses);
    // With no pass there is no result to read back.
    if (passCount < 1) return false;
    if (!knownUpload(frame.uploadFormat, frame.uploadType)) return false;
    if (frame.readType != GL_FLOAT && frame.readType != GL_UNSIGNED_INT_8_8_8_8_REV) return false;
    if (frame.argbSwizzle && !canSwizzle) return false;
    if (frame.width < 1 || frame.height < 1) return false;
    if (frame.keptRead != 0 && frame.keptRead != 1) return false;
    if (!context.activate()) return false;
    bool drawn = false;
    try {
        drawn = drawFrame(frame, passCount);
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

bool GlRenderer::uploadLayers(const FrameInput& frame, GLint maxSize) {
    static const GLint kIdentity[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    static const GLint kFromArgb[4] = {GL_GREEN, GL_BLUE, GL_ALPHA, GL_RED};
    const int32_t layerCount = clampCount(effectDescription->settings.layerCount, kMaxLayers);
    for (int32_t k = 0; k < layerCount; ++k) {
        const FrameLayer& layer = frame.layers[size_t(k)];
        if (layer.pixels != nullptr && (layer.width > maxSize || layer.height > maxSize))
            return false;
    }
    glActiveTexture(GL_TEXTURE0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (int32_t k = 0; k < layerCount; ++k) {
        const FrameLayer& layer = frame.layers[size_t(k)];
        const Size size{layer.width, layer.height};
        if (layer.pixels == nullptr || size.width < 1 || size.height < 1) continue;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, layer.rowPixels);
        glBindTexture(GL_TEXTURE_2D, inputTextures_[k].get());
        if (canSwizzle && inputSwizzled_[k] != frame.argbSwizzle) {
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA,
                             frame.argbSwizzle ? kFromArgb : kIdentity);
            inputSwizzled_[k] = frame.argbSwizzle;
        }
        const GLenum format = frame.eightBit ? GLenum(GL_RGBA8) : GLenum(GL_RGBA32F_ARB);
        if (inputSizes_[k] != size || inputFormats_[k] != format) {
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), size.width, size.height, 0,
                         frame.uploadFormat, frame.uploadType, layer.pixels);
            setSamplingParameters();
            inputSizes_[k] = size;
            inputFormats_[k] = format;
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size.width, size.height, frame.uploadFormat,
                            frame.uploadType, layer.pixels);
        }
        glCheck("uploading layer", k);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return true;
}

GlRenderer::Size GlRenderer::passSizeFor(int32_t pass, int32_t passCount, const FrameInput& frame) {
    Size size{frame.width, frame.height};
    const SizeRule& rule = sizeRules_[size_t(pass)];
    if (pass == passCount - 1 || (!rule.width && !rule.height)) return size;
    std::vector<double> values;
    values.reserve(sizeParams_.size());
    for (int32_t i : sizeParams_)
        values.push_back(frame.paramValues != nullptr ? frame.paramValues[i][0] : 0.0);
    const GLint limit = context.maxTextureSize();
    if (rule.width)
        size.width =
            SizeExpression::side(rule.width->evaluate(frame.width, frame.height, values), limit);
    if (rule.height)
        size.height =
            SizeExpression::side(rule.height->evaluate(frame.width, frame.height, values), limit);
    return size;
}

// Gives `target` GL storage of `size` and `format` (its contents undefined unless `clear` asks
// for transparent black) and checks it against the framebuffer once per size. Leaves it attached
// to the framebuffer, bound on unit 0.
bool GlRenderer::prepareTarget(Target& target, Size size, GLenum format, bool clear) {
    if (!target.texture) target.texture = makeTexture();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, target.texture.get());
    if (target.size != size || target.format != format) {
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), size.width, size.height, 0,
                     GL_RGBA, GL_FLOAT, nullptr);
        setSamplingParameters();
        target.size = size;
        target.format = format;
        target.complete = false;
    }
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                              target.texture.get(), 0);
    if (!target.complete) {
        if (glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT)
            return false;
        target.complete = true;
    }
    if (clear) {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    }
    glCheck("preparing a pass texture");
    return true;
}

// The texture a routing source names for `readingPass`, and its size. A persistent pass's result
// is the one this frame wrote once it has run, its previous one before; "prev_psN" is always the
// previous one.
GLuint GlRenderer::sourceTexture(int32_t source, int32_t readingPass, int32_t keptWrite,
                                 Size* size) const {
    *size = Size{};
    const Target* target = nullptr;
    if (isLayerSource(source)) {
        if (source < -kMaxLayers) return 0;
        const int32_t layer = layerOfSource(source);
        *size = inputSizes_[size_t(layer)];
        return inputTextures_[size_t(layer)].get();
    }
    if (source < kMaxPasses) {
        if (!isPersistent(source))
            target = &passTargets_[size_t(source)];
        else
            target =
                &kept_[size_t(readingPass > source ? keptWrite : 1 - keptWrite)][size_t(source)];
    } else if (isPreviousSource(source) && isPersistent(passOfPreviousSource(source))) {
        target = &kept_[size_t(1 - keptWrite)][size_t(passOfPreviousSource(source))];
    }
    if (target == nullptr) return 0;
    *size = target->size;
    return target->texture.get();
}

void GlRenderer::drawPass(int32_t pass, const FrameInput& frame, Size size) {
    const EffectSettings& settings = effectDescription->settings;
    const PassPlan& plan = plans_[size_t(pass)];
    const int32_t keptWrite = 1 - frame.keptRead;
    const auto w = static_cast<float>(size.width);
    const auto h = static_cast<float>(size.height);
    glViewport(0, 0, size.width, size.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, size.width, 0.0, size.height, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glUseProgram(programs_[size_t(pass)].get());
    for (const SamplerBinding& binding : plan.samplers) {
        Size sourceSize;
        const GLuint texture = sourceTexture(binding.source, pass, keptWrite, &sourceSize);
        glActiveTexture(binding.unit);
        glBindTexture(GL_TEXTURE_2D, texture);
        if (binding.sizeLocation >= 0)
            glUniform2f(binding.sizeLocation, static_cast<float>(sourceSize.width),
                        static_cast<float>(sourceSize.height));
    }
    if (plan.time >= 0) glUniform1f(plan.time, static_cast<float>(frame.hostTime) * 0.0001f);
    if (plan.resolution >= 0)
        glUniform2f(plan.resolution, static_cast<float>(frame.width),
                    static_cast<float>(frame.height));
    if (plan.pixelratio >= 0) glUniform1f(plan.pixelratio, frame.pixelAspect);
    if (plan.downsample >= 0) glUniform2f(plan.downsample, frame.downsampleX, frame.downsampleY);
    if (plan.cells >= 0)
        glUniform2f(plan.cells, static_cast<float>(settings.cellsx),
                    static_cast<float>(settings.cellsy));
    if (plan.seconds >= 0) glUniform1f(plan.seconds, static_cast<float>(frame.seconds));
    if (plan.frameSeconds >= 0)
        glUniform1f(plan.frameSeconds, static_cast<float>(frame.frameSeconds));
    if (plan.frameIndex >= 0) glUniform1i(plan.frameIndex, frame.frameIndex);
    if (plan.framesPerSecond >= 0)
        glUniform1f(plan.framesPerSecond, static_cast<float>(frame.framesPerSecond));
    if (plan.date >= 0) glUniform4fv(plan.date, 1, frame.date.data());
    if (plan.renderSize >= 0) glUniform2f(plan.renderSize, w, h);
    if (plan.passIndex >= 0) glUniform1i(plan.passIndex, pass);
    for (const UniformSetter& setter : plan.uniforms) {
        if (frame.paramValues == nullptr) break;
        const float* value = frame.paramValues[setter.index];
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
                        next < kMaxParams ? frame.paramValues[next][0] : 0.0f);
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
    glCheck("drawing pass", pass);
}

bool GlRenderer::drawFrame(const FrameInput& frame, int32_t passCount) {
    const GLint maxSize = context.maxTextureSize();
    if (frame.width > maxSize || frame.height > maxSize) return false;
    if (!uploadLayers(frame, maxSize)) return false;

    std::array<Size, kMaxPasses> sizes{};
    for (int32_t p = 0; p < passCount; ++p)
        sizes[size_t(p)] = passSizeFor(p, passCount, frame);

    const int32_t keptRead = frame.keptRead;
    const int32_t keptWrite = 1 - keptRead;
    keptLabels[size_t(keptWrite)].clear();
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, context.framebuffer());
    glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    // A persistent pass whose previous result has another size or storage starts again from
    // transparent black: a rule that depends on nothing but the frames drawn.
    for (int32_t p = 0; p < passCount; ++p) {
        if (!isPersistent(p)) continue;
        Target& previous = kept_[size_t(keptRead)][size_t(p)];
        const bool fresh = previous.size != sizes[size_t(p)] || previous.format != keptFormat(p);
        if (!fresh) continue;
        keptLabels[size_t(keptRead)].clear();
        if (!prepareTarget(previous, sizes[size_t(p)], keptFormat(p), true)) return false;
    }

    for (int32_t p = 0; p < passCount; ++p) {
        const Size size = sizes[size_t(p)];
        Target& target =
            isPersistent(p) ? kept_[size_t(keptWrite)][size_t(p)] : passTargets_[size_t(p)];
        const GLenum format = isPersistent(p) ? keptFormat(p) : passFormat(p, frame);
        if (isPersistent(p)) {
            // Start from the previous result: read it through the framebuffer into the target.
            Target& previous = kept_[size_t(keptRead)][size_t(p)];
            if (!prepareTarget(target, size, format, false)) return false;
            glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                      previous.texture.get(), 0);
            glBindTexture(GL_TEXTURE_2D, target.texture.get());
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, size.width, size.height);
            glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                      target.texture.get(), 0);
            glCheck("starting from the previous result of pass", p);
        } else {
            if (!prepareTarget(target, size, format, false)) return false;
            glClear(GL_COLOR_BUFFER_BIT);
        }
        // A float pass keeps values outside 0 ... 1; the others are clamped as effects expect.
        const bool unclamped = effectDescription->settings.passOptions[size_t(p)].floatStorage;
        glClampColorARB(GL_CLAMP_FRAGMENT_COLOR_ARB, unclamped ? GL_FALSE : GL_TRUE);
        drawPass(p, frame, size);
        drawnSizes_[size_t(p)] = size;
    }

    glUseProgram(0);
    glClampColorARB(GL_CLAMP_FRAGMENT_COLOR_ARB, GL_TRUE);
    if (!readBack(frame, sizes[size_t(passCount - 1)])) return false;
    glFinish();
    return true;
}

bool GlRenderer::readBack(const FrameInput& frame, Size size) {
    if (frame.take == nullptr) return true;
    // The last pass's texture is still the framebuffer's attachment. Strips that fit the cache:
    // the taker reads each just after GL wrote it, not after a whole frame went by.
    constexpr int64_t kStripBytes = 256 * 1024;
    const int64_t rowBytes = int64_t(size.width) * (frame.readType == GL_FLOAT ? 16 : 4);
    const auto strip = static_cast<int32_t>(std::max<int64_t>(1, kStripBytes / rowBytes));
    const size_t bytes = static_cast<size_t>(std::min<int64_t>(strip, size.height) * rowBytes);
    if (strip_.size() < bytes) strip_.assign(bytes, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    for (int32_t y = 0; y < size.height; y += strip) {
        const int32_t rows = std::min(strip, size.height - y);
        glReadPixels(0, y, size.width, rows, GL_RGBA, frame.readType, strip_.data());
        glCheck("reading the result back");
        frame.take(frame.takeContext, y, rows, strip_.data());
    }
    return true;
}

bool GlRenderer::readKept(int32_t set, std::vector<KeptImage>& images) {
    images.clear();
    if ((set != 0 && set != 1) || !resourcesAllocated || !context.activate()) return false;
    bool ok = true;
    try {
        for (int32_t p = 0; p < kMaxPasses; ++p) {
            const Target& target = kept_[size_t(set)][size_t(p)];
            if (!isPersistent(p) || target.size.width < 1 || !target.texture) continue;
            KeptImage image;
            image.pass = p;
            image.width = target.size.width;
            image.height = target.size.height;
            image.isFloat = target.format != GL_RGBA8;
            image.pixels.resize(size_t(image.width) * size_t(image.height) *
                                pixelBytes(target.format));
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, target.texture.get());
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            glPixelStorei(GL_PACK_ROW_LENGTH, 0);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, image.isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE,
                          image.pixels.data());
            glCheck("reading a kept result of pass", p);
            images.push_back(std::move(image));
        }
    } catch (...) {
        images.clear();
        ok = false;
    }
    context.deactivate();
    return ok;
}

bool GlRenderer::writeKept(int32_t set, const std::vector<KeptImage>& images) {
    if (set != 0 && set != 1) return false;
    clearKept(set);
    if (!resourcesAllocated || !context.activate()) return false;
    bool ok = true;
    try {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, context.framebuffer());
        for (const KeptImage& image : images) {
            const GLenum format = image.isFloat ? GLenum(GL_RGBA32F_ARB) : GLenum(GL_RGBA8);
            const size_t expected = size_t(std::max(image.width, 0)) *
                                    size_t(std::max(image.height, 0)) * pixelBytes(format);
            if (!isPersistent(image.pass) || image.width < 1 || image.height < 1 ||
                image.width > context.maxTextureSize() || image.height > context.maxTextureSize() ||
                image.pixels.size() != expected)
                continue;
            Target& target = kept_[size_t(set)][size_t(image.pass)];
            if (!prepareTarget(target, Size{image.width, image.height}, format, false)) {
                ok = false;
                break;
            }
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width, image.height, GL_RGBA,
                            image.isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE, image.pixels.data());
            glCheck("restoring a kept result of pass", image.pass);
        }
    } catch (...) {
        ok = false;
    }
    if (!ok) clearKept(set);
    context.deactivate();
    return ok;
}

void GlRenderer::clearKept(int32_t set) {
    if (set != 0 && set != 1) return;
    // A set without size is given storage, cleared to transparent black, by the next frame.
    for (Target& target : kept_[size_t(set)]) {
        target.size = Size{};
        target.complete = false;
    }
    keptLabels[size_t(set)].clear();
}

size_t GlRenderer::keptBytes() const {
    size_t bytes = 0;
    for (const auto& set : kept_)
        for (const Target& target : set)
            if (target.texture)
                bytes += size_t(target.size.width) * size_t(target.size.height) *
                         pixelBytes(target.format == 0 ? GL_RGBA8 : target.format);
    return bytes;
}

} // namespace glfx
