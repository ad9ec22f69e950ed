// What the host tells an effect about time: the state of its inputs over a span (so an effect can
// tell whether something it computed from them still holds), progress, and the user's abort.
#include "hostsim/Host.h"
#include "hostsim/HostCallbacks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace glfx::hostsim {
namespace {

struct Hash {
    uint64_t a = 0xcbf29ce484222325ull;
    uint64_t b = 0x84222325cbf29ce4ull;
    void mix(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            a = (a ^ bytes[i]) * 0x100000001b3ull;
            b = (b ^ bytes[i]) * 0x1000193ull + 0x9e3779b97f4a7c15ull;
        }
    }
    template <class T> void value(const T& v) { mix(&v, sizeof v); }
};

// A time in the host's units from one in another scale.
A_long hostTime(const A_Time& time, A_u_long scale) {
    if (time.scale == 0) return 0;
    return static_cast<A_long>(int64_t(time.value) * int64_t(scale) / int64_t(time.scale));
}

} // namespace

PF_State Host::stateOf(const Instance& instance, PF_ParamIndex index, A_long start,
                       A_long duration) const {
    Hash hash;
    hash.value(index);
    const A_long step = std::max<A_long>(1, std::abs(timeStep));
    const PF_ParamIndex first = index >= 0 ? index : 0;
    const PF_ParamIndex last = index >= 0 ? index : numParams_ - 1;
    for (A_long t = start; t < start + duration; t += step) {
        for (PF_ParamIndex i = first; i <= last; ++i) {
            if (isLayerParam(i)) {
                const Clip* clip = clipOf(instance, i);
                hash.value(clip != nullptr ? clip->hashAt(t) : uint64_t(0));
                continue;
            }
            const PF_ParamDef def = definitionAt(instance, i, t);
            hash.value(def.u);
        }
    }
    PF_State state{};
    std::memcpy(state.reserved, &hash.a, 8);
    std::memcpy(state.reserved + 2, &hash.b, 8);
    return state;
}

PF_Err Host::currentState(PF_ProgPtr effect_ref, PF_ParamIndex index, const A_Time* start,
                          const A_Time* duration, PF_State* state) {
    Instance* instance = instanceOf(effect_ref, "PF_GetCurrentState");
    if (instance == nullptr || state == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < PF_ParamIndex_CHECK_ALL || index >= numParams_) {
        problem("PF_GetCurrentState of index " + std::to_string(index));
        return PF_Err_INVALID_INDEX;
    }
    const A_long from = start != nullptr ? hostTime(*start, timeScale) : 0;
    const A_long span =
        duration != nullptr ? hostTime(*duration, timeScale) : 10 * A_long(timeScale) - from;
    *state = stateOf(*instance, index, from, span);
    return PF_Err_NONE;
}

PF_Err Host::abortCheck(PF_ProgPtr) {
    const int call = abortChecks_++;
    return inject.abortFromCheck >= 0 && call >= inject.abortFromCheck ? PF_Interrupt_CANCEL
                                                                       : PF_Err_NONE;
}

PF_Err Host::progress(PF_ProgPtr, A_long current, A_long total) {
    lastProgress_ = {current, total};
    ++progressReports_;
    return PF_Err_NONE;
}

void Host::countCheckedOut() {
    int now = static_cast<int>(checkouts_.size());
    if (frame_ != nullptr)
        for (const auto& [id, out] : frame_->pixelsOut)
            now += out ? 1 : 0;
    mostCheckedOut_ = std::max(mostCheckedOut_, now);
}

} // namespace glfx::hostsim
