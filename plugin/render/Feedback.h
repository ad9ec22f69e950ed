// Frames of effects whose passes keep their results from one frame to the next. Frame K (counted
// in time steps from the layer's start, time 0) reads exactly what drawing frames 0 ... K-1 in
// order, each with its own parameter values and input pixels, would have left, starting from
// transparent black: whatever order the host asks for frames in, after a save and reopen, in
// another instance or on another machine.
//
// To be fast it starts from the latest state it still has that the host says was computed from
// today's inputs: one of the renderer's two sets of kept results (the frame drawn last and the
// one before it, so playing forward and drawing the same frame again cost one frame), or a
// checkpoint copied off the GPU every `checkpoint_every` frames within `checkpoint_budget` MiB.
// From there it draws the frames in between, fetching each one's inputs from the host and giving
// them back before the next, reporting progress, and stopping when the host aborts.
//
// What a state was computed from is the host's PF_State of every parameter and layer over frames
// 0 ... K-1 (PF_ParamUtilsSuite3), plus a hash of the frame's geometry, pixel format and timing.
// A host without that suite (Premiere Pro) cannot say; there the history is trusted until the
// user changes a parameter, which drops it (forgetHistory).
#pragma once

#include "AE_Effect.h"
#include "effect/EffectDescription.h"
#include "gl/FrameInput.h"

#include <cstdint>

namespace glfx {

class GlRenderer;

constexpr int32_t kDefaultCheckpointEvery = 30;
constexpr int32_t kDefaultCheckpointBudgetMiB = 256;

// The frames before the one being drawn, fetched from the host one at a time.
class HistorySource {
public:
    virtual ~HistorySource() = default;
    // Fills `input`'s layers and parameter values for frame `index`, checked out from the host
    // until the next fetch or release.
    virtual PF_Err fetch(int64_t index, FrameInput& input) = 0;
    // Gives the last fetched frame back to the host.
    virtual PF_Err release() = 0;
    // After the earlier frames: `current`'s layers as the frame being drawn has them again (the
    // earlier frames may have used the same staging buffers).
    virtual void restoreCurrent(FrameInput& current) = 0;
};

struct FeedbackJob {
    PF_InData* in_data = nullptr;
    GlRenderer* renderer = nullptr;
    const EffectSettings* settings = nullptr;
    // What besides the host's inputs shapes the kept results (see feedbackShape).
    uint64_t shape = 0;
};

// A hash of the frame size, downsampling, pixel aspect, host pixel format, time step and scale
// and the define preamble.
uint64_t feedbackShape(const FrameInput& frame, const PF_InData* in_data, int32_t pixelFormat,
                       const std::string& preamble);

// Brings the renderer's kept results to what frame `frame.frameIndex` reads, then draws `frame`.
// `drawn` is false when the GPU could not draw a frame. Errors: a checkout's while fetching an
// earlier frame, PF_Interrupt_CANCEL when the host's abort said so (the states kept so far stay
// valid; nothing half-drawn is kept).
PF_Err drawWithHistory(const FeedbackJob& job, HistorySource& history, FrameInput& frame,
                       bool& drawn);

// Copies the renderer's kept results into the instance's checkpoints before flatten frees the
// GPU, so a save and reopen need not draw the history again.
void keepHistory(PF_Handle owner, GlRenderer& renderer, const EffectSettings& settings);

// The instance's history is no longer to be trusted: its checkpoints and the renderer's labels go.
void forgetHistory(PF_Handle owner, GlRenderer* renderer);

// Frames before `time` that frame `time` reads the results of, and the step between them.
int64_t frameIndexAt(A_long time, A_long timeStep);

} // namespace glfx
