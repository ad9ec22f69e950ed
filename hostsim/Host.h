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
#pragma once

#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectSuitesOld.h"
#include "AE_GeneralPlugOld.h"
#include "PrSDKAESupport.h"
#include "SPBasic.h"
#include "hostsim/HandleTable.h"
#include "hostsim/PluginLibrary.h"
#include "hostsim/SuiteRegistry.h"
#include "shell/SequenceState.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
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

    void registerSuites();
    Instance* instanceOf(PF_ProgPtr effect_ref, const char* operation);
    AegpRef* aegpRef(void* ref, bool stream, const char* operation);
    PF_ParamDef definitionAt(Instance& instance, PF_ParamIndex index) const;
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
    std::vector<PF_Handle> reportedLeaks_;

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
