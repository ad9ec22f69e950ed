#include "render/RenderHandlers.h"

#include "gl/GlRenderer.h"
#include "params/ParamValues.h"
#include "render/FrameRender.h"
#include "render/ParamCheckouts.h"
#include "shaders/DefineMap.h"
#include "shaders/RenderState.h"
#include "records/GlobalState.h"
#include "records/SequenceRecord.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace glfx {
namespace {

// The smart render's input pixels, checked in on every way out.
class InputPixels {
public:
    InputPixels(PF_InData* in_data, PF_SmartRenderCallbacks* cb) : in_(in_data), cb_(cb) {}
    ~InputPixels() { checkIn(); }
    InputPixels(const InputPixels&) = delete;
    InputPixels& operator=(const InputPixels&) = delete;

    PF_Err checkOut(PF_EffectWorld** world) {
        const PF_Err err = cb_->checkout_layer_pixels(in_->effect_ref, 0, world);
        out_ = err == PF_Err_NONE;
        return err;
    }
    PF_Err checkIn() {
        if (!out_) return PF_Err_NONE;
        out_ = false;
        return cb_->checkin_layer_pixels != nullptr ? cb_->checkin_layer_pixels(in_->effect_ref, 0)
                                                    : PF_Err_NONE;
    }

private:
    PF_InData* in_;
    PF_SmartRenderCallbacks* cb_;
    bool out_ = false;
};

const GlobalState* globalState(const PF_OutData* out_data) {
    if (out_data == nullptr || out_data->global_data == nullptr) return nullptr;
    return static_cast<const GlobalState*>(*out_data->global_data);
}

// Per frame: the render state on the first one, and no layer world left over from the last. A
// context that could not be made is tried again at every frame, since the cause may have passed
// (a driver being updated, a GPU reset); until it is made, frames pass the input through.
void prepareRecord(PF_Handle owner, SequenceState& state, const EffectDescription& description) {
    if (state.renderer == nullptr) {
        createRenderState(state, description);
        claimRecordResources(owner, state);
    } else if (!state.renderer->context.isValid())
        state.renderer->context.create();
    for (int32_t k = 1; k < kMaxLayers; ++k)
        state.layerWorlds[k] = nullptr;
}

// Parameter read, frame render and check-ins shared by the two render paths.
PF_Err renderWithParams(PF_InData* in_data, PF_OutData* out_data, SequenceState& state,
                        PF_EffectWorld* output, const EffectDescription& description) {
    ParamCheckouts params(in_data);
    const PF_Err checkout = params.checkOut(description, in_data->current_time);
    if (checkout != PF_Err_NONE) return checkout;
    if (const GlobalState* global = globalState(out_data))
        readParamValues(in_data, out_data, params.list(), &state, *global, description);
    const PF_Err rendered = renderFrameToWorld(in_data, out_data, state, output, description);
    const PF_Err checkin = params.checkIn();
    return rendered != PF_Err_NONE ? rendered : checkin;
}

} // namespace

void mergeResultRect(PF_LRect& result, const PF_LRect& checkout) {
    const bool resultEmpty = !(result.left < result.right && result.top < result.bottom);
    const bool checkoutEmpty = !(checkout.left < checkout.right && checkout.top < checkout.bottom);
    if (resultEmpty) {
        result = checkout;
    } else if (!checkoutEmpty) {
        result.left = std::min(result.left, checkout.left);
        result.top = std::min(result.top, checkout.top);
        result.right = std::max(result.right, checkout.right);
        result.bottom = std::max(result.bottom, checkout.bottom);
    }
}

PF_Err renderCommand(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                     PF_LayerDef* output, const EffectDescription& description) {
    SequenceState* state = ownedSequenceRecord(in_data);
    if (state == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    prepareRecord(in_data->sequence_data, *state, description);
    state->layerWorlds[0] = params != nullptr && params[0] != nullptr ? &params[0]->u.ld : nullptr;
    return renderWithParams(in_data, out_data, *state, output, description);
}

PF_Err smartPreRenderCommand(PF_InData* in_data, PF_PreRenderExtra* extra,
                             const EffectDescription& description) {
    if (extra == nullptr || extra->input == nullptr || extra->output == nullptr ||
        extra->cb == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    const PF_RenderRequest request = extra->input->output_request;
    PF_CheckoutResult input;
    std::memset(&input, 0, sizeof input);
    PF_Err err =
        extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request, in_data->current_time,
                                  in_data->time_step, in_data->time_scale, &input);
    if (err != PF_Err_NONE) return err;
    mergeResultRect(extra->output->result_rect, input.result_rect);
    mergeResultRect(extra->output->max_result_rect, input.max_result_rect);

    const int32_t count = std::clamp<int32_t>(description.settings.paramCount, 0, kMaxParams);
    for (int32_t i = 1; i < count && err == PF_Err_NONE; ++i) {
        const ParamSpec& spec = description.params[size_t(i)];
        if (spec.type != ParamType::Layer) continue;
        PF_CheckoutResult layer;
        std::memset(&layer, 0, sizeof layer);
        err = extra->cb->checkout_layer(in_data->effect_ref, i, i, &request,
                                        layerTime(spec, in_data->current_time, in_data->time_step),
                                        in_data->time_step, in_data->time_scale, &layer);
    }
    return err;
}

PF_Err smartRenderCommand(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                          const EffectDescription& description) {
    SequenceState* state = ownedSequenceRecord(in_data);
    if (state == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    if (extra == nullptr || extra->cb == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    prepareRecord(in_data->sequence_data, *state, description);

    InputPixels inputPixels(in_data, extra->cb);
    PF_EffectWorld* input = nullptr;
    state->layerWorlds[0] = nullptr;
    PF_Err err = inputPixels.checkOut(&input);
    if (err != PF_Err_NONE) return err;
    state->layerWorlds[0] = input;
    PF_EffectWorld* output = nullptr;
    err = extra->cb->checkout_output(in_data->effect_ref, &output);
    if (err != PF_Err_NONE) return err;

    const PF_Err rendered = renderWithParams(in_data, out_data, *state, output, description);
    const PF_Err checkin = inputPixels.checkIn();
    return rendered != PF_Err_NONE ? rendered : checkin;
}

} // namespace glfx
