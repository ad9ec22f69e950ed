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
    in.downsample_x = {1, 1};
    in.downsample_y = {1, 1};
    in.pixel_aspect_ratio = {1, 1};
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
    if (inject.refuseNewHandles) return nullptr;
    return handles_.allocate(size);
}

void* Host::lockHandle(PF_Handle handle) {
    if (inject.handlesCannotLock) return nullptr;
    return handles_.lock(handle);
}

PF_Err Host::resizeHandle(uint64_t size, PF_Handle* handle) {
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

PF_ParamDef Host::definitionAt(Instance& instance, PF_ParamIndex index) const {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    if (index == 0) {
        def.param_type = PF_Param_LAYER;
    } else {
        def = declared_[size_t(index) - 1].def;
    }
    auto value = instance.values.find(index);
    if (value != instance.values.end()) def.u = value->second;
    return def;
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
    *param = definitionAt(*instance, index);
    checkouts_.push_back({param, index});
    checkoutLog_.push_back({index, time});
    return PF_Err_NONE;
}

PF_Err Host::checkinParam(PF_ProgPtr, PF_ParamDef* param) {
    auto it = std::find_if(checkouts_.begin(), checkouts_.end(),
                           [&](const ActiveCheckout& c) { return c.def == param; });
    if (it == checkouts_.end()) {
        problem("checkin_param of a definition that is not checked out");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    checkouts_.erase(it);
    return PF_Err_NONE;
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
