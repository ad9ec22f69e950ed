#include "render/FrameRender.h"

#include "AE_EffectCBSuites.h"
#include "gl/GlRenderer.h"
#include "host/HostSuites.h"
#include "params/ParamValues.h"
#include "render/Feedback.h"
#include "render/ParamCheckouts.h"
#include "shaders/DefineMap.h"
#include "shaders/RenderState.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace glfx {
namespace {

constexpr int32_t kEmptyLayerSide = 100;

float ratio(const PF_RationalScale& scale) {
    if (scale.den == 0) return 1.0f;
    return static_cast<float>(scale.num) / static_cast<float>(scale.den);
}

// A world's size, or 100 x 100 for one that has no pixels to give.
void stagedSize(const PF_EffectWorld* world, int32_t& width, int32_t& height) {
    if (world == nullptr || world->data == nullptr || world->width <= 0 || world->height <= 0) {
        width = height = kEmptyLayerSide;
        return;
    }
    width = world->width;
    height = world->height;
}

int64_t area(int32_t width, int32_t height) {
    return static_cast<int64_t>(width) * height;
}

const char* stageName(GLenum stage) {
    switch (stage) {
    case GL_VERTEX_SHADER:
        return "vertex shader";
    case GL_FRAGMENT_SHADER:
        return "fragment shader";
    default:
        return "program";
    }
}

std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

// A short message into return_msg: the host shows at most its 255 bytes.
void showMessage(PF_OutData* out_data, const std::string& text) {
    std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s", text.c_str());
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
}

} // namespace

void recordFrameFacts(const PF_InData* in_data, SequenceState& state) {
    state.pixelAspect = ratio(in_data->pixel_aspect_ratio);
    state.downsampleX = ratio(in_data->downsample_x);
    state.downsampleY = ratio(in_data->downsample_y);
    state.currentTime = in_data->current_time;
}

void sizeLayers(SequenceState& state, const EffectDescription& description,
                const void* const* worlds) {
    const int32_t first = std::clamp<int32_t>(description.settings.noinput, 0, kMaxLayers);
    const int32_t layers = std::clamp<int32_t>(description.settings.layerCount, 0, kMaxLayers);
    for (int32_t k = first; k < layers; ++k)
        stagedSize(static_cast<const PF_EffectWorld*>(worlds[k]), state.layerWidth[k],
                   state.layerHeight[k]);
}

float* stagingBuffer(SequenceState& state, int32_t slot) {
    float*& buffer = state.layerBuffers[slot];
    const int64_t needed = area(state.layerWidth[slot], state.layerHeight[slot]);
    if (buffer == nullptr ||
        needed > area(state.layerAllocWidth[slot], state.layerAllocHeight[slot])) {
        float* replacement = new float[static_cast<size_t>(std::max<int64_t>(needed, 1)) * 4];
        delete[] buffer;
        buffer = replacement;
        state.layerAllocWidth[slot] = state.layerWidth[slot];
        state.layerAllocHeight[slot] = state.layerHeight[slot];
    }
    return buffer;
}

FrameInput frameFacts(const PF_InData* in_data, const SequenceState& state, int32_t width,
                      int32_t height) {
    FrameInput frame;
    frame.width = width;
    frame.height = height;
    frame.hostTime = in_data->current_time;
    const double scale = static_cast<double>(in_data->time_scale);
    const double step = std::abs(static_cast<double>(in_data->time_step));
    if (scale > 0) {
        frame.seconds = static_cast<double>(in_data->current_time) / scale;
        frame.frameSeconds = step / scale;
    }
    if (step > 0) frame.framesPerSecond = scale / step;
    frame.frameIndex =
        static_cast<int32_t>(frameIndexAt(in_data->current_time, in_data->time_step));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    frame.date = {static_cast<float>(local.tm_year + 1900), static_cast<float>(local.tm_mon + 1),
                  static_cast<float>(local.tm_mday),
                  static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec)};
    frame.downsampleX = state.downsampleX;
    frame.downsampleY = state.downsampleY;
    frame.pixelAspect = state.pixelAspect;
    frame.paramValues = state.paramValues;
    return frame;
}

int hostPixelBytes(PF_PixelFormat format) {
    switch (format) {
    case PF_PixelFormat_ARGB32:
        return 4;
    case PF_PixelFormat_ARGB64:
        return 8;
    case PF_PixelFormat_ARGB128:
        return 16;
    default:
        return 0;
    }
}

bool writeUndrawnFrame(const PF_EffectWorld* input, PF_EffectWorld* output, int pixelBytes) {
    const size_t row = static_cast<size_t>(output->width) * static_cast<size_t>(pixelBytes);
    const bool copy = input != nullptr && input->data != nullptr && output != nullptr &&
                      input->width == output->width && input->height == output->height;
    if (output == nullptr || output->data == nullptr || output->width <= 0) return copy;
    for (int32_t y = 0; y < output->height; ++y) {
        char* to =
            reinterpret_cast<char*>(output->data) + static_cast<ptrdiff_t>(y) * output->rowbytes;
        if (copy)
            std::memmove(to,
                         reinterpret_cast<const char*>(input->data) +
                             static_cast<ptrdiff_t>(y) * input->rowbytes,
                         row);
        else
            std::memset(to, 0, row);
    }
    return copy;
}

std::string undrawnFrameMessage(const GlRenderer* renderer, int32_t width, int32_t height,
                                bool passedThrough) {
    std::string why;
    if (renderer == nullptr || !renderer->context.isValid()) {
        const std::string reason =
            renderer != nullptr ? firstLine(renderer->context.creationError()) : std::string();
        why = "no OpenGL context could be made" + (reason.empty() ? "" : " (" + reason + ")");
    } else if (!renderer->programsOk) {
        if (!renderer->buildMessages.empty()) {
            const GlRenderer::BuildMessage& m = renderer->buildMessages.front();
            why = "pass " + std::to_string(m.pass) + " " + stageName(m.stage) +
                  " failed: " + firstLine(m.log);
        } else {
            why = firstLine(renderer->errorText);
            if (why.empty()) why = "the shaders were not built";
        }
    } else if (renderer->effectDescription != nullptr &&
               renderer->effectDescription->settings.passCount < 1) {
        why = "the effect has no shader pass";
    } else if (width > renderer->context.maxTextureSize() ||
               height > renderer->context.maxTextureSize()) {
        why = "the frame of " + std::to_string(width) + "x" + std::to_string(height) +
              " exceeds the GPU's texture limit of " +
              std::to_string(renderer->context.maxTextureSize());
    } else {
        why = "the GPU could not draw the " + std::to_string(width) + "x" + std::to_string(height) +
              " frame";
    }
    return "GPU render failed: " + why +
           (passedThrough ? ". The input is shown unchanged."
                          : ". The output is left transparent.");
}

namespace {

// How a frame's layers reach GL: staged by `staging` (or read in place when `direct`), uploaded as
// uploadFormat/uploadType say.
struct UploadPlan {
    Transfer staging;
    GLenum uploadFormat = GL_RGBA;
    GLenum uploadType = stagingPixelType(staging);
    GLenum readType = stagingPixelType(staging);
    bool argbSwizzle = false;
    bool direct = false;
};

// Where GL can take the host's pixels as they lie, nothing is converted or copied on the CPU: the
// raw transfers; 8-bit layers as bytes GL normalises (where it does so exactly); 32-bit layers as
// alpha, red, green, blue floats that the input textures swizzle back to RGBA (exact: nothing is
// computed). Everything else is converted into the staging buffers.
UploadPlan planUpload(GlRenderer& renderer, Transfer transfer) {
    UploadPlan plan{transfer};
    uint32_t format = 0, type = 0;
    if (transfer == Transfer::Raw8 || transfer == Transfer::Raw32) {
        plan.direct = true;
    } else if (packedUploadIsExact(renderer, transfer) && packedUpload(transfer, &format, &type)) {
        plan.staging = Transfer::Raw8;
        plan.uploadFormat = format;
        plan.uploadType = type;
        plan.direct = true;
    } else if (transfer == Transfer::Converting32 && renderer.canSwizzle) {
        plan.staging = Transfer::Raw32;
        plan.argbSwizzle = true;
        plan.direct = true;
    }
    return plan;
}

// A world GL can read in place for a layer staged at width x height: its pixels are there, of that
// size, rows a whole number of pixels apart going down.
bool readableInPlace(const PF_EffectWorld* world, int32_t width, int32_t height, int pixelBytes) {
    return world != nullptr && world->data != nullptr && world->width == width &&
           world->height == height && world->rowbytes >= width * pixelBytes &&
           world->rowbytes % pixelBytes == 0;
}

// The layers of `worlds` into `frame`: read in place where the plan allows, else converted into
// the record's staging buffers.
void stageLayers(const UploadPlan& plan, SequenceState& state, const EffectDescription& description,
                 const void* const* worlds, FrameInput& frame) {
    sizeLayers(state, description, worlds);
    frame.uploadFormat = plan.uploadFormat;
    frame.uploadType = plan.uploadType;
    frame.argbSwizzle = plan.argbSwizzle;
    frame.layers = {};
    const int32_t first = std::clamp<int32_t>(description.settings.noinput, 0, kMaxLayers);
    const int32_t layers = std::clamp<int32_t>(description.settings.layerCount, 0, kMaxLayers);
    const int pixelBytes = stagingPixelBytes(plan.staging);
    for (int32_t k = first; k < layers; ++k) {
        const auto* world = static_cast<const PF_EffectWorld*>(worlds[k]);
        const int32_t w = state.layerWidth[k], h = state.layerHeight[k];
        FrameLayer& layer = frame.layers[size_t(k)];
        layer.width = w;
        layer.height = h;
        if (plan.direct && readableInPlace(world, w, h, pixelBytes)) {
            layer.pixels = world->data;
            layer.rowPixels = world->rowbytes / pixelBytes;
        } else {
            float* buffer = stagingBuffer(state, k);
            uploadWorld(plan.staging, world, w, h, buffer);
            layer.pixels = buffer;
        }
    }
}

// Earlier frames for the history of persistent passes: each one's parameters and layers checked
// out at its time, converted and staged as the frame being drawn is, and checked back in before
// the next.
class HostHistory : public HistorySource {
public:
    HostHistory(PF_InData* in_data, SequenceState& state, const EffectDescription& description,
                const UploadPlan& plan)
        : in_(in_data), state_(state), description_(description), plan_(plan), checkouts_(in_data) {
    }

    PF_Err fetch(int64_t index, FrameInput& input) override {
        const PF_Err checkedIn = checkouts_.checkIn();
        if (checkedIn != PF_Err_NONE) return checkedIn;
        const int64_t step = std::abs(int64_t(in_->time_step));
        const auto time = static_cast<A_long>(index * step);
        const PF_Err err = checkouts_.checkOut(description_, time, 0);
        if (err != PF_Err_NONE) return err;
        std::memcpy(values_, state_.paramValues, sizeof values_);
        const PF_EffectWorld* worlds[kMaxLayers] = {};
        convertFrameValues(description_, checkouts_.list(), values_, worlds);
        const PF_ParamDef* input0 = checkouts_.list()[0];
        worlds[0] = input0 != nullptr && input0->u.ld.data != nullptr ? &input0->u.ld : nullptr;
        stageLayers(plan_, state_, description_, reinterpret_cast<const void* const*>(worlds),
                    input);
        input.paramValues = values_;
        input.hostTime = time;
        input.frameIndex = static_cast<int32_t>(index);
        const double scale = static_cast<double>(in_->time_scale);
        input.seconds = scale > 0 ? static_cast<double>(time) / scale : 0.0;
        return PF_Err_NONE;
    }

    PF_Err release() override { return checkouts_.checkIn(); }

    void restoreCurrent(FrameInput& current) override {
        stageLayers(plan_, state_, description_, state_.layerWorlds, current);
    }

private:
    PF_InData* in_;
    SequenceState& state_;
    const EffectDescription& description_;
    const UploadPlan& plan_;
    ParamCheckouts checkouts_;
    float values_[kMaxParams][4];
};

} // namespace

bool packedUploadIsExact(GlRenderer& renderer, Transfer transfer) {
    uint32_t format = 0, type = 0;
    if (!packedUpload(transfer, &format, &type) || !renderer.context.isValid()) return false;
    const uint64_t key = (uint64_t(format) << 32) | type;
    for (const auto& [checked, exact] : renderer.uploadChecks)
        if (checked == key) return exact;
    constexpr int32_t kWidth = 256;
    uint8_t bytes[kWidth * 4];
    for (int32_t i = 0; i < kWidth; ++i)
        for (int32_t c = 0; c < 4; ++c)
            bytes[4 * i + c] = static_cast<uint8_t>(i + 64 * c);
    PF_EffectWorld world;
    std::memset(&world, 0, sizeof world);
    world.width = kWidth;
    world.height = 1;
    world.rowbytes = kWidth * 4;
    world.data = reinterpret_cast<PF_PixelPtr>(bytes);
    std::vector<float> cpu(kWidth * 4);
    uploadWorld(transfer, &world, kWidth, 1, cpu.data());
    const std::vector<float> gl = renderer.probeUpload(format, type, bytes, kWidth);
    const bool exact =
        gl.size() == cpu.size() && std::memcmp(gl.data(), cpu.data(), cpu.size() * 4) == 0;
    renderer.uploadChecks.emplace_back(key, exact);
    return exact;
}

PF_Err renderFrameToWorld(PF_InData* in_data, PF_OutData* out_data, SequenceState& state,
                          PF_EffectWorld* output, const EffectDescription& description) {
    if (output == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    recordFrameFacts(in_data, state);

    GlRenderer* renderer = state.renderer;
    // A renderer without a build (a render after flatten) is built here as well, so its defines
    // are in the preamble from its first frame on.
    if (renderer != nullptr && (state.needsRebuild || !renderer->resourcesAllocated) &&
        renderer->context.isValid()) {
        try {
            renderer->buildPrograms(refreshDefines(state, description));
        } catch (...) {
        }
        renderer->failureShown = false;
    }
    state.needsRebuild = 0;
    state.outputWidth = output->width;
    state.outputHeight = output->height;

    ScopedSuite worldSuite(in_data->pica_basicP, kPFWorldSuite, kPFWorldSuiteVersion2);
    const auto* world = worldSuite.get<PF_WorldSuite2>();
    if (world == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    PF_PixelFormat format = PF_PixelFormat_INVALID;
    if (world->PF_GetPixelFormat(output, &format) != PF_Err_NONE) return PF_Err_BAD_CALLBACK_PARAM;
    Transfer transfer;
    if (!chooseTransfer(format, description.settings.fast, state.hostIsPremiere != 0, &transfer))
        return PF_Err_BAD_CALLBACK_PARAM;

    const bool drawable = renderer != nullptr && renderer->context.isValid();
    const UploadPlan plan = drawable ? planUpload(*renderer, transfer) : UploadPlan{transfer};
    FrameInput frame = frameFacts(in_data, state, output->width, output->height);
    stageLayers(plan, state, description, state.layerWorlds, frame);
    frame.readType = plan.readType;
    frame.eightBit = hostPixelBytes(format) == 4;
    // Each strip of the result goes into the output while it is in the cache.
    struct Download {
        Transfer transfer;
        PF_EffectWorld* output;
    } download{transfer, output};
    frame.takeContext = &download;
    frame.take = [](void* context, int32_t firstRow, int32_t rows, const void* pixels) {
        const auto* d = static_cast<const Download*>(context);
        downloadRows(d->transfer, pixels, d->output, firstRow, rows);
    };

    bool drawn = false;
    if (drawable && usesFeedback(description)) {
        HostHistory history(in_data, state, description, plan);
        FeedbackJob job;
        job.in_data = in_data;
        job.renderer = renderer;
        job.settings = &description.settings;
        job.shape = feedbackShape(frame, in_data, static_cast<int32_t>(format),
                                  state.defines != nullptr ? state.defines->preamble() : "");
        const PF_Err err = drawWithHistory(job, history, frame, drawn);
        if (err != PF_Err_NONE) return err;
    } else if (drawable) {
        drawn = renderer->renderFrame(frame);
    }
    if (drawn) return PF_Err_NONE;
    const auto* input = static_cast<const PF_EffectWorld*>(state.layerWorlds[0]);
    const bool passedThrough = writeUndrawnFrame(input, output, hostPixelBytes(format));
    if (out_data != nullptr && (renderer == nullptr || !renderer->failureShown)) {
        showMessage(out_data,
                    undrawnFrameMessage(renderer, output->width, output->height, passedThrough));
        if (renderer != nullptr) renderer->failureShown = true;
    }
    return PF_Err_NONE;
}

} // namespace glfx
