// Frames: the render commands over clips, the worlds lent to the plug-in, and the layer checkouts
// of the smart render.
#include "hostsim/Host.h"
#include "hostsim/HostCallbacks.h"

#include <algorithm>
#include <cstring>

namespace glfx::hostsim {

// ---- Frames ----------------------------------------------------------------------------------

PF_Err Host::render(Instance& instance, const Clip& input, A_long time, Image& output,
                    const RenderOptions& options) {
    currentTime = time;
    Frame frame;
    frame.instance = &instance;
    frame.input = &input;
    const Image* first = input.at(time);
    if (app_ == HostApp::PremierePro) {
        frame.depth = 8;
        frame.order = ChannelOrder::Bgra;
    } else {
        frame.depth = first != nullptr ? first->depth : 8;
        frame.order = ChannelOrder::Argb;
    }
    const int64_t w = first != nullptr ? first->width : 0;
    const int64_t h = first != nullptr ? first->height : 0;
    instance.layerWidth_ = downsampleX.num > 0 ? w * downsampleX.den / downsampleX.num : w;
    instance.layerHeight_ = downsampleY.num > 0 ? h * downsampleY.den / downsampleY.num : h;

    frame_ = &frame;
    PF_Err err = PF_Err_NONE;
    try {
        err = options.path == RenderPath::Smart
                  ? renderSmart(instance, time, output, options.outputRowPadding)
                  : renderClassic(instance, time, output, options.outputRowPadding);
    } catch (...) {
        frame_ = nullptr;
        loans_.clear();
        throw;
    }
    frame_ = nullptr;
    loans_.clear();
    return err;
}

PF_Err Host::renderClassic(Instance& instance, A_long time, Image& output, int32_t padding) {
    const Image* in = frame_->input->at(time);
    output.reset(in != nullptr ? in->width : 0, in != nullptr ? in->height : 0, frame_->depth,
                 frame_->order, padding, kOutputFill, kPaddingFill);
    frame_->output = &output;
    std::vector<PF_ParamDef> defs = parameterArray(instance, time);
    std::vector<PF_ParamDef*> list;
    for (PF_ParamDef& def : defs)
        list.push_back(&def);
    list.push_back(nullptr);
    frame_->outputWorld = lendOutput(output);
    const PF_Err err = command(PF_Cmd_RENDER, &instance, list.data(), frame_->outputWorld);
    checkOutput();
    return err;
}

PF_Err Host::renderSmart(Instance& instance, A_long time, Image& output, int32_t padding) {
    const Image* in = frame_->input->at(time);
    const PF_LRect full{0, 0, in != nullptr ? in->width : 0, in != nullptr ? in->height : 0};

    PF_PreRenderInput preInput;
    std::memset(&preInput, 0, sizeof preInput);
    preInput.output_request.rect = full;
    preInput.output_request.field = PF_Field_FRAME;
    preInput.output_request.channel_mask = PF_ChannelMask_ARGB;
    preInput.bitdepth = short(frame_->depth);
    PF_PreRenderOutput preOutput;
    std::memset(&preOutput, 0, sizeof preOutput);
    PF_PreRenderCallbacks preCallbacks = detail::preRenderCallbacks();
    PF_PreRenderExtra preExtra{&preInput, &preOutput, &preCallbacks};
    PF_Err err = command(PF_Cmd_SMART_PRE_RENDER, &instance, nullptr, nullptr, &preExtra);
    lastPreRender_ = preOutput;
    if (err != PF_Err_NONE) {
        if (preOutput.delete_pre_render_data_func != nullptr && preOutput.pre_render_data)
            preOutput.delete_pre_render_data_func(preOutput.pre_render_data);
        output.reset(0, 0, frame_->depth, frame_->order, 0, 0, 0);
        return err;
    }

    // The output covers what the effect can produce of what was asked for.
    const PF_LRect& r = preOutput.result_rect;
    const A_long width = std::max<A_long>(0, std::min(r.right, full.right) - std::max(r.left, 0));
    const A_long height = std::max<A_long>(0, std::min(r.bottom, full.bottom) - std::max(r.top, 0));
    output.reset(width, height, frame_->depth, frame_->order, padding, kOutputFill, kPaddingFill);
    frame_->output = &output;
    frame_->outputWorld = lendOutput(output);

    PF_SmartRenderInput input;
    std::memset(&input, 0, sizeof input);
    input.output_request = preInput.output_request;
    input.bitdepth = preInput.bitdepth;
    input.pre_render_data = preOutput.pre_render_data;
    PF_SmartRenderCallbacks callbacks = detail::smartRenderCallbacks();
    PF_SmartRenderExtra extra{&input, &callbacks};
    err = command(PF_Cmd_SMART_RENDER, &instance, nullptr, nullptr, &extra);
    if (preOutput.delete_pre_render_data_func != nullptr && preOutput.pre_render_data != nullptr)
        preOutput.delete_pre_render_data_func(preOutput.pre_render_data);
    checkOutput();
    return err;
}

void Host::checkOutput() {
    if (frame_->output != nullptr && !frame_->output->paddingIs(kPaddingFill))
        problem("the plug-in wrote into the padding bytes between the output's rows");
}

std::vector<PF_ParamDef> Host::parameterArray(Instance& instance, A_long time) {
    std::vector<PF_ParamDef> defs;
    for (PF_ParamIndex i = 0; i < numParams_ && size_t(i) <= declared_.size(); ++i) {
        PF_ParamDef def = definitionAt(instance, i, time);
        if (isLayerParam(i)) {
            const A_long dephault = def.u.ld.dephault;
            const Clip* clip = clipOf(instance, i);
            def.u.ld = *lend(clip != nullptr ? clip->at(time) : nullptr);
            def.u.ld.dephault = dephault;
        }
        defs.push_back(def);
    }
    return defs;
}

PF_Err Host::changeParam(Instance& instance, PF_ParamIndex index, const PF_ParamDefUnion& value) {
    instance.keyframes.erase(index);
    instance.values[index] = value;
    return userChangedParam(instance, index);
}

PF_Err Host::userChangedParam(Instance& instance, PF_ParamIndex index) {
    std::vector<PF_ParamDef> defs = parameterArray(instance, currentTime);
    std::vector<PF_ParamDef*> list;
    for (PF_ParamDef& def : defs)
        list.push_back(&def);
    list.push_back(nullptr);
    PF_UserChangedParamExtra extra{index};
    const PF_Err err = command(PF_Cmd_USER_CHANGED_PARAM, &instance, list.data(), nullptr, &extra);
    loans_.clear();
    return err;
}

PF_Err Host::checkoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long id,
                           const PF_RenderRequest* request, A_long time,
                           PF_CheckoutResult* result) {
    Instance* instance = instanceOf(effect_ref, "checkout_layer");
    if (instance == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (currentCmd_ != PF_Cmd_SMART_PRE_RENDER || frame_ == nullptr) {
        problem("checkout_layer outside the smart pre-render");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (request == nullptr || result == nullptr) {
        problem("checkout_layer without a request or a result record");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!isLayerParam(index) || index >= numParams_) {
        problem("checkout_layer of parameter " + std::to_string(index) + ", not a layer");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (id < 0 || frame_->layers.count(id) != 0) {
        problem("checkout_layer with checkout id " + std::to_string(id) +
                ", negative or used twice");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (checkoutFails()) return inject.checkoutError;
    if (index > 0 && inject.layerCheckoutError != PF_Err_NONE) return inject.layerCheckoutError;
    layerCheckoutLog_.push_back({index, id, time});
    frame_->layers[id] = {index, id, time};
    const Clip* clip = clipOf(*instance, index);
    const Image* image = clip != nullptr ? clip->at(time) : nullptr;
    std::memset(result, 0, sizeof *result);
    if (image != nullptr) {
        result->result_rect = {0, 0, image->width, image->height};
        result->max_result_rect = result->result_rect;
        result->ref_width = image->width;
        result->ref_height = image->height;
    }
    result->par = pixelAspect;
    return PF_Err_NONE;
}

PF_Err Host::checkoutLayerPixels(PF_ProgPtr effect_ref, A_long id, PF_EffectWorld** pixels) {
    Instance* instance = instanceOf(effect_ref, "checkout_layer_pixels");
    if (instance == nullptr || pixels == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (currentCmd_ != PF_Cmd_SMART_RENDER || frame_ == nullptr) {
        problem("checkout_layer_pixels outside the smart render");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    auto layer = frame_->layers.find(id);
    if (layer == frame_->layers.end()) {
        problem("checkout_layer_pixels of checkout id " + std::to_string(id) +
                ", which the pre-render did not check out");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (checkoutFails()) return inject.checkoutError;
    if (inject.inputPixelsError != PF_Err_NONE) return inject.inputPixelsError;
    const Clip* clip = clipOf(*instance, layer->second.index);
    *pixels = lend(clip != nullptr ? clip->at(layer->second.time) : nullptr);
    frame_->pixelsOut[id] = true;
    countCheckedOut();
    return PF_Err_NONE;
}

PF_Err Host::checkinLayerPixels(PF_ProgPtr, A_long id) {
    if (frame_ == nullptr || !frame_->pixelsOut[id]) {
        problem("checkin_layer_pixels of checkout id " + std::to_string(id) +
                ", which is not checked out");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    frame_->pixelsOut[id] = false;
    return PF_Err_NONE;
}

PF_Err Host::checkoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output) {
    if (instanceOf(effect_ref, "checkout_output") == nullptr || output == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (currentCmd_ != PF_Cmd_SMART_RENDER || frame_ == nullptr || !frame_->outputWorld) {
        problem("checkout_output outside the smart render");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (checkoutFails()) return inject.checkoutError;
    if (inject.outputError != PF_Err_NONE) return inject.outputError;
    *output = frame_->outputWorld;
    return PF_Err_NONE;
}

PF_Err Host::pixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
    if (world == nullptr || format == nullptr) {
        problem("PF_GetPixelFormat without a world or a result");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const WorldLoan* loan = nullptr;
    for (const WorldLoan& l : loans_)
        if (&l == world->reserved0) loan = &l;
    if (loan == nullptr) {
        problem("PF_GetPixelFormat of a world the host did not lend in this command");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (inject.pixelFormatError != PF_Err_NONE) return inject.pixelFormatError;
    *format = inject.reportedFormat != 0 ? inject.reportedFormat : loan->format;
    return PF_Err_NONE;
}

} // namespace glfx::hostsim
