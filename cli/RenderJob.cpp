#include "RenderJob.h"

#include "EffectSource.h"
#include "FileSystem.h"

#include "effect/CodeContainer.h"
#include "gl/GlContext.h"
#include "resources/SlotPatcher.h"
#include "shaders/DefineMap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace glfx::cli {
namespace {

std::string errorName(PF_Err err) {
    switch (err) {
    case PF_Err_OUT_OF_MEMORY:
        return "out of memory";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
        return "internal structure damaged";
    case PF_Err_INVALID_INDEX:
        return "invalid index";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
        return "unrecognised parameter type";
    case PF_Err_INVALID_CALLBACK:
        return "invalid callback";
    case PF_Err_BAD_CALLBACK_PARAM:
        return "bad callback parameter";
    default:
        return "error";
    }
}

// " (error 512, internal structure damaged: what the plug-in said)"
std::string errorText(PF_Err err, const std::string& message) {
    std::string text = " (error " + std::to_string(err) + ", " + errorName(err);
    if (!message.empty()) text += ": " + message;
    return text + ")";
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Sides every GPU the plug-in runs on takes; only a larger picture makes the driver be asked.
constexpr int32_t kSideEveryGpuTakes = 4096;

// GL_MAX_TEXTURE_SIZE on a context of our own, asked once per run; 0 when there is no context
// (the plug-in then says so itself).
int32_t gpuTextureLimit() {
    static const int32_t limit = [] {
        GlContext context;
        context.create();
        if (!context.isValid() || !context.activate()) return 0;
        GLint size = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
        context.deactivate();
        context.close();
        return int32_t(size);
    }();
    return limit;
}

// Refuses, naming `what`, a picture the GPU cannot hold as a texture.
void checkGpuTakes(const std::string& what, int32_t width, int32_t height) {
    if (std::max(width, height) <= kSideEveryGpuTakes) return;
    const int32_t limit = gpuTextureLimit();
    if (limit > 0 && std::max(width, height) > limit)
        throw CommandError(what + ": image size " + std::to_string(width) + " x " +
                           std::to_string(height) + " is larger than the GPU's largest texture (" +
                           std::to_string(limit) + " pixels a side); scale it down to render it");
}

hostsim::Image takeSpare(std::vector<hostsim::Image>& spare) {
    hostsim::Image image;
    if (!spare.empty()) {
        image = std::move(spare.back());
        spare.pop_back();
    }
    return image;
}

A_long clampTime(double t) {
    return static_cast<A_long>(std::clamp(t, -2147483647.0, 2147483647.0));
}

} // namespace

RenderJob::~RenderJob() {
    // A failed frame leaves the instance set up; set-down frees what the plug-in holds for it.
    try {
        finish();
    } catch (...) {
    }
    // The library must be gone before its file and the folders it used.
    host_.reset();
    restoreConfigHome();
    temporary_.reset();
}

void RenderJob::restoreConfigHome() {
    if (!configRedirected_) return;
#ifndef _WIN32
    if (hadConfigHome_)
        ::setenv("XDG_CONFIG_HOME", savedConfigHome_.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
#endif
    configRedirected_ = false;
}

void RenderJob::setFrameRate(double fps) {
    if (std::fabs(fps - std::round(fps)) < 1e-9) {
        timeScale_ = static_cast<A_u_long>(std::lround(fps));
        timeStep_ = 1;
    } else {
        timeScale_ = static_cast<A_u_long>(std::lround(fps * 100.0));
        timeStep_ = 100;
    }
}

A_long RenderJob::hostTime(double frame) const {
    return clampTime(std::round(frame * double(timeStep_)));
}

void RenderJob::load(const std::string& effectPath, const std::string& pluginPath) {
    std::string path = effectPath.empty() ? pluginPath : effectPath;
    if (path.empty()) path = builtInPluginLibrary();
    EffectSource source = loadEffectSource(path);
    label_ = path;
    if (!source.parseError.empty())
        throw CommandError(path + ": " + source.parseError + " (glfx check " + path +
                           " shows more)");
    description_ = source.description;
    if (source.origin.library) {
        // dlopen and LoadLibrary search their library paths for a bare file name; a full path
        // never is searched.
        library_ = absolutePath(path);
        // The template library reads its code from the per-user folder, so only it sees the
        // user's own; a packed library reads nothing there.
        if (source.origin.form.rfind("template", 0) != 0) {
            temporary_ = std::make_unique<TemporaryFolder>();
            redirectConfigHome();
        }
        return;
    }

    PackRequest request;
    request.code = source.imported ? source.code : readWholeFile(path, "effect file");
    warnings_.insert(warnings_.end(), source.warnings.begin(), source.warnings.end());
    request.name =
        description_.settings.name.empty() ? "Untitled effect" : description_.settings.name;
    request.category = description_.settings.category;
    // A text that cannot be enciphered goes into this private library as it is.
    try {
        encipherCode(request.code, request.name);
    } catch (const std::invalid_argument&) {
        request.plain = request.code.find('\0') == std::string::npos;
    }
    const std::string templatePath = templateLibrary("");
    std::string image = readWholeFile(templatePath, "template library");
    try {
        packLibrary(image, request);
    } catch (const std::exception& e) {
        throw CommandError(path + ": " + e.what());
    }
    temporary_ = std::make_unique<TemporaryFolder>();
    library_ = absolutePath(temporary_->path() + "/effect" + kLibrarySuffix);
    writeFileAtomically(library_, image, true);
    redirectConfigHome();
}

// A packed library does not read the per-user folder, but its global set-up still creates the
// folder levels; they go into the temporary folder instead of the user's.
void RenderJob::redirectConfigHome() {
#ifdef _WIN32
    // The shell answers the application-data folder from the user's profile, and no variable moves
    // it: there the set-up makes its empty folders, as it does in the host.
#else
    const std::string config = temporary_->path() + "/config";
    std::error_code ignored;
    std::filesystem::create_directory(config, ignored);
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadConfigHome_ = old != nullptr;
    if (old != nullptr) savedConfigHome_ = old;
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    configRedirected_ = true;
#endif
}

int RenderJob::findParam(const std::string& name) const {
    const int count = std::clamp<int32_t>(description_.settings.paramCount, 0, kMaxParams);
    std::vector<int> hits;
    for (int pass = 0; pass < 3 && hits.empty(); ++pass)
        for (int i = 1; i < count; ++i) {
            const ParamSpec& p = description_.params[i];
            if ((pass == 0 && p.name == name) || (pass == 1 && p.uniform == name) ||
                (pass == 2 && equalsIgnoringCase(p.name, name)))
                hits.push_back(i);
        }
    if (hits.size() == 1) return hits.front();
    if (hits.size() > 1) {
        std::string list;
        for (int i : hits)
            list += (list.empty() ? "" : ", ") + std::to_string(i) + " (uniform \"" +
                    description_.params[i].uniform + "\")";
        throw CommandError("several parameters of " + label_ + " are called \"" + name +
                           "\": " + list + "; name one by its uniform");
    }
    std::string known;
    int listed = 0;
    for (int i = 1; i < count; ++i) {
        const ParamSpec& p = description_.params[i];
        if (p.type == ParamType::TopicStart || p.type == ParamType::TopicEnd ||
            p.type == ParamType::None)
            continue;
        if (++listed > 12) {
            known += ", ...";
            break;
        }
        known += (known.empty() ? "" : ", ") + p.name + " (" + p.uniform + ")";
    }
    throw CommandError(
        label_ + " has no parameter \"" + name + "\"" +
        (known.empty() ? std::string(" (it has none)") : "; its parameters are " + known));
}

void RenderJob::setParam(const std::string& name, const std::string& value) {
    const int index = findParam(name);
    const ParamSpec& spec = description_.params[index];
    if (spec.type == ParamType::Layer)
        throw CommandError("\"" + name +
                           "\" is a layer parameter; give it an image with --layer \"" + name +
                           "=FILE\"");
    if (params_.count(index)) throw CommandError("parameter \"" + spec.name + "\" is given twice");
    ValueTrack track;
    std::string error;
    if (!parseTrack(spec, value, track, error)) throw CommandError(error);
    if (track.keys.size() > 1 && isDefiningParam(description_, index))
        warnings_.push_back("\"" + spec.name +
                            "\" becomes a #define; the plug-in recompiles it only when a user "
                            "changes it, so its keyframes after the first frame change nothing");
    params_[index] = std::move(track);
}

void RenderJob::setLayer(const std::string& name, const std::string& file) {
    const int index = findParam(name);
    const ParamSpec& spec = description_.params[index];
    if (spec.type != ParamType::Layer)
        throw CommandError("\"" + name + "\" is a " + paramTypeKeyword(spec.type) +
                           " parameter, not a layer; give it with --param \"" + name + "=VALUE\"");
    if (layers_.count(index)) throw CommandError("layer \"" + spec.name + "\" is given twice");
    Layer layer;
    layer.file = file;
    layer.sequence = isFramePattern(file);
    imageFormatOf(file);
    if (!layer.sequence) open(file); // a bad file fails before the plug-in loads
    layers_[index] = std::move(layer);
}

PF_ParamDefUnion RenderJob::toUnion(int index, const ParamValue& value) const {
    PF_ParamDefUnion u = host_->declaredParams()[size_t(index) - 1].def.u;
    const auto fixed = [](double v) {
        return static_cast<PF_Fixed>(std::llround(std::clamp(v, kMinFixed, kMaxFixed) * 65536.0));
    };
    const auto level = [](double v) {
        return static_cast<A_u_char>(std::lround(std::clamp(v, 0.0, 255.0)));
    };
    switch (description_.params[index].type) {
    case ParamType::Int:
    case ParamType::Float:
    case ParamType::Float2:
        u.fs_d.value = value.v[0];
        break;
    case ParamType::Check:
        u.bd.value = value.v[0] != 0.0;
        break;
    case ParamType::Popup:
        u.pd.value = static_cast<A_long>(value.v[0]);
        break;
    case ParamType::Color:
        u.cd.value.alpha = 255;
        u.cd.value.red = level(value.v[0]);
        u.cd.value.green = level(value.v[1]);
        u.cd.value.blue = level(value.v[2]);
        break;
    case ParamType::Angle:
        u.ad.value = fixed(value.v[0]);
        break;
    case ParamType::Point:
        u.td.x_value = fixed(value.v[0]);
        u.td.y_value = fixed(value.v[1]);
        break;
    default:
        break;
    }
    return u;
}

void RenderJob::start() {
    try {
        host_ = std::make_unique<hostsim::Host>(library_, app);
    } catch (const std::exception& e) {
        throw CommandError("cannot load the plug-in " + library_ + ": " + e.what());
    }
    host_->timeScale = timeScale_;
    host_->timeStep = timeStep_;
    PF_Err err = host_->start();
    if (err != PF_Err_NONE)
        throw CommandError("the plug-in's set-up failed" + errorText(err, host_->returnMessage()));
    const int count =
        std::max<int32_t>(std::clamp<int32_t>(description_.settings.paramCount, 0, kMaxParams), 1);
    if (host_->numParams() != count || host_->declaredParams().size() != size_t(count - 1))
        throw CommandError("the plug-in declared " + std::to_string(host_->numParams()) +
                           " parameters, but " + label_ + " describes " + std::to_string(count) +
                           "; it does not run the effect that was read");
    instance_ = &host_->addInstance();
    err = host_->sequenceSetup(*instance_);
    if (err != PF_Err_NONE)
        throw CommandError("the plug-in's sequence set-up failed" +
                           errorText(err, host_->returnMessage()));

    for (const auto& [index, track] : params_) {
        if (track.keys.size() == 1) {
            err = host_->changeParam(*instance_, index, toUnion(index, track.keys[0].value));
            if (err != PF_Err_NONE)
                throw CommandError("the plug-in refused the value of \"" +
                                   description_.params[index].name + "\"" +
                                   errorText(err, host_->returnMessage()));
        } else {
            auto& keys = instance_->keyframes[index];
            for (const Keyframe& key : track.keys)
                keys[hostTime(key.time)] = toUnion(index, key.value);
        }
    }
}

int64_t RenderJob::layerOffset(int index) const {
    return truncateToInt32(description_.params[index].defaultValue[0]);
}

int RenderJob::frameDepth(int fileDepth) const {
    if (app == hostsim::HostApp::PremierePro) return 8;
    return bpc != 0 ? bpc : fileDepth;
}

hostsim::ChannelOrder RenderJob::frameOrder() const {
    return app == hostsim::HostApp::PremierePro ? hostsim::ChannelOrder::Bgra
                                                : hostsim::ChannelOrder::Argb;
}

std::unique_ptr<ImageFile> RenderJob::open(const std::string& path) const {
    auto file = std::make_unique<ImageFile>(path);
    checkGpuTakes(path, file->header().width, file->header().height);
    return file;
}

void RenderJob::decode(const std::string& path, int depth, hostsim::Image& into) const {
    open(path)->read(into, depth, frameOrder());
}

void RenderJob::loadFrame(int64_t frame, FrameInputs& into) {
    const std::string where = "frame " + std::to_string(frame);
    into.frame = frame;
    into.warnings.clear();
    into.input.clear(into.spare);
    for (auto& layer : into.layers)
        layer.second.clear(into.spare);
    into.layers.clear();

    // The input at the frame; its header sets the frame's depth.
    const bool inputSequence = !input.empty() && isFramePattern(input);
    if (inputSequence) {
        const std::string file = framePath(input, frame);
        if (!isRegularFile(file))
            throw CommandError(where + ": input " + file + " does not exist (sequence " + input +
                               ")");
        std::unique_ptr<ImageFile> image = open(file);
        into.depth = frameDepth(image->header().depth);
        hostsim::Image picture = takeSpare(into.spare);
        image->read(picture, into.depth, frameOrder());
        into.input.add(hostTime(double(frame)), std::move(picture));
    } else if (!stillsLoaded_) {
        hostsim::Image picture;
        if (input.empty()) {
            into.depth = frameDepth(8);
            checkGpuTakes("--size", blankWidth, blankHeight);
            picture.reset(blankWidth, blankHeight, into.depth, frameOrder(), 0, 0, 0);
        } else {
            std::unique_ptr<ImageFile> image = open(input);
            into.depth = frameDepth(image->header().depth);
            image->read(picture, into.depth, frameOrder());
        }
        inputStill_ = hostsim::Clip(std::move(picture));
    } else {
        into.depth = inputStill_.at(0)->depth;
    }

    // Wherever a layer parameter shows a picture of its own or the input at another time.
    const int count = std::clamp<int32_t>(description_.settings.paramCount, 0, kMaxParams);
    for (int i = 1; i < count; ++i) {
        if (description_.params[i].type != ParamType::Layer) continue;
        const int64_t at = frame + layerOffset(i);
        auto chosen = layers_.find(i);
        if (chosen == layers_.end()) {
            // It shows the effect's own layer, read at its own time.
            if (!inputSequence || at == frame) continue;
            const std::string file = framePath(input, at);
            if (isRegularFile(file)) {
                hostsim::Image picture = takeSpare(into.spare);
                decode(file, into.depth, picture);
                into.input.add(hostTime(double(at)), std::move(picture));
            } else {
                into.input.add(hostTime(double(at)), hostsim::Image::make(0, 0, into.depth));
                if (!inputWarned_)
                    into.warnings.push_back(
                        where + ": the input has no frame " + std::to_string(at) + " for layer \"" +
                        description_.params[i].name + "\"; it shows no picture there");
                inputWarned_ = true;
            }
            continue;
        }
        Layer& layer = chosen->second;
        if (!layer.sequence) {
            // Set once; the instance keeps showing it.
            if (stillsLoaded_) continue;
            hostsim::Image picture;
            decode(layer.file, into.depth, picture);
            into.layers[i] = hostsim::Clip(std::move(picture));
            continue;
        }
        const std::string file = framePath(layer.file, at);
        if (isRegularFile(file)) {
            hostsim::Image picture = takeSpare(into.spare);
            decode(file, into.depth, picture);
            into.layers[i] = hostsim::Clip(std::move(picture));
        } else {
            into.layers[i] = hostsim::Clip();
            if (!layer.warnedMissing)
                into.warnings.push_back(where + ": layer \"" + description_.params[i].name +
                                        "\" has no frame " + std::to_string(at) + " (" + file +
                                        "); it shows no picture there");
            layer.warnedMissing = true;
        }
    }
    stillsLoaded_ = true;
}

void RenderJob::renderFrame(FrameInputs& inputs, hostsim::Image& out) {
    const std::string where = "frame " + std::to_string(inputs.frame);
    warnings_.insert(warnings_.end(), inputs.warnings.begin(), inputs.warnings.end());
    inputs.warnings.clear();
    // The clips the instance showed before come back into `inputs`, whose next loadFrame reuses
    // their buffers.
    for (auto& layer : inputs.layers)
        std::swap(instance_->layers[layer.first], layer.second);

    hostsim::RenderOptions options;
    options.path = path;
    const hostsim::Clip& clip = inputs.input.empty() ? inputStill_ : inputs.input;
    const PF_Err err =
        host_->render(*instance_, clip, hostTime(double(inputs.frame)), out, options);
    if (err != PF_Err_NONE)
        throw CommandError(where + ": the plug-in's render failed" +
                           errorText(err, host_->returnMessage()));
    if ((host_->lastOutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0) {
        // The plug-in's message says why; only a shader that failed to build is check's matter.
        const std::string said = host_->returnMessage();
        const std::string hint = said.find("GPU render failed: pass ") == 0
                                     ? " (glfx check " + label_ + " shows the shader errors)"
                                 : said.find("texture limit") != std::string::npos
                                     ? " (render it smaller)"
                                     : "";
        throw CommandError(where + ": the plug-in did not draw the frame: " + said + hint);
    }
    if (out.empty()) throw CommandError(where + ": the plug-in produced an empty frame");
}

void RenderJob::finish() {
    if (!host_ || finished_) return;
    finished_ = true;
    const PF_Err err = host_->finish();
    if (err != PF_Err_NONE)
        warnings_.push_back("the plug-in's set-down failed" +
                            errorText(err, host_->returnMessage()));
}

std::vector<std::string> RenderJob::hostProblems() const {
    return host_ ? host_->problems() : std::vector<std::string>{};
}

} // namespace glfx::cli
