#include "hostsim/Host.h"

#include "SPErrorCodes.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace glfx::hostsim {
namespace {

thread_local Host* tCurrent = nullptr;

Host& active() {
    Host* host = tCurrent;
    if (host == nullptr) {
        std::fprintf(stderr, "hostsim: a host callback arrived while no host exists\n");
        std::abort();
    }
    return *host;
}

// ---- Basic suite -----------------------------------------------------------------------------

SPErr acquireSuite(const char* name, int version, const void** suite) {
    return active().suites().acquire(name, version, suite);
}
SPErr releaseSuite(const char* name, int version) {
    return active().suites().release(name, version);
}
SPBoolean isEqual(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}
SPErr allocateBlock(size_t size, void** block) {
    *block = std::malloc(size != 0 ? size : 1);
    return *block != nullptr ? kSPNoError : kSPOutOfMemoryError;
}
SPErr freeBlock(void* block) {
    std::free(block);
    return kSPNoError;
}
SPErr reallocateBlock(void* block, size_t size, void** moved) {
    void* p = std::realloc(block, size != 0 ? size : 1);
    if (p == nullptr) return kSPOutOfMemoryError;
    *moved = p;
    return kSPNoError;
}
SPErr undefinedCall() {
    return kSPUnimplementedError;
}

// ---- Handles ---------------------------------------------------------------------------------

PF_Handle hostNewHandle(A_u_longlong size) {
    return active().newHandle(size);
}
void* hostLockHandle(PF_Handle handle) {
    return active().lockHandle(handle);
}
void hostUnlockHandle(PF_Handle handle) {
    active().handles().unlock(handle);
}
void hostDisposeHandle(PF_Handle handle) {
    active().handles().dispose(handle);
}
A_u_longlong hostHandleSize(PF_Handle handle) {
    return active().handles().size(handle);
}
PF_Err hostResizeHandle(A_u_longlong size, PF_Handle* handle) {
    return active().resizeHandle(size, handle);
}

// ---- The host's C library ----------------------------------------------------------------

int hostSprintf(A_char* dst, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0) {
        va_end(args);
        return n;
    }
    std::vector<char> text(size_t(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    const size_t room = active().writableBytes(dst, size_t(n), "sprintf");
    const size_t length = std::min(size_t(n), room - 1);
    std::memcpy(dst, text.data(), length);
    dst[length] = '\0';
    return int(length);
}

A_char* hostStrcpy(A_char* dst, const A_char* src) {
    const size_t n = std::strlen(src);
    const size_t room = active().writableBytes(dst, n, "strcpy");
    const size_t length = std::min(n, room - 1);
    std::memcpy(dst, src, length);
    dst[length] = '\0';
    return dst;
}

template <typename Table> void fillMath(Table& t) {
    t.atan = [](A_FpLong x) -> A_FpLong { return std::atan(x); };
    t.atan2 = [](A_FpLong y, A_FpLong x) -> A_FpLong { return std::atan2(y, x); };
    t.ceil = [](A_FpLong x) -> A_FpLong { return std::ceil(x); };
    t.cos = [](A_FpLong x) -> A_FpLong { return std::cos(x); };
    t.exp = [](A_FpLong x) -> A_FpLong { return std::exp(x); };
    t.fabs = [](A_FpLong x) -> A_FpLong { return std::fabs(x); };
    t.floor = [](A_FpLong x) -> A_FpLong { return std::floor(x); };
    t.fmod = [](A_FpLong x, A_FpLong y) -> A_FpLong { return std::fmod(x, y); };
    t.hypot = [](A_FpLong x, A_FpLong y) -> A_FpLong { return std::hypot(x, y); };
    t.log = [](A_FpLong x) -> A_FpLong { return std::log(x); };
    t.log10 = [](A_FpLong x) -> A_FpLong { return std::log10(x); };
    t.pow = [](A_FpLong x, A_FpLong y) -> A_FpLong { return std::pow(x, y); };
    t.sin = [](A_FpLong x) -> A_FpLong { return std::sin(x); };
    t.sqrt = [](A_FpLong x) -> A_FpLong { return std::sqrt(x); };
    t.tan = [](A_FpLong x) -> A_FpLong { return std::tan(x); };
    t.asin = [](A_FpLong x) -> A_FpLong { return std::asin(x); };
    t.acos = [](A_FpLong x) -> A_FpLong { return std::acos(x); };
    t.sprintf = hostSprintf;
    t.strcpy = hostStrcpy;
}

// ---- Suite tables ----------------------------------------------------------------------------

const PF_HandleSuite1 kHandleSuite = {hostNewHandle,     hostLockHandle, hostUnlockHandle,
                                      hostDisposeHandle, hostHandleSize, hostResizeHandle};

const PF_ANSICallbacksSuite1& ansiSuite() {
    static const PF_ANSICallbacksSuite1 suite = [] {
        PF_ANSICallbacksSuite1 t{};
        fillMath(t);
        return t;
    }();
    return suite;
}

const AEGP_UtilitySuite3& utilitySuite() {
    static const AEGP_UtilitySuite3 suite = [] {
        AEGP_UtilitySuite3 t{};
        t.AEGP_RegisterWithAEGP = [](AEGP_GlobalRefcon, const A_char* name,
                                     AEGP_PluginID* id) -> A_Err {
            return active().registerWithAegp(name, id);
        };
        return t;
    }();
    return suite;
}

const AEGP_PFInterfaceSuite1& pfInterfaceSuite() {
    static const AEGP_PFInterfaceSuite1 suite = [] {
        AEGP_PFInterfaceSuite1 t{};
        t.AEGP_GetNewEffectForEffect = [](AEGP_PluginID, PF_ProgPtr effect_ref,
                                          AEGP_EffectRefH* effect) -> A_Err {
            return active().newEffectForEffect(effect_ref, effect);
        };
        return t;
    }();
    return suite;
}

const AEGP_StreamSuite2& streamSuite() {
    static const AEGP_StreamSuite2 suite = [] {
        AEGP_StreamSuite2 t{};
        t.AEGP_GetEffectNumParamStreams = [](AEGP_EffectRefH effect, A_long* count) -> A_Err {
            return active().effectParamCount(effect, count);
        };
        t.AEGP_GetNewEffectStreamByIndex = [](AEGP_PluginID, AEGP_EffectRefH effect,
                                              PF_ParamIndex index,
                                              AEGP_StreamRefH* stream) -> A_Err {
            return active().newEffectStream(effect, index, stream);
        };
        t.AEGP_DisposeStream = [](AEGP_StreamRefH stream) -> A_Err {
            return active().disposeStream(stream);
        };
        return t;
    }();
    return suite;
}

const AEGP_DynamicStreamSuite2& dynamicStreamSuite() {
    static const AEGP_DynamicStreamSuite2 suite = [] {
        AEGP_DynamicStreamSuite2 t{};
        t.AEGP_GetDynamicStreamFlags = [](AEGP_StreamRefH stream,
                                          AEGP_DynStreamFlags* flags) -> A_Err {
            return active().getStreamFlags(stream, flags);
        };
        t.AEGP_SetDynamicStreamFlag = [](AEGP_StreamRefH stream, AEGP_DynStreamFlags flag,
                                         A_Boolean undoable, A_Boolean set) -> A_Err {
            return active().setStreamFlag(stream, flag, undoable, set);
        };
        return t;
    }();
    return suite;
}

const AEGP_EffectSuite2& effectSuite() {
    static const AEGP_EffectSuite2 suite = [] {
        AEGP_EffectSuite2 t{};
        t.AEGP_DisposeEffect = [](AEGP_EffectRefH effect) -> A_Err {
            return active().disposeEffect(effect);
        };
        return t;
    }();
    return suite;
}

const PF_ParamUtilsSuite1& paramUtilsSuite() {
    static const PF_ParamUtilsSuite1 suite = [] {
        PF_ParamUtilsSuite1 t{};
        t.PF_UpdateParamUI = [](PF_ProgPtr effect_ref, PF_ParamIndex index,
                                const PF_ParamDef* def) -> PF_Err {
            return active().updateParamUi(effect_ref, index, def);
        };
        return t;
    }();
    return suite;
}

const PF_PixelFormatSuite1& pixelFormatSuite() {
    static const PF_PixelFormatSuite1 suite = [] {
        PF_PixelFormatSuite1 t{};
        t.AddSupportedPixelFormat = [](PF_ProgPtr, PrPixelFormat format) -> PF_Err {
            return active().addPixelFormat(format);
        };
        t.ClearSupportedPixelFormats = [](PF_ProgPtr) -> PF_Err {
            return active().clearPixelFormats();
        };
        // The world functions come with the emulated worlds.
        t.NewWorldOfPixelFormat = [](PF_ProgPtr, A_u_long, A_u_long, PF_NewWorldFlags,
                                     PrPixelFormat, PF_EffectWorld*) -> PF_Err {
            return PF_Err_BAD_CALLBACK_PARAM;
        };
        t.DisposeWorld = [](PF_ProgPtr, PF_EffectWorld*) -> PF_Err {
            return PF_Err_BAD_CALLBACK_PARAM;
        };
        t.GetPixelFormat = [](PF_EffectWorld*, PrPixelFormat*) -> PF_Err {
            return PF_Err_BAD_CALLBACK_PARAM;
        };
        return t;
    }();
    return suite;
}

const PF_WorldSuite2& worldSuite() {
    static const PF_WorldSuite2 suite = [] {
        PF_WorldSuite2 t{};
        // Effects here never make worlds of their own.
        t.PF_NewWorld = [](PF_ProgPtr, A_long, A_long, PF_Boolean, PF_PixelFormat,
                           PF_EffectWorld*) -> PF_Err { return PF_Err_BAD_CALLBACK_PARAM; };
        t.PF_DisposeWorld = [](PF_ProgPtr, PF_EffectWorld*) -> PF_Err {
            return PF_Err_BAD_CALLBACK_PARAM;
        };
        t.PF_GetPixelFormat = [](const PF_EffectWorld* world, PF_PixelFormat* format) -> PF_Err {
            return active().pixelFormat(world, format);
        };
        return t;
    }();
    return suite;
}

// ---- Smart-render callbacks ------------------------------------------------------------------

PF_Err checkoutLayerCallback(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long id,
                             const PF_RenderRequest* request, A_long time, A_long, A_u_long,
                             PF_CheckoutResult* result) {
    return active().checkoutLayer(effect_ref, index, id, request, time, result);
}
PF_Err guidMixIn(PF_ProgPtr, A_u_long, const void*) {
    return PF_Err_NONE;
}
PF_Err checkoutLayerPixelsCallback(PF_ProgPtr effect_ref, A_long id, PF_EffectWorld** pixels) {
    return active().checkoutLayerPixels(effect_ref, id, pixels);
}
PF_Err checkinLayerPixelsCallback(PF_ProgPtr effect_ref, A_long id) {
    return active().checkinLayerPixels(effect_ref, id);
}
PF_Err checkoutOutputCallback(PF_ProgPtr effect_ref, PF_EffectWorld** output) {
    return active().checkoutOutput(effect_ref, output);
}

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

const char* const kSelectorNames[] = {"PF_Cmd_ABOUT",
                                      "PF_Cmd_GLOBAL_SETUP",
                                      "PF_Cmd_UNUSED_0",
                                      "PF_Cmd_GLOBAL_SETDOWN",
                                      "PF_Cmd_PARAMS_SETUP",
                                      "PF_Cmd_SEQUENCE_SETUP",
                                      "PF_Cmd_SEQUENCE_RESETUP",
                                      "PF_Cmd_SEQUENCE_FLATTEN",
                                      "PF_Cmd_SEQUENCE_SETDOWN",
                                      "PF_Cmd_DO_DIALOG",
                                      "PF_Cmd_FRAME_SETUP",
                                      "PF_Cmd_RENDER",
                                      "PF_Cmd_FRAME_SETDOWN",
                                      "PF_Cmd_USER_CHANGED_PARAM",
                                      "PF_Cmd_UPDATE_PARAMS_UI",
                                      "PF_Cmd_EVENT",
                                      "PF_Cmd_GET_EXTERNAL_DEPENDENCIES",
                                      "PF_Cmd_COMPLETELY_GENERAL",
                                      "PF_Cmd_QUERY_DYNAMIC_FLAGS",
                                      "PF_Cmd_AUDIO_RENDER",
                                      "PF_Cmd_AUDIO_SETUP",
                                      "PF_Cmd_AUDIO_SETDOWN",
                                      "PF_Cmd_ARBITRARY_CALLBACK",
                                      "PF_Cmd_SMART_PRE_RENDER",
                                      "PF_Cmd_SMART_RENDER"};

} // namespace

std::string selectorName(PF_Cmd cmd) {
    if (cmd >= 0 && size_t(cmd) < sizeof kSelectorNames / sizeof kSelectorNames[0])
        return kSelectorNames[cmd];
    return "selector " + std::to_string(cmd);
}

// ---- Instance --------------------------------------------------------------------------------

const SequenceState* Instance::record() const {
    return sequenceData_ != nullptr ? static_cast<const SequenceState*>(*sequenceData_) : nullptr;
}

SequenceState* Instance::mutableRecord() {
    return sequenceData_ != nullptr ? static_cast<SequenceState*>(*sequenceData_) : nullptr;
}

const ParamState& Instance::param(PF_ParamIndex index) const {
    static const ParamState untouched;
    auto it = params_.find(index);
    return it != params_.end() ? it->second : untouched;
}

ParamState& Instance::mutableParam(PF_ParamIndex index) {
    return params_[index];
}

// ---- Host ------------------------------------------------------------------------------------

Host* Host::current() {
    return tCurrent;
}

Host::Host(const std::string& libraryPath, HostApp app)
    : Host(PluginLibrary::load(libraryPath), app) {}

Host::Host(std::shared_ptr<PluginLibrary> library, HostApp app)
    : library_(std::move(library)), app_(app),
      handles_([this](const std::string& what) { problem(what); }),
      suites_([this](const std::string& what) { problem(what); }) {
    basic_.AcquireSuite = acquireSuite;
    basic_.ReleaseSuite = releaseSuite;
    basic_.IsEqual = isEqual;
    basic_.AllocateBlock = allocateBlock;
    basic_.FreeBlock = freeBlock;
    basic_.ReallocateBlock = reallocateBlock;
    basic_.Undefined = undefinedCall;

    utils_.host_new_handle = hostNewHandle;
    utils_.host_lock_handle = hostLockHandle;
    utils_.host_unlock_handle = hostUnlockHandle;
    utils_.host_dispose_handle = hostDisposeHandle;
    utils_.host_get_handle_size = hostHandleSize;
    utils_.host_resize_handle = hostResizeHandle;
    fillMath(utils_.ansi);

    inter_.add_param = [](PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
        return active().addParam(effect_ref, index, def);
    };
    inter_.checkout_param = [](PF_ProgPtr effect_ref, PF_ParamIndex index, A_long time, A_long step,
                               A_u_long scale, PF_ParamDef* param) {
        return active().checkoutParam(effect_ref, index, time, step, scale, param);
    };
    inter_.checkin_param = [](PF_ProgPtr effect_ref, PF_ParamDef* param) {
        return active().checkinParam(effect_ref, param);
    };
    inter_.abort = [](PF_ProgPtr) -> PF_Err { return PF_Err_NONE; };
    inter_.progress = [](PF_ProgPtr, A_long, A_long) -> PF_Err { return PF_Err_NONE; };

    registerSuites();
    tCurrent = this;
}

Host::~Host() {
    handles_.disposeAll();
    if (tCurrent == this) tCurrent = nullptr;
}

void Host::registerSuites() {
    suites_.provide(kPFHandleSuite, kPFHandleSuiteVersion1, &kHandleSuite);
    suites_.provide(kPFANSISuite, kPFANSISuiteVersion1, &ansiSuite());
    suites_.provide(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1, &paramUtilsSuite());
    suites_.provide(kPFWorldSuite, kPFWorldSuiteVersion2, &worldSuite());
    if (app_ == HostApp::PremierePro) {
        // Premiere Pro has no project, so no AEGP suites; it alone offers this pixel-format
        // suite version.
        suites_.provide(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1, &pixelFormatSuite());
        return;
    }
    suites_.provide(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3, &utilitySuite());
    suites_.provide(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &pfInterfaceSuite());
    suites_.provide(kAEGPStreamSuite, kAEGPStreamSuiteVersion2, &streamSuite());
    suites_.provide(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2,
                    &dynamicStreamSuite());
    suites_.provide(kAEGPEffectSuite, kAEGPEffectSuiteVersion2, &effectSuite());
}

void Host::problem(const std::string& what) {
    problems_.push_back(inCommand_ ? selectorName(currentCmd_) + ": " + what : what);
}

std::string Host::returnMessage() const {
    const char* msg = lastOut_.return_msg;
    return std::string(msg, strnlen(msg, sizeof lastOut_.return_msg));
}

// ---- Commands --------------------------------------------------------------------------------

PF_Err Host::command(PF_Cmd cmd, Instance* instance, PF_ParamDef** params, PF_LayerDef* output,
                     void* extra) {
    tCurrent = this;
    PF_InData in;
    std::memset(&in, 0, sizeof in);
    in.inter = inter_;
    in.utils = &utils_;
    in.effect_ref =
        reinterpret_cast<PF_ProgPtr>(instance != nullptr ? &instance->ref_ : &globalRef_);
    in.quality = PF_Quality_HI;
    in.version = {PF_AE_PLUG_IN_VERSION, PF_AE_PLUG_IN_SUBVERS};
    in.appl_id = app_ == HostApp::PremierePro ? kPremiereProApplId : kAfterEffectsApplId;
    in.num_params = numParams_;
    in.current_time = currentTime;
    in.time_step = timeStep;
    in.local_time_step = timeStep;
    in.time_scale = timeScale;
    in.total_time = 10 * A_long(timeScale);
    in.downsample_x = downsampleX;
    in.downsample_y = downsampleY;
    in.pixel_aspect_ratio = pixelAspect;
    if (frame_ != nullptr && frame_->input != nullptr) {
        if (const Image* image = frame_->input->at(currentTime)) {
            in.width = image->width;
            in.height = image->height;
            in.extent_hint = {0, 0, image->width, image->height};
        }
    }
    in.global_data = globalData_;
    in.sequence_data = instance != nullptr ? instance->sequenceData_ : nullptr;
    in.pica_basicP = inject.noBasicSuite ? nullptr : &basic_;

    PF_OutData out;
    std::memset(&out, 0, sizeof out);
    out.global_data = globalData_;
    out.sequence_data = in.sequence_data;

    if (cmd == PF_Cmd_PARAMS_SETUP) declared_.clear();
    inCommand_ = true;
    currentCmd_ = cmd;
    currentOut_ = &out;
    addParamCalls_ = 0;
    copies_.clear();
    suites_.clearLog();

    const PF_Err err = library_->entry()(cmd, &in, &out, params, output, extra);

    currentOut_ = nullptr;
    lastOut_ = out;
    if (cmd == PF_Cmd_GLOBAL_SETUP) globalData_ = out.global_data;
    // A set-down that failed leaves the global data with the host, which may send it again.
    if (cmd == PF_Cmd_GLOBAL_SETDOWN && err == PF_Err_NONE) globalData_ = nullptr;
    if (instance != nullptr)
        instance->sequenceData_ = cmd == PF_Cmd_SEQUENCE_SETDOWN ? nullptr : out.sequence_data;
    if (cmd == PF_Cmd_PARAMS_SETUP && err == PF_Err_NONE) {
        numParams_ = out.num_params;
        if (size_t(std::max<A_long>(out.num_params, 0)) != declared_.size() + 1)
            problem("num_params is " + std::to_string(out.num_params) + " but " +
                    std::to_string(declared_.size()) +
                    " parameters were added after the input layer");
    }
    checkAfterCommand(out);
    inCommand_ = false;
    return err;
}

void Host::checkAfterCommand(const PF_OutData& out) {
    for (const auto& [key, count] : suites_.outstanding())
        problem("suite \"" + key.first + "\" version " + std::to_string(key.second) + " acquired " +
                std::to_string(count) + " more time(s) than released");
    suites_.forgive();

    for (const ActiveCheckout& c : checkouts_)
        problem("parameter " + std::to_string(c.index) + " checked out and never checked in");
    checkouts_.clear();

    for (AegpRef& ref : aegpRefs_) {
        if (ref.disposed) continue;
        problem(std::string(ref.stream ? "stream" : "effect") + " reference not disposed of");
        ref.disposed = true;
    }

    // The host drops what the plug-in disposed of; holding a disposed handle is a fault.
    if (globalData_ != nullptr && !handles_.isLive(globalData_)) {
        problem("the global data handle was disposed of but left in out_data->global_data");
        globalData_ = nullptr;
    }
    for (auto& instance : instances_) {
        if (instance->sequenceData_ != nullptr && !handles_.isLive(instance->sequenceData_)) {
            problem("instance " + std::to_string(instance->id) +
                    " was handed a sequence-data handle that is disposed of");
            instance->sequenceData_ = nullptr;
        }
    }
    for (PF_Handle handle : handles_.live()) {
        if (handles_.isLocked(handle)) problem("a handle is still locked after the command");
        bool held = handle == globalData_;
        for (auto& instance : instances_)
            held = held || handle == instance->sequenceData_;
        if (held) continue;
        if (std::find(reportedLeaks_.begin(), reportedLeaks_.end(), handle) != reportedLeaks_.end())
            continue;
        reportedLeaks_.push_back(handle);
        problem("a handle of " + std::to_string(handles_.size(handle)) +
                " bytes was neither disposed of nor handed to the host");
    }
    if (std::memchr(out.return_msg, 0, sizeof out.return_msg) == nullptr)
        problem("return_msg has no terminator");
}

PF_Err Host::about() {
    return command(PF_Cmd_ABOUT, nullptr);
}
PF_Err Host::globalSetup() {
    return command(PF_Cmd_GLOBAL_SETUP, nullptr);
}
PF_Err Host::globalSetdown() {
    return command(PF_Cmd_GLOBAL_SETDOWN, nullptr);
}
PF_Err Host::paramsSetup() {
    return command(PF_Cmd_PARAMS_SETUP, nullptr);
}
PF_Err Host::sequenceSetup(Instance& i) {
    return command(PF_Cmd_SEQUENCE_SETUP, &i);
}
PF_Err Host::sequenceResetup(Instance& i) {
    return command(PF_Cmd_SEQUENCE_RESETUP, &i);
}
PF_Err Host::sequenceFlatten(Instance& i) {
    return command(PF_Cmd_SEQUENCE_FLATTEN, &i);
}
PF_Err Host::sequenceSetdown(Instance& i) {
    return command(PF_Cmd_SEQUENCE_SETDOWN, &i);
}
PF_Err Host::updateParamsUi(Instance& i) {
    return command(PF_Cmd_UPDATE_PARAMS_UI, &i);
}

// ---- Lifecycle -------------------------------------------------------------------------------

Instance& Host::addInstance() {
    instances_.push_back(std::unique_ptr<Instance>(new Instance(this, int(instances_.size()) + 1)));
    return *instances_.back();
}

PF_Err Host::start() {
    const PF_Err err = globalSetup();
    return err != PF_Err_NONE ? err : paramsSetup();
}

PF_Err Host::finish() {
    PF_Err first = PF_Err_NONE;
    for (auto& instance : instances_) {
        if (instance->sequenceData_ == nullptr) continue;
        const PF_Err err = sequenceSetdown(*instance);
        if (first == PF_Err_NONE) first = err;
    }
    const PF_Err err = globalSetdown();
    return first != PF_Err_NONE ? first : err;
}

std::vector<uint8_t> Host::flatten(Instance& instance, PF_Err* result) {
    const PF_Err err = sequenceFlatten(instance);
    if (result != nullptr) *result = err;
    return handles_.bytes(instance.sequenceData_);
}

Instance& Host::addInstance(const std::vector<uint8_t>& bytes) {
    Instance& instance = addInstance();
    instance.sequenceData_ = handles_.allocate(bytes.size());
    if (!bytes.empty()) std::memcpy(*instance.sequenceData_, bytes.data(), bytes.size());
    return instance;
}

Instance& Host::load(const std::vector<uint8_t>& bytes, PF_Err* result) {
    Instance& instance = addInstance(bytes);
    const PF_Err err = sequenceResetup(instance);
    if (result != nullptr) *result = err;
    return instance;
}

Instance& Host::duplicate(Instance& original, PF_Err* result) {
    Instance& copy = addInstance(handles_.bytes(original.sequenceData_));
    const PF_Err first = sequenceResetup(copy);
    const PF_Err second = sequenceResetup(original);
    if (result != nullptr) *result = first != PF_Err_NONE ? first : second;
    return copy;
}

Instance& Host::projectRoundTrip(Instance& instance, PF_Err* result) {
    PF_Err first = PF_Err_NONE;
    const std::vector<uint8_t> bytes = flatten(instance, &first);
    const PF_Err down = sequenceSetdown(instance);
    if (first == PF_Err_NONE) first = down;
    PF_Err up = PF_Err_NONE;
    Instance& loaded = load(bytes, &up);
    if (first == PF_Err_NONE) first = up;
    if (result != nullptr) *result = first;
    return loaded;
}

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
    PF_PreRenderCallbacks preCallbacks{checkoutLayerCallback, guidMixIn};
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
    PF_SmartRenderCallbacks callbacks{checkoutLayerPixelsCallback, checkinLayerPixelsCallback,
                                      checkoutOutputCallback};
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
