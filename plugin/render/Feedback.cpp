#include "render/Feedback.h"

#include "AE_EffectSuites.h"
#include "gl/GlRenderer.h"
#include "host/HostSuites.h"
#include "render/Checkpoints.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace glfx {
namespace {

// What a set of kept results holds: the state frame `frame` reads, and what it came from.
struct Label {
    int64_t frame = 0;
    uint64_t shape = 0;
    PF_State inputs{};
};

std::vector<uint8_t> encode(const Label& label) {
    std::vector<uint8_t> bytes(sizeof label);
    std::memcpy(bytes.data(), &label, sizeof label);
    return bytes;
}

bool decode(const std::vector<uint8_t>& bytes, Label& label) {
    if (bytes.size() != sizeof label) return false;
    std::memcpy(&label, bytes.data(), sizeof label);
    return true;
}

size_t budgetBytes(const EffectSettings& settings) {
    const int64_t mib = settings.checkpointBudgetMiB >= 0 ? settings.checkpointBudgetMiB
                                                          : kDefaultCheckpointBudgetMiB;
    return static_cast<size_t>(mib) * 1024 * 1024;
}

int64_t checkpointEvery(const EffectSettings& settings) {
    return settings.checkpointEvery > 0 ? settings.checkpointEvery : kDefaultCheckpointEvery;
}

// The host's states of every input over frames 0 ... f-1, asked at most once per frame per
// command. Without the suite every state is the same empty one.
class InputStates {
public:
    explicit InputStates(PF_InData* in_data)
        : in_(in_data),
          suite_(in_data->pica_basicP, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3) {}

    bool available() const { return suite_.get<PF_ParamUtilsSuite3>() != nullptr; }

    PF_State at(int64_t frame) {
        PF_State state{};
        const auto* utils = suite_.get<PF_ParamUtilsSuite3>();
        if (utils == nullptr || frame <= 0) return state;
        const auto found = cache_.find(frame);
        if (found != cache_.end()) return found->second;
        const A_u_long scale = in_->time_scale;
        const int64_t step = std::max<int64_t>(1, std::abs(int64_t(in_->time_step)));
        const A_Time start{0, scale};
        const A_Time duration{static_cast<A_long>(frame * step), scale};
        if (utils->PF_GetCurrentState(in_->effect_ref, PF_ParamIndex_CHECK_ALL, &start, &duration,
                                      &state) != PF_Err_NONE)
            state = PF_State{}; // compares equal to nothing the host made
        cache_.emplace(frame, state);
        return state;
    }

    // Whether a state stored for `frame` still describes today's inputs.
    bool current(const PF_State& stored, int64_t frame) {
        const auto* utils = suite_.get<PF_ParamUtilsSuite3>();
        if (utils == nullptr || frame <= 0) return true;
        const PF_State now = at(frame);
        A_Boolean same = 0;
        return utils->PF_AreStatesIdentical(in_->effect_ref, &stored, &now, &same) == PF_Err_NONE &&
               same != 0;
    }

private:
    PF_InData* in_;
    ScopedSuite suite_;
    std::map<int64_t, PF_State> cache_;
};

uint64_t mix(uint64_t hash, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}

template <class T> uint64_t mixValue(uint64_t hash, const T& value) {
    return mix(hash, &value, sizeof value);
}

} // namespace

int64_t frameIndexAt(A_long time, A_long timeStep) {
    const int64_t step = std::abs(int64_t(timeStep));
    if (step == 0) return 0;
    const int64_t t = time;
    return t >= 0 ? t / step : -((-t + step - 1) / step);
}

uint64_t feedbackShape(const FrameInput& frame, const PF_InData* in_data, int32_t pixelFormat,
                       const std::string& preamble) {
    uint64_t hash = 0xcbf29ce484222325ull;
    hash = mixValue(hash, frame.width);
    hash = mixValue(hash, frame.height);
    hash = mixValue(hash, frame.downsampleX);
    hash = mixValue(hash, frame.downsampleY);
    hash = mixValue(hash, frame.pixelAspect);
    hash = mixValue(hash, pixelFormat);
    hash = mixValue(hash, in_data->time_step);
    hash = mixValue(hash, in_data->time_scale);
    return mix(hash, preamble.data(), preamble.size());
}

PF_Err drawWithHistory(const FeedbackJob& job, HistorySource& history, FrameInput& frame,
                       bool& drawn) {
    drawn = false;
    PF_InData* in_data = job.in_data;
    GlRenderer& renderer = *job.renderer;
    const int64_t target = std::max<int64_t>(frame.frameIndex, 0);
    const std::shared_ptr<CheckpointStore> store =
        checkpointsOf(in_data->sequence_data, budgetBytes(*job.settings));
    InputStates states(in_data);

    // The latest state still valid: one of the two sets on the GPU, a checkpoint, or black.
    int64_t start = -1;
    int32_t read = 0;
    for (int32_t set = 0; set < 2; ++set) {
        Label label;
        if (!decode(renderer.keptLabels[size_t(set)], label) || label.shape != job.shape ||
            label.frame > target || label.frame <= start ||
            !states.current(label.inputs, label.frame))
            continue;
        start = label.frame;
        read = set;
    }
    const std::shared_ptr<const Checkpoint> checkpoint = store->latest(
        target, job.shape, [&](const Checkpoint& c) { return states.current(c.inputs, c.frame); });
    if (checkpoint != nullptr && checkpoint->frame > start) {
        // Beside the state the GPU still holds, which a later frame may want again.
        read = start >= 0 ? 1 - read : 0;
        if (renderer.writeKept(read, checkpoint->images)) {
            start = checkpoint->frame;
            renderer.keptLabels[size_t(read)] =
                encode({checkpoint->frame, job.shape, checkpoint->inputs});
        } else {
            start = -1;
        }
    }
    if (start < 0) {
        start = 0;
        read = 0;
        renderer.clearKept(read);
        renderer.keptLabels[size_t(read)] = encode({0, job.shape, PF_State{}});
    }

    const int64_t every = checkpointEvery(*job.settings);
    for (int64_t f = start; f < target; ++f) {
        if (in_data->inter.abort != nullptr && in_data->inter.abort(in_data->effect_ref) != 0) {
            history.release();
            return PF_Interrupt_CANCEL;
        }
        if (in_data->inter.progress != nullptr)
            in_data->inter.progress(in_data->effect_ref, static_cast<A_long>(f - start),
                                    static_cast<A_long>(target - start + 1));
        FrameInput earlier = frame;
        earlier.take = nullptr;
        earlier.keptRead = read;
        const PF_Err err = history.fetch(f, earlier);
        if (err != PF_Err_NONE) {
            history.release();
            return err;
        }
        if (!renderer.renderFrame(earlier)) {
            history.release();
            return PF_Err_NONE;
        }
        read = 1 - read;
        const Label label{f + 1, job.shape, states.at(f + 1)};
        renderer.keptLabels[size_t(read)] = encode(label);
        if ((f + 1) % every == 0 && !store->has(f + 1, job.shape)) {
            auto copy = std::make_shared<Checkpoint>();
            copy->frame = label.frame;
            copy->shape = label.shape;
            copy->inputs = label.inputs;
            if (renderer.readKept(read, copy->images)) store->add(std::move(copy));
        }
    }
    const PF_Err released = history.release();
    if (released != PF_Err_NONE) return released;
    if (target > start) history.restoreCurrent(frame);

    frame.keptRead = read;
    drawn = renderer.renderFrame(frame);
    if (drawn)
        renderer.keptLabels[size_t(1 - read)] =
            encode({target + 1, job.shape, states.at(target + 1)});
    return PF_Err_NONE;
}

void keepHistory(PF_Handle owner, GlRenderer& renderer, const EffectSettings& settings) {
    const std::shared_ptr<CheckpointStore> store = checkpointsOf(owner, budgetBytes(settings));
    for (int32_t set = 0; set < 2; ++set) {
        Label label;
        if (!decode(renderer.keptLabels[size_t(set)], label) || label.frame <= 0 ||
            store->has(label.frame, label.shape))
            continue;
        auto copy = std::make_shared<Checkpoint>();
        copy->frame = label.frame;
        copy->shape = label.shape;
        copy->inputs = label.inputs;
        if (renderer.readKept(set, copy->images)) store->add(std::move(copy));
    }
}

void forgetHistory(PF_Handle owner, GlRenderer* renderer) {
    forgetCheckpoints(owner);
    if (renderer != nullptr)
        for (auto& label : renderer->keptLabels)
            label.clear();
}

} // namespace glfx
