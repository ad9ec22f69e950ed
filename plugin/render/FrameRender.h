// One frame from the SequenceState's layers into a host output world: frame facts, the rebuild a
// parameter change asked for, the layers as GL takes them, the transfer for the output's pixel
// format, the history an effect with persistent passes needs, and what the output gets when the
// GPU could not draw the frame.
//
// Error policy: a host error comes back as the PF_Err result; a staging allocation that fails
// leaves as std::bad_alloc (the entry answers 512). Failures of the rebuild never reach the host.
// A frame the GPU could not draw still succeeds: the output gets the input unchanged when the
// sizes match and transparent black otherwise, and the first such frame after each build leaves a
// message for the user in out_data->return_msg.
#pragma once

#include "AE_Effect.h"
#include "effect/EffectDescription.h"
#include "gl/FrameInput.h"
#include "records/SequenceState.h"
#include "render/PixelTransfer.h"

#include <string>

namespace glfx {

class GlRenderer;

// time, downsampling and pixel aspect of in_data; a zero denominator gives the factor 1.
void recordFrameFacts(const PF_InData* in_data, SequenceState& state);

// The sizes of layer slots noinput ... layerCount - 1 for this frame's worlds: each world's own,
// or 100 x 100 for an empty slot (no world, no pixels, or no area). Allocates nothing.
void sizeLayers(SequenceState& state, const EffectDescription& description,
                const void* const* worlds);

// The staging buffer of `slot`, holding at least its layerWidth x layerHeight pixels. Made on
// first use and only ever replaced by a larger one (new float[], freed with delete[] by flatten and
// set-down), of the layer's own size: a layer the GPU reads in place never gets one.
float* stagingBuffer(SequenceState& state, int32_t slot);

// The frame facts of in_data for the renderer: sizes, times in seconds and frames since the
// layer's start, the date, downsampling, pixel aspect and the record's parameter values.
FrameInput frameFacts(const PF_InData* in_data, const SequenceState& state, int32_t width,
                      int32_t height);

// Bytes of one host pixel of an output format the transfers handle; 0 for any other.
int hostPixelBytes(PF_PixelFormat format);

// What the output gets for a frame the GPU did not draw: `input` row by row when its size (and,
// implied, its format) matches, transparent black otherwise. Bytes between rows are not touched.
// True when the input was copied.
bool writeUndrawnFrame(const PF_EffectWorld* input, PF_EffectWorld* output, int pixelBytes);

// One line for the user about why the GPU did not draw a width x height frame: no context, the
// first failed pass with the first line of its log, or the size limit; then what the output got.
std::string undrawnFrameMessage(const GlRenderer* renderer, int32_t width, int32_t height,
                                bool passedThrough);

// Whether `renderer`'s driver turns the host's bytes, uploaded as packedUpload gives them for
// `transfer`, into exactly the floats the CPU would stage: every byte value in every channel,
// checked once per renderer and format (GL fixes the normalisation, c / 255, but not its last
// bit). False for a transfer without a packed form or a renderer whose context is not usable.
bool packedUploadIsExact(GlRenderer& renderer, Transfer transfer);

// The whole frame; 0 on success, the World suite's refusal or 516 for a pixel format outside the
// three host depths (output untouched then), a checkout's error while an effect with persistent
// passes fetches earlier frames, or PF_Interrupt_CANCEL when the host stopped that.
PF_Err renderFrameToWorld(PF_InData* in_data, PF_OutData* out_data, SequenceState& state,
                          PF_EffectWorld* output, const EffectDescription& description);

} // namespace glfx
