// The host's suites and C callbacks: thin trampolines into the Host running the current command.
#include "hostsim/Host.h"
#include "hostsim/HostCallbacks.h"

#include "SPErrorCodes.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace glfx::hostsim {

using detail::activeHost;

namespace {

Host& active() {
    return activeHost();
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

// The current Param Utils suite: UI updates as in the frozen one, and the state of inputs over
// time.
const PF_ParamUtilsSuite3& paramUtilsSuite3() {
    static const PF_ParamUtilsSuite3 suite = [] {
        PF_ParamUtilsSuite3 t{};
        t.PF_UpdateParamUI = [](PF_ProgPtr effect_ref, PF_ParamIndex index,
                                const PF_ParamDef* def) -> PF_Err {
            return active().updateParamUi(effect_ref, index, def);
        };
        t.PF_GetCurrentState = [](PF_ProgPtr effect_ref, PF_ParamIndex index, const A_Time* start,
                                  const A_Time* duration, PF_State* state) -> PF_Err {
            return active().currentState(effect_ref, index, start, duration, state);
        };
        t.PF_AreStatesIdentical = [](PF_ProgPtr, const PF_State* a, const PF_State* b,
                                     A_Boolean* same) -> PF_Err {
            if (a == nullptr || b == nullptr || same == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
            *same = std::memcmp(a, b, sizeof *a) == 0 ? 1 : 0;
            return PF_Err_NONE;
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

} // namespace

namespace detail {

void fillCallbacks(SPBasicSuite& basic, PF_UtilCallbacks& utils) {
    basic.AcquireSuite = acquireSuite;
    basic.ReleaseSuite = releaseSuite;
    basic.IsEqual = isEqual;
    basic.AllocateBlock = allocateBlock;
    basic.FreeBlock = freeBlock;
    basic.ReallocateBlock = reallocateBlock;
    basic.Undefined = undefinedCall;

    utils.host_new_handle = hostNewHandle;
    utils.host_lock_handle = hostLockHandle;
    utils.host_unlock_handle = hostUnlockHandle;
    utils.host_dispose_handle = hostDisposeHandle;
    utils.host_get_handle_size = hostHandleSize;
    utils.host_resize_handle = hostResizeHandle;
    fillMath(utils.ansi);
}

PF_PreRenderCallbacks preRenderCallbacks() {
    return PF_PreRenderCallbacks{checkoutLayerCallback, guidMixIn};
}

PF_SmartRenderCallbacks smartRenderCallbacks() {
    return PF_SmartRenderCallbacks{checkoutLayerPixelsCallback, checkinLayerPixelsCallback,
                                   checkoutOutputCallback};
}

} // namespace detail

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
    // Premiere Pro has no state of inputs over time to give.
    suites_.provide(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &paramUtilsSuite3());
    suites_.provide(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3, &utilitySuite());
    suites_.provide(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &pfInterfaceSuite());
    suites_.provide(kAEGPStreamSuite, kAEGPStreamSuiteVersion2, &streamSuite());
    suites_.provide(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2,
                    &dynamicStreamSuite());
    suites_.provide(kAEGPEffectSuite, kAEGPEffectSuiteVersion2, &effectSuite());
}

} // namespace glfx::hostsim
