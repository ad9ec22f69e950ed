// Parameters as the host keeps them: declarations, values at a time (keyframes), checkouts, the
// project's streams and flags, and UI updates.
#include "hostsim/Host.h"
#include "hostsim/HostCallbacks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace glfx::hostsim {
namespace {

// ---- Keyframes -------------------------------------------------------------------------------

A_long mix(A_long a, A_long b, double t) {
    return A_long(std::lround(double(a) + (double(b) - double(a)) * t));
}
A_u_char mix8(A_u_char a, A_u_char b, double t) {
    return A_u_char(std::lround(double(a) + (double(b) - double(a)) * t));
}

// The value between two keys, `t` of the way from `a` to `b`.
PF_ParamDefUnion interpolate(PF_ParamType type, const PF_ParamDefUnion& a,
                             const PF_ParamDefUnion& b, double t) {
    PF_ParamDefUnion v = a;
    switch (type) {
    case PF_Param_FLOAT_SLIDER:
        v.fs_d.value = a.fs_d.value + (b.fs_d.value - a.fs_d.value) * t;
        break;
    case PF_Param_SLIDER:
        v.sd.value = mix(a.sd.value, b.sd.value, t);
        break;
    case PF_Param_FIX_SLIDER:
        v.fd.value = mix(a.fd.value, b.fd.value, t);
        break;
    case PF_Param_ANGLE:
        v.ad.value = mix(a.ad.value, b.ad.value, t);
        break;
    case PF_Param_POINT:
        v.td.x_value = mix(a.td.x_value, b.td.x_value, t);
        v.td.y_value = mix(a.td.y_value, b.td.y_value, t);
        break;
    case PF_Param_COLOR:
        v.cd.value.alpha = mix8(a.cd.value.alpha, b.cd.value.alpha, t);
        v.cd.value.red = mix8(a.cd.value.red, b.cd.value.red, t);
        v.cd.value.green = mix8(a.cd.value.green, b.cd.value.green, t);
        v.cd.value.blue = mix8(a.cd.value.blue, b.cd.value.blue, t);
        break;
    default: // popups, checkboxes and the rest hold until the next key
        break;
    }
    return v;
}

PF_ParamDefUnion valueAt(PF_ParamType type, const std::map<A_long, PF_ParamDefUnion>& keys,
                         A_long time) {
    auto next = keys.upper_bound(time);
    if (next == keys.begin()) return next->second;
    auto prev = std::prev(next);
    if (next == keys.end() || prev->first == time) return prev->second;
    const double t = double(time - prev->first) / double(next->first - prev->first);
    return interpolate(type, prev->second, next->second, t);
}

} // namespace

// ---- Callback bodies -------------------------------------------------------------------------

PF_Handle Host::newHandle(uint64_t size) {
    if (allocationCalls_++ == inject.allocationFailsAt) return nullptr;
    if (inject.refuseNewHandles) return nullptr;
    return handles_.allocate(size);
}

void* Host::lockHandle(PF_Handle handle) {
    if (inject.handlesCannotLock) return nullptr;
    return handles_.lock(handle);
}

PF_Err Host::resizeHandle(uint64_t size, PF_Handle* handle) {
    if (allocationCalls_++ == inject.allocationFailsAt) return PF_Err_OUT_OF_MEMORY;
    if (inject.refuseResize) return PF_Err_OUT_OF_MEMORY;
    return handles_.resize(size, handle, inject.moveOnResize);
}

size_t Host::writableBytes(const A_char* dst, size_t length, const char* function) {
    copies_[dst] = length;
    if (currentOut_ == nullptr) return length + 1;
    const A_char* begin = currentOut_->return_msg;
    const A_char* end = begin + sizeof currentOut_->return_msg;
    if (dst < begin || dst >= end) return length + 1;
    const size_t room = size_t(end - dst);
    if (length + 1 > room)
        problem(std::string(function) + " of " + std::to_string(length) +
                " bytes and a terminator into return_msg, which holds " + std::to_string(room) +
                " from there");
    return std::min(length + 1, room);
}

Instance* Host::instanceOf(PF_ProgPtr effect_ref, const char* operation) {
    for (auto& instance : instances_)
        if (reinterpret_cast<PF_ProgPtr>(&instance->ref_) == effect_ref) return instance.get();
    if (reinterpret_cast<PF_ProgPtr>(&globalRef_) == effect_ref)
        problem(std::string(operation) + " needs an effect instance; this command has none");
    else
        problem(std::string(operation) + " with an effect_ref the host never handed out");
    return nullptr;
}

PF_Err Host::addParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    if (currentCmd_ != PF_Cmd_PARAMS_SETUP) problem("add_param outside parameter set-up");
    if (effect_ref != reinterpret_cast<PF_ProgPtr>(&globalRef_))
        problem("add_param with an effect_ref other than the command's");
    if (index != -1) problem("add_param at index " + std::to_string(index) + " instead of -1");
    if (def == nullptr) {
        problem("add_param without a definition");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const int call = addParamCalls_++;
    if (call == inject.addParamFailsAt) return inject.addParamError;

    const size_t position = declared_.size() + 1;
    const std::string where = "parameter " + std::to_string(position);
    if (std::memchr(def->name, 0, sizeof def->name) == nullptr)
        problem(where + ": name has no terminator within its 32 bytes");
    auto copy = copies_.find(def->name);
    if (copy != copies_.end() && copy->second >= sizeof def->name)
        problem(where + ": a name of " + std::to_string(copy->second) +
                " bytes was copied into its 32-byte field");
    copies_.clear();

    DeclaredParam p;
    p.def = *def;
    if (def->param_type == PF_Param_POPUP && def->u.pd.u.namesptr != nullptr)
        p.choices = def->u.pd.u.namesptr;
    if (def->param_type == PF_Param_CHECKBOX && def->u.bd.u.nameptr != nullptr)
        p.label = def->u.bd.u.nameptr;
    declared_.push_back(p);
    return PF_Err_NONE;
}

PF_ParamDef Host::definitionAt(const Instance& instance, PF_ParamIndex index, A_long time) const {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    if (index == 0) {
        def.param_type = PF_Param_LAYER;
    } else {
        def = declared_[size_t(index) - 1].def;
    }
    auto keys = instance.keyframes.find(index);
    auto value = instance.values.find(index);
    if (keys != instance.keyframes.end() && !keys->second.empty()) {
        def.u = valueAt(def.param_type, keys->second, time);
    } else if (value != instance.values.end()) {
        def.u = value->second;
    } else if (def.param_type == PF_Param_POINT) {
        // Declared in percent of the layer; handed out in its pixels.
        def.u.td.x_value = PF_Fixed(int64_t(def.u.td.x_dephault) * instance.layerWidth_ / 100);
        def.u.td.y_value = PF_Fixed(int64_t(def.u.td.y_dephault) * instance.layerHeight_ / 100);
    }
    return def;
}

PF_ParamDef Host::paramAt(const Instance& instance, PF_ParamIndex index, A_long time) const {
    if (index < 0 || size_t(index) > declared_.size()) {
        PF_ParamDef none;
        std::memset(&none, 0, sizeof none);
        return none;
    }
    return definitionAt(instance, index, time);
}

bool Host::isLayerParam(PF_ParamIndex index) const {
    return index == 0 || (index > 0 && size_t(index) <= declared_.size() &&
                          declared_[size_t(index) - 1].def.param_type == PF_Param_LAYER);
}

const Clip* Host::clipOf(const Instance& instance, PF_ParamIndex index) const {
    if (frame_ == nullptr || frame_->instance != &instance) return nullptr;
    if (index == 0) return frame_->input;
    auto layer = instance.layers.find(index);
    return layer != instance.layers.end() ? &layer->second : frame_->input;
}

PF_EffectWorld* Host::lend(const Image* image) {
    loans_.emplace_back();
    WorldLoan& loan = loans_.back();
    const int depth = frame_ != nullptr ? frame_->depth : 8;
    const ChannelOrder order = frame_ != nullptr ? frame_->order : ChannelOrder::Argb;
    const Image* source = image;
    if (image != nullptr && !image->empty() && (image->depth != depth || image->order != order)) {
        loan.copy = image->converted(depth, order);
        source = &loan.copy;
    }
    loan.format = Image::make(0, 0, depth, order).pixelFormat();
    PF_EffectWorld& world = loan.world;
    world.reserved0 = &loan;
    world.pix_aspect_ratio = pixelAspect;
    world.world_flags = depth == 16 ? PF_WorldFlag_DEEP : 0;
    if (source != nullptr && !source->empty()) {
        // The plug-in only reads a layer; the host's image is lent as it is.
        world.data = reinterpret_cast<PF_PixelPtr>(const_cast<uint8_t*>(source->bytes.data()));
        world.rowbytes = source->rowbytes;
        world.width = source->width;
        world.height = source->height;
        world.extent_hint = {0, 0, source->width, source->height};
    }
    return &world;
}

PF_EffectWorld* Host::lendOutput(Image& output) {
    PF_EffectWorld* world = lend(nullptr);
    world->data = reinterpret_cast<PF_PixelPtr>(output.bytes.data());
    world->rowbytes = output.rowbytes;
    world->width = output.width;
    world->height = output.height;
    world->extent_hint = {0, 0, output.width, output.height};
    return world;
}

PF_Err Host::checkoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long time, A_long,
                           A_u_long, PF_ParamDef* param) {
    Instance* instance = instanceOf(effect_ref, "checkout_param");
    if (instance == nullptr || param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || index >= numParams_ || size_t(index) > declared_.size()) {
        problem("checkout_param of index " + std::to_string(index) + " outside 0 ... " +
                std::to_string(numParams_ - 1));
        return PF_Err_INVALID_INDEX;
    }
    checkoutLog_.push_back({index, time});
    if (checkoutFails() || index == inject.checkoutFailsAt) return inject.checkoutError;
    *param = definitionAt(*instance, index, time);
    if (isLayerParam(index)) {
        const A_long dephault = param->u.ld.dephault;
        const Clip* clip = clipOf(*instance, index);
        param->u.ld = *lend(clip != nullptr ? clip->at(time) : nullptr);
        param->u.ld.dephault = dephault;
    }
    checkouts_.push_back({param, index});
    countCheckedOut();
    return PF_Err_NONE;
}

bool Host::checkoutFails() {
    return checkoutCalls_++ == inject.checkoutCallFailsAt;
}

PF_Err Host::checkinParam(PF_ProgPtr, PF_ParamDef* param) {
    auto it = std::find_if(checkouts_.begin(), checkouts_.end(),
                           [&](const ActiveCheckout& c) { return c.def == param; });
    if (it == checkouts_.end()) {
        problem("checkin_param of a definition that is not checked out");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    checkouts_.erase(it);
    return inject.checkinError;
}

A_Err Host::registerWithAegp(const A_char* name, AEGP_PluginID* id) {
    if (currentCmd_ != PF_Cmd_GLOBAL_SETUP) problem("AEGP_RegisterWithAEGP outside global set-up");
    if (name == nullptr || id == nullptr) {
        problem("AEGP_RegisterWithAEGP without a name or an id pointer");
        return A_Err_PARAMETER;
    }
    if (std::strlen(name) >= AEGP_MAX_PLUGIN_NAME_SIZE)
        problem("AEGP_RegisterWithAEGP with a name longer than 31 bytes");
    if (inject.registrationError != A_Err_NONE) return inject.registrationError;
    registeredName_ = name;
    pluginId_ = nextPluginId_++;
    *id = pluginId_;
    return A_Err_NONE;
}

Host::AegpRef* Host::aegpRef(void* ref, bool stream, const char* operation) {
    for (AegpRef& r : aegpRefs_) {
        if (static_cast<void*>(&r) != ref) continue;
        if (r.stream != stream) break;
        if (r.disposed) {
            problem(std::string(operation) + " with a reference already disposed of");
            return nullptr;
        }
        return &r;
    }
    problem(std::string(operation) + " with a reference the host never handed out");
    return nullptr;
}

A_Err Host::newEffectForEffect(PF_ProgPtr effect_ref, AEGP_EffectRefH* effect) {
    Instance* instance = instanceOf(effect_ref, "AEGP_GetNewEffectForEffect");
    if (instance == nullptr || effect == nullptr) return A_Err_PARAMETER;
    aegpRefs_.push_back(AegpRef{instance, -1, false, false});
    *effect = reinterpret_cast<AEGP_EffectRefH>(&aegpRefs_.back());
    return A_Err_NONE;
}

A_Err Host::disposeEffect(AEGP_EffectRefH effect) {
    AegpRef* r = aegpRef(effect, false, "AEGP_DisposeEffect");
    if (r == nullptr) return A_Err_PARAMETER;
    r->disposed = true;
    return A_Err_NONE;
}

A_Err Host::effectParamCount(AEGP_EffectRefH effect, A_long* count) {
    if (aegpRef(effect, false, "AEGP_GetEffectNumParamStreams") == nullptr || count == nullptr)
        return A_Err_PARAMETER;
    *count = numParams_;
    return A_Err_NONE;
}

A_Err Host::newEffectStream(AEGP_EffectRefH effect, PF_ParamIndex index, AEGP_StreamRefH* stream) {
    AegpRef* e = aegpRef(effect, false, "AEGP_GetNewEffectStreamByIndex");
    if (e == nullptr || stream == nullptr) return A_Err_PARAMETER;
    if (index < 0 || index >= numParams_) {
        problem("AEGP_GetNewEffectStreamByIndex of index " + std::to_string(index) +
                " outside 0 ... " + std::to_string(numParams_ - 1));
        return A_Err_PARAMETER;
    }
    aegpRefs_.push_back(AegpRef{e->instance, index, false, true});
    *stream = reinterpret_cast<AEGP_StreamRefH>(&aegpRefs_.back());
    return A_Err_NONE;
}

A_Err Host::disposeStream(AEGP_StreamRefH stream) {
    AegpRef* r = aegpRef(stream, true, "AEGP_DisposeStream");
    if (r == nullptr) return A_Err_PARAMETER;
    r->disposed = true;
    return A_Err_NONE;
}

A_Err Host::setStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean undoable,
                          A_Boolean set) {
    AegpRef* r = aegpRef(stream, true, "AEGP_SetDynamicStreamFlag");
    if (r == nullptr) return A_Err_PARAMETER;
    if (!undoable && flag != AEGP_DynStreamFlag_HIDDEN) {
        problem("AEGP_SetDynamicStreamFlag without undo of a flag other than HIDDEN");
        return A_Err_PARAMETER;
    }
    if (flag == AEGP_DynStreamFlag_HIDDEN) r->instance->mutableParam(r->index).hidden = set != 0;
    return A_Err_NONE;
}

A_Err Host::getStreamFlags(AEGP_StreamRefH stream, AEGP_DynStreamFlags* flags) {
    AegpRef* r = aegpRef(stream, true, "AEGP_GetDynamicStreamFlags");
    if (r == nullptr || flags == nullptr) return A_Err_PARAMETER;
    *flags = r->instance->param(r->index).hidden ? AEGP_DynStreamFlag_HIDDEN : 0;
    return A_Err_NONE;
}

PF_Err Host::updateParamUi(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def) {
    Instance* instance = instanceOf(effect_ref, "PF_UpdateParamUI");
    if (instance == nullptr || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 1 || index >= numParams_) {
        problem("PF_UpdateParamUI of index " + std::to_string(index) + " outside 1 ... " +
                std::to_string(numParams_ - 1));
        return PF_Err_INVALID_INDEX;
    }
    ParamState& state = instance->mutableParam(index);
    state.uiFlags = def->ui_flags;
    ++state.uiUpdates;
    return PF_Err_NONE;
}

PF_Err Host::addPixelFormat(PrPixelFormat format) {
    if (currentCmd_ != PF_Cmd_GLOBAL_SETUP) problem("pixel formats declared outside global set-up");
    pixelFormats_.push_back(format);
    return PF_Err_NONE;
}

PF_Err Host::clearPixelFormats() {
    if (currentCmd_ != PF_Cmd_GLOBAL_SETUP) problem("pixel formats cleared outside global set-up");
    pixelFormats_.clear();
    return PF_Err_NONE;
}

} // namespace glfx::hostsim
