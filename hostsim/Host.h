// The emulated host: loads a plug-in library, owns the suites, handles and parameter lists a host
// keeps, and sends the plug-in its commands one at a time, as After Effects or as Premiere Pro.
//
// After every command it checks what a host would suffer from: suites acquired and not released,
// handles neither disposed of nor handed to the host, handles left locked, checked-out parameters
// and AEGP references not given back, a return_msg without terminator, misuse of handles. Each
// finding is appended to problems(); nothing aborts, so a test sees every fault of a run.
//
// Callbacks reach the Host that is running the current command on this thread; one Host runs
// commands at a time per thread.
//
// Rendering. render() plays one frame the way the application does: the smart pre-render and
// render pair (or the classic PF_Cmd_RENDER) over an input Clip at a time, into an output Image
// the host makes. The host lends worlds of the frame's layout: After Effects renders at the input
// image's depth (8, 16 or 32 bits, alpha-red-green-blue); Premiere Pro at 8-bit blue-green-red-
// alpha, converting any input. The World suite's PF_GetPixelFormat names the three ARGB formats
// (Premiere Pro's BGRA world too, as the only 8-bit format effects know). Parameters are checked
// out at the time asked for: keyframes interpolated, layer parameters showing their clip (or the
// effect's own layer) at that time, point defaults turned from percent into layer pixels. The
// output's pixels start as kOutputFill bytes and its row padding as kPaddingFill; padding that
// changes is reported as a problem. A typical frame:
//
//     Host host(path);                       // or hostsim::HostApp::PremierePro
//     host.start();
//     Instance& fx = host.addInstance();
//     host.sequenceSetup(fx);
//     fx.values[1].fs_d.value = 0.25;        // or fx.keyframes[1][time] = ...
//     Image in = Image::fromRgba(rgba, w, h, 16), out;
//     PF_Err err = host.render(fx, Clip(in), 0, out, {RenderPath::Smart});
//     std::vector<float> result = out.toRgba();
#pragma once

#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "AE_GeneralPlug.h"
#include "PrSDKAESupport.h"
#include "SPBasic.h"
#include "hostsim/HandleTable.h"
#include "hostsim/Image.h"
#include "hostsim/PluginLibrary.h"
#include "hostsim/SuiteRegistry.h"
#include "records/SequenceState.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace glfx::hostsim {

enum class HostApp { AfterEffects, PremierePro };

constexpr A_long kAfterEffectsApplId = 0x46585443; // 'FXTC'
constexpr A_long kPremiereProApplId = 0x50724D72;  // 'PrMr'

// One parameter as the plug-in declared it, with copies of the texts its pointers name.
struct DeclaredParam {
    PF_ParamDef def;     // as passed to add_param
    std::string choices; // popup: the '|'-separated list
    std::string label;   // checkbox: the text beside the box
};

// What the host keeps per parameter of one instance.
struct ParamState {
    PF_ParamUIFlags uiFlags = 0; // as last sent with PF_UpdateParamUI
    int uiUpdates = 0;
    bool hidden = false; // the stream's AEGP_DynStreamFlag_HIDDEN
    // Shown to the user: neither hidden through the project nor made invisible in its UI.
    bool visible() const { return !hidden && (uiFlags & PF_PUI_INVISIBLE) == 0; }
};

enum class RenderPath { Smart, Classic };

struct RenderOptions {
    RenderPath path = RenderPath::Smart;
    int32_t outputRowPadding = 0; // bytes after each output row
};

class Host;

// One application of the effect to a layer: its sequence-data handle and parameter state.
class Instance {
public:
    PF_Handle sequenceData() const { return sequenceData_; }
    // The record in the host's handle, or null without one. Reads host memory directly.
    const SequenceState* record() const;
    SequenceState* mutableRecord();
    const ParamState& param(PF_ParamIndex index) const;
    // Host values handed out by checkout_param instead of the declared default.
    std::map<PF_ParamIndex, PF_ParamDefUnion> values;
    // Animated values, which win over `values`: linear between keys for sliders, angles, points
    // and colours, held for the other types; the first key holds before it, the last after it.
    std::map<PF_ParamIndex, std::map<A_long, PF_ParamDefUnion>> keyframes;
    // What each extra layer parameter shows. One without an entry shows the effect's own layer
    // (its declared default); an empty Clip shows none (a world without pixels).
    std::map<PF_ParamIndex, Clip> layers;
    const int id;

private:
    friend class Host;
    struct Ref {
        Host* host;
        Instance* instance;
    };
    Instance(Host* host, int id) : id(id), ref_{host, this} {}
    ParamState& mutableParam(PF_ParamIndex index);

    Ref ref_;
    PF_Handle sequenceData_ = nullptr;
    // Full-resolution size of the input at the last frame, for point defaults in percent.
    int64_t layerWidth_ = 0;
    int64_t layerHeight_ = 0;
    std::map<PF_ParamIndex, ParamState> params_;
};

class Host {
public:
    // Faults the host produces on request, for the next commands until changed.
    struct Injection {
        bool noBasicSuite = false;      // in_data->pica_basicP is null
        bool refuseNewHandles = false;  // host_new_handle answers null
        bool handlesCannotLock = false; // host_lock_handle answers null
        bool refuseResize = false;      // host_resize_handle fails
        bool moveOnResize = true;       // a resized handle gets a new value
        int addParamFailsAt = -1;       // 0-based add_param call of one parameter set-up
        PF_Err addParamError = PF_Err_OUT_OF_MEMORY;
        A_Err registrationError = A_Err_NONE; // AEGP_RegisterWithAEGP's answer
        PF_ParamIndex checkoutFailsAt = -1;   // checkout_param of this index fails
        // The host_new_handle or host_resize_handle call of this number (0-based, counted over
        // the host's life: allocationCalls()) is refused.
        int allocationFailsAt = -1;
        // The checkout of this number fails with checkoutError (0-based, counted over the host's
        // life: checkoutCalls()): checkout_param, checkout_layer, checkout_layer_pixels and
        // checkout_output alike.
        int checkoutCallFailsAt = -1;
        PF_Err checkoutError = PF_Err_OUT_OF_MEMORY;
        PF_Err checkinError = PF_Err_NONE;       // checkin_param answers this (after checking in)
        PF_Err layerCheckoutError = PF_Err_NONE; // pre-render checkout_layer, index >= 1
        PF_Err inputPixelsError = PF_Err_NONE;   // checkout_layer_pixels
        PF_Err outputError = PF_Err_NONE;        // checkout_output
        PF_PixelFormat reportedFormat = 0;       // PF_GetPixelFormat answers this instead, when set
        PF_Err pixelFormatError = PF_Err_NONE;   // PF_GetPixelFormat's answer
        // The abort callback says stop from its call of this number on (0-based, counted over the
        // host's life: abortChecks()).
        int abortFromCheck = -1;
    };

    // Throws std::runtime_error when the library cannot be loaded.
    explicit Host(const std::string& libraryPath, HostApp app = HostApp::AfterEffects);
    Host(std::shared_ptr<PluginLibrary> library, HostApp app);
    // Disposes of the handles the host still holds (global and sequence data).
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // ---- Commands; each returns the plug-in's result -------------------------------------
    PF_Err about();
    PF_Err globalSetup();
    PF_Err globalSetdown();
    PF_Err paramsSetup();
    PF_Err sequenceSetup(Instance& instance);
    PF_Err sequenceResetup(Instance& instance);
    PF_Err sequenceFlatten(Instance& instance);
    PF_Err sequenceSetdown(Instance& instance);
    PF_Err updateParamsUi(Instance& instance);
    // One frame of `instance` at `time` (which becomes currentTime) over `input`, the layer the
    // effect is applied to, into `output`, which the host makes: the input's size (the pre-render
    // result rectangle, clipped to it, on the smart path) in the frame's layout. On the smart path
    // a pre-render error is returned without the render.
    PF_Err render(Instance& instance, const Clip& input, A_long time, Image& output,
                  const RenderOptions& options = {});
    // The user sets parameter `index` to `value` (dropping its keyframes); the host sends
    // PF_Cmd_USER_CHANGED_PARAM with every value at currentTime.
    PF_Err changeParam(Instance& instance, PF_ParamIndex index, const PF_ParamDefUnion& value);
    PF_Err userChangedParam(Instance& instance, PF_ParamIndex index);
    // Any selector, with the records the caller supplies.
    PF_Err command(PF_Cmd cmd, Instance* instance, PF_ParamDef** params = nullptr,
                   PF_LayerDef* output = nullptr, void* extra = nullptr);

    // ---- Lifecycle -----------------------------------------------------------------------
    // A new application of the effect; no command is sent.
    Instance& addInstance();
    // One whose sequence data is a new host handle holding `bytes`, as a project or a copy
    // brings it; no command is sent.
    Instance& addInstance(const std::vector<uint8_t>& bytes);
    // Global set-up, then parameter set-up; stops at the first error and returns it.
    PF_Err start();
    // Sequence set-down of every instance that holds data, then global set-down; the first
    // error, after running all of them.
    PF_Err finish();
    // Flattens and returns the record's bytes as a project would store them.
    std::vector<uint8_t> flatten(Instance& instance, PF_Err* result = nullptr);
    // A new instance whose sequence data is a new handle holding `bytes`, re-set-up.
    Instance& load(const std::vector<uint8_t>& bytes, PF_Err* result = nullptr);
    // A duplicated layer, as After Effects does it without flattening: a new instance whose
    // handle holds a copy of `original`'s bytes as they are, then re-set-up of the copy and of
    // the original. `result` receives the first error of the two.
    Instance& duplicate(Instance& original, PF_Err* result = nullptr);
    // Save and reopen: flatten, keep the bytes, set the instance down, load the bytes into a
    // new instance. `result` receives the first error of the three commands.
    Instance& projectRoundTrip(Instance& instance, PF_Err* result = nullptr);

    // ---- What the host saw ----------------------------------------------------------------
    HostApp app() const { return app_; }
    const PluginLibrary& library() const { return *library_; }
    const PF_OutData& lastOutData() const { return lastOut_; }
    std::string returnMessage() const;
    const std::vector<DeclaredParam>& declaredParams() const { return declared_; }
    A_long numParams() const { return numParams_; }
    PF_Handle globalData() const { return globalData_; }
    std::vector<uint8_t> globalDataBytes() const { return handles_.bytes(globalData_); }
    AEGP_PluginID pluginId() const { return pluginId_; }
    const std::string& registeredName() const { return registeredName_; }
    const std::vector<PrPixelFormat>& supportedPixelFormats() const { return pixelFormats_; }
    // Every checkout of the run: parameter index and time.
    struct Checkout {
        PF_ParamIndex index;
        A_long time;
    };
    const std::vector<Checkout>& checkoutLog() const { return checkoutLog_; }

    // Calls the plug-in made so far, for the numbered faults of Injection.
    int allocationCalls() const { return allocationCalls_; }
    int checkoutCalls() const { return checkoutCalls_; }
    int abortChecks() const { return abortChecks_; }
    // The most parameters and layer pixels the plug-in held checked out at one moment.
    int mostCheckedOutAtOnce() const { return mostCheckedOut_; }
    // The plug-in's last PF_PROGRESS (current, total) and how many it sent.
    std::pair<A_long, A_long> lastProgress() const { return lastProgress_; }
    int progressReports() const { return progressReports_; }
    // The state PF_GetCurrentState gives for `index` (or PF_ParamIndex_CHECK_ALL) over
    // [start, start + duration) in the host's time units, at frame steps: every parameter's value
    // at every frame (keyframes included) and the pixels of every layer it shows. Layers need the
    // frame being rendered (its input clip); outside one, only the values count.
    PF_State stateOf(const Instance& instance, PF_ParamIndex index, A_long start,
                     A_long duration) const;

    const std::vector<std::string>& problems() const { return problems_; }
    // Handles still live now, held by the host or not: what a host quitting now would have to
    // free itself.
    std::vector<PF_Handle> liveHandles() const { return handles_.live(); }

    SuiteRegistry& suites() { return suites_; }
    HandleTable& handles() { return handles_; }
    SPBasicSuite* basicSuite() { return &basic_; }
    PF_UtilCallbacks* utils() { return &utils_; }
    Injection inject;
    A_long currentTime = 0;
    A_long timeStep = 1;
    A_u_long timeScale = 24;
    PF_RationalScale downsampleX{1, 1};
    PF_RationalScale downsampleY{1, 1};
    PF_RationalScale pixelAspect{1, 1};
    static constexpr uint8_t kOutputFill = 0xCD;
    static constexpr uint8_t kPaddingFill = 0xA5;

    // The definition the host hands out for `index` at `time` (a layer's world not filled in).
    PF_ParamDef paramAt(const Instance& instance, PF_ParamIndex index, A_long time) const;
    // Layer checkouts of the pre-renders: parameter index, checkout id and time.
    struct LayerCheckout {
        PF_ParamIndex index;
        A_long id;
        A_long time;
    };
    const std::vector<LayerCheckout>& layerCheckoutLog() const { return layerCheckoutLog_; }
    // What the last pre-render answered.
    const PF_PreRenderOutput& lastPreRender() const { return lastPreRender_; }

    // The Host whose command runs on this thread (or the last one constructed, between
    // commands); null when none.
    static Host* current();

    // ---- Callback bodies (public for the C trampolines) ----------------------------------
    void problem(const std::string& what);
    PF_Handle newHandle(uint64_t size);
    void* lockHandle(PF_Handle handle);
    PF_Err resizeHandle(uint64_t size, PF_Handle* handle);
    // How many bytes, terminator included, `function` may write at `dst` for a text of
    // `length` bytes: all of them, unless dst is out_data->return_msg and the text would not fit,
    // which is reported. Also remembers the copy for add_param's name check.
    size_t writableBytes(const A_char* dst, size_t length, const char* function);
    PF_Err addParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
    PF_Err checkoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long time, A_long step,
                         A_u_long scale, PF_ParamDef* param);
    PF_Err checkinParam(PF_ProgPtr effect_ref, PF_ParamDef* param);
    A_Err registerWithAegp(const A_char* name, AEGP_PluginID* id);
    A_Err newEffectForEffect(PF_ProgPtr effect_ref, AEGP_EffectRefH* effect);
    A_Err disposeEffect(AEGP_EffectRefH effect);
    A_Err newEffectStream(AEGP_EffectRefH effect, PF_ParamIndex index, AEGP_StreamRefH* stream);
    A_Err disposeStream(AEGP_StreamRefH stream);
    A_Err setStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean undoable,
                        A_Boolean set);
    A_Err getStreamFlags(AEGP_StreamRefH stream, AEGP_DynStreamFlags* flags);
    A_Err effectParamCount(AEGP_EffectRefH effect, A_long* count);
    PF_Err updateParamUi(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def);
    PF_Err addPixelFormat(PrPixelFormat format);
    PF_Err clearPixelFormats();
    PF_Err checkoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long id,
                         const PF_RenderRequest* request, A_long time, PF_CheckoutResult* result);
    PF_Err checkoutLayerPixels(PF_ProgPtr effect_ref, A_long id, PF_EffectWorld** pixels);
    PF_Err checkinLayerPixels(PF_ProgPtr effect_ref, A_long id);
    PF_Err checkoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output);
    PF_Err pixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format);
    PF_Err abortCheck(PF_ProgPtr effect_ref);
    PF_Err progress(PF_ProgPtr effect_ref, A_long current, A_long total);
    PF_Err currentState(PF_ProgPtr effect_ref, PF_ParamIndex index, const A_Time* start,
                        const A_Time* duration, PF_State* state);

private:
    // An AEGP effect or stream reference handed to the plug-in.
    struct AegpRef {
        Instance* instance = nullptr;
        PF_ParamIndex index = -1; // streams only
        bool disposed = false;
        bool stream = false;
    };
    struct ActiveCheckout {
        PF_ParamDef* def;
        PF_ParamIndex index;
    };
    // A world lent for one command; its reserved0 points back here.
    struct WorldLoan {
        PF_EffectWorld world{};
        Image copy; // when the source was in another layout
        PF_PixelFormat format = 0;
    };
    // The frame render() is playing.
    struct Frame {
        Instance* instance = nullptr;
        const Clip* input = nullptr;
        int depth = 8;
        ChannelOrder order = ChannelOrder::Argb;
        Image* output = nullptr;
        PF_EffectWorld* outputWorld = nullptr;
        std::map<A_long, LayerCheckout> layers; // pre-render checkouts by id
        std::map<A_long, bool> pixelsOut;       // smart-render pixel checkouts by id
    };

    void registerSuites();
    Instance* instanceOf(PF_ProgPtr effect_ref, const char* operation);
    AegpRef* aegpRef(void* ref, bool stream, const char* operation);
    // The declared definition with the value at `time`.
    PF_ParamDef definitionAt(const Instance& instance, PF_ParamIndex index, A_long time) const;
    bool isLayerParam(PF_ParamIndex index) const;
    // The clip a layer parameter shows in the current frame (null outside a frame).
    const Clip* clipOf(const Instance& instance, PF_ParamIndex index) const;
    PF_EffectWorld* lend(const Image* image);
    PF_EffectWorld* lendOutput(Image& output);
    PF_Err renderSmart(Instance& instance, A_long time, Image& output, int32_t padding);
    PF_Err renderClassic(Instance& instance, A_long time, Image& output, int32_t padding);
    // The definitions at currentTime (or the frame's time), null-terminated, for commands that
    // take the parameter array.
    std::vector<PF_ParamDef> parameterArray(Instance& instance, A_long time);
    void checkOutput();
    void checkAfterCommand(const PF_OutData& out);

    std::shared_ptr<PluginLibrary> library_;
    HostApp app_;
    std::vector<std::string> problems_;
    HandleTable handles_;
    SuiteRegistry suites_;
    SPBasicSuite basic_{};
    PF_UtilCallbacks utils_{};
    PF_InteractCallbacks inter_{};
    Instance::Ref globalRef_{this, nullptr};
    std::deque<std::unique_ptr<Instance>> instances_;

    PF_Handle globalData_ = nullptr;
    PF_OutData lastOut_{};
    std::vector<DeclaredParam> declared_;
    A_long numParams_ = 1;
    AEGP_PluginID pluginId_ = 0;
    AEGP_PluginID nextPluginId_ = 7;
    std::string registeredName_;
    std::vector<PrPixelFormat> pixelFormats_;
    std::deque<AegpRef> aegpRefs_;
    std::vector<ActiveCheckout> checkouts_;
    std::vector<Checkout> checkoutLog_;
    std::vector<LayerCheckout> layerCheckoutLog_;
    PF_PreRenderOutput lastPreRender_{};
    std::deque<WorldLoan> loans_;
    Frame* frame_ = nullptr;
    std::vector<PF_Handle> reportedLeaks_;
    int allocationCalls_ = 0;
    int checkoutCalls_ = 0;
    int abortChecks_ = 0;
    int mostCheckedOut_ = 0;
    std::pair<A_long, A_long> lastProgress_{0, 0};
    int progressReports_ = 0;
    // Notes the number checked out now after a checkout.
    void countCheckedOut();
    // Counts a checkout; true when Injection::checkoutCallFailsAt names it.
    bool checkoutFails();

    // Set while a command runs.
    bool inCommand_ = false;
    PF_Cmd currentCmd_ = -1;
    PF_OutData* currentOut_ = nullptr;
    int addParamCalls_ = 0;
    std::map<const A_char*, size_t> copies_; // text copies since the last add_param
};

// The selector's SDK name ("PF_Cmd_GLOBAL_SETUP"), or its number.
std::string selectorName(PF_Cmd cmd);

} // namespace glfx::hostsim
